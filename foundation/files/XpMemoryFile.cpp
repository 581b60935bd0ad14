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
    if (m_ownership == XpMemoryBlock::Owned) std::free(m_block);
    XpMemoryFile::Reset();
}

XpString XpMemoryFile::GetTitle() const
{
    XpString title;
    title.Format(XP_T("Memory File(%32p)"), static_cast<const void*>(m_block));
    return title;
}

int64_t XpMemoryFile::GetSize() const
{
    return static_cast<int64_t>(m_length);
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
    m_openFlags = flags;
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
    if (m_position >= m_length) return XpRc::EndOfFile;
    if (size == 0) return XpRc::Ok;
    if (!buffer) return XpRc::InvalidArgument;
    const uint64_t left = m_length - m_position;
    const uint64_t n = size < left ? size : left;
    std::memcpy(buffer, m_block + m_position, static_cast<size_t>(n));
    m_position += n;
    TouchAccessed();
    if (count) *count = n;
    return XpRc::Ok;
}

bool XpMemoryFile::Reserve(uint64_t needed)
{
    if (m_block && m_capacity >= needed) return true;
    if (needed > kMaxLength) return false;
    const uint64_t capacity = RoundCapacity(needed);
    unsigned char* block = nullptr;
    if (m_ownership == XpMemoryBlock::Owned) {
        block = static_cast<unsigned char*>(std::realloc(m_block, static_cast<size_t>(capacity)));
        if (!block) return false;
    } else {
        // No block yet, or the caller's: the caller's block is never reallocated, so the
        // content moves into a block of the file's own.
        block = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(capacity)));
        if (!block) return false;
        if (m_block && m_length != 0) std::memcpy(block, m_block, static_cast<size_t>(m_length));
    }
    m_block = block;
    m_capacity = capacity;
    m_ownership = XpMemoryBlock::Owned;
    return true;
}

XpResult XpMemoryFile::Write(const void* buffer, uint64_t size, uint64_t* count)
{
    if (count) *count = 0;
    if (size == 0) return XpRc::Ok;
    if (!buffer) return XpRc::InvalidArgument;
    // The position may lie far beyond the end after a Seek; the sum must neither wrap
    // nor exceed what a block can hold.
    if (m_position > kMaxLength || size > kMaxLength - m_position) return XpRc::DiskFull;
    const uint64_t end = m_position + size;
    if (!Reserve(end)) return XpRc::DiskFull;
    if (m_position > m_length) std::memset(m_block + m_length, 0, static_cast<size_t>(m_position - m_length));
    std::memcpy(m_block + m_position, buffer, static_cast<size_t>(size));
    m_position = end;
    if (m_position > m_length) m_length = m_position;
    TouchModified();
    if (count) *count = size;
    return XpRc::Ok;
}

XpResult XpMemoryFile::Seek(int64_t offset, uint32_t origin)
{
    uint64_t base = m_position;
    if (origin == XpSeekOrigin::Begin)
        base = 0;
    else if (origin == XpSeekOrigin::End)
        base = m_length;
    // Positions never exceed the largest signed 64-bit value, so base fits.
    const int64_t from = static_cast<int64_t>(base);
    if (offset > 0 && from > std::numeric_limits<int64_t>::max() - offset) return XpRc::InvalidArgument;
    const int64_t to = from + offset;
    if (to < 0) return XpRc::InvalidArgument;
    m_position = static_cast<uint64_t>(to);
    TouchAccessed();
    return XpRc::Ok;
}

int64_t XpMemoryFile::Tell()
{
    return static_cast<int64_t>(m_position);
}

XpResult XpMemoryFile::SetLength(uint64_t length)
{
    if (!m_block) return XpRc::NotOpen;
    if (length > kMaxLength) return XpRc::OutOfMemory;
    if (m_ownership == XpMemoryBlock::Owned) {
        const uint64_t capacity = RoundCapacity(length);
        auto* block = static_cast<unsigned char*>(std::realloc(m_block, static_cast<size_t>(capacity)));
        if (!block) return XpRc::OutOfMemory;
        m_block = block;
        m_capacity = capacity;
    } else if (length > m_capacity && !Reserve(length)) {
        return XpRc::OutOfMemory;
    }
    if (length > m_length) std::memset(m_block + m_length, 0, static_cast<size_t>(length - m_length));
    m_length = length;
    if (m_position > m_length) m_position = m_length;
    TouchModified();
    return XpRc::Ok;
}

void* XpMemoryFile::GetBuffer()
{
    return m_block;
}

const void* XpMemoryFile::GetBuffer() const
{
    return m_block;
}

void XpMemoryFile::Attach(void* block, uint64_t size, bool owned)
{
    if (m_ownership == XpMemoryBlock::Owned && m_block != block) std::free(m_block);
    m_block = static_cast<unsigned char*>(block);
    if (!m_block) {
        m_length = m_capacity = 0;
        m_ownership = XpMemoryBlock::None;
        return;
    }
    m_length = m_capacity = size;
    m_ownership = owned ? XpMemoryBlock::Owned : XpMemoryBlock::Attached;
}

void* XpMemoryFile::Detach()
{
    void* block = nullptr;
    if (m_ownership == XpMemoryBlock::Owned)
        std::free(m_block);
    else if (m_ownership == XpMemoryBlock::Attached)
        block = m_block;
    Reset();
    return block;
}

void XpMemoryFile::Reset()
{
    m_block = nullptr;
    m_length = m_capacity = m_position = 0;
    m_ownership = XpMemoryBlock::None;
    SetAllNow();
}

uint64_t XpMemoryFile::RoundCapacity(uint64_t n) const
{
    return n - (n % kCapacityStep) + kCapacityStep;
}
