// The update check: the form and its encoding, the texts of package URLs, and the whole
// exchange against the loopback update server, which recomputes CHECK_CODE on its own.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "network/UpdateServer.h"
#include "update/PackageUrl.h"
#include "update/UpdateCheck.h"

namespace {

using kestrow_test::LoggedRequest;
using kestrow_test::Posted;
using kestrow_test::UpdateServer;

std::string Narrow(const XpString& text)
{
    return text.ToNarrow().GetString();
}

XpString Wide(const std::string& text)
{
    return XpNarrowString(text.c_str()).ToWide();
}

TEST(UpdateCheckForm, OrderedByNameAndEncoded)
{
    UpdateCheckForm form;
    form[XP_T("b")] = XP_T("2");
    form[XP_T("a_b")] = XP_T("x");
    form[XP_T("A")] = XP_T("first");
    form[XP_T("a")] = XP_T("old");
    form[XP_T("a")] = XP_T("1");  // replaces
    EXPECT_EQ(std::string(EncodeForm(form).GetString()), "A=first&a=1&a_b=x&b=2");

    // A value cannot add or change fields.
    UpdateCheckForm tricky;
    tricky[XP_T("COUNTRY")] = XP_T("US&TEST_MODE=on");
    tricky[XP_T("LANGUAGE")] = XP_T("a b+c/%~._-");
    EXPECT_EQ(std::string(EncodeForm(tricky).GetString()), "COUNTRY=US%26TEST_MODE%3Don&LANGUAGE=a%20b%2Bc%2F%25~._-");
    EXPECT_EQ(std::string(EncodeForm(UpdateCheckForm()).GetString()), "");
}

TEST(PackageUrl, UrlTestAndTrimming)
{
    for (const XpChar* url : {XP_T("http://a/b"), XP_T("https:x"), XP_T("ftp://h/f"), XP_T("ab:")}) {
        EXPECT_TRUE(IsUrl(url)) << Narrow(url);
    }
    for (const XpChar* text : {XP_T(""), XP_T("C:\\x\\y.exe"), XP_T("no update"), XP_T(" http://a/b"),
                               XP_T("ht tp://a"), XP_T("http"), XP_T(":x")}) {
        EXPECT_FALSE(IsUrl(text)) << Narrow(text);
    }
    EXPECT_EQ(Narrow(TrimBlanks(XP_T(" \t\r\nhttp://a/b c\r\n \t"))), "http://a/b c");
    EXPECT_EQ(Narrow(TrimBlanks(XP_T("\r\n"))), "");
}

TEST(PackageUrl, FileNames)
{
    const std::pair<const XpChar*, const char*> cases[] = {
        {XP_T("https://h/files/setup.exe"), "setup.exe"},
        {XP_T("https://h/files/pkg.exe?x=1"), "pkg.exe"},
        {XP_T("https://h/files/pkg.exe?v=1.2"), "pkg.exe"},
        {XP_T("https://h/files/update.exe?id=7/9"), "update.exe"},
        {XP_T("https://h/a\\b.exe"), "b.exe"},
        {XP_T("https://h/noext"), "noext"},
        {XP_T("https://h/files/"), ""},
        {XP_T("https://h/files/?name=x.exe"), ""},
        {XP_T("https://h/nul.exe"), ""},
        {XP_T("https://h/COM1"), ""},
        {XP_T("https://h/Lpt9.txt"), ""},
        {XP_T("https://h/con .exe"), ""},
        {XP_T("https://h/COM10.exe"), "COM10.exe"},
        {XP_T("https://h/console.exe"), "console.exe"},
        {XP_T("https://h/a:b.exe"), ""},
        {XP_T("https://h/a*.exe"), ""},
        {XP_T("https://h/.."), ""},
        {XP_T("https://h/."), ""},
        {XP_T("https://h/setup.exe."), ""},
        {XP_T("https://h/setup.exe "), ""},
        {XP_T("https://h/set\tup.exe"), ""},
    };
    for (const auto& [url, name] : cases) EXPECT_EQ(Narrow(PackageFileNameFromUrl(url)), name) << Narrow(url);

    // The name and the extension each fit 255 characters.
    const std::string longest(255, 'n');
    EXPECT_EQ(Narrow(PackageFileNameFromUrl(Wide("http://h/" + longest + "." + std::string(254, 'e')))),
              longest + "." + std::string(254, 'e'));
    EXPECT_EQ(Narrow(PackageFileNameFromUrl(Wide("http://h/" + longest + "n.exe"))), "");
    EXPECT_EQ(Narrow(PackageFileNameFromUrl(Wide("http://h/a." + std::string(255, 'e')))), "");
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_server = UpdateServer::Get();
        if (m_server == nullptr) GTEST_SKIP();
        m_server->ClearCheckAnswer();
        m_server->ClearLog();
        m_context.installedVersion = XP_T("4.2.01.12020");
        m_context.country = XP_T("DEU");
        m_context.updaterVersion = XP_T("1.0.3.7");
        m_context.language = XP_T("DE");
        m_context.osVersion = XP_T("6.1.7601");
        m_context.productionEndpoint = m_server->XpUrl(m_server->Secure(), "/updater/check.php");
        m_context.testEndpoint = m_server->XpUrl("http", "/updater/check.php");
    }

    int Run()
    {
        m_posted.clear();
        return RunUpdateCheck(m_context, [this](uint32_t message, uint64_t wParam, int64_t lParam) {
            m_posted.push_back({message, wParam, lParam});
        });
    }

    void ExpectOnePosted(uint32_t message, uint64_t wParam, int64_t lParam)
    {
        ASSERT_EQ(m_posted.size(), 1u);
        EXPECT_EQ(m_posted[0].message, message);
        EXPECT_EQ(m_posted[0].wParam, wParam);
        EXPECT_EQ(m_posted[0].lParam, lParam);
    }

    // The fields of the one check the server saw, in their order on the wire.
    std::vector<std::pair<std::string, std::string> > SentFields(LoggedRequest* request = nullptr)
    {
        const std::vector<LoggedRequest> requests = m_server->Requests();
        EXPECT_EQ(requests.size(), 1u);
        if (requests.empty()) return {};
        if (request != nullptr) *request = requests.back();
        std::vector<std::pair<std::string, std::string> > fields;
        for (const std::string& pair : Split(requests.back().body, '&')) {
            const size_t equals = pair.find('=');
            fields.emplace_back(pair.substr(0, equals), equals == std::string::npos ? "" : pair.substr(equals + 1));
        }
        return fields;
    }

    UpdateServer* m_server = nullptr;
    UpdateCheckContext m_context;
    std::vector<Posted> m_posted;
};

TEST_F(UpdateCheck, TheRequestOnTheWire)
{
    m_context.testClientVersion = XP_T("9.9.9");  // ignored with the test flags 0
    m_server->SetCheckAnswer(200, "{base}/packages/setup.exe");
    ASSERT_EQ(Run(), 0);
    ExpectOnePosted(WM_CHECK_DONE, 0, 0);
    EXPECT_EQ(Narrow(m_context.packageUrl), m_server->Url(m_server->Secure(), "/packages/setup.exe"));

    LoggedRequest request;
    const auto fields = SentFields(&request);
    EXPECT_EQ(request.scheme, m_server->Secure());
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/updater/check.php");
    EXPECT_EQ(request.contentType, "application/x-www-form-urlencoded");
    const std::vector<std::string> names = {"ACCESS_ID",          "CHECK_CODE", "CLIENT_VERSION", "COUNTRY",
                                            "DOWNLOADER_VERSION", "LANGUAGE",   "OS_VERSION"};
    ASSERT_EQ(fields.size(), names.size()) << request.body;
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(fields[i].first, names[i]);
    EXPECT_EQ(fields[0].second.size(), 40u);
    EXPECT_EQ(fields[0].second.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(fields[2].second, "4.2.01.12020");
    EXPECT_EQ(fields[3].second, "DEU");
    EXPECT_EQ(fields[4].second, "UpgradeChk_1.0.3.7");
    EXPECT_EQ(fields[5].second, "DE");
    EXPECT_EQ(fields[6].second, "6.1.7601");
}

TEST_F(UpdateCheck, TestFlagsChooseEndpointModeAndClientVersion)
{
    m_server->SetCheckAnswer(200, "{base}/packages/setup.exe");
    // 2: the production endpoint, TEST_MODE last, the test client version.
    m_context.testFlags = 2;
    m_context.testClientVersion = XP_T("5.0.0.1");
    ASSERT_EQ(Run(), 0);
    LoggedRequest request;
    auto fields = SentFields(&request);
    EXPECT_EQ(request.scheme, m_server->Secure());
    ASSERT_EQ(fields.size(), 8u);
    EXPECT_EQ(fields[2].second, "5.0.0.1");
    EXPECT_EQ(fields.back(), std::make_pair(std::string("TEST_MODE"), std::string("on")));

    // 1 with an empty test client version: the test endpoint over plain HTTP, the
    // installed version, no TEST_MODE.
    m_server->ClearLog();
    m_context.testFlags = 1;
    m_context.testClientVersion = XpString();
    ASSERT_EQ(Run(), 0);
    fields = SentFields(&request);
    EXPECT_EQ(request.scheme, "http");
    ASSERT_EQ(fields.size(), 7u);
    EXPECT_EQ(fields[2].second, "4.2.01.12020");
    EXPECT_EQ(Narrow(m_context.packageUrl), m_server->Url("http", "/packages/setup.exe"));
}

TEST_F(UpdateCheck, EveryCheckHasItsOwnAccessId)
{
    m_server->SetCheckAnswer(404, "");
    ASSERT_EQ(Run(), 0);
    const auto first = SentFields();
    m_server->ClearLog();
    ASSERT_EQ(Run(), 0);
    const auto second = SentFields();
    ASSERT_EQ(first.size(), 7u);
    ASSERT_EQ(second.size(), 7u);
    EXPECT_NE(first[0].second, second[0].second);
    EXPECT_NE(first[1].second, second[1].second);
    // The server took both codes: it answered 404 and not 403.
    ExpectOnePosted(WM_STAGE_FAILED, RC_UPDATER_NOT_FOUND, 0);

    // A form whose code does not match is refused by the server.
    UpdateCheckRequest forged;
    FillUpdateCheckForm(m_context, forged);
    forged[XP_T("CHECK_CODE")] = XP_T("0000000000000000000000000000000000000000");
    EXPECT_EQ(forged.Send(m_context.productionEndpoint), 403u);
}

TEST_F(UpdateCheck, AnswerBodies)
{
    const std::string base = m_server->Url(m_server->Secure(), "");
    // A URL of exactly 260 bytes, one of 700, and one with a line end after it.
    const std::string exact = "{base}/packages/" + std::string(260 - base.size() - 10 - 4, 'x') + ".exe";
    const std::string longUrl = "{base}/p/" + std::string(700 - base.size() - 3, 'y');
    struct Case {
        std::string body;
        std::string url;
    };
    const Case cases[] = {
        {exact, base + exact.substr(6)},
        {longUrl, base + longUrl.substr(6)},
        {"  {base}/packages/setup.exe\r\n", base + "/packages/setup.exe"},
    };
    ASSERT_EQ(cases[0].url.size(), 260u);
    ASSERT_EQ(cases[1].url.size(), 700u);
    for (const Case& c : cases) {
        m_server->SetCheckAnswer(200, c.body);
        EXPECT_EQ(Run(), 0);
        ExpectOnePosted(WM_CHECK_DONE, 0, 0);
        EXPECT_EQ(Narrow(m_context.packageUrl), c.url);
    }
    m_server->SetCheckAnswer(200, "no update today");
    EXPECT_EQ(Run(), -1);
    ExpectOnePosted(WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 200);
    EXPECT_EQ(Narrow(m_context.packageUrl), "no update today");
}

TEST_F(UpdateCheck, StatusesAndTransportFailures)
{
    for (int status : {403, 500}) {
        m_server->SetCheckAnswer(status, "refused");
        EXPECT_EQ(Run(), -1);
        ExpectOnePosted(WM_STAGE_FAILED, RC_UNKNOWN_ERROR, status);
    }
    m_server->ClearCheckAnswer();
    EXPECT_EQ(Run(), 0);
    ExpectOnePosted(WM_STAGE_FAILED, RC_UPDATER_NOT_FOUND, 0);

    // A redirect is followed: the status seen is that of the final answer.
    m_server->SetCheckAnswer(200, "{base}/packages/setup.exe");
    m_context.productionEndpoint = m_server->XpUrl(m_server->Secure(), "/redirect/307/updater/check.php");
    EXPECT_EQ(Run(), 0);
    ExpectOnePosted(WM_CHECK_DONE, 0, 0);

    for (const char* listener : {"untrusted", "closed"}) {
        m_context.productionEndpoint = m_server->XpUrl(listener, "/updater/check.php");
        EXPECT_EQ(Run(), -1) << listener;
        ExpectOnePosted(WM_STAGE_FAILED, RC_NETWORK_ERROR, 0);
    }
    m_context.productionEndpoint = XP_T("not a url");
    EXPECT_EQ(Run(), -1);
    ExpectOnePosted(WM_STAGE_FAILED, RC_NETWORK_ERROR, 0);

    EXPECT_EQ(RunUpdateCheck(m_context, StagePost()), -1);
}

}  // namespace
