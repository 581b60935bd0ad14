// The supported-system rule over version records of the systems it names, the version text
// that the update check sends, and the records that the two targets fill.

#include <gtest/gtest.h>

#include <string>

#include "platform/PlatformVersion.h"
#include "platform/shared/XpKernelRelease.h"
#include "update/OperatingSystem.h"

namespace {

std::string Narrow(const XpString& text)
{
    return text.ToNarrow().GetString();
}

XpOsVersion Windows(uint32_t major, uint32_t minor, uint8_t productType = XpOs::NtWorkstation)
{
    XpOsVersion os;
    os.platformId = XpOs::PlatformWin32Nt;
    os.majorVersion = major;
    os.minorVersion = minor;
    os.productType = productType;
    os.nativeArchitecture = XpOs::ArchitectureIntel;
    return os;
}

XpOsVersion WithServicePack(XpOsVersion os, uint16_t servicePack)
{
    os.servicePackMajor = servicePack;
    return os;
}

XpOsVersion WithProduct(XpOsVersion os, uint32_t product)
{
    os.productInfo = product;
    return os;
}

XpOsVersion WithSuite(XpOsVersion os, uint16_t suite)
{
    os.suiteMask = suite;
    return os;
}

XpOsVersion OnAmd64(XpOsVersion os)
{
    os.nativeArchitecture = XpOs::ArchitectureAmd64;
    return os;
}

XpOsVersion R2(XpOsVersion os)
{
    os.serverR2 = 89;  // any non-zero answer
    return os;
}

XpOsVersion Linux(uint32_t major, uint32_t minor)
{
    XpOsVersion os;
    os.platformId = XpOs::PlatformLinux;
    os.majorVersion = major;
    os.minorVersion = minor;
    return os;
}

TEST(SupportedSystem, WindowsWorkstations)
{
    EXPECT_FALSE(IsSupportedOperatingSystem(WithServicePack(Windows(5, 1), 2)));  // XP SP2
    EXPECT_TRUE(IsSupportedOperatingSystem(WithServicePack(Windows(5, 1), 3)));   // XP SP3
    EXPECT_TRUE(IsSupportedOperatingSystem(WithServicePack(Windows(5, 1), 4)));
    EXPECT_FALSE(IsSupportedOperatingSystem(OnAmd64(WithServicePack(Windows(5, 2), 2))));  // XP Professional x64

    EXPECT_FALSE(IsSupportedOperatingSystem(WithProduct(Windows(6, 0), XpOs::ProductStarter)));  // Vista Starter
    EXPECT_TRUE(IsSupportedOperatingSystem(WithProduct(Windows(6, 0), 0x03)));                   // Vista Home Premium
    EXPECT_TRUE(IsSupportedOperatingSystem(WithProduct(Windows(6, 1), 0x30)));                   // 7 Professional
    EXPECT_TRUE(IsSupportedOperatingSystem(OnAmd64(WithProduct(Windows(6, 1), 0x30))));

    EXPECT_FALSE(IsSupportedOperatingSystem(Windows(5, 0)));  // 2000
    EXPECT_FALSE(IsSupportedOperatingSystem(Windows(4, 0)));  // NT 4
    EXPECT_FALSE(IsSupportedOperatingSystem(Windows(6, 2)));  // 8, or any later one that reports 6.2
    EXPECT_FALSE(IsSupportedOperatingSystem(Windows(6, 3)));
    EXPECT_FALSE(IsSupportedOperatingSystem(Windows(10, 0)));
    XpOsVersion windows98 = WithServicePack(Windows(5, 1), 3);
    windows98.platformId = 1;
    EXPECT_FALSE(IsSupportedOperatingSystem(windows98));
    EXPECT_FALSE(IsSupportedOperatingSystem(XpOsVersion()));  // the system did not answer
}

TEST(SupportedSystem, WindowsServers)
{
    const uint8_t server = XpOs::NtServer;
    EXPECT_TRUE(IsSupportedOperatingSystem(Windows(5, 2, server)));           // Server 2003
    EXPECT_TRUE(IsSupportedOperatingSystem(OnAmd64(Windows(5, 2, server))));  // Server 2003 x64
    EXPECT_TRUE(IsSupportedOperatingSystem(R2(Windows(5, 2, server))));       // Server 2003 R2
    EXPECT_TRUE(IsSupportedOperatingSystem(R2(WithSuite(Windows(5, 2, server), XpOs::SuiteStorageServer))));
    EXPECT_FALSE(IsSupportedOperatingSystem(WithSuite(Windows(5, 2, server), XpOs::SuiteStorageServer)));
    EXPECT_FALSE(IsSupportedOperatingSystem(WithSuite(Windows(5, 2, server), XpOs::SuiteHomeServer)));
    // The mask must be exactly that of a storage or home server, not merely hold its bit.
    EXPECT_TRUE(IsSupportedOperatingSystem(WithSuite(Windows(5, 2, server), XpOs::SuiteStorageServer | 0x10)));
    EXPECT_TRUE(IsSupportedOperatingSystem(WithSuite(Windows(5, 2, server), XpOs::SuiteHomeServer | 0x100)));

    EXPECT_FALSE(IsSupportedOperatingSystem(Windows(6, 0, server)));           // Server 2008
    EXPECT_FALSE(IsSupportedOperatingSystem(OnAmd64(Windows(6, 1, server))));  // Server 2008 R2
    EXPECT_FALSE(IsSupportedOperatingSystem(Windows(6, 1, 2)));                // a domain controller
}

TEST(SupportedSystem, LinuxKernels)
{
    EXPECT_TRUE(IsSupportedOperatingSystem(Linux(3, 17)));
    EXPECT_TRUE(IsSupportedOperatingSystem(Linux(4, 0)));
    EXPECT_TRUE(IsSupportedOperatingSystem(Linux(6, 1)));
    EXPECT_FALSE(IsSupportedOperatingSystem(Linux(3, 16)));
    EXPECT_FALSE(IsSupportedOperatingSystem(Linux(2, 6)));
}

TEST(SupportedSystem, VersionText)
{
    XpOsVersion os = Windows(6, 1);
    os.buildNumber = 7601;
    EXPECT_EQ(Narrow(FormatOsVersion(os)), "6.1.7601");
    os.buildNumber = 0x0A280950;  // only the low 16 bits count
    EXPECT_EQ(Narrow(FormatOsVersion(os)), "6.1.2384");
    EXPECT_EQ(Narrow(FormatOsVersion(XpOsVersion())), "0.0.0");
}

TEST(SupportedSystem, KernelReleaseNumbers)
{
    XpKernelRelease release;
    ASSERT_TRUE(XpParseKernelRelease("6.1.0-18-amd64", &release));
    EXPECT_EQ(release.major, 6u);
    EXPECT_EQ(release.minor, 1u);
    EXPECT_EQ(release.patch, 0u);
    ASSERT_TRUE(XpParseKernelRelease("5.15.153.1-microsoft-standard-WSL2", &release));
    EXPECT_EQ(release.minor, 15u);
    EXPECT_EQ(release.patch, 153u);
    ASSERT_TRUE(XpParseKernelRelease("4.4", &release));
    EXPECT_EQ(release.patch, 0u);
    ASSERT_TRUE(XpParseKernelRelease("3.17-rc1", &release));
    EXPECT_EQ(release.minor, 17u);

    const XpKernelRelease before = release;
    for (const char* bad : {"", "6", "6.", ".1.0", "v6.1.0", "6.x", "4294967296.1", "6.1.4294967296"}) {
        EXPECT_FALSE(XpParseKernelRelease(bad, &release)) << bad;
    }
    EXPECT_EQ(release.minor, before.minor);
}

TEST(SupportedSystem, TheSystemFillsTheRecord)
{
    XpOsVersion os;
    ASSERT_EQ(XpPlatformReadOsVersion(&os), 0u);
#if defined(_WIN32)
    EXPECT_EQ(os.platformId, XpOs::PlatformWin32Nt);
    EXPECT_GE(os.majorVersion, 5u);
    EXPECT_NE(os.productType, 0);
    EXPECT_EQ(os.nativeArchitecture, XpOs::ArchitectureAmd64);
#else
    EXPECT_EQ(os.platformId, XpOs::PlatformLinux);
    EXPECT_GE(os.majorVersion, 3u);
    EXPECT_TRUE(IsSupportedOperatingSystem());
#endif
    EXPECT_EQ(IsSupportedOperatingSystem(), IsSupportedOperatingSystem(ReadOsVersion()));
}

}  // namespace
