// The code-signature service and the verification checks on real packages that the
// build signs with a test CA of its own (make-signed-packages.sh), and on copies of them
// with one byte changed or cut short.
//
// Under Wine the trust check accepts a chain to any root, in any validity period, for any
// usage: Wine does not enforce root trust. The chain cases are therefore checked on the
// Linux target only, and each such test says so when it skips on Windows.

#include <cstring>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "platform/PlatformCodeSignature.h"
#include "platform/shared/XpSignedImage.h"
#if !defined(_WIN32)
#include "platform/posix/PosixAuthenticode.h"
#endif
#include "signature/SignedPackages.h"
#include "update/VerifyPackage.h"

namespace {

using kestrow_test::ToPlatform;
using kestrow_test::ToXp;

const XpPlatformString& Roots()
{
    static const XpPlatformString roots = ToPlatform(kestrow_test::SignedPackages() / "roots");
    return roots;
}

uint32_t Trust(const std::filesystem::path& path)
{
    return XpPlatformVerifyFileTrust(ToPlatform(path).c_str(), Roots().c_str());
}

std::string Signer(const std::filesystem::path& path, uint32_t* result = nullptr)
{
    XpPlatformString name;
    const uint32_t error = XpPlatformFileSigner(ToPlatform(path).c_str(), name);
    if (result) *result = error;
    return std::string(name.begin(), name.end());  // the test names are ASCII
}

#define SKIP_WHERE_WINE_TRUSTS_ANY_ROOT()                                                        \
    do {                                                                                         \
        if (kWineTrustsAnyChain) GTEST_SKIP() << "Wine does not enforce root trust: Linux only"; \
    } while (0)
#if defined(_WIN32)
constexpr bool kWineTrustsAnyChain = true;
#else
constexpr bool kWineTrustsAnyChain = false;
#endif

uint32_t U32(const std::string& bytes, size_t offset)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);  // little-endian hosts only, as both targets are
    return value;
}

class DamagedPackageTest : public kestrow_test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        m_bytes = kestrow_test::ReadWholeFile(kestrow_test::SignedPackages() / "norvale.exe");
        ASSERT_FALSE(m_bytes.empty());
        XpMemoryByteSource source(m_bytes.data(), m_bytes.size());
        ASSERT_EQ(XpReadPeSignatureLayout(source, m_layout), XpPeLayoutResult::Signed);
    }

    // A copy of the signed package with the byte at offset inverted.
    std::filesystem::path Changed(const char* name, uint64_t offset) const
    {
        std::string bytes = m_bytes;
        bytes.at(offset) = static_cast<char>(~bytes.at(offset));
        WriteBytes(name, bytes);
        return Native(name);
    }

    uint64_t CodeOffset() const
    {
        const uint32_t ntHeaders = U32(m_bytes, 0x3C);
        const uint16_t optionalSize = static_cast<uint16_t>(U32(m_bytes, ntHeaders + 20) & 0xFFFF);
        const uint64_t firstSection = ntHeaders + 24 + optionalSize;
        return U32(m_bytes, firstSection + 20) + 16;  // inside the first section's raw data
    }

    std::string m_bytes;
    XpPeSignatureLayout m_layout;
};

}  // namespace

TEST(CodeSignature, IntactSignaturesPassTheTrustCheckWhateverTheSigner)
{
    for (const char* name : {"norvale.exe", "norvale32.exe", "longer.exe", "other.exe", "organization.exe",
                             "expired-timestamped.exe", "expired-countersigned.exe"}) {
        EXPECT_EQ(Trust(kestrow_test::SignedPackages() / name), 0u) << name;
    }
#if !defined(_WIN32)
    EXPECT_EQ(Trust(kestrow_test::SignedPackages() / "norvale.pkg"), 0u);
    EXPECT_EQ(Trust(kestrow_test::SignedPackages() / "other.pkg"), 0u);
#endif
}

TEST(CodeSignature, ChainsMustReachATrustedRootForCodeSigningWithinValidity)
{
    SKIP_WHERE_WINE_TRUSTS_ANY_ROOT();
    EXPECT_EQ(Trust(kestrow_test::SignedPackages() / "selfsigned.exe"), XpTrustError::UntrustedRoot);
    EXPECT_EQ(Trust(kestrow_test::SignedPackages() / "untrusted-ca.exe"), XpTrustError::UntrustedRoot);
    EXPECT_EQ(Trust(kestrow_test::SignedPackages() / "untrusted-ca.pkg"), XpTrustError::UntrustedRoot);
    EXPECT_EQ(Trust(kestrow_test::SignedPackages() / "expired.exe"), XpTrustError::Expired);
    EXPECT_EQ(Trust(kestrow_test::SignedPackages() / "wrong-usage.exe"), XpTrustError::WrongUsage);
    // The test root is trusted only through the extra folder.
    EXPECT_EQ(XpPlatformVerifyFileTrust(ToPlatform(kestrow_test::SignedPackages() / "norvale.exe").c_str(), nullptr),
              XpTrustError::UntrustedRoot);
}

// The expired signer's certificate was valid through 2020; its timestamps are RFC 3161
// tokens or PKCS #9 countersignatures made by make-signed-packages.sh.
TEST(CodeSignature, ExpiredSignerNeedsAValidTimestampWithinItsValidity)
{
    SKIP_WHERE_WINE_TRUSTS_ANY_ROOT();
    const std::filesystem::path packages = kestrow_test::SignedPackages();
    EXPECT_EQ(Trust(packages / "expired-countersigned.exe"), 0u);
    // A timestamping certificate without extended key usages may countersign.
    EXPECT_EQ(Trust(packages / "countersigned-without-usages.exe"), 0u);
    // The older timestamping services countersign with SHA-1.
    EXPECT_EQ(Trust(packages / "countersigned-sha1.exe"), 0u);
    // An invalid countersignature counts as absent, so the expired chain is checked now:
    // a digest of other bytes, a changed signature, an authority that chains to an
    // untrusted root, one for code signing only, one not yet valid at the time it gives.
    for (const char* name :
         {"countersigned-wrong-digest.exe", "countersigned-bad-signature.exe", "countersigned-untrusted.exe",
          "countersigned-by-code-signer.exe", "countersigned-before-authority.exe"}) {
        EXPECT_EQ(Trust(packages / name), XpTrustError::Expired) << name;
    }
    // A valid countersignature from after the signer's certificate expired.
    EXPECT_EQ(Trust(packages / "countersigned-after-expiry.exe"), XpTrustError::Expired);
}

#if !defined(_WIN32)
// The signing time comes from the timestamp that holds, and only from one that holds.
TEST(CodeSignature, SigningTimeIsTheValidTimestampsTime)
{
    const auto signingTime = [](const char* name) {
        const std::string bytes = kestrow_test::ReadWholeFile(kestrow_test::SignedPackages() / name);
        const XpMemoryByteSource source(bytes.data(), bytes.size());
        XpPeSignatureLayout layout;
        if (XpReadPeSignatureLayout(source, layout) != XpPeLayoutResult::Signed) return int64_t{-2};
        const auto* signature = reinterpret_cast<const unsigned char*>(bytes.data()) + layout.signature.offset;
        return XpPosixSigningTime(signature, static_cast<size_t>(layout.signature.size),
                                  (kestrow_test::SignedPackages() / "roots").string());
    };
    constexpr int64_t kJune2020 = 1590969600;
    EXPECT_EQ(signingTime("expired-countersigned.exe"), kJune2020);
    EXPECT_EQ(signingTime("expired-timestamped.exe"), kJune2020);
    EXPECT_EQ(signingTime("countersigned-after-expiry.exe"), 1654041600);  // 1 June 2022
    EXPECT_EQ(signingTime("expired.exe"), -1);
    EXPECT_EQ(signingTime("countersigned-untrusted.exe"), -1);
    EXPECT_EQ(signingTime("countersigned-wrong-digest.exe"), -1);
}
#endif

TEST(CodeSignature, UnsignedOrUnreadableFilesFail)
{
    EXPECT_NE(Trust(kestrow_test::SignedPackages() / "unsigned.exe"), 0u);
    EXPECT_NE(Trust(kestrow_test::SignedPackages() / "missing.exe"), 0u);
    uint32_t error = 0;
    EXPECT_EQ(Signer(kestrow_test::SignedPackages() / "unsigned.exe", &error), "");
    EXPECT_NE(error, 0u);
}

TEST_F(DamagedPackageTest, OneChangedByteOrACutTableBreaksTheSignature)
{
    const uint64_t header = U32(m_bytes, 0x3C) + 8;            // the file header's time stamp
    const uint64_t appended = m_layout.certTable.offset - 16;  // the installer's payload
    const uint64_t signature = m_layout.signature.offset + m_layout.signature.size - 40;
    EXPECT_NE(Trust(Changed("code.exe", CodeOffset())), 0u);
    EXPECT_NE(Trust(Changed("header.exe", header)), 0u);
    EXPECT_NE(Trust(Changed("appended.exe", appended)), 0u);
    EXPECT_NE(Trust(Changed("signature.exe", signature)), 0u);
    WriteBytes("cut.exe", m_bytes.substr(0, m_bytes.size() - 8));
    EXPECT_NE(Trust(Native("cut.exe")), 0u);
#if !defined(_WIN32)
    EXPECT_EQ(Trust(Native("code.exe")), XpTrustError::BadDigest);
    EXPECT_EQ(Trust(Native("appended.exe")), XpTrustError::BadDigest);
    EXPECT_EQ(Trust(Native("cut.exe")), XpTrustError::NoSignature);
    // The fields that the digest leaves out are not part of what was signed.
    EXPECT_EQ(Trust(Changed("checksum.exe", m_layout.checksumOffset)), 0u);
    // A changed byte of an appended signature's content.
    std::string package = kestrow_test::ReadWholeFile(kestrow_test::SignedPackages() / "norvale.pkg");
    package[100] = static_cast<char>(~package[100]);
    WriteBytes("changed.pkg", package);
    EXPECT_EQ(Trust(Native("changed.pkg")), XpTrustError::BadSignature);
#endif
}

TEST(CodeSignature, SignerIsTheSimpleDisplayName)
{
    EXPECT_EQ(Signer(kestrow_test::SignedPackages() / "norvale.exe"), "Norvale Corporation");
    EXPECT_EQ(Signer(kestrow_test::SignedPackages() / "longer.exe"), "Norvale Corporation Holdings Ltd");
    EXPECT_EQ(Signer(kestrow_test::SignedPackages() / "other.exe"), "Contoso Imaging Ltd");
    // Without a common name the organizational unit comes before the organization.
    EXPECT_EQ(Signer(kestrow_test::SignedPackages() / "organization.exe"), "Norvale Corporation");
    // Without any of those, the subject alternative name's e-mail, else the first attribute.
    EXPECT_EQ(Signer(kestrow_test::SignedPackages() / "alt-email.exe"), "updates@norvale.example");
#if !defined(_WIN32)
    // Wine leaves out this last fallback, which Windows documents: Linux only.
    EXPECT_EQ(Signer(kestrow_test::SignedPackages() / "first-attribute.exe"), "Springfield");
#endif
#if !defined(_WIN32)
    EXPECT_EQ(Signer(kestrow_test::SignedPackages() / "norvale.pkg"), "Norvale Corporation");
#endif
}

TEST(VerifyPackage, OnlyTheExactSignerIsAccepted)
{
    EXPECT_TRUE(IsExpectedSigner(XP_T("Norvale Corporation")));
    EXPECT_FALSE(IsExpectedSigner(XP_T("Norvale Corporation Holdings Ltd")));
    EXPECT_FALSE(IsExpectedSigner(XP_T("Norvale Corporatio")));
    EXPECT_FALSE(IsExpectedSigner(XP_T("norvale corporation")));
    EXPECT_FALSE(IsExpectedSigner(nullptr));

    const XpString roots(Roots().c_str());
    EXPECT_TRUE(VerifyPackageSigner(ToXp(kestrow_test::SignedPackages() / "norvale.exe")));
    EXPECT_FALSE(VerifyPackageSigner(ToXp(kestrow_test::SignedPackages() / "longer.exe")));
    EXPECT_TRUE(VerifyPackage(ToXp(kestrow_test::SignedPackages() / "norvale.exe"), roots).accepted);
    const PackageVerdict longer = VerifyPackage(ToXp(kestrow_test::SignedPackages() / "longer.exe"), roots);
    EXPECT_FALSE(longer.accepted);
    EXPECT_EQ(longer.trustError, 0u);
    EXPECT_FALSE(VerifyPackage(ToXp(kestrow_test::SignedPackages() / "other.exe"), roots).accepted);
    EXPECT_FALSE(VerifyPackage(ToXp(kestrow_test::SignedPackages() / "unsigned.exe"), roots).accepted);
    EXPECT_TRUE(VerifyPackage(ToXp(kestrow_test::SignedPackages() / "expired-countersigned.exe"), roots).accepted);
    if (!kWineTrustsAnyChain) {
        EXPECT_FALSE(VerifyPackageTrust(ToXp(kestrow_test::SignedPackages() / "selfsigned.exe"), roots));
        EXPECT_FALSE(VerifyPackage(ToXp(kestrow_test::SignedPackages() / "expired.exe"), roots).accepted);
    }
}

class PackageFileTest : public kestrow_test::TempFolderTest {};

TEST_F(PackageFileTest, SizeMustBeTheAnnouncedOneInAllSixtyFourBits)
{
    WriteBytes("package.exe", std::string(1000, 'x'));
    EXPECT_TRUE(HasAnnouncedSize(Path("package.exe"), 1000));
    EXPECT_FALSE(HasAnnouncedSize(Path("package.exe"), 1001));  // one byte short
    EXPECT_EQ(PackageFileSize(Path("missing.exe")), ~0ull);
    EXPECT_FALSE(HasAnnouncedSize(Path("missing.exe"), 0xFFFFFFFFu));
    // 4 GiB more than announced: the lower 32 bits agree, the upper ones do not.
    std::filesystem::resize_file(Native("package.exe"), (1ull << 32) + 1000);
    EXPECT_EQ(PackageFileSize(Path("package.exe")), (1ull << 32) + 1000);
    EXPECT_FALSE(HasAnnouncedSize(Path("package.exe"), 1000));
}

TEST_F(PackageFileTest, ReadOnlyLeftOverIsDeleted)
{
    WriteBytes("package.exe", "left over");
    kestrow_test::MakeReadOnly(Native("package.exe"));
    EXPECT_TRUE(DeleteFailedPackage(Path("package.exe")));
    EXPECT_FALSE(Exists("package.exe"));
}
