#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "TestSupport.h"
#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPathText.h"
#include "platform/PlatformFiles.h"

#if defined(_WIN32)
#include <windows.h>
// windows.h names its wide functions through macros that would rename the operations
// under test.
#undef CreateDirectory
#undef DeleteFile
#endif

namespace fs = std::filesystem;

using kestrow_test::MakeReadOnly;
using kestrow_test::RandomTag;
using kestrow_test::RemoveTree;
using kestrow_test::ToXp;

namespace {

using FileOperationTest = kestrow_test::TempFolderTest;

class RecordingProgress : public XpFileProgress {
public:
    void Report(double percent) override { reports.push_back(percent); }
    std::vector<double> reports;
};

}  // namespace

TEST_F(FileOperationTest, ExistenceAndKindTests)
{
    WriteBytes("photo.jpg", "x");
    fs::create_directory(m_root / "album");

    bool isDirectory = true;
    EXPECT_TRUE(XpFileOperation::Exists(Path("photo.jpg"), &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_TRUE(XpFileOperation::Exists(Path("album"), &isDirectory));
    EXPECT_TRUE(isDirectory);
    EXPECT_FALSE(XpFileOperation::Exists(Path("missing"), &isDirectory));

    // Wildcards answer for the first match.
    EXPECT_TRUE(XpFileOperation::Exists(Path("*.jpg"), &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_TRUE(XpFileOperation::Exists(Path("alb?m")));
    EXPECT_FALSE(XpFileOperation::Exists(Path("*.png")));

    EXPECT_TRUE(XpFileOperation::IsExistingFile(Path("photo.jpg")));
    EXPECT_FALSE(XpFileOperation::IsExistingFile(Path("album")));
    EXPECT_TRUE(XpFileOperation::IsDirectory(Path("album")));
    EXPECT_FALSE(XpFileOperation::IsDirectory(Path("photo.jpg")));
}

TEST_F(FileOperationTest, ReadOnlyAndHiddenAttributes)
{
    WriteBytes("plain.txt", "x");
    WriteBytes("locked.txt", "x");
    MakeReadOnly(m_root / "locked.txt");
    EXPECT_TRUE(XpFileOperation::IsReadOnly(Path("locked.txt")));
    EXPECT_FALSE(XpFileOperation::IsReadOnly(Path("plain.txt")));
    EXPECT_FALSE(XpFileOperation::IsReadOnly(Path("missing.txt")));
    EXPECT_FALSE(XpFileOperation::IsHidden(Path("plain.txt")));
    EXPECT_FALSE(XpFileOperation::IsHidden(Path("missing.txt")));

#if defined(_WIN32)
    WriteBytes("secret.txt", "x");
    uint32_t attributes = 0;
    ASSERT_EQ(XpPlatformGetAttributes(Path("secret.txt").GetString(), &attributes), 0u);
    ASSERT_EQ(XpPlatformSetAttributes(Path("secret.txt").GetString(), attributes | XpFileAttr::Hidden), 0u);
    EXPECT_TRUE(XpFileOperation::IsHidden(Path("secret.txt")));
    // A drive root is never hidden, whatever its attributes and however it is spelt.
    EXPECT_FALSE(XpFileOperation::IsHidden(XpString(XP_T("C:\\"))));
    EXPECT_FALSE(XpFileOperation::IsHidden(XpString(XP_T("c:\\"))));
#else
    WriteBytes(".secret", "x");
    EXPECT_TRUE(XpFileOperation::IsHidden(Path(".secret")));
    EXPECT_FALSE(XpFileOperation::IsHidden(XpString(XP_T("/"))));
#endif
}

TEST_F(FileOperationTest, DirectoryCreation)
{
    EXPECT_EQ(XpFileOperation::CreateDirectory(Path("missing/one")), XpRc::PathNotFound);
    EXPECT_FALSE(Exists("missing"));

    EXPECT_EQ(XpFileOperation::CreateDirectories(Path("a/b")), XpRc::Ok);
    EXPECT_TRUE(fs::is_directory(m_root / "a" / "b"));
    EXPECT_EQ(XpFileOperation::CreateDirectories(Path("a/b")), XpRc::AlreadyExists);

    // A trailing separator makes the last step ask for a folder that the walk just made.
    const XpChar separator[2] = {XpPathSeparator(), 0};
    EXPECT_EQ(XpFileOperation::CreateDirectories(Path("c/d") + separator), XpRc::AlreadyExists);
    EXPECT_TRUE(fs::is_directory(m_root / "c" / "d"));

    // A file in the way is neither replaced nor gone through.
    WriteBytes("file", "keep");
    EXPECT_EQ(XpFileOperation::CreateDirectories(Path("file/e")), XpRc::PathNotFound);
    EXPECT_EQ(ReadBytes("file"), "keep");

    EXPECT_EQ(XpFileOperation::CreateDirectories(XpString(XP_T("relative"))), XpRc::BadRoot);
    EXPECT_EQ(XpFileOperation::CreateDirectories(XpString()), XpRc::BadRoot);
#if defined(_WIN32)
    EXPECT_EQ(XpFileOperation::CreateDirectories(XpString(XP_T("relative\\x\\y"))), XpRc::BadRoot);
    EXPECT_EQ(XpFileOperation::CreateDirectories(XpString(XP_T("\\\\server"))), XpRc::BadRoot);
    EXPECT_EQ(XpFileOperation::CreateDirectories(XpString(XP_T("\\\\server\\"))), XpRc::BadRoot);
    EXPECT_EQ(XpFileOperation::CreateDirectories(XpString(XP_T("\\\\server\\share"))), XpRc::BadRoot);
    EXPECT_EQ(XpFileOperation::CreateDirectories(XpString(XP_T("\\rooted\\without\\drive"))), XpRc::BadRoot);
#else
    EXPECT_EQ(XpFileOperation::CreateDirectories(XpString(XP_T("relative/x/y"))), XpRc::BadRoot);
    EXPECT_EQ(XpFileOperation::CreateDirectories(XpString(XP_T("C:\\x\\y"))), XpRc::BadRoot);
#endif
}

#if defined(_WIN32)
TEST(FileOperationDriveRoot, CreateDirectoriesBelowADriveRoot)
{
    const std::wstring top = L"C:\\kestrow-fileop-" + fs::path(RandomTag()).wstring();
    const XpString path = ToXp(fs::path(top + L"\\level1\\level2"));
    EXPECT_EQ(XpFileOperation::CreateDirectories(path), XpRc::Ok);
    EXPECT_TRUE(fs::is_directory(fs::path(top) / L"level1" / L"level2"));
    EXPECT_EQ(XpFileOperation::CreateDirectories(path), XpRc::AlreadyExists);
    RemoveTree(fs::path(top));
}
#endif

TEST_F(FileOperationTest, DeleteFileRemovesReadOnlyFiles)
{
    WriteBytes("locked.txt", "x");
    MakeReadOnly(m_root / "locked.txt");
    EXPECT_EQ(XpFileOperation::DeleteFile(Path("locked.txt")), XpRc::Ok);
    EXPECT_FALSE(Exists("locked.txt"));

    EXPECT_EQ(XpFileOperation::DeleteFile(Path("missing.txt")), XpRc::FileNotFound);
    EXPECT_EQ(XpFileOperation::DeleteFile(Path("missing/x.txt")), XpRc::PathNotFound);
}

TEST_F(FileOperationTest, FailedDeleteKeepsTheFileAndItsReadOnlyBit)
{
    WriteBytes("held.txt", "content");
    MakeReadOnly(m_root / "held.txt");
    XpFileHandle handle = kXpInvalidFileHandle;
    ASSERT_EQ(XpPlatformCreateFile(Path("held.txt").GetString(), XpFileOpen::GenericRead, 0, XpFileOpen::OpenExisting,
                                   0, &handle),
              0u);

    const XpResult rc = XpFileOperation::DeleteFile(Path("held.txt"));
    EXPECT_NE(rc, XpRc::Ok);
    EXPECT_NE(rc, XpRc::Failure);
    EXPECT_NE(rc, XpRc::CrtFailure);
    XpPlatformCloseFile(handle);

    EXPECT_EQ(ReadBytes("held.txt"), "content");
    EXPECT_TRUE(XpFileOperation::IsReadOnly(Path("held.txt")));
}

TEST_F(FileOperationTest, DeleteReportsStartAndEndOfEachItem)
{
    WriteBytes("a.txt", "x");
    RecordingProgress progress;
    EXPECT_EQ(XpFileOperation::Delete(Path("a.txt"), false, false, &progress), XpRc::Ok);
    EXPECT_FALSE(Exists("a.txt"));
    EXPECT_EQ(progress.reports, (std::vector<double>{0, 100}));
    EXPECT_EQ(progress.m_percent, 100);
    EXPECT_EQ(progress.m_done, 1u);
    EXPECT_TRUE(progress.m_currentPath == Path("a.txt"));

    // A failed item is finished all the same.
    EXPECT_EQ(XpFileOperation::Delete(Path("missing.txt"), false, false, &progress), XpRc::FileNotFound);
    EXPECT_EQ(progress.reports, (std::vector<double>{0, 100, 0, 100}));
    EXPECT_EQ(progress.m_done, 2u);
    EXPECT_TRUE(progress.m_currentPath == Path("missing.txt"));

    // As a list, the progress object is not used.
    WriteBytes("b.txt", "x");
    EXPECT_EQ(XpFileOperation::Delete(Path("b.txt"), false, true, &progress), XpRc::Ok);
    EXPECT_FALSE(Exists("b.txt"));
    EXPECT_EQ(progress.m_done, 2u);
    EXPECT_EQ(progress.reports.size(), 4u);

    EXPECT_EQ(XpFileOperation::Delete(Path("missing.txt"), false, false, nullptr), XpRc::FileNotFound);
}

TEST_F(FileOperationTest, DeleteListStopsAtTheFirstFailure)
{
    WriteBytes("1.txt", "x");
    WriteBytes("2.txt", "x");
    EXPECT_EQ(XpFileOperation::DeleteList({Path("1.txt"), Path("missing.txt"), Path("2.txt")}, false),
              XpRc::FileNotFound);
    EXPECT_FALSE(Exists("1.txt"));
    EXPECT_TRUE(Exists("2.txt"));
    EXPECT_EQ(XpFileOperation::DeleteList({Path("2.txt")}, false), XpRc::Ok);
    EXPECT_FALSE(Exists("2.txt"));
    EXPECT_EQ(XpFileOperation::DeleteList({}, false), XpRc::Ok);
}

TEST_F(FileOperationTest, CreateNewFileAndEnsureFileExistsKeepWhatIsThere)
{
    EXPECT_EQ(XpFileOperation::CreateNewFile(Path("new.txt")), XpRc::Ok);
    EXPECT_TRUE(Exists("new.txt"));
    EXPECT_EQ(fs::file_size(m_root / "new.txt"), 0u);

    WriteBytes("old.txt", "content");
    EXPECT_EQ(XpFileOperation::CreateNewFile(Path("old.txt")), XpRc::AlreadyExists);
    EXPECT_EQ(ReadBytes("old.txt"), "content");

    EXPECT_EQ(XpFileOperation::EnsureFileExists(Path("old.txt")), XpRc::Ok);
    EXPECT_EQ(ReadBytes("old.txt"), "content");
    EXPECT_EQ(XpFileOperation::EnsureFileExists(Path("made.txt")), XpRc::Ok);
    EXPECT_TRUE(Exists("made.txt"));
    EXPECT_EQ(ReadBytes("made.txt"), "");

    // A missing folder on the way, or a file standing where a folder should be, is the
    // same failure on both targets.
    for (const char* path : {"missing/x.txt", "old.txt/x.txt"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(XpFileOperation::EnsureFileExists(Path(path)), XpRc::NoSuchFile);
        EXPECT_EQ(XpFileOperation::CreateNewFile(Path(path)), XpRc::CrtFailure);
    }
}

#if defined(_WIN32)
namespace {

bool RunningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace
#endif

TEST_F(FileOperationTest, DeleteToRecycleBinTakesTheFileAway)
{
    const std::string tag = RandomTag();
#if defined(_WIN32)
    // Wine's recycle bin is the host's freedesktop.org trash below $XDG_DATA_HOME, which
    // tools/wine-run.sh points into the private prefix. Without it the user's own trash
    // would be used.
    fs::path trash;
    if (RunningUnderWine()) {
        const wchar_t* dataHome = _wgetenv(L"XDG_DATA_HOME");
        if (dataHome == nullptr || dataHome[0] != L'/') GTEST_SKIP() << "XDG_DATA_HOME is not set for Wine";
        trash = (fs::path(L"Z:" + std::wstring(dataHome)) / L"Trash").make_preferred();
    }
#else
    // The home trash goes to the test's own folder, so the user's trash is never touched.
    kestrow_test::ScopedEnvironment dataHome("XDG_DATA_HOME", (m_root / "data").string());
    const fs::path trash = m_root / "data" / "Trash";
#endif
    // Once alone and once through Delete.
    for (const std::string& name : {"alone-" + tag + ".txt", "through-delete-" + tag + ".txt"}) {
        WriteBytes(name, "x");
        const XpResult rc = name[0] == 'a' ? XpFileOperation::DeleteToRecycleBin(Path(name))
                                           : XpFileOperation::Delete(Path(name), true, false, nullptr);
        EXPECT_EQ(rc, XpRc::Ok) << name;
        EXPECT_FALSE(Exists(name)) << name;
        if (!trash.empty()) {
            EXPECT_TRUE(fs::exists(trash / "files" / name)) << name;
            std::error_code ec;
            fs::remove(trash / "files" / name, ec);
            fs::remove(trash / "info" / (name + ".trashinfo"), ec);
        }
    }
    EXPECT_NE(XpFileOperation::DeleteToRecycleBin(Path("missing.txt")), XpRc::Ok);
}
