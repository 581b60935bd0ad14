// The HTTP service against the loopback update server on both targets: whole bodies
// however the server sends them, reads that come short only at the end, redirects and
// the schemes they may lead to, certificates, time-outs; and the SHA-1 service.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "network/UpdateServer.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformHttp.h"
#include "platform/PlatformSha1.h"
#include "update/Sha1Hex.h"

namespace {

using kestrow_test::UpdateServer;

std::string Hex(const uint8_t* bytes, size_t size)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

TEST(PlatformSha1, KnownDigests)
{
    uint8_t digest[kXpSha1DigestSize];
    ASSERT_EQ(XpPlatformSha1("", 0, digest), 0u);
    EXPECT_EQ(Hex(digest, sizeof digest), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    const std::string million(1000000, 'a');
    ASSERT_EQ(XpPlatformSha1(million.data(), million.size(), digest), 0u);
    EXPECT_EQ(Hex(digest, sizeof digest), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(std::string(Sha1Hex(XP_T("abc")).ToNarrow().GetString()), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

// A session and a request that the test closes in any case.
class Exchange {
public:
    explicit Exchange(uint32_t receiveMs = 10000)
    {
        XpHttpTimeouts timeouts;
        timeouts.receiveMs = receiveMs;
        EXPECT_EQ(XpPlatformHttpOpenSession(timeouts, &m_session), 0u);
    }
    ~Exchange()
    {
        XpPlatformHttpCloseRequest(m_request);
        XpPlatformHttpCloseSession(m_session);
    }
    uint32_t Get(const std::string& url)
    {
        const XpString text = XpNarrowString(url.c_str()).ToWide();
        return XpPlatformHttpSend(m_session, text.GetString(), "GET", nullptr, nullptr, 0, &m_request);
    }
    // Reads the body in pieces of the given size; every piece but the last must be full.
    uint32_t ReadAll(uint32_t piece, std::string* body)
    {
        std::string buffer(piece, '\0');
        for (;;) {
            uint32_t count = 0;
            const uint32_t error = XpPlatformHttpRead(m_request, buffer.data(), piece, &count);
            body->append(buffer.data(), count);
            if (error != 0) return error;
            if (count < piece) {
                uint32_t after = 0;
                EXPECT_EQ(XpPlatformHttpRead(m_request, buffer.data(), piece, &after), 0u);
                EXPECT_EQ(after, 0u) << "a short read before the end of the body";
                return 0;
            }
        }
    }
    XpHttpRequest* Request() { return m_request; }

private:
    XpHttpSession* m_session = nullptr;
    XpHttpRequest* m_request = nullptr;
};

class PlatformHttp : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_server = UpdateServer::Get();
        if (m_server == nullptr) GTEST_SKIP();
        m_package.resize(300007);
        for (size_t i = 0; i < m_package.size(); ++i) m_package[i] = static_cast<char>((i * 7919) >> 5);
        m_server->WritePackage("body.bin", m_package);
    }
    UpdateServer* m_server = nullptr;
    std::string m_package;
};

TEST_F(PlatformHttp, BodiesComeWholeHoweverTheyAreSent)
{
    for (const char* kind : {"/packages/", "/chunked/", "/nolength/", "/slow/"}) {
        for (const std::string& listener : {std::string("http"), m_server->Secure()}) {
            SCOPED_TRACE(listener + kind);
            Exchange exchange;
            ASSERT_EQ(exchange.Get(m_server->Url(listener, std::string(kind) + "body.bin")), 0u);
            EXPECT_EQ(XpPlatformHttpStatus(exchange.Request()), 200u);
            uint64_t length = 0;
            const bool announced = XpPlatformHttpContentLength(exchange.Request(), &length);
            EXPECT_EQ(announced, std::string(kind) == "/packages/" || std::string(kind) == "/slow/");
            if (announced) {
                EXPECT_EQ(length, m_package.size());
            }
            std::string body;
            EXPECT_EQ(exchange.ReadAll(102400, &body), 0u);
            EXPECT_TRUE(body == m_package) << body.size() << " bytes";
        }
    }
}

TEST_F(PlatformHttp, StatusesAndRedirects)
{
    Exchange missing;
    ASSERT_EQ(missing.Get(m_server->Url("http", "/status/403")), 0u);
    EXPECT_EQ(XpPlatformHttpStatus(missing.Request()), 403u);

    // Relative and absolute targets, across the schemes, for every redirect status.
    for (const char* code : {"301", "302", "303", "307", "308"}) {
        Exchange moved;
        ASSERT_EQ(moved.Get(m_server->Url(m_server->Secure(), std::string("/redirect/") + code + "/packages/body.bin")),
                  0u)
            << code;
        EXPECT_EQ(XpPlatformHttpStatus(moved.Request()), 200u);
        std::string body;
        EXPECT_EQ(moved.ReadAll(65536, &body), 0u);
        EXPECT_EQ(body.size(), m_package.size());
    }
    Exchange across;
    ASSERT_EQ(across.Get(m_server->Url("http", "/redirect-to?url=") + m_server->Url(m_server->Secure(), "/status/204")),
              0u);
    EXPECT_EQ(XpPlatformHttpStatus(across.Request()), 204u);
}

TEST_F(PlatformHttp, OnlyHttpAndHttpsAreOpened)
{
    for (const std::string target : {"file:///etc/passwd", "ftp://127.0.0.1/x", "smb://127.0.0.1/share/x.exe",
                                     "file://C:/windows/win.ini", "gopher://127.0.0.1/"}) {
        SCOPED_TRACE(target);
        Exchange direct;
        EXPECT_NE(direct.Get(target), 0u);
        EXPECT_EQ(direct.Request(), nullptr);
        Exchange redirected;
        EXPECT_NE(redirected.Get(m_server->Url("http", "/redirect-to?url=" + target)), 0u);
        EXPECT_EQ(redirected.Request(), nullptr);
    }
}

TEST_F(PlatformHttp, RefusedConnectionsAndCertificates)
{
    Exchange untrusted;
    EXPECT_NE(untrusted.Get(m_server->Url("untrusted", "/packages/body.bin")), 0u);
    Exchange closed;
    EXPECT_NE(closed.Get(m_server->Url("closed", "/packages/body.bin")), 0u);
}

TEST_F(PlatformHttp, ShortBodyEndsAndStallTimesOut)
{
    Exchange half;
    ASSERT_EQ(half.Get(m_server->Url("http", "/half/body.bin")), 0u);
    std::string body;
    EXPECT_EQ(half.ReadAll(102400, &body), 0u);
    EXPECT_EQ(body, m_package.substr(0, m_package.size() / 2));

    Exchange stall(1000);
    ASSERT_EQ(stall.Get(m_server->Url("http", "/stall/body.bin")), 0u);
    const auto start = std::chrono::steady_clock::now();
    std::string partial;
    EXPECT_EQ(stall.ReadAll(m_package.size(), &partial), XpWinError::InternetTimeout);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::milliseconds(3500));
}

}  // namespace
