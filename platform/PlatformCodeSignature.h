#pragma once
// Code signatures of packages: the trust check, the signer's name, and a package held
// open from its check until its run.
// Windows: WinVerifyTrust (generic verify action, no user interface, no revocation check,
// the safer flag) on the file by path; the signer through CryptQueryObject,
// CryptMsgGetParam, CertFindCertificateInStore and CertGetNameStringW (simple display
// name). A held package is opened sharing read access only.
// Linux: an own Authenticode verifier over OpenSSL (PosixAuthenticode.cpp): the PE image
// digest, the PKCS #7 SignedData with its SpcIndirectDataContent, the chain to a trusted
// root for code signing at the time of a valid timestamp or else now, and the signer's
// simple display name computed as Windows computes it. Files that are not PE files carry
// a PKCS #7 signature appended in the kernel-module format (docs/signing.md). The trusted
// roots are the system's store plus the PEM certificates (*.pem, *.crt) of one extra
// folder. A held package is one descriptor that the check reads and the run executes.
//
// Trust results are 0 or one of the trust error numbers below, on both targets.

#include <cstdint>

#include "platform/XpChar.h"

namespace XpTrustError {
inline constexpr uint32_t SubjectFormUnknown = 0x800B0003;  // TRUST_E_SUBJECT_FORM_UNKNOWN
inline constexpr uint32_t NoSignature = 0x800B0100;         // TRUST_E_NOSIGNATURE
inline constexpr uint32_t Expired = 0x800B0101;             // CERT_E_EXPIRED
inline constexpr uint32_t UntrustedRoot = 0x800B0109;       // CERT_E_UNTRUSTEDROOT
inline constexpr uint32_t Chaining = 0x800B010A;            // CERT_E_CHAINING
inline constexpr uint32_t Fail = 0x800B010B;                // TRUST_E_FAIL
inline constexpr uint32_t WrongUsage = 0x800B0110;          // CERT_E_WRONG_USAGE
inline constexpr uint32_t SystemError = 0x80096001;         // TRUST_E_SYSTEM_ERROR
inline constexpr uint32_t NoSignerCert = 0x80096002;        // TRUST_E_NO_SIGNER_CERT
inline constexpr uint32_t BadSignature = 0x80096004;        // TRUST_E_CERT_SIGNATURE
inline constexpr uint32_t BadDigest = 0x80096010;           // TRUST_E_BAD_DIGEST
inline constexpr uint32_t FileError = 0x80092003;           // CRYPT_E_FILE_ERROR
}  // namespace XpTrustError

// The trust check of a file: 0 when its signature is intact and its signer's certificate
// chains to a trusted root for code signing. extraRoots names a folder of further trusted
// root certificates (Linux; null for none; the Windows trust store alone decides there).
uint32_t XpPlatformVerifyFileTrust(const XpChar* path, const XpChar* extraRoots);

// The simple display name of the certificate that signed the file, as
// CertGetNameStringW with CERT_NAME_SIMPLE_DISPLAY_TYPE gives it. Says nothing about
// trust. A file without a readable signature fails.
uint32_t XpPlatformFileSigner(const XpChar* path, XpPlatformString& name);

// A package opened once and kept open, so that the bytes that are checked are the bytes
// that run. Windows: the handle shares read access only, so no one can write, rename or
// delete the file while it is held. Linux: a descriptor opened without following links,
// refused when the file or its folder belongs to another user or others may write to
// them; the check reads through it and the run executes it (RunPath). The package stays
// held until Close or destruction: keep it until the installer process exists.
class XpPlatformHeldFile {
public:
    XpPlatformHeldFile() = default;
    ~XpPlatformHeldFile() { Close(); }
    XpPlatformHeldFile(const XpPlatformHeldFile&) = delete;
    XpPlatformHeldFile& operator=(const XpPlatformHeldFile&) = delete;

    uint32_t Open(const XpChar* path);
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }

    // The trust check and signer of the held file, as the functions above.
    uint32_t VerifyTrust(const XpChar* extraRoots) const;
    uint32_t Signer(XpPlatformString& name) const;
    // The name under which to start the held file: on Windows its path, on Linux the
    // descriptor's name in /proc/self/fd.
    const XpPlatformString& RunPath() const { return m_runPath; }

private:
    void* m_handle = nullptr;  // HANDLE, or the descriptor + 1
    XpPlatformString m_path;
    XpPlatformString m_runPath;
};
