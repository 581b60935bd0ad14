#include "foundation/files/XpFile.h"

#include <limits>
#include <new>

#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPathText.h"
#include "platform/PlatformSecureFiles.h"
#include "platform/PlatformTime.h"

namespace {

constexpr uint64_t kMaxOneCall = 0xFFFFFFFFull;

// Keeps a copy of a date for a later Close; null stays as it was.
XpResult KeepTime(XpSharedPtr<XpDateTime>& slot, const XpDateTime* date)
{
    if (!date) return XpRc::Ok;
    auto* copy = new (std::nothrow) XpDateTime(*date);
    if (!copy) return XpRc::OutOfMemory;
    slot = XpSharedPtr<XpDateTime>(copy);
    return XpRc::Ok;
}

}  // namespace

XpFile::XpFile() = default;

XpFile::XpFile(const XpChar* path)
{
    XpFile::SetPathAndClose(path);
}

XpFile::XpFile(const XpString& path)
{
    XpFile::SetPathAndClose(path.GetString());
}

XpFile::~XpFile()
{
    XpFile::Close();
}

XpString XpFile::GetTitle() const
{
    return GetFileTitle(m_path);
}

int64_t XpFile::GetSize() const
{
    int64_t size = -1;
    if (GetInfo(nullptr, nullptr, nullptr, &size) != XpRc::Ok) return -1;
    return size;
}

XpResult XpFile::GetTimes(XpDateTime* creation, XpDateTime* modification, XpDateTime* access) const
{
    return GetInfo(creation, modification, access, nullptr);
}

XpResult XpFile::SetTimes(const XpDateTime* creation, const XpDateTime* modification, const XpDateTime* access)
{
    if (!IsOpen()) return ApplyTimes(creation, modification, access);
    XpResult rc = KeepTime(m_pendingCreation, creation);
    if (rc == XpRc::Ok) rc = KeepTime(m_pendingModification, modification);
    if (rc == XpRc::Ok) rc = KeepTime(m_pendingAccess, access);
    return rc;
}

bool XpFile::IsReadOnly() const
{
    uint32_t attributes = 0;
    if (XpPlatformGetAttributes(m_path.GetString(), &attributes) != 0) return false;
    return (attributes & XpFileAttr::ReadOnly) != 0;
}

bool XpFile::IsHidden() const
{
    return XpFileOperation::IsHidden(m_path);
}

XpResult XpFile::GetInfo(XpDateTime* creation, XpDateTime* modification, XpDateTime* access, int64_t* size) const
{
    XpFileHandle handle = m_file;
    XpFileHandle queryHandle = kXpInvalidFileHandle;
    if (handle == kXpInvalidFileHandle) {
        uint32_t error = XpPlatformCreateFile(m_path.GetString(), 0, XpFileOpen::ShareRead, XpFileOpen::OpenExisting,
                                              XpFileAttr::Normal, &queryHandle);
        if (error != 0) return XpMapWindowsError(error);
        handle = queryHandle;
    }

    XpResult rc = XpRc::Ok;
    if (size) {
        uint32_t error = XpPlatformGetFileSize(handle, size);
        if (error != 0) {
            *size = -1;
            rc = XpMapWindowsError(error);
        }
    }
    if (rc == XpRc::Ok && (creation || modification || access)) {
        uint64_t created = 0, accessed = 0, written = 0;
        uint32_t error = XpPlatformGetFileTimes(handle, creation ? &created : nullptr, access ? &accessed : nullptr,
                                                modification ? &written : nullptr);
        if (error != 0) {
            rc = XpMapWindowsError(error);
        } else {
            if (creation) FileTimeToDateTime(&created, creation);
            if (modification) FileTimeToDateTime(&written, modification);
            if (access) FileTimeToDateTime(&accessed, access);
        }
    }

    if (queryHandle != kXpInvalidFileHandle) XpPlatformCloseFile(queryHandle);
    return rc;
}

XpResult XpFile::Open(uint32_t flags, uint32_t shareMode)
{
    if (IsOpen()) return XpRc::AlreadyOpen;
    m_openFlags = flags;

    const bool wantRead = (flags & XpFileFlag::Read) != 0;
    const bool wantWrite = (flags & XpFileFlag::Write) != 0;
    const bool mustBeNew = (flags & XpFileFlag::MustBeNew) != 0;
    // The link-safe open makes a missing file itself, in the same step that checks it,
    // instead of through the C run-time's create by name first.
    const bool linkSafe = mustBeNew || (flags & XpFileFlag::NoLinks) != 0;
    uint32_t access = 0;
    uint32_t disposition = 0;
    if (linkSafe && wantWrite) {
        access = wantRead ? XpFileOpen::GenericRead | XpFileOpen::GenericWrite : XpFileOpen::GenericWrite;
        disposition = mustBeNew ? XpFileOpen::CreateNew : wantRead ? XpFileOpen::OpenAlways : XpFileOpen::CreateAlways;
    } else if (linkSafe && wantRead && !mustBeNew) {
        access = XpFileOpen::GenericRead;
        disposition = XpFileOpen::OpenExisting;
    } else if (linkSafe) {
        return XpRc::InvalidArgument;
    } else if (wantRead && wantWrite) {
        XpResult rc = XpFileOperation::EnsureFileExists(m_path);
        if (rc != XpRc::Ok) return rc;
        access = XpFileOpen::GenericRead | XpFileOpen::GenericWrite;
        disposition = XpFileOpen::OpenAlways;
    } else if (wantRead) {
        access = XpFileOpen::GenericRead;
        disposition = XpFileOpen::OpenExisting;
    } else if (wantWrite) {
        XpResult rc = XpFileOperation::CreateNewFile(m_path);
        if (rc != XpRc::Ok && rc != XpRc::AlreadyExists) return rc;
        access = XpFileOpen::GenericWrite;
        disposition = XpFileOpen::TruncateExisting;
    } else {
        return XpRc::InvalidArgument;
    }

    uint32_t attributes = XpFileAttr::Normal;
    if (flags & XpFileFlag::SequentialScan)
        attributes |= XpFileOpen::SequentialScan;
    else if (flags & XpFileFlag::RandomAccess)
        attributes |= XpFileOpen::RandomAccess;

    uint32_t error =
        linkSafe
            ? XpPlatformCreateFileNoFollow(m_path.GetString(), access, shareMode & 7, disposition, attributes, &m_file)
            : XpPlatformCreateFile(m_path.GetString(), access, shareMode & 7, disposition, attributes, &m_file);
    if (error == 0) return XpRc::Ok;
    m_file = kXpInvalidFileHandle;
    return XpMapOpenError(error, wantWrite);
}

XpResult XpFile::Close()
{
    if (!IsOpen()) return XpRc::CloseNotOpen;
    uint32_t error = XpPlatformCloseFile(m_file);
    m_file = kXpInvalidFileHandle;
    if (error != 0) return XpMapWindowsError(error);
    if (m_pendingCreation || m_pendingModification || m_pendingAccess)
        return ApplyTimes(m_pendingCreation.Get(), m_pendingModification.Get(), m_pendingAccess.Get());
    return XpRc::Ok;
}

XpResult XpFile::Read(void* buffer, uint64_t size, uint64_t* count)
{
    if (count) *count = 0;
    if (!buffer || size == 0) return XpRc::InvalidArgument;
    if (!IsOpen()) return XpRc::NotOpen;
    // One call moves at most 0xFFFFFFFF bytes; a larger request reads that much and is
    // reported short, never cut down to its low 32 bits.
    uint32_t asked = static_cast<uint32_t>(size > kMaxOneCall ? kMaxOneCall : size);
    uint32_t done = 0;
    uint32_t error = XpPlatformReadFile(m_file, buffer, asked, &done);
    if (error != 0) return XpMapWindowsError(error);
    if (count) *count = done;
    return done < size ? XpRc::EndOfFile : XpRc::Ok;
}

XpResult XpFile::Write(const void* buffer, uint64_t size, uint64_t* count)
{
    if (count) *count = 0;
    if (!buffer || size == 0) return XpRc::InvalidArgument;
    if (!IsOpen()) return XpRc::NotOpen;
    uint32_t asked = static_cast<uint32_t>(size > kMaxOneCall ? kMaxOneCall : size);
    uint32_t done = 0;
    uint32_t error = XpPlatformWriteFile(m_file, buffer, asked, &done);
    if (error != 0) return XpMapWindowsError(error);
    if (count) *count = done;
    return size > kMaxOneCall ? XpRc::EndOfFile : XpRc::Ok;
}

XpResult XpFile::Flush()
{
    return XpRc::Ok;
}

XpResult XpFile::Seek(int64_t offset, uint32_t origin)
{
    if (!IsOpen()) return XpRc::NotOpen;
    if (origin > XpSeekOrigin::End) origin = XpSeekOrigin::Begin;
    int64_t position = 0;
    return XpMapWindowsError(XpPlatformSeekFile(m_file, offset, origin, &position));
}

int64_t XpFile::Tell()
{
    if (!IsOpen()) return -1;
    int64_t position = 0;
    if (XpPlatformSeekFile(m_file, 0, XpSeekOrigin::Current, &position) != 0) return -1;
    return position;
}

XpResult XpFile::SetLength(uint64_t length)
{
    if (!IsOpen()) return XpRc::NotOpen;
    if (length > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return XpRc::InvalidArgument;
    const int64_t newLength = static_cast<int64_t>(length);
    const int64_t position = Tell();
    XpResult rc = Seek(newLength, XpSeekOrigin::Begin);
    if (rc != XpRc::Ok) return rc;
    uint32_t error = XpPlatformSetEndOfFile(m_file);
    if (error != 0) return XpMapWindowsError(error);
    if (position >= 0 && position < newLength) return Seek(position, XpSeekOrigin::Begin);
    return XpRc::Ok;
}

XpResult XpFile::OpenPath(const XpChar* path, uint32_t flags, uint32_t shareMode)
{
    XpResult rc = SetPathAndClose(path);
    if (rc != XpRc::Ok) return rc;
    return Open(flags, shareMode);
}

XpResult XpFile::SetPathAndClose(const XpChar* path)
{
    Close();
    return SetPath(path);
}

XpString XpFile::GetPathCopy() const
{
    return GetPath();
}

XpResult XpFile::ApplyTimes(const XpDateTime* creation, const XpDateTime* modification, const XpDateTime* access)
{
    // Every date is converted before the file is touched: a date that has no file time
    // fails the whole call rather than writing a time nobody asked for.
    uint64_t created = 0, written = 0, accessed = 0;
    if (creation && !creation->ToFileTime(&created)) return XpRc::InvalidFile;
    if (modification && !modification->ToFileTime(&written)) return XpRc::InvalidFile;
    if (access && !access->ToFileTime(&accessed)) return XpRc::InvalidFile;

    XpFileHandle handle = kXpInvalidFileHandle;
    uint32_t error = XpPlatformCreateFile(m_path.GetString(), XpFileOpen::GenericWrite,
                                          XpFileOpen::ShareRead | XpFileOpen::ShareWrite, XpFileOpen::OpenExisting,
                                          XpFileAttr::Normal, &handle);
    if (error != 0) return XpMapWindowsError(error);
    error = XpPlatformSetFileTimes(handle, creation ? &created : nullptr, access ? &accessed : nullptr,
                                   modification ? &written : nullptr);
    XpPlatformCloseFile(handle);
    return XpMapWindowsError(error);
}

XpResult XpFile::FileTimeToDateTime(const uint64_t* fileTime, XpDateTime* date) const
{
    if (!fileTime || !date) return XpRc::InvalidArgument;
    uint64_t local = 0;
    uint32_t error = XpPlatformFileTimeToLocalFileTime(*fileTime, &local);
    if (error != 0) return XpMapWindowsError(error);
    XpSystemTime fields{};
    error = XpPlatformFileTimeToSystemTime(local, &fields);
    if (error != 0) return XpMapWindowsError(error);
    if (!date->SetDateTime(fields.year, fields.month, fields.day, fields.hour, fields.minute, fields.second))
        return XpRc::InvalidFile;
    return XpRc::Ok;
}
