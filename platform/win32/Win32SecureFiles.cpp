// Link-safe folder and file work on Windows: entries are opened relative to their
// folder's handle (NtCreateFile with a root directory) with FILE_OPEN_REPARSE_POINT,
// checked by handle, listed from the folder's handle and deleted by handle, so that no
// name is looked up twice.
//
// Wine (the test platform) honours the relative opens and the deletes by handle, but
// follows Unix links even with FILE_OPEN_REPARSE_POINT and then reports the target's
// attributes; its deletes by handle, and by name, reach a link's target. So every open
// also compares the handle's final path with its folder's: an entry opened through a
// link names another place. Such a link cannot be removed there without touching its
// target, and is left alone.

#include <aclapi.h>
#include <windows.h>
#include <winternl.h>

#include <new>
#include <string>
#include <vector>

#include "platform/PlatformErrors.h"
#include "platform/PlatformSecureFiles.h"

namespace {

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::size_t kListingBytes = 64 * 1024;
// Attempts of an open-or-create that keeps meeting a name that vanishes or appears.
constexpr int kCreateAttempts = 8;

struct Folder {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::wstring finalPath;  // asked once, empty when the system cannot tell
    bool finalPathAsked = false;
    // The listing: one batch of records from the folder's handle at a time.
    std::vector<LONGLONG> batch;  // LONGLONG keeps the records aligned
    std::size_t next = 0;         // byte offset of the next record, or npos when the batch is used up
    bool ended = false;
};

Folder* FolderOf(XpFolderHandle handle)
{
    return reinterpret_cast<Folder*>(handle);
}

uint32_t LastError()
{
    const DWORD error = GetLastError();
    return error == 0 ? XpWinError::GenFailure : error;
}

uint32_t HandOut(HANDLE handle, XpFolderHandle* folder)
{
    auto* state = new (std::nothrow) Folder;
    if (state == nullptr) {
        CloseHandle(handle);
        return XpWinError::NotEnoughMemory;
    }
    state->handle = handle;
    state->next = std::wstring::npos;
    *folder = reinterpret_cast<XpFolderHandle>(state);
    return XpWinError::Success;
}

// A name of one part: not empty, no separator, not "." or "..".
bool IsOneName(const wchar_t* name)
{
    if (name == nullptr || name[0] == 0) return false;
    if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) return false;
    for (const wchar_t* p = name; *p != 0; ++p) {
        if (*p == L'\\' || *p == L'/') return false;
    }
    return true;
}

std::wstring FinalPathOf(HANDLE handle)
{
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
        if (length == 0) return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
    return std::wstring();
}

const std::wstring& FinalPathOf(Folder* folder)
{
    if (!folder->finalPathAsked) {
        folder->finalPath = FinalPathOf(folder->handle);
        folder->finalPathAsked = true;
    }
    return folder->finalPath;
}

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// Opens name relative to the folder's handle; the last part is never followed where the
// system honours FILE_OPEN_REPARSE_POINT.
uint32_t OpenRelative(HANDLE root, const wchar_t* name, ACCESS_MASK access, ULONG disposition, ULONG options,
                      ULONG attributes, ULONG share, PSECURITY_DESCRIPTOR security, HANDLE* handle,
                      ULONG_PTR* information)
{
    *handle = INVALID_HANDLE_VALUE;
    const std::size_t length = wcslen(name);
    if (length > 0x7FFF) return XpWinError::FilenameExcedRange;
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name);
    text.Length = static_cast<USHORT>(length * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, root, security);
    IO_STATUS_BLOCK status{};
    HANDLE opened = nullptr;
    const NTSTATUS result =
        NtCreateFile(&opened, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &object, &status, nullptr, attributes, share,
                     disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (result < 0) return RtlNtStatusToDosError(result);
    *handle = opened;
    if (information != nullptr) *information = status.Information;
    return XpWinError::Success;
}

// What an open handle is: a link (StoppedOnSymlink), or the entry `name` of the folder
// itself, a folder or not.
uint32_t Inspect(HANDLE handle, Folder* folder, const wchar_t* name, bool* isDirectory, DWORD* attributes = nullptr)
{
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) return LastError();
    if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return XpWinError::StoppedOnSymlink;
    if (isDirectory != nullptr) *isDirectory = (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes != nullptr) *attributes = tag.FileAttributes;
    // A system that follows a link silently gives a handle to another place.
    const std::wstring& base = FinalPathOf(folder);
    const std::wstring actual = FinalPathOf(handle);
    if (base.empty() || actual.empty()) return XpWinError::Success;
    std::wstring expected = base;
    if (expected.back() != L'\\') expected += L'\\';
    expected += name;
    return EqualIgnoringCase(actual, expected) ? XpWinError::Success : XpWinError::StoppedOnSymlink;
}

uint32_t CloseWith(HANDLE handle, uint32_t error)
{
    CloseHandle(handle);
    return error;
}

// Opens the existing entry `name` of folder and checks it by handle. A folder asked for
// (FILE_DIRECTORY_FILE) where a link to a file stands is reported as the link.
uint32_t OpenChecked(Folder* folder, const wchar_t* name, ACCESS_MASK access, ULONG options, HANDLE* handle,
                     bool* isDirectory, ULONG share = kShareAll)
{
    uint32_t rc = OpenRelative(folder->handle, name, access, FILE_OPEN, options, 0, share, nullptr, handle, nullptr);
    if (rc == XpWinError::FileNotFound && (options & FILE_DIRECTORY_FILE) != 0) return XpWinError::PathNotFound;
    if (rc == XpWinError::Success) {
        rc = Inspect(*handle, folder, name, isDirectory);
        if (rc != XpWinError::Success) {
            CloseHandle(*handle);
            *handle = INVALID_HANDLE_VALUE;
        }
        return rc;
    }
    if ((options & FILE_DIRECTORY_FILE) == 0) return rc;
    // Not a folder: find out whether it is a link.
    HANDLE probe = INVALID_HANDLE_VALUE;
    if (OpenRelative(folder->handle, name, 0, FILE_OPEN, 0, 0, kShareAll, nullptr, &probe, nullptr) ==
        XpWinError::Success) {
        const uint32_t what = Inspect(probe, folder, name, nullptr);
        CloseHandle(probe);
        if (what == XpWinError::StoppedOnSymlink) return what;
    }
    return rc;
}

bool IsElevated()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const BOOL ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return ok && elevation.TokenIsElevated != 0;
}

bool IsTokenUser(PSID sid)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<LONGLONG> buffer(size / sizeof(LONGLONG) + 1);
    const bool same = GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
                      EqualSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, sid);
    CloseHandle(token);
    return same;
}

// The access list of a private folder: full control for Administrators and SYSTEM,
// inherited by everything made inside, nothing inherited from above.
class PrivateAccess {
public:
    PrivateAccess()
    {
        DWORD size = sizeof m_administrators;
        if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, m_administrators, &size)) return;
        size = sizeof m_system;
        if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, m_system, &size)) return;
        const DWORD aceBytes = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
        const DWORD aclBytes = sizeof(ACL) + 2 * aceBytes + GetLengthSid(m_administrators) + GetLengthSid(m_system);
        m_acl.resize(aclBytes / sizeof(LONGLONG) + 1);
        PACL acl = Acl();
        const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        m_ready = InitializeAcl(acl, aclBytes, ACL_REVISION) &&
                  AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, m_administrators) &&
                  AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, m_system) &&
                  InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                  SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE) &&
                  SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    }
    bool Ready() const { return m_ready; }
    PACL Acl() { return reinterpret_cast<PACL>(m_acl.data()); }
    PSECURITY_DESCRIPTOR Descriptor() { return &m_descriptor; }
    // Whether a folder's owner is one that only an elevated process can give.
    bool IsPrivileged(PSID owner) const
    {
        return EqualSid(owner, const_cast<BYTE*>(m_administrators)) || EqualSid(owner, const_cast<BYTE*>(m_system));
    }

private:
    BYTE m_administrators[SECURITY_MAX_SID_SIZE] = {};
    BYTE m_system[SECURITY_MAX_SID_SIZE] = {};
    std::vector<LONGLONG> m_acl;
    SECURITY_DESCRIPTOR m_descriptor{};
    bool m_ready = false;
};

// Accepts an existing folder as private, or refuses it by its owner.
uint32_t AdoptExisting(HANDLE handle, bool elevated, PrivateAccess& access)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                        nullptr, &descriptor);
    if (error != ERROR_SUCCESS) return error;
    // Elevated, the folder must have been made by an elevated process: the user's own
    // programs, which can write the temporary folder, could have made one of theirs.
    const bool accepted = access.IsPrivileged(owner) || (!elevated && IsTokenUser(owner));
    LocalFree(descriptor);
    if (!accepted) return XpWinError::InvalidOwner;
    if (!elevated) return XpWinError::Success;
    return SetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                           nullptr, nullptr, access.Acl(), nullptr);
}

// Splits path into its folder part (a root keeps its separator; "." when there is none)
// and its last part, trailing separators ignored.
void SplitLast(const wchar_t* path, std::wstring* folder, std::wstring* last)
{
    std::wstring text(path);
    while (text.size() > 1 && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
    const std::size_t separator = text.find_last_of(L"\\/");
    if (separator == std::wstring::npos) {
        *folder = L".";
        *last = text;
        return;
    }
    *last = text.substr(separator + 1);
    const bool root = separator == 0 || (separator == 2 && text[1] == L':');
    *folder = text.substr(0, root ? separator + 1 : separator);
}

// Opens the folder part of path and gives the last part.
uint32_t OpenFolderOf(const XpChar* path, XpFolderHandle* folder, std::wstring* last)
{
    if (path == nullptr) return XpWinError::InvalidParameter;
    if (path[0] == 0) return XpWinError::PathNotFound;
    std::wstring folderPath;
    SplitLast(path, &folderPath, last);
    if (!IsOneName(last->c_str())) return XpWinError::InvalidParameter;
    const uint32_t rc = XpPlatformOpenFolder(folderPath.c_str(), folder);
    return rc == XpWinError::FileNotFound ? XpWinError::PathNotFound : rc;
}

// The NtCreateFile disposition that opens or creates without truncating; the truncation
// comes after the check.
bool OpenDisposition(uint32_t disposition, ULONG* nt, bool* truncates)
{
    *truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    switch (disposition) {
        case CREATE_NEW:
            *nt = FILE_CREATE;
            return true;
        case OPEN_EXISTING:
        case TRUNCATE_EXISTING:
            *nt = FILE_OPEN;
            return true;
        case CREATE_ALWAYS:
        case OPEN_ALWAYS:
            *nt = FILE_OPEN_IF;
            return true;
        default:
            return false;
    }
}

}  // namespace

uint32_t XpPlatformOpenFolder(const XpChar* path, XpFolderHandle* folder)
{
    if (folder == nullptr) return XpWinError::InvalidParameter;
    *folder = kXpInvalidFolderHandle;
    if (path == nullptr) return XpWinError::InvalidParameter;
    HANDLE handle = CreateFileW(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    // A folder that this user may not list still serves as the base of relative opens.
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        handle = CreateFileW(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const uint32_t error = LastError();
        return error == XpWinError::FileNotFound ? XpWinError::PathNotFound : error;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) return CloseWith(handle, LastError());
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return CloseWith(handle, ERROR_DIRECTORY);
    return HandOut(handle, folder);
}

uint32_t XpPlatformOpenFolderAt(XpFolderHandle parent, const XpChar* name, XpFolderHandle* folder)
{
    if (folder == nullptr) return XpWinError::InvalidParameter;
    *folder = kXpInvalidFolderHandle;
    Folder* state = FolderOf(parent);
    if (state == nullptr) return XpWinError::InvalidHandle;
    if (!IsOneName(name)) return XpWinError::InvalidParameter;
    HANDLE handle = INVALID_HANDLE_VALUE;
    const uint32_t rc =
        OpenChecked(state, name, FILE_LIST_DIRECTORY | FILE_TRAVERSE, FILE_DIRECTORY_FILE, &handle, nullptr);
    if (rc != XpWinError::Success) return rc;
    return HandOut(handle, folder);
}

uint32_t XpPlatformCloseFolder(XpFolderHandle folder)
{
    Folder* state = FolderOf(folder);
    if (state == nullptr) return XpWinError::InvalidHandle;
    CloseHandle(state->handle);
    delete state;
    return XpWinError::Success;
}

uint32_t XpPlatformReadFolder(XpFolderHandle folder, XpFolderEntry* entry)
{
    Folder* state = FolderOf(folder);
    if (state == nullptr) return XpWinError::InvalidHandle;
    if (entry == nullptr) return XpWinError::InvalidParameter;
    constexpr std::size_t kCapacity = sizeof(entry->name) / sizeof(entry->name[0]);
    for (;;) {
        if (state->next == std::wstring::npos) {
            if (state->ended) return XpWinError::NoMoreFiles;
            if (state->batch.empty()) state->batch.resize(kListingBytes / sizeof(LONGLONG));
            if (!GetFileInformationByHandleEx(state->handle, FileFullDirectoryInfo, state->batch.data(),
                                              static_cast<DWORD>(state->batch.size() * sizeof(LONGLONG)))) {
                const uint32_t error = LastError();
                if (error != XpWinError::NoMoreFiles) return error;
                state->ended = true;
                return XpWinError::NoMoreFiles;
            }
            state->next = 0;
        }
        const auto* bytes = reinterpret_cast<const BYTE*>(state->batch.data());
        const auto* record = reinterpret_cast<const FILE_FULL_DIR_INFO*>(bytes + state->next);
        state->next = record->NextEntryOffset == 0 ? std::wstring::npos : state->next + record->NextEntryOffset;
        const std::size_t length = record->FileNameLength / sizeof(wchar_t);
        const std::wstring name(record->FileName, length);
        if (name == L"." || name == L".." || length >= kCapacity) continue;
        entry->attributes = record->FileAttributes;
        name.copy(entry->name, length);
        entry->name[length] = 0;
        return XpWinError::Success;
    }
}

uint32_t XpPlatformDeleteAt(XpFolderHandle parent, const XpChar* name)
{
    Folder* state = FolderOf(parent);
    if (state == nullptr) return XpWinError::InvalidHandle;
    if (!IsOneName(name)) return XpWinError::InvalidParameter;
    HANDLE handle = INVALID_HANDLE_VALUE;
    uint32_t rc = OpenRelative(state->handle, name, DELETE | FILE_WRITE_ATTRIBUTES, FILE_OPEN, 0, 0, kShareAll, nullptr,
                               &handle, nullptr);
    if (rc != XpWinError::Success) return rc;
    bool isDirectory = false;
    DWORD attributes = 0;
    rc = Inspect(handle, state, name, &isDirectory, &attributes);
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (rc == XpWinError::StoppedOnSymlink) {
        // A link opened as itself goes by its own handle. One the system followed is
        // another place, which is not touched.
        FILE_ATTRIBUTE_TAG_INFO tag;
        const bool itself = GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
                            (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (!itself) return CloseWith(handle, rc);
        const bool gone = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
        return CloseWith(handle, gone ? XpWinError::Success : LastError());
    }
    if (rc != XpWinError::Success) return CloseWith(handle, rc);
    if (isDirectory) return CloseWith(handle, XpWinError::AccessDenied);

    // A read-only file is made writable for the delete, and gets its attribute back when
    // the delete fails.
    FILE_BASIC_INFO basic{};
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
        if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic))
            return CloseWith(handle, LastError());
    }
    if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
        // Wine carries the delete out through the file's path when the handle closes: a
        // folder swapped for a link since the check would redirect it. Looked at once more
        // just before the close, such a handle gives its delete back. (Windows deletes
        // the file the handle names; there this changes nothing.)
        if (Inspect(handle, state, name, nullptr) == XpWinError::Success) return CloseWith(handle, XpWinError::Success);
        FILE_DISPOSITION_INFO keep{FALSE};
        SetFileInformationByHandle(handle, FileDispositionInfo, &keep, sizeof keep);
        return CloseWith(handle, XpWinError::StoppedOnSymlink);
    }
    rc = LastError();
    if (readOnly) {
        basic.FileAttributes = attributes;
        SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    }
    return CloseWith(handle, rc);
}

uint32_t XpPlatformRemoveFolderAt(XpFolderHandle parent, const XpChar* name, XpFolderHandle folder)
{
    (void)parent;
    (void)name;
    Folder* state = FolderOf(folder);
    if (state == nullptr) return XpWinError::InvalidHandle;
    // The folder goes by a handle to the very folder that was emptied, wherever it now
    // stands; it disappears once the last handle to it is closed.
    const HANDLE remover = ReOpenFile(state->handle, DELETE | SYNCHRONIZE, kShareAll,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    uint32_t rc = XpWinError::Success;
    if (remover == INVALID_HANDLE_VALUE) {
        rc = LastError();
    } else {
        FILE_DISPOSITION_INFO disposition{TRUE};
        if (!SetFileInformationByHandle(remover, FileDispositionInfo, &disposition, sizeof disposition))
            rc = LastError();
        CloseHandle(remover);
    }
    XpPlatformCloseFolder(folder);
    return rc;
}

uint32_t XpPlatformCreateFileAt(XpFolderHandle parent, const XpChar* name, uint32_t access, uint32_t shareMode,
                                uint32_t disposition, uint32_t flagsAndAttributes, XpFileHandle* handle)
{
    if (handle == nullptr) return XpWinError::InvalidParameter;
    *handle = kXpInvalidFileHandle;
    Folder* state = FolderOf(parent);
    if (state == nullptr) return XpWinError::InvalidHandle;
    ULONG ntDisposition = 0;
    bool truncates = false;
    if (!IsOneName(name) || !OpenDisposition(disposition, &ntDisposition, &truncates))
        return XpWinError::InvalidParameter;
    // As CreateFileW: truncating needs write access.
    if (truncates && (access & GENERIC_WRITE) == 0) return XpWinError::InvalidParameter;
    ULONG options = FILE_NON_DIRECTORY_FILE;
    if (flagsAndAttributes & FILE_FLAG_SEQUENTIAL_SCAN) options |= FILE_SEQUENTIAL_ONLY;
    if (flagsAndAttributes & FILE_FLAG_RANDOM_ACCESS) options |= FILE_RANDOM_ACCESS;
    const ULONG attributes = flagsAndAttributes & 0xFFFF;

    // Open-or-create goes as an open and then a create of a new file, so that no create
    // ever follows a link (a system that follows links on open would otherwise make the
    // link's missing target).
    HANDLE opened = INVALID_HANDLE_VALUE;
    ULONG_PTR information = 0;
    uint32_t rc = XpWinError::StoppedOnSymlink;
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        if (ntDisposition != FILE_CREATE) {
            rc = OpenRelative(state->handle, name, access, FILE_OPEN, options, attributes, shareMode, nullptr, &opened,
                              &information);
            if (rc != XpWinError::FileNotFound || ntDisposition == FILE_OPEN) break;
        }
        rc = OpenRelative(state->handle, name, access, FILE_CREATE, options, attributes, shareMode, nullptr, &opened,
                          &information);
        if (rc == XpWinError::AlreadyExists) rc = XpWinError::FileExists;
        if (rc != XpWinError::FileExists || ntDisposition == FILE_CREATE) break;
        // Something appeared in between, or a link the open followed leads nowhere.
        rc = XpWinError::StoppedOnSymlink;
    }
    if (rc != XpWinError::Success) return rc;

    rc = Inspect(opened, state, name, nullptr);
    if (rc != XpWinError::Success) return CloseWith(opened, rc);
    if (truncates && information != FILE_CREATED) {
        FILE_END_OF_FILE_INFO end{};
        if (!SetFileInformationByHandle(opened, FileEndOfFileInfo, &end, sizeof end))
            return CloseWith(opened, LastError());
    }
    *handle = reinterpret_cast<XpFileHandle>(opened);
    return XpWinError::Success;
}

uint32_t XpPlatformCreateFileNoFollow(const XpChar* path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                                      uint32_t flagsAndAttributes, XpFileHandle* handle)
{
    if (handle == nullptr) return XpWinError::InvalidParameter;
    *handle = kXpInvalidFileHandle;
    XpFolderHandle folder = kXpInvalidFolderHandle;
    std::wstring last;
    const uint32_t rc = OpenFolderOf(path, &folder, &last);
    if (rc != XpWinError::Success) return rc;
    const uint32_t result =
        XpPlatformCreateFileAt(folder, last.c_str(), access, shareMode, disposition, flagsAndAttributes, handle);
    XpPlatformCloseFolder(folder);
    return result;
}

uint32_t XpPlatformCreatePrivateFolder(const XpChar* path, XpFolderHandle* held)
{
    if (held != nullptr) *held = kXpInvalidFolderHandle;
    XpFolderHandle parent = kXpInvalidFolderHandle;
    std::wstring last;
    uint32_t rc = OpenFolderOf(path, &parent, &last);
    if (rc != XpWinError::Success) return rc;
    Folder* state = FolderOf(parent);

    const bool elevated = IsElevated();
    PrivateAccess access;
    if (elevated && !access.Ready()) {
        XpPlatformCloseFolder(parent);
        return LastError();
    }
    ACCESS_MASK rights = FILE_LIST_DIRECTORY | READ_CONTROL | (elevated ? WRITE_DAC : 0);
    // A held folder is shared with nobody who would delete it, from the create or open on:
    // there is no moment in which it could be moved away unseen.
    ULONG share = kShareAll;
    if (held != nullptr) {
        rights |= FILE_TRAVERSE;
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    }
    // Made here with the access list from the start, or found and checked by handle. A
    // name that exists for the create but never for the open is a link that leads nowhere
    // (Wine follows it on open).
    HANDLE handle = INVALID_HANDLE_VALUE;
    rc = XpWinError::StoppedOnSymlink;
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        uint32_t step = OpenRelative(state->handle, last.c_str(), rights, FILE_CREATE, FILE_DIRECTORY_FILE, 0, share,
                                     elevated ? access.Descriptor() : nullptr, &handle, nullptr);
        if (step == XpWinError::Success) {
            rc = Inspect(handle, state, last.c_str(), nullptr);
            break;
        }
        if (step != XpWinError::AlreadyExists && step != XpWinError::FileExists) {
            rc = step;
            break;
        }
        bool isDirectory = false;
        step = OpenChecked(state, last.c_str(), rights, 0, &handle, &isDirectory, share);
        if (step == XpWinError::FileNotFound) continue;
        if (step == XpWinError::Success)
            step = isDirectory ? AdoptExisting(handle, elevated, access) : XpWinError::AlreadyExists;
        rc = step;
        break;
    }
    XpPlatformCloseFolder(parent);
    if (handle == INVALID_HANDLE_VALUE) return rc;
    if (rc == XpWinError::Success && held != nullptr) return HandOut(handle, held);
    CloseHandle(handle);
    return rc;
}
