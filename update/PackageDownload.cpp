#include "update/PackageDownload.h"

#include <chrono>
#include <memory>

#include "foundation/files/XpFile.h"
#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPathText.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformSecureFiles.h"
#include "update/PackageUrl.h"
#include "update/WorkDirectory.h"

namespace {

uint64_t NowMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The package file, made new in its folder, and that folder opened from the one above it
// without following a link: neither a link put in the work folder's place nor a file or
// link under the package's name can lead the elevated write to another file. Others may
// read the package while it grows, but neither write nor delete it.
class NewPackageFile {
public:
    NewPackageFile() = default;
    ~NewPackageFile() { Close(); }
    NewPackageFile(const NewPackageFile&) = delete;
    NewPackageFile& operator=(const NewPackageFile&) = delete;

    uint32_t Create(const XpString& path)
    {
        XpFolderHandle folder = kXpInvalidFolderHandle;
        uint32_t error = OpenFolderInPlace(GetDirectoryPart(path), &folder);
        if (error != 0) return error;
        error = XpPlatformCreateFileAt(folder, GetFileNamePart(path).GetString(), XpFileOpen::GenericWrite,
                                       XpFileOpen::ShareRead, XpFileOpen::CreateNew, XpFileAttr::Normal, &m_handle);
        XpPlatformCloseFolder(folder);
        if (error != 0) m_handle = kXpInvalidFileHandle;
        return error;
    }
    uint32_t Write(const void* buffer, uint32_t size, uint32_t* done)
    {
        return XpPlatformWriteFile(m_handle, buffer, size, done);
    }
    uint32_t Close()
    {
        if (m_handle == kXpInvalidFileHandle) return 0;
        const uint32_t error = XpPlatformCloseFile(m_handle);
        m_handle = kXpInvalidFileHandle;
        return error;
    }

private:
    XpFileHandle m_handle = kXpInvalidFileHandle;
};

// What stands under the package's name: nothing, a file of an earlier run (which the
// verification stage checks), or a link, which nobody but an attacker puts there.
enum class Present { Nothing, File, Link };

Present PackagePresent(const XpString& path)
{
    if (!XpFileOperation::IsExistingFile(path)) return Present::Nothing;
    XpFile file(path);
    const XpResult rc = file.Open(XpFileFlag::Read | XpFileFlag::NoLinks, XpFileOpen::ShareRead);
    if (rc == XpRc::LinkRefused) return Present::Link;
    if (rc == XpRc::Ok) file.Close();
    return Present::File;
}

}  // namespace

PackageDownloadSession::PackageDownloadSession(const XpHttpTimeouts& timeouts)
{
    // Without a session every Open fails: the network-error report.
    XpPlatformHttpOpenSession(timeouts, &m_pSession);
}

PackageDownloadSession::~PackageDownloadSession()
{
    XpPlatformHttpCloseRequest(m_pRequest);
    XpPlatformHttpCloseSession(m_pSession);
}

bool PackageDownloadSession::Open(const XpString& url)
{
    m_dwContentLength = 0;
    XpPlatformHttpCloseRequest(m_pRequest);
    m_pRequest = nullptr;
    if (m_pSession == nullptr || !IsUrl(url)) return false;
    if (XpPlatformHttpSend(m_pSession, url.GetString(), "GET", nullptr, nullptr, 0, &m_pRequest) != 0) return false;
    if (XpPlatformHttpStatus(m_pRequest) != 200) return false;
    uint64_t length = 0;
    if (!XpPlatformHttpContentLength(m_pRequest, &length) || length > UINT32_MAX) return false;
    m_dwContentLength = static_cast<uint32_t>(length);
    return m_dwContentLength != 0;
}

int PackageDownloadSession::Download(const XpString& path, const std::atomic<bool>* abort, const StagePost* progress)
{
    m_dwBytesReceived = 0;
    if (m_pRequest == nullptr || m_dwContentLength == 0) return DownloadResult::Other;
    NewPackageFile file;
    if (file.Create(path) != 0) return DownloadResult::FileError;

    int result = DownloadResult::Other;
    bool failed = false;
    const std::unique_ptr<char[]> buffer(new char[kChunkSize]());
    uint64_t noted = NowMs();
    for (;;) {
        if (abort != nullptr && abort->load(std::memory_order_relaxed)) {
            result = DownloadResult::Cancelled;
            break;
        }
        uint32_t count = 0;
        if (XpPlatformHttpRead(m_pRequest, buffer.get(), kChunkSize, &count) != 0) {
            result = DownloadResult::InternetError;
            failed = true;
            break;
        }
        // More than announced would not fit the 32-bit count: the transfer is no package.
        if (count > UINT32_MAX - m_dwBytesReceived) {
            failed = true;
            break;
        }
        uint32_t written = 0;
        if (count > 0 && (file.Write(buffer.get(), count, &written) != 0 || written != count)) {
            result = DownloadResult::FileError;
            failed = true;
            break;
        }
        m_dwBytesReceived += count;
        const uint64_t now = NowMs();
        if (progress != nullptr && now - noted > kProgressIntervalMs) {
            (*progress)(WM_DOWNLOAD_PROGRESS, m_dwBytesReceived, m_dwContentLength);
            noted = now;
        }
        if (count < kChunkSize) break;
    }
    if (!failed && progress != nullptr) (*progress)(WM_DOWNLOAD_PROGRESS, m_dwBytesReceived, m_dwContentLength);
    if (file.Close() != 0 && !failed) result = DownloadResult::FileError;
    if (m_dwBytesReceived == m_dwContentLength && result != DownloadResult::FileError)
        result = DownloadResult::Complete;
    return result;
}

int RunDownload(DownloadContext& context, const StagePost& post, const std::atomic<bool>* abort)
{
    if (!post) return -1;
    context.packageSize = 0;
    PackageDownloadSession session(context.timeouts);
    if (!session.Open(context.packageUrl)) {
        post(WM_STAGE_FAILED, RC_NETWORK_ERROR, 0);
        return -1;
    }
    context.downloadComplete = false;
    context.packageSize = session.ContentLength();
    const XpString name = PackageFileNameFromUrl(context.packageUrl);
    if (name.IsEmpty()) {
        post(WM_STAGE_FAILED, RC_UNKNOWN_ERROR, DownloadResult::FileError);
        return -1;
    }
    context.packagePath = CombinePath(context.workDirectory, name);
    // The pre-check made the work directory private; a link put in its place since then
    // is a file error, and nothing is read from it or written through it.
    if (!IsWorkDirectoryInPlace(context.workDirectory)) {
        post(WM_STAGE_FAILED, RC_UNKNOWN_ERROR, DownloadResult::FileError);
        return -1;
    }
    const Present present = PackagePresent(context.packagePath);
    if (present == Present::Link) {
        post(WM_STAGE_FAILED, RC_UNKNOWN_ERROR, DownloadResult::FileError);
        return -1;
    }
    if (present == Present::File) {
        post(WM_VERIFY_START, 0, 0);
        return 0;
    }
    post(WM_DOWNLOAD_BEGUN, 0, session.ContentLength());
    const int result = session.Download(context.packagePath, abort, &post);
    switch (result) {
        case DownloadResult::Complete:
            context.downloadComplete = true;
            post(WM_DOWNLOAD_DONE, session.BytesReceived(), session.ContentLength());
            return 0;
        case DownloadResult::Cancelled:
            return 0;
        case DownloadResult::InternetError:
            post(WM_STAGE_FAILED, RC_NETWORK_ERROR, 0);
            return -1;
        default:
            post(WM_STAGE_FAILED, RC_UNKNOWN_ERROR, result);
            return -1;
    }
}
