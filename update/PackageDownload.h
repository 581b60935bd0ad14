#pragma once
// The package download: the package URL's body streamed into a file of the work
// directory, with progress for the dialog and a Cancel through the abort flag.

#include <atomic>
#include <cstdint>

#include "foundation/text/XpString.h"
#include "platform/PlatformHttp.h"
#include "update/StageMessages.h"

// Results of PackageDownloadSession::Download.
namespace DownloadResult {
inline constexpr int Complete = 0;
inline constexpr int Cancelled = 1;
inline constexpr int FileError = 2;
inline constexpr int InternetError = 3;
// Nothing to download, a transfer that ended short of the length, any other failure.
inline constexpr int Other = 10;
}  // namespace DownloadResult

class PackageDownloadSession {
public:
    // Reads and writes go in pieces of this size, through one buffer.
    static constexpr uint32_t kChunkSize = 102400;
    // The least time between two progress messages.
    static constexpr uint32_t kProgressIntervalMs = 500;

    explicit PackageDownloadSession(const XpHttpTimeouts& timeouts = XpHttpTimeouts());
    ~PackageDownloadSession();
    PackageDownloadSession(const PackageDownloadSession&) = delete;
    PackageDownloadSession& operator=(const PackageDownloadSession&) = delete;

    // GETs the URL (http or https only). True for a 200 answer that announces a content
    // length from 1 to 0xFFFFFFFF: the package size is 32-bit, so a larger one counts as
    // none.
    bool Open(const XpString& url);
    // Streams the body into a new file at path; an existing file or a link there is a
    // file error (2) and stays untouched. abort (may be null) is read
    // before each piece; progress (may be null) gets WM_DOWNLOAD_PROGRESS (bytes received,
    // content length) at most every kProgressIntervalMs and once after the transfer.
    int Download(const XpString& path, const std::atomic<bool>* abort, const StagePost* progress);

    uint32_t ContentLength() const { return m_dwContentLength; }
    uint32_t BytesReceived() const { return m_dwBytesReceived; }

private:
    XpHttpSession* m_pSession = nullptr;
    XpHttpRequest* m_pRequest = nullptr;
    uint32_t m_dwContentLength = 0;
    uint32_t m_dwBytesReceived = 0;
};

// What the download takes from the application object and gives back to it.
struct DownloadContext {
    XpString packageUrl;
    XpString workDirectory;
    XpHttpTimeouts timeouts;
    // Written before the final message is posted.
    XpString packagePath;
    uint32_t packageSize = 0;
    bool downloadComplete = false;
};

// The download stage's work: opens the package URL, makes sure that the work directory is
// still a folder and no link (IsWorkDirectoryInPlace; else result 2), refuses a link at the
// package's name (result 2), reuses a package already in it (WM_VERIFY_START), else
// downloads it (WM_DOWNLOAD_BEGUN, progress,
// WM_DOWNLOAD_DONE). Failures post WM_STAGE_FAILED: RC_NETWORK_ERROR when the URL does not
// open or the transfer breaks, RC_UNKNOWN_ERROR with the result code otherwise (2 also for
// a URL that gives no usable file name). A cancel posts nothing after the last progress.
// 0 after a success message or a cancel, -1 otherwise; -1 without posting when post is
// empty.
int RunDownload(DownloadContext& context, const StagePost& post, const std::atomic<bool>* abort);
