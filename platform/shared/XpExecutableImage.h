#pragma once
// Finds the version block (VS_VERSIONINFO) of an executable file: in a PE file its version
// resource, in an ELF file the section that carries a Linux executable's own block. Every
// read goes through a byte source that refuses ranges past the file's end, and every
// count and offset that the file gives is checked against what is there, so a damaged or
// hostile file gives "not found", never a read outside it.

#include <cstddef>
#include <cstdint>
#include <vector>

// Bytes of a file or of an image in memory, read by offset.
class XpByteSource {
public:
    virtual ~XpByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Copies size bytes from offset; false when they are not all there.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t size) const = 0;
};

// An image already in memory (tests, fuzzing).
class XpMemoryByteSource final : public XpByteSource {
public:
    XpMemoryByteSource(const void* data, size_t size) : m_data(static_cast<const unsigned char*>(data)), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) const override;

private:
    const unsigned char* m_data;
    size_t m_size;
};

// The ELF section that holds a Linux executable's version block, the same bytes that the
// Windows build's resource compiler makes from the program's resource definition.
inline constexpr char kXpVersionSectionName[] = ".vsversioninfo";

// The largest block there is: a block's length is a 16-bit field.
inline constexpr size_t kXpMaxVersionBlock = 0xFFFF;

// The version block of a PE file (resource type 16, name 1, the language-neutral one, or
// else the first language) or of a 64-bit little-endian ELF file (the section above), at
// most kXpMaxVersionBlock bytes. False when the file is neither or carries none.
bool XpFindVersionBlock(const XpByteSource& file, std::vector<unsigned char>& block);
