#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/PlatformCodeSignature.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"
#include "platform/posix/PosixAuthenticode.h"
#include "platform/posix/PosixByteSource.h"
#include "platform/posix/PosixCommon.h"
#include "platform/posix/PosixShareModes.h"

namespace {

std::string Roots(const XpChar* extraRoots)
{
    return extraRoots ? XpPosixToUtf8(extraRoots) : std::string();
}

uint32_t VerifyDescriptor(int fd, bool checkTrust, const std::string& roots, XpPlatformString* signer)
{
    struct stat info;
    if (fstat(fd, &info) != 0) return XpTrustError::FileError;
    if (!S_ISREG(info.st_mode)) return XpTrustError::SubjectFormUnknown;
    return XpPosixVerifySignature(XpPosixFdByteSource(fd, static_cast<uint64_t>(info.st_size)), checkTrust, roots,
                                  signer);
}

// Runs check on a descriptor of path opened for this one call.
template <typename Check>
uint32_t WithFile(const XpChar* path, Check check)
{
    const int fd = open(XpPosixToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return XpTrustError::FileError;
    const uint32_t result = check(fd);
    close(fd);
    return result;
}

int Descriptor(void* handle)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(handle)) - 1;
}

// Neither the package nor its folder may belong to another user or be writable by
// others: else someone without the updater's rights could change the bytes between the
// check and the run.
bool OnlyOwnerMayChange(const struct stat& info)
{
    return info.st_uid == geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

uint32_t XpPlatformVerifyFileTrust(const XpChar* path, const XpChar* extraRoots)
{
    const std::string roots = Roots(extraRoots);
    return WithFile(path, [&](int fd) { return VerifyDescriptor(fd, true, roots, nullptr); });
}

uint32_t XpPlatformFileSigner(const XpChar* path, XpPlatformString& name)
{
    name.clear();
    const uint32_t result = WithFile(path, [&](int fd) { return VerifyDescriptor(fd, false, std::string(), &name); });
    if (result != 0) name.clear();
    return result != 0 ? result : name.empty() ? XpTrustError::NoSignerCert : 0;
}

uint32_t XpPlatformHeldFile::Open(const XpChar* path)
{
    Close();
    const std::string name = XpPosixToUtf8(path);
    const std::string::size_type slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return XpPosixWinError(errno, name);
    struct stat file;
    struct stat parent;
    if (fstat(fd, &file) != 0 || stat(folder.c_str(), &parent) != 0 || !S_ISREG(file.st_mode) ||
        !OnlyOwnerMayChange(file) || !OnlyOwnerMayChange(parent)) {
        close(fd);
        return XpWinError::AccessDenied;
    }
    // As on Windows: read access, shared for reading only, so that no process of this
    // library writes, renames or deletes the package while it is held.
    if (const uint32_t shared = XpPosixTakeShareMode(fd, XpFileOpen::GenericRead, XpFileOpen::ShareRead)) {
        close(fd);
        return shared;
    }
    // The package is a program that runs through this descriptor: a download is written
    // without execute permission, which the owner gives it here, on the very file held.
    if ((file.st_mode & S_IXUSR) == 0 && file.st_uid == geteuid() &&
        fchmod(fd, (file.st_mode & 07777) | S_IXUSR) != 0) {
        const int error = errno;
        close(fd);
        return XpPosixWinError(error, name);
    }
    m_handle = reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
    m_path = path;
    m_runPath = XpPosixFromUtf8("/proc/self/fd/" + std::to_string(fd));
    return 0;
}

void XpPlatformHeldFile::Close()
{
    if (m_handle == nullptr) return;
    close(Descriptor(m_handle));
    m_handle = nullptr;
    m_path.clear();
    m_runPath.clear();
}

uint32_t XpPlatformHeldFile::VerifyTrust(const XpChar* extraRoots) const
{
    if (m_handle == nullptr) return XpTrustError::FileError;
    return VerifyDescriptor(Descriptor(m_handle), true, Roots(extraRoots), nullptr);
}

uint32_t XpPlatformHeldFile::Signer(XpPlatformString& name) const
{
    name.clear();
    if (m_handle == nullptr) return XpTrustError::FileError;
    const uint32_t result = VerifyDescriptor(Descriptor(m_handle), false, std::string(), &name);
    if (result != 0) name.clear();
    return result != 0 ? result : name.empty() ? XpTrustError::NoSignerCert : 0;
}
