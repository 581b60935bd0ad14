// kestrow-verify [--roots FOLDER] FILE
//
// Runs the verification stage's own check on a package and prints the verdict, the
// signer's display name and, for a refusal, the reason. Exit status 0 only when the
// updater would accept the package; 1 when it would refuse it; 2 for a wrong command line.
// --roots adds a folder of PEM root certificates (*.pem, *.crt) to the trusted roots for
// this run; on Windows the system's trust store decides, and the tool says so.

#include <cstdio>
#include <string>
#include <vector>

#include "platform/PlatformCodeSignature.h"
#include "platform/shared/XpUtf.h"
#include "update/VerifyPackage.h"

namespace {

std::string Utf8(const XpString& text)
{
    return XpUtf16ToUtf8(text.GetString(), static_cast<size_t>(text.GetLength()));
}

const char* Reason(uint32_t error)
{
    switch (error) {
        case XpTrustError::NoSignature:
            return "the file carries no valid signature";
        case XpTrustError::SubjectFormUnknown:
            return "the file is not a PE file and carries no appended signature";
        case XpTrustError::BadDigest:
            return "the file was changed after it was signed";
        case XpTrustError::BadSignature:
            return "the signature does not match what it signs";
        case XpTrustError::Expired:
            return "the signing certificate was not valid at the time of signing";
        case XpTrustError::UntrustedRoot:
            return "the certificate chain ends at a root that is not trusted";
        case XpTrustError::Chaining:
            return "the certificate chain could not be built";
        case XpTrustError::WrongUsage:
            return "the signing certificate is not for code signing";
        case XpTrustError::NoSignerCert:
            return "the signature names no signer certificate";
        case XpTrustError::FileError:
            return "the file could not be read";
        default:
            return nullptr;
    }
}

int Usage()
{
    std::fputs("usage: kestrow-verify [--roots FOLDER] FILE\n", stderr);
    return 2;
}

int Run(const std::vector<XpString>& arguments)
{
    XpString roots;
    XpString file;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == XpString(XP_T("--roots")) && i + 1 < arguments.size()) {
            roots = arguments[++i];
        } else if (file.GetLength() == 0 && arguments[i].GetLength() > 0 && arguments[i].GetString()[0] != '-') {
            file = arguments[i];
        } else {
            return Usage();
        }
    }
    if (file.GetLength() == 0) return Usage();
#if defined(_WIN32)
    if (roots.GetLength() > 0) std::puts("note: --roots is ignored on Windows: the system's trust store decides");
#endif
    const PackageVerdict verdict = VerifyPackage(file, roots);
    if (verdict.accepted) {
        std::puts("accepted");
    } else if (verdict.trustError != 0) {
        const char* reason = Reason(verdict.trustError);
        if (reason) {
            std::printf("refused: %s\n", reason);
        } else {
            std::printf("refused: the trust check failed (0x%08X)\n", static_cast<unsigned>(verdict.trustError));
        }
    } else {
        std::printf("refused: signed by \"%s\", not by \"%s\"\n", Utf8(verdict.signer).c_str(),
                    Utf8(XpString(kExpectedSigner)).c_str());
    }
    std::printf("signer: %s\n", verdict.signer.GetLength() > 0 ? Utf8(verdict.signer).c_str() : "(none)");
    return verdict.accepted ? 0 : 1;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv)
{
    std::vector<XpString> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return Run(arguments);
}
#else
int main(int argc, char** argv)
{
    std::vector<XpString> arguments;
    for (int i = 1; i < argc; ++i) {
        const XpPlatformString text = XpUtf8ToUtf16(argv[i], std::char_traits<char>::length(argv[i]));
        arguments.emplace_back(text.c_str());
    }
    return Run(arguments);
}
#endif
