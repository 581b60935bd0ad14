// HTTP on Linux: libcurl, one easy handle per request driven through a multi handle, so
// that the body is pulled by the caller's reads instead of pushed into memory: a read
// runs the transfer only until the caller's buffer is full, and the socket's own flow
// control holds the server back meanwhile. At most one write callback's worth of bytes
// waits between two reads.

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/PlatformErrors.h"
#include "platform/PlatformHttp.h"
#include "platform/posix/PosixCommon.h"

namespace {

using Clock = std::chrono::steady_clock;

// The transfer's buffer: the size the download reads in.
constexpr long kTransferBufferSize = 102400;
constexpr long kMaxRedirects = 10;
// The longest single wait for the socket, so that the no-data time-out is checked often.
constexpr int kPollSliceMs = 100;

std::mutex g_rootsLock;
std::string g_rootsFile;

bool GlobalInit()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

uint32_t ErrorOf(CURLcode code)
{
    switch (code) {
        case CURLE_OK:
            return XpWinError::Success;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return XpWinError::InternetUnrecognizedScheme;
        case CURLE_URL_MALFORMAT:
            return XpWinError::InternetInvalidUrl;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return XpWinError::InternetNameNotResolved;
        case CURLE_COULDNT_CONNECT:
            return XpWinError::InternetCannotConnect;
        case CURLE_OPERATION_TIMEDOUT:
            return XpWinError::InternetTimeout;
        case CURLE_PEER_FAILED_VERIFICATION:
            return XpWinError::InternetInvalidCa;
        case CURLE_SSL_CONNECT_ERROR:
            return XpWinError::InternetSecurityChannelError;
        case CURLE_TOO_MANY_REDIRECTS:
            return XpWinError::HttpRedirectFailed;
        case CURLE_OUT_OF_MEMORY:
            return XpWinError::NotEnoughMemory;
        default:
            return XpWinError::InternetConnectionAborted;
    }
}

bool StartsWithNoCase(const char* data, size_t length, const char* prefix)
{
    const size_t n = std::strlen(prefix);
    if (length < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = data[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

}  // namespace

struct XpHttpSession {
    XpHttpTimeouts timeouts;
};

struct XpHttpRequest {
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    uint32_t receiveMs = 0;

    // The caller's buffer during a read (null while waiting for the headers).
    char* out = nullptr;
    size_t outSize = 0;
    size_t outFilled = 0;
    // Bytes that arrived beyond the caller's buffer, handed out first by the next read.
    std::vector<char> spill;
    size_t spillStart = 0;

    bool headersDone = false;
    bool blockHasLocation = false;
    bool paused = false;
    bool done = false;
    CURLcode result = CURLE_OK;
    // The no-data clock runs once the request has gone out.
    bool started = false;
    Clock::time_point lastActivity;

    ~XpHttpRequest()
    {
        if (multi != nullptr && easy != nullptr) curl_multi_remove_handle(multi, easy);
        if (easy != nullptr) curl_easy_cleanup(easy);
        if (multi != nullptr) curl_multi_cleanup(multi);
        curl_slist_free_all(headers);
    }

    void Touch() { lastActivity = Clock::now(); }

    static size_t OnBody(char* data, size_t size, size_t items, void* self)
    {
        auto* request = static_cast<XpHttpRequest*>(self);
        const size_t length = size * items;
        request->Touch();
        request->headersDone = true;
        const size_t room = request->out != nullptr ? request->outSize - request->outFilled : 0;
        // One piece beyond the caller's buffer waits in the spill; further pieces wait in
        // libcurl, which stops reading the socket until the next read resumes it.
        if (room == 0 && !request->spill.empty()) {
            request->paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        const size_t taken = std::min(length, room);
        if (taken > 0) {
            std::memcpy(request->out + request->outFilled, data, taken);
            request->outFilled += taken;
        }
        request->spill.insert(request->spill.end(), data + taken, data + length);
        return length;
    }

    // Tells the final answer's headers from those of a redirect or an interim answer.
    static size_t OnHeader(char* data, size_t size, size_t items, void* self)
    {
        auto* request = static_cast<XpHttpRequest*>(self);
        const size_t length = size * items;
        request->Touch();
        if (StartsWithNoCase(data, length, "http/")) {
            request->blockHasLocation = false;
        } else if (StartsWithNoCase(data, length, "location:")) {
            request->blockHasLocation = true;
        } else if ((length == 2 && data[0] == '\r' && data[1] == '\n') || (length == 1 && data[0] == '\n')) {
            long code = 0;
            curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &code);
            const bool redirect = code >= 300 && code < 400 && request->blockHasLocation;
            if (code >= 200 && !redirect) request->headersDone = true;
        }
        return length;
    }

    // Runs the transfer until ready() holds or it ends. 0, or the time-out's error number.
    template <class Ready>
    uint32_t Drive(Ready ready)
    {
        while (!ready() && !done) {
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK) {
                done = true;
                result = CURLE_RECV_ERROR;
                break;
            }
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    done = true;
                    result = message->data.result;
                }
            }
            if (ready() || done) break;
            if (!started) {
                curl_off_t sent = 0;
                curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &sent);
                if (sent > 0) {
                    started = true;
                    Touch();
                }
            }
            if (started && Clock::now() - lastActivity > std::chrono::milliseconds(receiveMs)) {
                return XpWinError::InternetTimeout;
            }
            int events = 0;
            curl_multi_poll(multi, nullptr, 0, kPollSliceMs, &events);
        }
        return XpWinError::Success;
    }
};

uint32_t XpPlatformHttpOpenSession(const XpHttpTimeouts& timeouts, XpHttpSession** session)
{
    *session = nullptr;
    if (!GlobalInit()) return XpWinError::InternetInternalError;
    *session = new XpHttpSession{timeouts};
    return XpWinError::Success;
}

void XpPlatformHttpCloseSession(XpHttpSession* session)
{
    delete session;
}

uint32_t XpPlatformHttpSend(XpHttpSession* session, const XpChar* url, const char* method, const char* header,
                            const void* body, size_t bodySize, XpHttpRequest** request)
{
    *request = nullptr;
    if (session == nullptr || url == nullptr) return XpWinError::InvalidParameter;
    auto* r = new XpHttpRequest;
    r->receiveMs = session->timeouts.receiveMs;
    r->easy = curl_easy_init();
    r->multi = curl_multi_init();
    if (r->easy == nullptr || r->multi == nullptr) {
        delete r;
        return XpWinError::InternetInternalError;
    }
    const std::string urlText = XpPosixToUtf8(url);
    CURL* easy = r->easy;
    curl_easy_setopt(easy, CURLOPT_URL, urlText.c_str());
    // Only http and https, for the first URL and every redirect: the updater never opens
    // files or other services that a server names.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(session->timeouts.connectMs));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Kestrow");
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kTransferBufferSize);
    // Bytes as sent: no transfer decoding that would change what the length counts.
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    {
        std::lock_guard<std::mutex> lock(g_rootsLock);
        if (!g_rootsFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, g_rootsFile.c_str());
    }
    // Nothing from or for a cache on the way.
    r->headers = curl_slist_append(r->headers, "Cache-Control: no-cache");
    r->headers = curl_slist_append(r->headers, "Pragma: no-cache");
    // A POST body goes at once, without waiting for "100 Continue".
    r->headers = curl_slist_append(r->headers, "Expect:");
    if (header != nullptr) r->headers = curl_slist_append(r->headers, header);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, r->headers);
    if (std::strcmp(method, "POST") == 0) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodySize));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body != nullptr ? static_cast<const char*>(body) : "");
    } else if (std::strcmp(method, "GET") != 0) {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method);
    }
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &XpHttpRequest::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, r);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &XpHttpRequest::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, r);
    if (curl_multi_add_handle(r->multi, easy) != CURLM_OK) {
        delete r;
        return XpWinError::InternetInternalError;
    }
    r->Touch();
    uint32_t error = r->Drive([r] { return r->headersDone; });
    if (error == XpWinError::Success && !r->headersDone) {
        error = r->result != CURLE_OK ? ErrorOf(r->result) : XpWinError::InternetConnectionAborted;
    }
    if (error != XpWinError::Success) {
        delete r;
        return error;
    }
    *request = r;
    return XpWinError::Success;
}

uint32_t XpPlatformHttpStatus(XpHttpRequest* request)
{
    long code = 0;
    if (request == nullptr || curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) return 0;
    return code > 0 ? static_cast<uint32_t>(code) : 0;
}

bool XpPlatformHttpContentLength(XpHttpRequest* request, uint64_t* length)
{
    curl_off_t value = -1;
    if (request == nullptr ||
        curl_easy_getinfo(request->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &value) != CURLE_OK || value < 0) {
        return false;
    }
    *length = static_cast<uint64_t>(value);
    return true;
}

uint32_t XpPlatformHttpRead(XpHttpRequest* request, void* buffer, uint32_t size, uint32_t* count)
{
    *count = 0;
    if (request == nullptr) return XpWinError::InvalidHandle;
    XpHttpRequest& r = *request;
    char* out = static_cast<char*>(buffer);
    size_t filled = std::min<size_t>(size, r.spill.size() - r.spillStart);
    if (filled > 0) std::memcpy(out, r.spill.data() + r.spillStart, filled);
    r.spillStart += filled;
    if (r.spillStart == r.spill.size()) {
        r.spill.clear();
        r.spillStart = 0;
    }
    uint32_t error = XpWinError::Success;
    if (filled < size) {
        r.out = out;
        r.outSize = size;
        r.outFilled = filled;
        r.Touch();
        if (r.paused) {
            r.paused = false;
            curl_easy_pause(r.easy, CURLPAUSE_CONT);
        }
        error = r.Drive([&r] { return r.outFilled == r.outSize; });
        filled = r.outFilled;
        r.out = nullptr;
        r.outSize = r.outFilled = 0;
    }
    *count = static_cast<uint32_t>(filled);
    if (error != XpWinError::Success) return error;
    // A connection that closes short of the announced length ends the body, as it does
    // for WinInet's synchronous reads: the caller compares the count with the length.
    if (r.done && filled < size && r.result != CURLE_OK && r.result != CURLE_PARTIAL_FILE) {
        return ErrorOf(r.result);
    }
    return XpWinError::Success;
}

void XpPlatformHttpCloseRequest(XpHttpRequest* request)
{
    delete request;
}

uint32_t XpPlatformHttpTrustRootsFile(const XpChar* pemFile)
{
    std::lock_guard<std::mutex> lock(g_rootsLock);
    g_rootsFile = pemFile != nullptr ? XpPosixToUtf8(pemFile) : std::string();
    return XpWinError::Success;
}
