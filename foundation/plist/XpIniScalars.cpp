#include "foundation/plist/XpIniScalars.h"

#include <cstdlib>
#include <cstring>

XpResult XpIniBool::GetBool(bool& value) const
{
    value = m_bValue;
    return XpRc::Ok;
}

XpResult XpIniBool::SetBool(int value)
{
    m_bValue = value != 0;
    return XpRc::Ok;
}

XpResult XpIniInt::GetInt64(int64_t& value) const
{
    value = m_nValue;
    return XpRc::Ok;
}

XpResult XpIniInt::GetInt32(int32_t& value) const
{
    value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(m_nValue)));
    return m_nValue < INT32_MIN || m_nValue > INT32_MAX ? XpRc::PlistNotInt32 : XpRc::Ok;
}

XpResult XpIniInt::SetInt64(int64_t value)
{
    m_nValue = value;
    return XpRc::Ok;
}

XpResult XpIniReal::GetReal(double& value) const
{
    value = m_dValue;
    return XpRc::Ok;
}

XpResult XpIniReal::SetReal(double value)
{
    m_dValue = value;
    return XpRc::Ok;
}

XpResult XpIniString::GetString(XpString& text) const
{
    text = m_strValue;
    return XpRc::Ok;
}

XpResult XpIniString::SetString(const XpChar* text)
{
    m_strValue = text;
    return XpRc::Ok;
}

XpResult XpIniMemChunk::GetData(XpMemoryFile& data) const
{
    const uint64_t count = GetByteCount();
    void* block = std::malloc(count ? static_cast<size_t>(count) : 1);
    if (!block) return XpRc::OutOfMemory;
    if (count) std::memcpy(block, m_data.GetBuffer(), static_cast<size_t>(count));
    data.Attach(block, count, true);
    data.Seek(0, XpSeekOrigin::Begin);
    return XpRc::Ok;
}

XpResult XpIniMemChunk::SetData(XpAbstractFile& source, int64_t offset, int64_t length)
{
    XpResult rc = source.Seek(offset, XpSeekOrigin::Begin);
    if (rc != XpRc::Ok) return rc;
    uint64_t count = 0;
    if (length == -1) {
        const int64_t size = source.GetSize();
        if (size < 0) return XpRc::Failure;
        count = size > offset ? static_cast<uint64_t>(size - offset) : 0;
    } else if (length < 0) {
        return XpRc::InvalidArgument;
    } else {
        count = static_cast<uint64_t>(length);
    }
    if (count > XpMemoryFile::kMaxLength) return XpRc::OutOfMemory;
    // A block of the element's own, exactly as large as what was read.
    auto* block = static_cast<unsigned char*>(std::malloc(count ? static_cast<size_t>(count) : 1));
    if (!block) return XpRc::OutOfMemory;
    uint64_t read = 0;
    rc = source.Read(block, count, &read);
    if (read > count) read = count;
    if (read < count && read != 0) {
        if (void* smaller = std::realloc(block, static_cast<size_t>(read)))
            block = static_cast<unsigned char*>(smaller);
    }
    m_data.Attach(block, read, true);
    m_data.Seek(0, XpSeekOrigin::Begin);
    return rc;
}

XpResult XpIniDate::GetDate(XpDateTime& date) const
{
    date = m_value;
    return XpRc::Ok;
}

XpResult XpIniDate::SetDate(const XpDateTime& date)
{
    m_value = date;
    return XpRc::Ok;
}
