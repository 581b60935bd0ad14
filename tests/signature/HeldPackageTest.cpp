// A package held from its check until its run: another process that replaces or rewrites
// it after the check either fails, or the run still uses the bytes that were checked.

#include <cstdlib>
#include <filesystem>
#include <string>

#if !defined(_WIN32)
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "TestSupport.h"
#include "foundation/files/XpFile.h"
#include "platform/PlatformCodeSignature.h"
#include "platform/PlatformErrors.h"
#include "signature/SignedPackages.h"

namespace {

using kestrow_test::ToPlatform;

// The stand-in installers of both targets end with exit code 7.
constexpr int kInstallerExitCode = 7;

class HeldPackageTest : public kestrow_test::TempFolderTest {
protected:
    std::filesystem::path Copy(const char* source, const char* name) const
    {
        WriteBytes(name, kestrow_test::ReadWholeFile(kestrow_test::SignedPackages() / source));
        std::filesystem::permissions(Native(name), std::filesystem::perms::owner_exec,
                                     std::filesystem::perm_options::add);
        return Native(name);
    }

    // A second process: the shell with one command line.
    static int Shell(const std::string& command) { return std::system(command.c_str()); }
};

#if !defined(_WIN32)
int RunProgram(const XpPlatformString& path)
{
    const std::string name(path.begin(), path.end());
    char* argv[] = {const_cast<char*>(name.c_str()), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, name.c_str(), nullptr, nullptr, argv, nullptr) != 0) return -1;
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
#endif

}  // namespace

#if !defined(_WIN32)

TEST_F(HeldPackageTest, RunUsesTheCheckedBytesWhenTheNameIsReplacedAfterTheCheck)
{
    const std::filesystem::path package = Copy("norvale.pkg", "package");
    XpPlatformHeldFile held;
    ASSERT_EQ(held.Open(ToPlatform(package).c_str()), 0u);
    EXPECT_EQ(held.VerifyTrust(ToPlatform(kestrow_test::SignedPackages() / "roots").c_str()), 0u);

    WriteBytes("swap", "#!/bin/sh\nexit 9\n");
    std::filesystem::permissions(Native("swap"), std::filesystem::perms::owner_all);
    ASSERT_EQ(Shell("mv -f '" + Native("swap").string() + "' '" + package.string() + "'"), 0);
    EXPECT_EQ(RunProgram(ToPlatform(package)), 9);  // the name now runs the other program
    EXPECT_EQ(RunProgram(held.RunPath()), kInstallerExitCode);
}

TEST_F(HeldPackageTest, AnotherUserCanNeitherRewriteNorRenameTheHeldPackage)
{
    if (geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
    const std::filesystem::path package = Copy("norvale.pkg", "package");
    XpPlatformHeldFile held;
    ASSERT_EQ(held.Open(ToPlatform(package).c_str()), 0u);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The user's own programs, without the updater's rights.
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        const bool written = open(package.c_str(), O_WRONLY) >= 0;
        const bool renamed = rename(package.c_str(), (package.string() + ".old").c_str()) == 0;
        _exit(written || renamed ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(RunProgram(held.RunPath()), kInstallerExitCode);
}

TEST_F(HeldPackageTest, RefusesPackagesThatOthersCouldChange)
{
    const std::filesystem::path package = Copy("norvale.pkg", "package");
    XpPlatformHeldFile held;
    // A writer of this library is held off while the package is held.
    ASSERT_EQ(held.Open(ToPlatform(package).c_str()), 0u);
    XpFile writer(Path("package"));
    EXPECT_NE(writer.Open(XpFileFlag::Write, XpFileOpen::ShareRead | XpFileOpen::ShareWrite), 0u);
    held.Close();

    std::filesystem::permissions(package, std::filesystem::perms::others_write, std::filesystem::perm_options::add);
    EXPECT_EQ(held.Open(ToPlatform(package).c_str()), XpWinError::AccessDenied);
    std::filesystem::permissions(package, std::filesystem::perms::others_write, std::filesystem::perm_options::remove);
    std::filesystem::permissions(m_root, std::filesystem::perms::group_write, std::filesystem::perm_options::add);
    EXPECT_EQ(held.Open(ToPlatform(package).c_str()), XpWinError::AccessDenied);
    std::filesystem::permissions(m_root, std::filesystem::perms::group_write, std::filesystem::perm_options::remove);
    std::filesystem::create_symlink(package, Native("link"));
    EXPECT_NE(held.Open(ToPlatform(Native("link")).c_str()), 0u);
    EXPECT_EQ(held.Open(ToPlatform(package).c_str()), 0u);
}

#else

TEST_F(HeldPackageTest, AnotherProcessCanNeitherReplaceNorRewriteTheHeldPackage)
{
    const std::filesystem::path package = Copy("norvale.exe", "package.exe");
    Copy("other.exe", "other.exe");
    const std::string original = ReadBytes("package.exe");
    XpPlatformHeldFile held;
    ASSERT_EQ(held.Open(ToPlatform(package).c_str()), 0u);
    EXPECT_EQ(held.VerifyTrust(nullptr), 0u);  // Wine trusts the test root without being told

    const std::string other = Native("other.exe").string();
    Shell("cmd /c copy /y \"" + other + "\" \"" + package.string() + "\" >nul 2>nul");
    Shell("cmd /c move /y \"" + other + "\" \"" + package.string() + "\" >nul 2>nul");
    Shell("cmd /c del /f \"" + package.string() + "\" >nul 2>nul");
    EXPECT_EQ(ReadBytes("package.exe"), original);
    // The installer starts while the package is held.
    EXPECT_EQ(Shell("\"" + package.string() + "\""), kInstallerExitCode);
    held.Close();
    Shell("cmd /c copy /y \"" + other + "\" \"" + package.string() + "\" >nul 2>nul");
    EXPECT_NE(ReadBytes("package.exe"), original);  // the attempts above could have succeeded
}

#endif
