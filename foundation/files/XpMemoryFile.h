#pragma once
// XpMemoryFile: a file of the file family whose content is one growable heap block.
// Reads and writes work without Open; the block grows in steps of 64 KiB. A caller's
// block can be attached as the content (owned or not) and detached again.
//
// XpFileTime holds the three times (creation, modification, last access) of such a file.

#include <cstdint>

#include "foundation/files/XpAbstractFile.h"

class XpFileTime {
public:
    // All three times are the current local time.
    XpFileTime();

    void SetAllNow();
    void TouchModified();  // modification and access now
    void TouchAccessed();  // access now

    XpDateTime m_creationTime;
    XpDateTime m_modificationTime;
    XpDateTime m_accessTime;
};

// Who frees the block of an XpMemoryFile.
namespace XpMemoryBlock {
inline constexpr uint32_t None = 0;
inline constexpr uint32_t Owned = 1;     // allocated or taken over by the file, freed by it
inline constexpr uint32_t Attached = 2;  // the caller's, never freed or reallocated by the file
}  // namespace XpMemoryBlock

class XpMemoryFile : public XpAbstractFile, public XpFileTime {
public:
    // The most content the file takes: more than any process can address.
    static constexpr uint64_t kMaxLength = 1ull << 47;

    XpMemoryFile();
    ~XpMemoryFile() override;

    // "Memory File(" and the block's address in a field of 32 characters, then ")".
    XpString GetTitle() const override;
    int64_t GetSize() const override;
    XpResult GetTimes(XpDateTime* creation, XpDateTime* modification, XpDateTime* access) const override;
    bool IsReadOnly() const override { return false; }
    bool IsHidden() const override { return false; }

    // Keeps the flags and stamps the times; with XpFileFlag::Write the content is
    // emptied. Always 0.
    XpResult Open(uint32_t flags, uint32_t shareMode) override;
    XpResult Close() override;
    // From the position, at most what is left; a short read is not an error. At or
    // beyond the end: XpRc::EndOfFile and a count of 0.
    XpResult Read(void* buffer, uint64_t size, uint64_t* count) override;
    // At the position, growing the block as needed; a gap left by a Seek beyond the end
    // reads as zeros. When the block cannot hold the content (out of memory, or beyond
    // kMaxLength) the result is XpRc::DiskFull, the count 0, and nothing changes.
    XpResult Write(const void* buffer, uint64_t size, uint64_t* count) override;
    XpResult Flush() override { return XpRc::Ok; }
    // Anywhere from the start on, also beyond the end; a move before the start is
    // XpRc::InvalidArgument and leaves the position.
    XpResult Seek(int64_t offset, uint32_t origin) override;
    int64_t Tell() override;
    // XpRc::NotOpen without a block. Growing fills the new bytes with zeros; a position
    // beyond the new end moves to it.
    XpResult SetLength(uint64_t length) override;

    virtual void* GetBuffer();
    virtual const void* GetBuffer() const;
    // Takes block (size bytes) as the content; owned: the file frees it. The position is
    // kept. An owned block held before is freed.
    virtual void Attach(void* block, uint64_t size, bool owned);
    // Leaves the file empty. Returns an attached block; frees an owned one and returns
    // null.
    virtual void* Detach();
    // Forgets the block (without freeing it) and empties the file; the times become now.
    virtual void Reset();
    // The next multiple of 64 KiB above n.
    virtual uint64_t RoundCapacity(uint64_t n) const;

    uint64_t GetCapacity() const { return m_capacity; }
    uint32_t GetOwnership() const { return m_ownership; }

private:
    // Makes the block hold at least `needed` bytes; false (nothing changed) on failure.
    bool Reserve(uint64_t needed);

    uint64_t m_length = 0;
    uint64_t m_capacity = 0;
    uint64_t m_position = 0;
    unsigned char* m_block = nullptr;
    uint32_t m_ownership = XpMemoryBlock::None;
};
