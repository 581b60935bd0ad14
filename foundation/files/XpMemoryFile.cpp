#include "foundation/files/XpMemoryFile.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr uint64_t kCapacityStep = 65536;

}  // namespace

// ---- XpFileTime ---------------------------------------------------------------------

XpFileTime::XpFileTime()
{
    SetAllNow();
}

void XpFileTime::SetAllNow()
{
    m_creationTime = XpDateTime::Now();
    m_modificationTime = m_creationTime;
    m_accessTime = m_creationTime;
}

void XpFileTime::TouchModified()
{
    m_modificationTime = XpDateTime::Now();
    m_accessTime = m_modificationTime;
}

void XpFileTime::TouchAccessed()
{
    m_accessTime = XpDateTime::Now();
}

// ---- XpMemoryFile -------------------------------------------------------------------

XpMemoryFile::XpMemoryFile() = default;

XpMemoryFile::~XpMemoryFile()
{
    TouchAccessed();
    if (m_dwOwnership == XpMemoryBlock::Owned) std::free(m_pBlock);
    XpMemoryFile::Reset();
}

XpString XpMemoryFile::GetTitle() const
{
    XpString title;
    title.Format(XP_T("Memory File(%32p)"), static_cast<const void*>(m_pBlock));
    return title;
}

int64_t XpMemoryFile::GetSize() const
{
    return static_cast<int64_t>(m_nLength);
}

XpResult XpMemoryFile::GetTimes(XpDateTime* creation, XpDateTime* modification, XpDateTime* access) const
{
    if (creation) *creation = m_creationTime;
    if (modification) *modification = m_modificationTime;
    if (access) *access = m_accessTime;
    return XpRc::Ok;
}

XpResult XpMemoryFile::Open(uint32_t flags, uint32_t)
{
    m_dwOpenFlags = flags;
    SetAllNow();
    if (flags & XpFileFlag::Write) SetLength(0);
    return XpRc::Ok;
}

XpResult XpMemoryFile::Close()
{
    TouchAccessed();
    return XpRc::Ok;
}

XpResult XpMemoryFile::Read(void* buffer, uint64_t size, uint64_t* count)
{
    if (count) *count = 0;
    if (m_nPosition >= m_nLength) return XpRc::EndOfFile;
    if (size == 0) return XpRc::Ok;
    if (!buffer) return XpRc::InvalidArgument;
    const uint64_t left = m_nLength - m_nPosition;
    const uint64_t n = size < left ? size : left;
    std::memcpy(buffer, m_pBlock + m_nPosition, static_cast<size_t>(n));
    m_nPosition += n;
    TouchAccessed();
    if (count) *count = n;
    return XpRc::Ok;
}

bool XpMemoryFile::Reserve(uint64_t needed)
{
    if (m_pBlock && m_nCapacity >= needed) return true;
    if (needed > kMaxLength) return false;
    const uint64_t capacity = RoundCapacity(needed);
    unsigned char* block = nullptr;
    if (m_dwOwnership == XpMemoryBlock::Owned) {
        block = static_cast<unsigned char*>(std::realloc(m_pBlock, static_cast<size_t>(capacity)));
        if (!block) return false;
    } else {
        // No block yet, or the caller's: the caller's block is never reallocated, so the
        // content moves into a block of the file's own.
        block = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(capacity)));
        if (!block) return false;
        if (m_pBlock && m_nLength != 0) std::memcpy(block, m_pBlock, static_cast<size_t>(m_nLength));
    }
    m_pBlock = block;
    m_nCapacity = capacity;
    m_dwOwnership = XpMemoryBlock::Owned;
    return true;
}

XpResult XpMemoryFile::Write(const void* buffer, uint64_t size, uint64_t* count)
{
    if (count) *count = 0;
    if (size == 0) return XpRc::Ok;
    if (!buffer) return XpRc::InvalidArgument;
    // The position may lie far beyond the end after a Seek; the sum must neither wrap
    // nor exceed what a block can hold.
    if (m_nPosition > kMaxLength || size > kMaxLength - m_nPosition) return XpRc::DiskFull;
    const uint64_t end = m_nPosition + size;
    if (!Reserve(end)) return XpRc::DiskFull;
    if (m_nPosition > m_nLength) std::memset(m_pBlock + m_nLength, 0, static_cast<size_t>(m_nPosition - m_nLength));
    std::memcpy(m_pBlock + m_nPosition, buffer, static_cast<size_t>(size));
    m_nPosition = end;
    if (m_nPosition > m_nLength) m_nLength = m_nPosition;
    TouchModified();
    if (count) *count = size;
    return XpRc::Ok;
}

XpResult XpMemoryFile::Seek(int64_t offset, uint32_t origin)
{
    uint64_t base = m_nPosition;
    if (origin == XpSeekOrigin::Begin)
        base = 0;
    else if (origin == XpSeekOrigin::End)
        base = m_nLength;
    // Positions never exceed the largest signed 64-bit value, so base fits.
    const int64_t from = static_cast<int64_t>(base);
    if (offset > 0 && from > std::numeric_limits<int64_t>::max() - offset) return XpRc::InvalidArgument;
    const int64_t to = from + offset;
    if (to < 0) return XpRc::InvalidArgument;
    m_nPosition = static_cast<uint64_t>(to);
    TouchAccessed();
    return XpRc::Ok;
}

int64_t XpMemoryFile::Tell()
{
    return static_cast<int64_t>(m_nPosition);
}

XpResult XpMemoryFile::SetLength(uint64_t length)
{
    if (!m_pBlock) return XpRc::NotOpen;
    if (length > kMaxLength) return XpRc::OutOfMemory;
    if (m_dwOwnership == XpMemoryBlock::Owned) {
        const uint64_t capacity = RoundCapacity(length);
        auto* block = static_cast<unsigned char*>(std::realloc(m_pBlock, static_cast<size_t>(capacity)));
        if (!block) return XpRc::OutOfMemory;
        m_pBlock = block;
        m_nCapacity = capacity;
    } else if (length > m_nCapacity && !Reserve(length)) {
        return XpRc::OutOfMemory;
    }
    if (length > m_nLength) std::memset(m_pBlock + m_nLength, 0, static_cast<size_t>(length - m_nLength));
    m_nLength = length;
    if (m_nPosition > m_nLength) m_nPosition = m_nLength;
    TouchModified();
    return XpRc::Ok;
}

void* XpMemoryFile::GetBuffer()
{
    return m_pBlock;
}

const void* XpMemoryFile::GetBuffer() const
{
    return m_pBlock;
}

void XpMemoryFile::Attach(void* block, uint64_t size, bool owned)
{
    if (m_dwOwnership == XpMemoryBlock::Owned && m_pBlock != block) std::free(m_pBlock);
    m_pBlock = static_cast<unsigned char*>(block);
    if (!m_pBlock) {
        m_nLength = m_nCapacity = 0;
        m_dwOwnership = XpMemoryBlock::None;
        return;
    }
    m_nLength = m_nCapacity = size;
    m_dwOwnership = owned ? XpMemoryBlock::Owned : XpMemoryBlock::Attached;
}

void* XpMemoryFile::Detach()
{
    void* block = nullptr;
    if (m_dwOwnership == XpMemoryBlock::Owned)
        std::free(m_pBlock);
    else if (m_dwOwnership == XpMemoryBlock::Attached)
        block = m_pBlock;
    Reset();
    return block;
}

void XpMemoryFile::Reset()
{
    m_pBlock = nullptr;
    m_nLength = m_nCapacity = m_nPosition = 0;
    m_dwOwnership = XpMemoryBlock::None;
    SetAllNow();
}

uint64_t XpMemoryFile::RoundCapacity(uint64_t n) const
{
    return n - (n % kCapacityStep) + kCapacityStep;
}
