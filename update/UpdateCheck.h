#pragma once
// The update-check exchange: the form that tells the endpoint who asks, its POST, and
// the package URL that the answer names.

#include <cstdint>
#include <map>

#include "foundation/text/XpString.h"
#include "platform/PlatformHttp.h"
#include "update/StageMessages.h"

// The endpoints' compiled-in defaults (production over HTTPS, test over plain HTTP). An
// administrator overrides them in the machine's registry, under the updater's key
// "SOFTWARE\Norvale Corporation\Vimbly\Updater": the string values "CheckEndpoint" and
// "TestCheckEndpoint", each a whole URL; the application reads them (UpdaterOverrides.h,
// http and https only, from an administrator-only registry) and hands the
// endpoints to the check.
inline constexpr const XpChar* kProductionCheckEndpoint = XP_T("https://update.norvale.com/updater/check.php");
inline constexpr const XpChar* kTestCheckEndpoint = XP_T("http://update-test.norvale.com/updater/check.php");

// The form: one value per name, in the ordinal order of the names whatever the order of
// insertion.
using UpdateCheckForm = std::map<XpString, XpString>;

// The body of a form: "name=value" pairs joined by "&" in the form's order, each name and
// value taken in the ANSI code page and written in the application/x-www-form-urlencoded
// form: letters, digits and "-" "." "_" "~" as they are, every other byte as "%" and two
// upper-case hexadecimal digits. A value holding "&" or "=" cannot add or change fields.
XpNarrowString EncodeForm(const UpdateCheckForm& form);

class UpdateCheckRequest {
public:
    explicit UpdateCheckRequest(const XpHttpTimeouts& timeouts = XpHttpTimeouts());
    ~UpdateCheckRequest();
    UpdateCheckRequest(const UpdateCheckRequest&) = delete;
    UpdateCheckRequest& operator=(const UpdateCheckRequest&) = delete;

    // Inserts or replaces a field.
    XpString& operator[](const XpString& name) { return m_form[name]; }
    const UpdateCheckForm& Form() const { return m_form; }

    // POSTs the form to the URL. The status of the answer; 0 when the text is no URL, no
    // answer came, or sending failed.
    uint32_t Send(const XpString& url);
    // The body of a 200 answer, read to its end and trimmed of blanks and line ends, into
    // url (emptied first). Whether it is a URL; false without a 200 answer.
    bool ReadPackageUrl(XpString& url);

    uint32_t Status() const { return m_dwStatus; }

private:
    void CloseRequest();

    UpdateCheckForm m_form;
    XpHttpSession* m_pSession = nullptr;
    XpHttpRequest* m_pRequest = nullptr;
    uint32_t m_dwStatus = 0;
};

// What the check takes from the application object and gives back to it.
struct UpdateCheckContext {
    uint32_t testFlags = 0;
    // Read once per process, on the first check ("TestClientVersion").
    XpString testClientVersion;
    XpString installedVersion;
    XpString country;
    XpString updaterVersion;
    XpString language;
    XpString osVersion;  // as FormatOsVersion writes it
    XpString productionEndpoint = kProductionCheckEndpoint;
    XpString testEndpoint = kTestCheckEndpoint;
    XpHttpTimeouts timeouts;
    // Written before WM_CHECK_DONE is posted: the last body read, also one that was no URL.
    XpString packageUrl;
};

// The test-flag bits that the check reads.
inline constexpr uint32_t kTestFlagTestEndpoint = 1;
inline constexpr uint32_t kTestFlagTestMode = 2;

// The form of one check: a fresh ACCESS_ID with its CHECK_CODE and the client's identity.
void FillUpdateCheckForm(const UpdateCheckContext& context, UpdateCheckRequest& request);

// The check stage's work: sends the form, stores the package URL and posts one message
// (WM_CHECK_DONE, or WM_STAGE_FAILED with RC_UPDATER_NOT_FOUND for 404, RC_NETWORK_ERROR
// when no answer came, RC_UNKNOWN_ERROR with the status otherwise). 0 after WM_CHECK_DONE
// or the 404 report, -1 otherwise; -1 without posting when post is empty.
int RunUpdateCheck(UpdateCheckContext& context, const StagePost& post);
