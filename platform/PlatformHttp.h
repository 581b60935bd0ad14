#pragma once
// HTTP and HTTPS requests: the update check and the package download.
// Windows: WinInet, with the system's pre-configured proxy settings.
// Linux: libcurl, with the proxies of the environment (http_proxy, https_proxy, no_proxy)
// and TLS certificates checked against the system's store.
//
// On both targets: a connect time-out and a no-data time-out (10 s each unless the
// session is given others), nothing written to or taken from a cache, redirects followed
// but only to http and https URLs (the first URL must be one too: any other scheme fails
// before anything is opened), certificate errors never ignored. A read returns fewer
// bytes than asked only at the end of the body, however the server sends it (slowly,
// chunked, without a length).
//
// Failures are Windows error numbers: WinInet's own (XpWinError::Internet*) on both targets.

#include <cstddef>
#include <cstdint>

#include "platform/XpChar.h"

struct XpHttpSession;
struct XpHttpRequest;

struct XpHttpTimeouts {
    uint32_t connectMs = 10000;
    // The longest wait for the next bytes of an answer once the request has gone out.
    uint32_t receiveMs = 10000;
};

// 0 and a session, or an error number and null.
uint32_t XpPlatformHttpOpenSession(const XpHttpTimeouts& timeouts, XpHttpSession** session);
// Null is allowed. Requests of the session must be closed first.
void XpPlatformHttpCloseSession(XpHttpSession* session);

// Sends one request and waits for the status line and headers of the final answer (after
// redirects). method: "GET" or "POST"; header: one header line without its line end, or
// null; body: bodySize bytes sent as they are (null for none). A redirect with 303, or
// 301/302 after a POST, continues with a GET without body. 0 and a request to read, or
// an error number and null.
uint32_t XpPlatformHttpSend(XpHttpSession* session, const XpChar* url, const char* method, const char* header,
                            const void* body, size_t bodySize, XpHttpRequest** request);
// The status code of the final answer.
uint32_t XpPlatformHttpStatus(XpHttpRequest* request);
// The announced content length of the final answer; false when it announces none or one
// that is not a plain decimal number.
bool XpPlatformHttpContentLength(XpHttpRequest* request, uint64_t* length);
// Reads up to size bytes of the body into buffer: *count < size only at its end (0 once
// it has all been read). A connection that ends before the announced length is the end
// of the body, not an error; the caller compares the count with the length. An error
// number for a time-out or a broken transfer.
uint32_t XpPlatformHttpRead(XpHttpRequest* request, void* buffer, uint32_t size, uint32_t* count);
// Null is allowed.
void XpPlatformHttpCloseRequest(XpHttpRequest* request);

// Trusts the certificates of a PEM file as further roots for HTTPS in this process, for
// loopback servers with a CA of their own (tests, a sandbox). Linux only: Windows trusts
// only its certificate stores (XpWinError::NotSupported there).
uint32_t XpPlatformHttpTrustRootsFile(const XpChar* pemFile);
