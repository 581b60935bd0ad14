#include "platform/shared/XpExecutableImage.h"

#include <algorithm>
#include <cstring>

namespace {

uint16_t U16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const unsigned char* p)
{
    return static_cast<uint32_t>(U16(p)) | (static_cast<uint32_t>(U16(p + 2)) << 16);
}

uint64_t U64(const unsigned char* p)
{
    return static_cast<uint64_t>(U32(p)) | (static_cast<uint64_t>(U32(p + 4)) << 32);
}

bool ReadBlock(const XpByteSource& file, uint64_t offset, uint64_t size, std::vector<unsigned char>& block)
{
    const size_t length = static_cast<size_t>(std::min<uint64_t>(size, kXpMaxVersionBlock));
    std::vector<unsigned char> bytes(length);
    if (length == 0 || !file.ReadAt(offset, bytes.data(), length)) return false;
    block.swap(bytes);
    return true;
}

// ---- PE ----

constexpr uint32_t kResourceVersion = 16;  // RT_VERSION
constexpr uint32_t kVersionName = 1;       // VS_VERSION_INFO
constexpr uint32_t kHighBit = 0x80000000;
constexpr size_t kSectionHeaderBytes = 40;

class PeImage {
public:
    explicit PeImage(const XpByteSource& file) : m_file(file) {}

    bool Load();
    bool FindVersion(std::vector<unsigned char>& block) const;

private:
    // The file offset of size bytes at rva, all inside one section's file data.
    bool RvaToOffset(uint64_t rva, uint64_t size, uint64_t* offset) const;
    bool ReadRva(uint64_t rva, void* buffer, size_t size) const;
    // The target of the entry chosen in the resource directory at directory (an offset
    // into the resource section): with a name of wanted, or with wanted -1 the
    // language-neutral entry or else the first.
    bool Entry(uint32_t directory, int64_t wanted, bool subdirectory, uint32_t* target) const;

    const XpByteSource& m_file;
    std::vector<unsigned char> m_sections;
    uint32_t m_resourceRva = 0;
};

bool PeImage::Load()
{
    unsigned char dos[64];
    if (!m_file.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const uint64_t ntHeaders = U32(dos + 0x3C);
    unsigned char coff[24];
    if (!m_file.ReadAt(ntHeaders, coff, sizeof coff) || std::memcmp(coff, "PE\0\0", 4) != 0) return false;
    const uint16_t sectionCount = U16(coff + 6);
    const uint16_t optionalSize = U16(coff + 20);
    std::vector<unsigned char> optional(optionalSize);
    if (optionalSize < 2 || !m_file.ReadAt(ntHeaders + sizeof coff, optional.data(), optionalSize)) return false;

    size_t countField = 0;
    size_t directories = 0;
    switch (U16(optional.data())) {
        case 0x10B:  // PE32
            countField = 92;
            directories = 96;
            break;
        case 0x20B:  // PE32+
            countField = 108;
            directories = 112;
            break;
        default:
            return false;
    }
    const size_t resourceEntry = directories + 2 * 8;  // the third data directory
    if (optionalSize < resourceEntry + 8 || U32(optional.data() + countField) < 3) return false;
    m_resourceRva = U32(optional.data() + resourceEntry);
    if (m_resourceRva == 0) return false;

    m_sections.resize(static_cast<size_t>(sectionCount) * kSectionHeaderBytes);
    return m_file.ReadAt(ntHeaders + sizeof coff + optionalSize, m_sections.data(), m_sections.size());
}

bool PeImage::RvaToOffset(uint64_t rva, uint64_t size, uint64_t* offset) const
{
    for (size_t s = 0; s < m_sections.size(); s += kSectionHeaderBytes) {
        const unsigned char* header = m_sections.data() + s;
        const uint64_t virtualSize = U32(header + 8);
        const uint64_t virtualAddress = U32(header + 12);
        const uint64_t rawSize = U32(header + 16);
        const uint64_t rawOffset = U32(header + 20);
        // Only bytes that the file holds and the image maps count.
        const uint64_t extent = virtualSize != 0 ? std::min(virtualSize, rawSize) : rawSize;
        if (rva < virtualAddress || rva - virtualAddress >= extent) continue;
        if (size > extent - (rva - virtualAddress)) return false;
        *offset = rawOffset + (rva - virtualAddress);
        return true;
    }
    return false;
}

bool PeImage::ReadRva(uint64_t rva, void* buffer, size_t size) const
{
    uint64_t offset = 0;
    return RvaToOffset(rva, size, &offset) && m_file.ReadAt(offset, buffer, size);
}

bool PeImage::Entry(uint32_t directory, int64_t wanted, bool subdirectory, uint32_t* target) const
{
    const uint64_t base = static_cast<uint64_t>(m_resourceRva) + directory;
    unsigned char header[16];
    if (!ReadRva(base, header, sizeof header)) return false;
    const size_t count = static_cast<size_t>(U16(header + 12)) + U16(header + 14);
    std::vector<unsigned char> entries(count * 8);
    if (count == 0 || !ReadRva(base + sizeof header, entries.data(), entries.size())) return false;

    bool found = false;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t name = U32(entries.data() + 8 * i);
        const uint32_t data = U32(entries.data() + 8 * i + 4);
        if (((data & kHighBit) != 0) != subdirectory) continue;
        const bool named = (name & kHighBit) != 0;
        if (wanted >= 0) {
            if (named || name != wanted) continue;
        } else if (found && (named || name != 0)) {
            continue;  // keep the first unless this is the language-neutral one
        }
        *target = data & ~kHighBit;
        found = true;
        if (wanted >= 0 || (!named && name == 0)) break;
    }
    return found;
}

bool PeImage::FindVersion(std::vector<unsigned char>& block) const
{
    uint32_t names = 0;
    uint32_t languages = 0;
    uint32_t dataEntry = 0;
    if (!Entry(0, kResourceVersion, true, &names) || !Entry(names, kVersionName, true, &languages) ||
        !Entry(languages, -1, false, &dataEntry)) {
        return false;
    }
    unsigned char data[16];
    if (!ReadRva(static_cast<uint64_t>(m_resourceRva) + dataEntry, data, sizeof data)) return false;
    const uint32_t rva = U32(data);
    const uint64_t size = std::min<uint64_t>(U32(data + 4), kXpMaxVersionBlock);
    uint64_t offset = 0;
    return size != 0 && RvaToOffset(rva, size, &offset) && ReadBlock(m_file, offset, size, block);
}

// ---- ELF ----

constexpr size_t kElfHeaderBytes = 64;
constexpr size_t kElfSectionBytes = 64;
constexpr uint32_t kSectionNoBits = 8;  // SHT_NOBITS: no bytes in the file

struct ElfSection {
    uint32_t name = 0;
    uint32_t type = 0;
    uint64_t offset = 0;
    uint64_t size = 0;
};

// The largest section table and section-name table read whole: far above any real
// program's, so that a hostile header cannot ask for much memory.
constexpr uint64_t kMaxSectionTable = 4u << 20;
constexpr uint64_t kMaxSectionNames = 1u << 20;

ElfSection ElfSectionAt(const unsigned char* bytes)
{
    ElfSection section;
    section.name = U32(bytes);
    section.type = U32(bytes + 4);
    section.offset = U64(bytes + 0x18);
    section.size = U64(bytes + 0x20);
    return section;
}

bool FindElfVersion(const XpByteSource& file, std::vector<unsigned char>& block)
{
    unsigned char header[kElfHeaderBytes];
    if (!file.ReadAt(0, header, sizeof header) || std::memcmp(header,
                                                              "\x7F"
                                                              "ELF",
                                                              4) != 0)
        return false;
    if (header[4] != 2 || header[5] != 1) return false;  // 64-bit, little-endian
    const uint64_t table = U64(header + 0x28);
    const uint64_t entrySize = U16(header + 0x3A);
    const uint64_t count = U16(header + 0x3C);
    const uint64_t namesIndex = U16(header + 0x3E);
    // A file with more sections than the header can count keeps the count elsewhere; such
    // files are not ours and are not looked into.
    if (table == 0 || entrySize < kElfSectionBytes || table > file.Size() || namesIndex >= count) return false;
    if (count > (file.Size() - table) / entrySize || count * entrySize > kMaxSectionTable) return false;

    // The section table and the names in two reads: the program's start-up reads its own
    // version through here, and a read per section would cost more than all the rest.
    std::vector<unsigned char> sections(static_cast<size_t>(count * entrySize));
    if (!file.ReadAt(table, sections.data(), sections.size())) return false;
    const ElfSection names = ElfSectionAt(sections.data() + namesIndex * entrySize);
    if (names.type == kSectionNoBits || names.offset > file.Size()) return false;
    // Only the part of the name table that the file holds, as far as the limit.
    const uint64_t namesHeld = std::min({names.size, file.Size() - names.offset, kMaxSectionNames});
    std::vector<char> nameBytes(static_cast<size_t>(namesHeld));
    if (!file.ReadAt(names.offset, nameBytes.data(), nameBytes.size())) return false;
    constexpr size_t kWanted = sizeof kXpVersionSectionName;  // with the terminator
    for (uint64_t i = 0; i < count; ++i) {
        const ElfSection section = ElfSectionAt(sections.data() + i * entrySize);
        if (section.type == kSectionNoBits || section.name >= namesHeld || namesHeld - section.name < kWanted) {
            continue;
        }
        if (std::memcmp(nameBytes.data() + section.name, kXpVersionSectionName, kWanted) != 0) continue;
        return ReadBlock(file, section.offset, section.size, block);
    }
    return false;
}

}  // namespace

bool XpMemoryByteSource::ReadAt(uint64_t offset, void* buffer, size_t size) const
{
    if (offset > m_size || size > m_size - offset) return false;
    if (size != 0) std::memcpy(buffer, m_data + offset, size);
    return true;
}

bool XpFindVersionBlock(const XpByteSource& file, std::vector<unsigned char>& block)
{
    PeImage pe(file);
    if (pe.Load()) return pe.FindVersion(block);
    return FindElfVersion(file, block);
}
