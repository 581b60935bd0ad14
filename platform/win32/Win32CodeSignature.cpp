#include <windows.h>
// After windows.h:
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "platform/PlatformCodeSignature.h"
#include "platform/PlatformErrors.h"

namespace {

// The trust check with the fixed parameters: generic verify action, no window, no user
// interface, no revocation check, the file by path with no handle and no known subject,
// no state kept, and the safer flag.
uint32_t VerifyTrust(const XpChar* path)
{
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path;
    file.hFile = nullptr;
    file.pgKnownSubject = nullptr;

    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.pPolicyCallbackData = nullptr;
    data.pSIPClientData = nullptr;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_IGNORE;
    data.hWVTStateData = nullptr;
    data.pwszURLReference = nullptr;
    data.dwProvFlags = WTD_SAFER_FLAG;
    data.dwUIContext = 0;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return static_cast<uint32_t>(WinVerifyTrust(nullptr, &action, &data));
}

// What the signer query obtains; released on every path by the destructor.
struct SignerQuery {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    PCCERT_CONTEXT certificate = nullptr;
    ~SignerQuery()
    {
        if (certificate) CertFreeCertificateContext(certificate);
        if (store) CertCloseStore(store, 0);
        if (message) CryptMsgClose(message);
    }
};

}  // namespace

uint32_t XpPlatformVerifyFileTrust(const XpChar* path, const XpChar*)
{
    return VerifyTrust(path);
}

uint32_t XpPlatformFileSigner(const XpChar* path, XpPlatformString& name)
{
    name.clear();
    SignerQuery query;
    DWORD encoding = 0;
    DWORD contentType = 0;
    DWORD format = 0;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &format, &query.store,
                          &query.message, nullptr)) {
        return GetLastError() ? GetLastError() : XpTrustError::NoSignature;
    }
    DWORD size = 0;
    if (!CryptMsgGetParam(query.message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) {
        return XpTrustError::NoSignerCert;
    }
    std::vector<unsigned char> buffer(size, 0);  // zero-filled
    if (!CryptMsgGetParam(query.message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) {
        return XpTrustError::NoSignerCert;
    }
    const auto* info = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
    CERT_INFO wanted = {};
    wanted.Issuer = info->Issuer;
    wanted.SerialNumber = info->SerialNumber;
    query.certificate = CertFindCertificateInStore(query.store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                   CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
    if (query.certificate == nullptr) return XpTrustError::NoSignerCert;
    const DWORD length = CertGetNameStringW(query.certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (length <= 1) return XpTrustError::NoSignerCert;
    std::vector<wchar_t> text(length, L'\0');
    if (CertGetNameStringW(query.certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, text.data(), length) <= 1) {
        return XpTrustError::NoSignerCert;
    }
    name.assign(text.data());
    return 0;
}

uint32_t XpPlatformHeldFile::Open(const XpChar* path)
{
    Close();
    // Read access, shared for reading only: no one may write, rename or delete the file
    // while it is held. The trust check and the installer's start open it for reading.
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    m_handle = file;
    m_path = path;
    m_runPath = path;
    return 0;
}

void XpPlatformHeldFile::Close()
{
    if (m_handle == nullptr) return;
    CloseHandle(static_cast<HANDLE>(m_handle));
    m_handle = nullptr;
    m_path.clear();
    m_runPath.clear();
}

uint32_t XpPlatformHeldFile::VerifyTrust(const XpChar* extraRoots) const
{
    if (m_handle == nullptr) return XpTrustError::FileError;
    return XpPlatformVerifyFileTrust(m_path.c_str(), extraRoots);
}

uint32_t XpPlatformHeldFile::Signer(XpPlatformString& name) const
{
    name.clear();
    if (m_handle == nullptr) return XpTrustError::FileError;
    return XpPlatformFileSigner(m_path.c_str(), name);
}
