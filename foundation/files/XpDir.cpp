#include "foundation/files/XpDir.h"

#include <cstdint>
#include <new>

#include "foundation/files/XpFile.h"
#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPathText.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformTime.h"

namespace {

// The unit assumed until the volume answers.
constexpr uint32_t kDefaultAllocationUnit = 4096;

bool IsDotName(const XpChar* name)
{
    return name[0] == XP_T('.') && (name[1] == 0 || (name[1] == XP_T('.') && name[2] == 0));
}

void SetFromSeconds(int64_t seconds, XpDateTime* date)
{
    if (!date) return;
    std::tm fields{};
    if (XpPlatformLocalTime64(seconds, &fields))
        *date = XpDateTime(fields);
    else
        *date = XpDateTime();
}

}  // namespace

// ---- XpAbstractDir ------------------------------------------------------------------

XpAbstractDir::~XpAbstractDir() = default;

bool XpAbstractDir::Accept(bool isDirectory, const XpChar*) const
{
    return ((m_flags & XpDirFlag::Files) || isDirectory) && ((m_flags & XpDirFlag::Directories) || !isDirectory);
}

// ---- XpDir --------------------------------------------------------------------------

XpDir::XpDir(const XpChar* path)
{
    m_path = path;
}

XpDir::XpDir(const XpString& path)
{
    m_path = path;
}

XpDir::~XpDir()
{
    if (IsRunning()) XpPlatformFindClose(m_find);
}

XpString XpDir::GetTitle() const
{
    return GetFileTitle(m_path);
}

int64_t XpDir::GetSize() const
{
    XpDir walker(m_path);
    if (walker.FindFirst(XpDirFlag::Directories | XpDirFlag::Files, nullptr) != XpRc::Ok) return -1;
    int64_t total = 0;
    for (;;) {
        uint32_t attributes = 0;
        XpSharedPtr<XpAbstractFSObj> entry = walker.FindNextEntry(&attributes);
        if (!entry) break;
        // A link's target lies outside this tree (or inside it, counted already).
        if (attributes & XpFileAttr::ReparsePoint) continue;
        int64_t size = entry->GetSize();
        if (size > 0) total += size;
    }
    return total;
}

XpResult XpDir::GetTimes(XpDateTime* creation, XpDateTime* modification, XpDateTime* access) const
{
    int64_t created = 0, modified = 0, accessed = 0;
    if (!XpPlatformStatTimes(m_path.GetString(), &created, &modified, &accessed)) return XpRc::FileNotFound;
    SetFromSeconds(created, creation);
    SetFromSeconds(modified, modification);
    SetFromSeconds(accessed, access);
    return XpRc::Ok;
}

bool XpDir::IsReadOnly() const
{
    uint32_t attributes = 0;
    if (XpPlatformGetAttributes(m_path.GetString(), &attributes) != 0) return false;
    return (attributes & XpFileAttr::ReadOnly) != 0;
}

bool XpDir::IsHidden() const
{
    return XpFileOperation::IsHidden(m_path);
}

XpResult XpDir::FindFirst(uint32_t flags, const XpChar* pattern)
{
    FindClose();
    m_flags = flags;
    m_pattern = pattern;
    // An empty path would list the current folder, and "Q:" that drive's current folder:
    // no enumeration, nor the counts and sizes built on one, starts from such a path.
    if (IsEmptyOrDriveRelative(m_path)) return XpRc::BadRoot;

    XpString search;
    if (flags & XpDirFlag::BeginsWith)
        search = CombinePath(m_path, m_pattern + XP_T("*"));
    else if (flags & XpDirFlag::EndsWith)
        search = CombinePath(m_path, XP_T("*") + m_pattern);
    else if (flags & XpDirFlag::Contains)
        search = CombinePath(m_path, XP_T("*") + m_pattern + XP_T("*"));
    else if (!(flags & XpDirFlag::PatternAsGiven))
        search = CombinePath(m_path, XpString(XP_T("*")));
    else
        search = CombinePath(m_path, m_pattern);

    uint32_t error = XpPlatformFindFirst(search.GetString(), &m_findData, &m_find);
    if (error != 0) {
        m_find = kXpInvalidFindHandle;
        m_end = true;
        return XpMapWindowsError(error);
    }
    m_end = false;
    SkipUnwanted();
    return XpRc::Ok;
}

void XpDir::Advance()
{
    if (XpPlatformFindNext(m_find, &m_findData) != 0) m_end = true;
}

void XpDir::SkipUnwanted()
{
    while (!m_end) {
        const bool isDirectory = (m_findData.attributes & XpFileAttr::Directory) != 0;
        if (!(isDirectory && IsDotName(m_findData.name)) && Accept(isDirectory, m_findData.name)) return;
        Advance();
    }
}

XpSharedPtr<XpAbstractFSObj> XpDir::FindNext()
{
    return FindNextEntry(nullptr);
}

XpSharedPtr<XpAbstractFSObj> XpDir::FindNextEntry(uint32_t* attributes)
{
    if (!IsRunning() || m_end) return XpSharedPtr<XpAbstractFSObj>();
    if (attributes) *attributes = m_findData.attributes;
    const XpString path = CombinePath(m_path, XpString(m_findData.name));
    // The pointer is made from the entry's own type, so its counter is of that type.
    XpSharedPtr<XpAbstractFSObj> entry;
    if (m_findData.attributes & XpFileAttr::Directory) {
        if (auto* dir = new (std::nothrow) XpDir(path)) entry = XpSharedPtr<XpAbstractFSObj>(dir);
    } else {
        if (auto* file = new (std::nothrow) XpFile(path)) entry = XpSharedPtr<XpAbstractFSObj>(file);
    }
    Advance();
    SkipUnwanted();
    return entry;
}

XpResult XpDir::FindClose()
{
    if (!IsRunning()) return XpRc::NotOpen;
    uint32_t error = XpPlatformFindClose(m_find);
    m_find = kXpInvalidFindHandle;
    m_end = true;
    return XpMapWindowsError(error);
}

uint64_t XpDir::CountEntries(bool recursive) const
{
    XpDir walker(m_path);
    if (walker.FindFirst(XpDirFlag::Directories | XpDirFlag::Files, nullptr) != XpRc::Ok) return 0;
    uint64_t count = 0;
    for (;;) {
        uint32_t attributes = 0;
        XpSharedPtr<XpAbstractFSObj> entry = walker.FindNextEntry(&attributes);
        if (!entry) break;
        ++count;
        if (recursive && entry->IsDirectory() && !(attributes & XpFileAttr::ReparsePoint))
            count += static_cast<XpDir*>(entry.Get())->CountEntries(true);
    }
    return count;
}

bool XpDir::IsEmpty() const
{
    XpDir walker(m_path);
    if (walker.FindFirst(XpDirFlag::Directories | XpDirFlag::Files, nullptr) != XpRc::Ok) return false;
    return !walker.FindNext();
}

void XpDir::Assign(const XpAbstractDir& other)
{
    if (&other == this) return;
    FindClose();
    m_path = other.GetPath();
    if (auto* dir = dynamic_cast<const XpDir*>(&other)) m_allocationUnit = dir->m_allocationUnit;
}

int64_t XpDir::GetTotalSpace() const
{
    uint64_t total = 0;
    if (XpPlatformGetDiskSpace(m_path.GetString(), nullptr, &total, nullptr) != 0) return -1;
    return static_cast<int64_t>(total);
}

int64_t XpDir::GetUsedSpace() const
{
    uint64_t total = 0, free = 0;
    if (XpPlatformGetDiskSpace(m_path.GetString(), nullptr, &total, &free) != 0) return -1;
    return static_cast<int64_t>(total - free);
}

int64_t XpDir::GetFreeSpace() const
{
    uint64_t available = 0;
    if (XpPlatformGetDiskSpace(m_path.GetString(), &available, nullptr, nullptr) != 0) return -1;
    return static_cast<int64_t>(available);
}

int64_t XpDir::GetSizeOnDisk(int64_t size)
{
    if (m_allocationUnit == 0) {
        uint32_t unit = 0;
        if (XpPlatformGetAllocationUnit(m_path.GetString(), &unit) == 0 && unit != 0) m_allocationUnit = unit;
    }
    const uint64_t unit = m_allocationUnit != 0 ? m_allocationUnit : kDefaultAllocationUnit;
    if (size <= 0) return 0;
    const uint64_t bytes = static_cast<uint64_t>(size);
    const uint64_t units = bytes / unit + (bytes % unit != 0 ? 1 : 0);
    // Within a unit of the largest size, rounding up passes what the answer can hold: it
    // stays at the largest size instead of turning negative.
    const uint64_t rounded = units * unit;
    return rounded > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(rounded);
}
