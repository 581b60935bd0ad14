// HTTP on Windows: WinInet, synchronous. Redirects are followed here rather than by
// WinInet, so that each target is checked for its scheme before anything is opened.

#include <windows.h>
//
#include <wininet.h>

#include <cstring>
#include <string>

#include "platform/PlatformErrors.h"
#include "platform/PlatformHttp.h"

namespace {

constexpr int kMaxRedirects = 10;
// Always fetched from the server, never written to the cache, connections kept, no
// dialogs, bytes as sent; redirects are taken by the caller.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI | INTERNET_FLAG_TRANSFER_BINARY |
                                INTERNET_FLAG_NO_AUTO_REDIRECT;

struct UrlParts {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // path and query
};

// Splits an absolute http or https URL; false for anything else.
bool SplitUrl(const std::wstring& url, UrlParts* parts)
{
    URL_COMPONENTSW components{};
    components.dwStructSize = sizeof components;
    components.dwHostNameLength = 1;
    components.dwUrlPathLength = 1;
    components.dwExtraInfoLength = 1;
    components.dwSchemeLength = 1;
    if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &components)) return false;
    if (components.nScheme != INTERNET_SCHEME_HTTP && components.nScheme != INTERNET_SCHEME_HTTPS) return false;
    if (components.lpszHostName == nullptr || components.dwHostNameLength == 0) return false;
    parts->scheme = components.nScheme;
    parts->host.assign(components.lpszHostName, components.dwHostNameLength);
    parts->port = components.nPort;
    parts->object.clear();
    if (components.lpszUrlPath != nullptr) parts->object.assign(components.lpszUrlPath, components.dwUrlPathLength);
    if (components.lpszExtraInfo != nullptr) {
        parts->object.append(components.lpszExtraInfo, components.dwExtraInfoLength);
    }
    if (parts->object.empty() || parts->object[0] != L'/') parts->object.insert(0, L"/");
    return true;
}

bool QueryText(HINTERNET handle, DWORD level, std::wstring* text)
{
    DWORD bytes = 0;
    HttpQueryInfoW(handle, level, nullptr, &bytes, nullptr);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return false;
    std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!HttpQueryInfoW(handle, level, buffer.data(), &bytes, nullptr)) return false;
    buffer.resize(bytes / sizeof(wchar_t));
    *text = buffer;
    return true;
}

DWORD QueryStatus(HINTERNET handle)
{
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
    return status;
}

bool IsRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

struct XpHttpSession {
    HINTERNET internet = nullptr;
    DWORD receiveMs = 0;
};

struct XpHttpRequest {
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;

    void Close()
    {
        if (request != nullptr) InternetCloseHandle(request);
        if (connection != nullptr) InternetCloseHandle(connection);
        request = connection = nullptr;
    }
    ~XpHttpRequest() { Close(); }
};

uint32_t XpPlatformHttpOpenSession(const XpHttpTimeouts& timeouts, XpHttpSession** session)
{
    *session = nullptr;
    HINTERNET internet =
        InternetOpenW(L"Kestrow", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_DONT_CACHE);
    if (internet == nullptr) return GetLastError();
    DWORD connect = timeouts.connectMs;
    DWORD receive = timeouts.receiveMs;
    InternetSetOptionW(internet, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionW(internet, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof receive);
    // The wait for the answer's headers is a wait for data too.
    InternetSetOptionW(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
    *session = new XpHttpSession{internet, receive};
    return XpWinError::Success;
}

void XpPlatformHttpCloseSession(XpHttpSession* session)
{
    if (session == nullptr) return;
    InternetCloseHandle(session->internet);
    delete session;
}

uint32_t XpPlatformHttpSend(XpHttpSession* session, const XpChar* url, const char* method, const char* header,
                            const void* body, size_t bodySize, XpHttpRequest** request)
{
    *request = nullptr;
    if (session == nullptr || url == nullptr) return XpWinError::InvalidParameter;
    if (bodySize > 0xFFFFFFFFu) return XpWinError::InvalidParameter;
    std::wstring current = url;
    std::wstring verb(method, method + std::strlen(method));
    std::wstring headerLine;
    if (header != nullptr) headerLine.assign(header, header + std::strlen(header));
    const void* sendBody = body;
    DWORD sendSize = static_cast<DWORD>(bodySize);
    auto* r = new XpHttpRequest;
    for (int redirects = 0;; ++redirects) {
        UrlParts parts;
        if (!SplitUrl(current, &parts)) {
            delete r;
            return redirects == 0 ? XpWinError::InternetUnrecognizedScheme : XpWinError::HttpRedirectFailed;
        }
        DWORD flags = kRequestFlags;
        if (parts.scheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
        r->connection = InternetConnectW(session->internet, parts.host.c_str(), parts.port, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, flags, 1);
        if (r->connection != nullptr) {
            r->request = HttpOpenRequestW(r->connection, verb.c_str(), parts.object.c_str(), nullptr, nullptr, nullptr,
                                          flags, 1);
        }
        if (r->request != nullptr) {
            // Wine takes the receive time-outs only from the request itself.
            DWORD receive = session->receiveMs;
            InternetSetOptionW(r->request, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
            InternetSetOptionW(r->request, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof receive);
        }
        if (r->request == nullptr ||
            !HttpSendRequestW(r->request, headerLine.empty() ? nullptr : headerLine.c_str(),
                              static_cast<DWORD>(headerLine.size()), const_cast<void*>(sendBody), sendSize)) {
            const DWORD error = GetLastError();
            delete r;
            return error != 0 ? error : XpWinError::InternetConnectionAborted;
        }
        const DWORD status = QueryStatus(r->request);
        std::wstring location;
        if (!IsRedirect(status) || !QueryText(r->request, HTTP_QUERY_LOCATION, &location)) break;
        if (redirects == kMaxRedirects) {
            delete r;
            return XpWinError::HttpRedirectFailed;
        }
        // The target, made absolute against the URL that answered with it.
        std::wstring target(INTERNET_MAX_URL_LENGTH + 1, L'\0');
        DWORD length = static_cast<DWORD>(target.size());
        if (!InternetCombineUrlW(current.c_str(), location.c_str(), target.data(), &length, ICU_NO_ENCODE)) {
            delete r;
            return XpWinError::HttpRedirectFailed;
        }
        target.resize(length);
        current = target;
        if (status == 303 || ((status == 301 || status == 302) && verb == L"POST")) {
            verb = L"GET";
            sendBody = nullptr;
            sendSize = 0;
            headerLine.clear();
        }
        r->Close();
    }
    *request = r;
    return XpWinError::Success;
}

uint32_t XpPlatformHttpStatus(XpHttpRequest* request)
{
    return request != nullptr ? QueryStatus(request->request) : 0;
}

bool XpPlatformHttpContentLength(XpHttpRequest* request, uint64_t* length)
{
    std::wstring text;
    if (request == nullptr || !QueryText(request->request, HTTP_QUERY_CONTENT_LENGTH, &text) || text.empty()) {
        return false;
    }
    uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        const uint64_t digit = static_cast<uint64_t>(c - L'0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    *length = value;
    return true;
}

uint32_t XpPlatformHttpRead(XpHttpRequest* request, void* buffer, uint32_t size, uint32_t* count)
{
    *count = 0;
    if (request == nullptr) return XpWinError::InvalidHandle;
    // A synchronous read may stop at what one packet brought: read on until the buffer is
    // full or a read finds the end.
    auto* out = static_cast<char*>(buffer);
    uint32_t filled = 0;
    while (filled < size) {
        DWORD got = 0;
        if (!InternetReadFile(request->request, out + filled, size - filled, &got)) {
            *count = filled;
            const DWORD error = GetLastError();
            // Wine reports the receive time-out as the socket's own.
            return error == WSAETIMEDOUT ? XpWinError::InternetTimeout : error;
        }
        if (got == 0) break;
        filled += got;
    }
    *count = filled;
    return XpWinError::Success;
}

void XpPlatformHttpCloseRequest(XpHttpRequest* request)
{
    delete request;
}

uint32_t XpPlatformHttpTrustRootsFile(const XpChar*)
{
    return XpWinError::NotSupported;
}
