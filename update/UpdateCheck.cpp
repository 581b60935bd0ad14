#include "update/UpdateCheck.h"

#include <string>

#include "platform/PlatformGuid.h"
#include "update/PackageUrl.h"
#include "update/Sha1Hex.h"

namespace {

// The body is read in pieces of this size.
constexpr uint32_t kBodyChunk = 260;

const char* const kFormHeader = "Content-type: application/x-www-form-urlencoded";

// The two constants around ACCESS_ID from which the endpoint recomputes CHECK_CODE.
const XpChar* const kCheckCodePrefix = XP_T("QVX");
const XpChar* const kCheckCodeSuffix = XP_T("RelayWarehouses");

bool IsUnreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

void AppendEncoded(std::string& body, const XpString& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    const XpNarrowString bytes = text.ToNarrow();
    for (int32_t i = 0; i < bytes.GetLength(); ++i) {
        const auto c = static_cast<unsigned char>(bytes.GetString()[i]);
        if (IsUnreserved(c)) {
            body += static_cast<char>(c);
        } else {
            body += '%';
            body += kHex[c >> 4];
            body += kHex[c & 0xF];
        }
    }
}

// Seam: the registry layer's NewGuidString gives the same text.
XpString FreshGuidText()
{
    XpPlatformString text;
    if (!XpPlatformNewGuidString(text)) return XpString();
    return XpString(text.c_str(), static_cast<int32_t>(text.size()));
}

}  // namespace

XpNarrowString EncodeForm(const UpdateCheckForm& form)
{
    std::string body;
    for (const auto& [name, value] : form) {
        if (!body.empty()) body += '&';
        AppendEncoded(body, name);
        body += '=';
        AppendEncoded(body, value);
    }
    return XpNarrowString(body.c_str(), static_cast<int32_t>(body.size()));
}

UpdateCheckRequest::UpdateCheckRequest(const XpHttpTimeouts& timeouts)
{
    // Without a session every Send answers 0, the network-error report.
    XpPlatformHttpOpenSession(timeouts, &m_pSession);
}

UpdateCheckRequest::~UpdateCheckRequest()
{
    CloseRequest();
    XpPlatformHttpCloseSession(m_pSession);
    m_form.clear();
}

void UpdateCheckRequest::CloseRequest()
{
    XpPlatformHttpCloseRequest(m_pRequest);
    m_pRequest = nullptr;
}

uint32_t UpdateCheckRequest::Send(const XpString& url)
{
    m_dwStatus = 0;
    CloseRequest();
    if (m_pSession == nullptr || !IsUrl(url)) return 0;
    const XpNarrowString body = EncodeForm(m_form);
    if (XpPlatformHttpSend(m_pSession, url.GetString(), "POST", kFormHeader, body.GetString(),
                           static_cast<size_t>(body.GetLength()), &m_pRequest) != 0) {
        return 0;
    }
    m_dwStatus = XpPlatformHttpStatus(m_pRequest);
    return m_dwStatus;
}

bool UpdateCheckRequest::ReadPackageUrl(XpString& url)
{
    url = XP_T("");
    if (m_pRequest == nullptr || m_dwStatus != 200) return false;
    // The bytes are taken as text once, after the last piece: a character of the code page
    // that straddles two pieces stays whole.
    std::string bytes;
    char chunk[kBodyChunk];
    for (;;) {
        uint32_t count = 0;
        const uint32_t error = XpPlatformHttpRead(m_pRequest, chunk, kBodyChunk, &count);
        bytes.append(chunk, count);
        if (error != 0 || count < kBodyChunk) break;
    }
    return PackageUrlFromBody(bytes.data(), bytes.size(), url);
}

void FillUpdateCheckForm(const UpdateCheckContext& context, UpdateCheckRequest& request)
{
    const XpString accessId = Sha1Hex(FreshGuidText());
    const XpString checkCode = Sha1Hex(kCheckCodePrefix + accessId + kCheckCodeSuffix);
    const bool testClient = context.testFlags != 0 && !context.testClientVersion.IsEmpty();
    request[XP_T("ACCESS_ID")] = accessId;
    request[XP_T("CHECK_CODE")] = checkCode;
    request[XP_T("CLIENT_VERSION")] = testClient ? context.testClientVersion : context.installedVersion;
    request[XP_T("COUNTRY")] = context.country;
    request[XP_T("DOWNLOADER_VERSION")] = XP_T("UpgradeChk_") + context.updaterVersion;
    request[XP_T("LANGUAGE")] = context.language;
    request[XP_T("OS_VERSION")] = context.osVersion;
    if ((context.testFlags & kTestFlagTestMode) != 0) request[XP_T("TEST_MODE")] = XP_T("on");
}

int RunUpdateCheck(UpdateCheckContext& context, const StagePost& post)
{
    if (!post) return -1;
    UpdateCheckRequest request(context.timeouts);
    FillUpdateCheckForm(context, request);
    const bool testEndpoint = (context.testFlags & kTestFlagTestEndpoint) != 0;
    const uint32_t status = request.Send(testEndpoint ? context.testEndpoint : context.productionEndpoint);
    switch (status) {
        case 0:
            post(WM_STAGE_FAILED, RC_NETWORK_ERROR, 0);
            return -1;
        case 200:
            if (request.ReadPackageUrl(context.packageUrl)) {
                post(WM_CHECK_DONE, 0, 0);
                return 0;
            }
            post(WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 200);
            return -1;
        case 404:
            post(WM_STAGE_FAILED, RC_UPDATER_NOT_FOUND, 0);
            return 0;
        default:
            post(WM_STAGE_FAILED, RC_UNKNOWN_ERROR, status);
            return -1;
    }
}
