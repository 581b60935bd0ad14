#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "TestSupport.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"

namespace fs = std::filesystem;

using kestrow_test::ToPlatform;

namespace {
constexpr uint32_t kRead = XpFileOpen::GenericRead;
constexpr uint32_t kWrite = XpFileOpen::GenericWrite;
constexpr uint32_t kReadWrite = kRead | kWrite;
constexpr uint32_t kShareRead = XpFileOpen::ShareRead;
constexpr uint32_t kShareAll = XpFileOpen::ShareRead | XpFileOpen::ShareWrite | XpFileOpen::ShareDelete;
constexpr uint32_t kNormal = XpFileAttr::Normal;

std::string FromXp(const XpChar* text)
{
    std::string out;
    for (; *text != 0; ++text) out += static_cast<char>(*text);
    return out;
}

class PlatformFiles : public kestrow_test::TempFolderTest {
protected:
    // The platform layer takes its own string type; the name goes as written, "a/b" included.
    XpPlatformString Path(const std::string& relative) const { return ToPlatform(Native(relative)); }

    uint32_t Open(const std::string& relative, uint32_t access, uint32_t share, uint32_t disposition,
                  XpFileHandle* handle) const
    {
        return XpPlatformCreateFile(Path(relative).c_str(), access, share, disposition, kNormal, handle);
    }

    // The names a search finds, "." and ".." left out; the error of the first step or of
    // the step after the last entry goes to *end.
    std::set<std::string> Find(const std::string& pattern, uint32_t* end) const
    {
        std::set<std::string> names;
        XpFindData data;
        XpFindHandle handle;
        *end = XpPlatformFindFirst(Path(pattern).c_str(), &data, &handle);
        if (*end != 0) return names;
        do {
            const std::string name = FromXp(data.name);
            if (name != "." && name != "..") names.insert(name);
        } while ((*end = XpPlatformFindNext(handle, &data)) == 0);
        EXPECT_EQ(XpPlatformFindClose(handle), 0u);
        return names;
    }
};

int64_t Size(XpFileHandle handle)
{
    int64_t size = -1;
    EXPECT_EQ(XpPlatformGetFileSize(handle, &size), 0u);
    return size;
}

int64_t Position(XpFileHandle handle)
{
    int64_t position = -1;
    EXPECT_EQ(XpPlatformSeekFile(handle, 0, 1, &position), 0u);
    return position;
}
}  // namespace

TEST_F(PlatformFiles, ReadWriteSeekAndEndOfFile)
{
    XpFileHandle file;
    ASSERT_EQ(Open("data.bin", kReadWrite, 0, XpFileOpen::CreateNew, &file), 0u);
    uint32_t done = 0;
    ASSERT_EQ(XpPlatformWriteFile(file, "hello world", 11, &done), 0u);
    EXPECT_EQ(done, 11u);
    EXPECT_EQ(Size(file), 11);

    char buffer[16] = {};
    int64_t position = -1;
    ASSERT_EQ(XpPlatformSeekFile(file, -3, 2, &position), 0u);
    EXPECT_EQ(position, 8);
    ASSERT_EQ(XpPlatformReadFile(file, buffer, 10, &done), 0u);
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(std::string(buffer, 3), "rld");
    // At the end a read succeeds with nothing.
    done = 99;
    EXPECT_EQ(XpPlatformReadFile(file, buffer, 10, &done), 0u);
    EXPECT_EQ(done, 0u);

    // A move before the start fails and leaves the position alone.
    EXPECT_EQ(XpPlatformSeekFile(file, -1, 0, &position), XpWinError::NegativeSeek);
    EXPECT_EQ(XpPlatformSeekFile(file, -12, 1, &position), XpWinError::NegativeSeek);
    EXPECT_EQ(Position(file), 11);

    // The end of the file follows the position, cutting and growing.
    ASSERT_EQ(XpPlatformSeekFile(file, 4, 0, nullptr), 0u);
    ASSERT_EQ(XpPlatformSetEndOfFile(file), 0u);
    EXPECT_EQ(Size(file), 4);
    ASSERT_EQ(XpPlatformSeekFile(file, 6, 0, nullptr), 0u);
    ASSERT_EQ(XpPlatformSetEndOfFile(file), 0u);
    EXPECT_EQ(Size(file), 6);
    ASSERT_EQ(XpPlatformCloseFile(file), 0u);
    EXPECT_EQ(ReadBytes("data.bin"), std::string("hell\0\0", 6));

    // A handle reads or writes only what it was opened for.
    ASSERT_EQ(Open("data.bin", kWrite, kShareAll, XpFileOpen::OpenExisting, &file), 0u);
    EXPECT_EQ(XpPlatformReadFile(file, buffer, 4, &done), XpWinError::AccessDenied);
    ASSERT_EQ(XpPlatformCloseFile(file), 0u);
    ASSERT_EQ(Open("data.bin", kRead, kShareAll, XpFileOpen::OpenExisting, &file), 0u);
    EXPECT_EQ(XpPlatformWriteFile(file, "x", 1, &done), XpWinError::AccessDenied);
    EXPECT_NE(XpPlatformSetEndOfFile(file), 0u);
    ASSERT_EQ(XpPlatformCloseFile(file), 0u);
    EXPECT_EQ(ReadBytes("data.bin"), std::string("hell\0\0", 6));
}

TEST_F(PlatformFiles, DispositionsOnExistingAndMissingFiles)
{
    XpFileHandle file;
    EXPECT_EQ(Open("missing.txt", kRead, kShareRead, XpFileOpen::OpenExisting, &file), XpWinError::FileNotFound);
    EXPECT_EQ(file, kXpInvalidFileHandle);
    EXPECT_EQ(Open("missing.txt", kWrite, kShareRead, XpFileOpen::TruncateExisting, &file), XpWinError::FileNotFound);
    EXPECT_EQ(Open("no-folder/missing.txt", kRead, kShareRead, XpFileOpen::OpenExisting, &file),
              XpWinError::PathNotFound);
    EXPECT_EQ(Open("no-folder/new.txt", kWrite, kShareRead, XpFileOpen::CreateAlways, &file), XpWinError::PathNotFound);
    EXPECT_FALSE(fs::exists(Native("missing.txt")));

    fs::create_directory(Native("folder"));
    EXPECT_EQ(Open("folder", kRead, kShareAll, XpFileOpen::OpenExisting, &file), XpWinError::AccessDenied);
    EXPECT_EQ(Open("folder", kReadWrite, kShareAll, XpFileOpen::OpenAlways, &file), XpWinError::AccessDenied);

    WriteBytes("kept.txt", "content");
    EXPECT_EQ(Open("kept.txt", kWrite, kShareRead, XpFileOpen::CreateNew, &file), XpWinError::FileExists);
    ASSERT_EQ(Open("kept.txt", kReadWrite, kShareRead, XpFileOpen::OpenAlways, &file), 0u);
    EXPECT_EQ(Size(file), 7);
    ASSERT_EQ(XpPlatformCloseFile(file), 0u);

    ASSERT_EQ(Open("made.txt", kReadWrite, kShareRead, XpFileOpen::OpenAlways, &file), 0u);
    EXPECT_EQ(Size(file), 0);
    ASSERT_EQ(XpPlatformCloseFile(file), 0u);
    EXPECT_TRUE(fs::is_regular_file(Native("made.txt")));

    WriteBytes("truncated.txt", "content");
    ASSERT_EQ(Open("truncated.txt", kWrite, kShareRead, XpFileOpen::TruncateExisting, &file), 0u);
    EXPECT_EQ(Size(file), 0);
    ASSERT_EQ(XpPlatformCloseFile(file), 0u);
    WriteBytes("replaced.txt", "content");
    ASSERT_EQ(Open("replaced.txt", kWrite, kShareRead, XpFileOpen::CreateAlways, &file), 0u);
    EXPECT_EQ(Size(file), 0);
    ASSERT_EQ(XpPlatformCloseFile(file), 0u);

    // A query-only handle answers size and times without touching the data.
    ASSERT_EQ(Open("kept.txt", 0, kShareRead, XpFileOpen::OpenExisting, &file), 0u);
    EXPECT_EQ(Size(file), 7);
    uint64_t written = 0;
    EXPECT_EQ(XpPlatformGetFileTimes(file, nullptr, nullptr, &written), 0u);
    EXPECT_NE(written, 0u);
    ASSERT_EQ(XpPlatformCloseFile(file), 0u);
}

TEST_F(PlatformFiles, AttributesAndReadOnlyFiles)
{
    uint32_t attributes = 0;
    EXPECT_EQ(XpPlatformGetAttributes(Path("missing").c_str(), &attributes), XpWinError::FileNotFound);
    EXPECT_EQ(attributes, XpFileAttr::Invalid);
    EXPECT_EQ(XpPlatformGetAttributes(Path("no-folder/missing").c_str(), &attributes), XpWinError::PathNotFound);

    fs::create_directory(Native("folder"));
    ASSERT_EQ(XpPlatformGetAttributes(Path("folder").c_str(), &attributes), 0u);
    EXPECT_EQ(attributes & (XpFileAttr::Directory | XpFileAttr::ReadOnly), XpFileAttr::Directory);
    EXPECT_TRUE(XpPlatformIsDirectory(Path("folder").c_str()));

    WriteBytes("file.txt", "keep me");
    ASSERT_EQ(XpPlatformGetAttributes(Path("file.txt").c_str(), &attributes), 0u);
    EXPECT_EQ(attributes & (XpFileAttr::Directory | XpFileAttr::ReadOnly | XpFileAttr::Hidden), 0u);
    EXPECT_FALSE(XpPlatformIsDirectory(Path("file.txt").c_str()));
    EXPECT_FALSE(XpPlatformIsDirectory(Path("missing").c_str()));

    // A read-only file can be neither written nor deleted until the attribute goes.
    ASSERT_EQ(XpPlatformSetAttributes(Path("file.txt").c_str(), XpFileAttr::ReadOnly), 0u);
    ASSERT_EQ(XpPlatformGetAttributes(Path("file.txt").c_str(), &attributes), 0u);
    EXPECT_NE(attributes & XpFileAttr::ReadOnly, 0u);
    XpFileHandle file;
#if !defined(_WIN32)
    // Windows refuses this itself (Wine run as root does not, so it is checked here only).
    EXPECT_EQ(Open("file.txt", kWrite, kShareAll, XpFileOpen::OpenExisting, &file), XpWinError::AccessDenied);
    EXPECT_EQ(Open("file.txt", kWrite, kShareAll, XpFileOpen::TruncateExisting, &file), XpWinError::AccessDenied);
#endif
    ASSERT_EQ(Open("file.txt", kRead, kShareAll, XpFileOpen::OpenExisting, &file), 0u);
    ASSERT_EQ(XpPlatformCloseFile(file), 0u);
    EXPECT_EQ(XpPlatformDeleteFile(Path("file.txt").c_str()), XpWinError::AccessDenied);
    EXPECT_EQ(ReadBytes("file.txt"), "keep me");

    ASSERT_EQ(XpPlatformSetAttributes(Path("file.txt").c_str(), kNormal), 0u);
    ASSERT_EQ(XpPlatformGetAttributes(Path("file.txt").c_str(), &attributes), 0u);
    EXPECT_EQ(attributes & XpFileAttr::ReadOnly, 0u);
    EXPECT_EQ(XpPlatformDeleteFile(Path("file.txt").c_str()), 0u);
    EXPECT_FALSE(fs::exists(Native("file.txt")));
    EXPECT_EQ(XpPlatformDeleteFile(Path("file.txt").c_str()), XpWinError::FileNotFound);
}

TEST_F(PlatformFiles, HiddenFollowsTheTargetsRule)
{
#if defined(_WIN32)
    const std::string name = "hidden.txt";
    WriteBytes(name, "x");
    ASSERT_EQ(XpPlatformSetAttributes(Path(name).c_str(), XpFileAttr::Hidden), 0u);
#else
    // Linux hides names that begin with a dot; the attribute cannot be set.
    const std::string name = ".hidden";
    WriteBytes(name, "x");
    WriteBytes("shown.txt", "x");
    ASSERT_EQ(XpPlatformSetAttributes(Path("shown.txt").c_str(), XpFileAttr::Hidden), 0u);
    uint32_t shown = 0;
    ASSERT_EQ(XpPlatformGetAttributes(Path("shown.txt").c_str(), &shown), 0u);
    EXPECT_EQ(shown, kNormal);
#endif
    uint32_t attributes = 0;
    ASSERT_EQ(XpPlatformGetAttributes(Path(name).c_str(), &attributes), 0u);
    EXPECT_NE(attributes & XpFileAttr::Hidden, 0u);
    EXPECT_EQ(attributes & XpFileAttr::Normal, 0u);
}

TEST_F(PlatformFiles, DeletingFilesAndDirectories)
{
    fs::create_directories(Native("full/inner"));
    WriteBytes("file.txt", "x");
    EXPECT_EQ(XpPlatformDeleteFile(Path("full").c_str()), XpWinError::AccessDenied);
    EXPECT_EQ(XpPlatformRemoveDirectory(Path("full").c_str()), XpWinError::DirNotEmpty);
    EXPECT_EQ(XpPlatformRemoveDirectory(Path("file.txt").c_str()), 267u);  // ERROR_DIRECTORY
    EXPECT_EQ(XpPlatformRemoveDirectory(Path("missing").c_str()), XpWinError::FileNotFound);
    EXPECT_EQ(XpPlatformDeleteFile(Path("no-folder/file.txt").c_str()), XpWinError::PathNotFound);
    EXPECT_EQ(XpPlatformRemoveDirectory(Path("full/inner").c_str()), 0u);
    EXPECT_EQ(XpPlatformRemoveDirectory(Path("full").c_str()), 0u);
    EXPECT_FALSE(fs::exists(Native("full")));
    EXPECT_TRUE(fs::exists(Native("file.txt")));
}

TEST_F(PlatformFiles, ShareModesHoldOffConflictingOpensAndDeletes)
{
    WriteBytes("held.txt", "original");
    XpFileHandle holder, other;
    ASSERT_EQ(Open("held.txt", kRead, 0, XpFileOpen::OpenExisting, &holder), 0u);
    EXPECT_EQ(XpPlatformDeleteFile(Path("held.txt").c_str()), XpWinError::SharingViolation);
    ASSERT_EQ(XpPlatformCloseFile(holder), 0u);
    EXPECT_EQ(ReadBytes("held.txt"), "original");

    // A writer that denies writers keeps every other writer out, and a refused open
    // leaves the file as it was; readers that let others write still get in.
    ASSERT_EQ(Open("held.txt", kWrite, kShareRead, XpFileOpen::OpenExisting, &holder), 0u);
    EXPECT_EQ(Open("held.txt", kWrite, kShareAll, XpFileOpen::OpenExisting, &other), XpWinError::SharingViolation);
    EXPECT_EQ(Open("held.txt", kReadWrite, kShareRead, XpFileOpen::CreateAlways, &other), XpWinError::SharingViolation);
    EXPECT_EQ(ReadBytes("held.txt"), "original");
    ASSERT_EQ(Open("held.txt", kRead, kShareAll, XpFileOpen::OpenExisting, &other), 0u);
    ASSERT_EQ(XpPlatformCloseFile(other), 0u);
    ASSERT_EQ(XpPlatformCloseFile(holder), 0u);

    // Readers that deny writers share the file among themselves but keep writers out.
    ASSERT_EQ(Open("held.txt", kRead, kShareRead, XpFileOpen::OpenExisting, &holder), 0u);
    ASSERT_EQ(Open("held.txt", kRead, kShareRead, XpFileOpen::OpenExisting, &other), 0u);
    XpFileHandle writer;
    EXPECT_EQ(Open("held.txt", kWrite, kShareAll, XpFileOpen::OpenExisting, &writer), XpWinError::SharingViolation);
    EXPECT_EQ(XpPlatformCrtCreateFile(Path("held.txt").c_str(), false), XpCrtErrno::Acces);
    ASSERT_EQ(XpPlatformCloseFile(other), 0u);
    ASSERT_EQ(XpPlatformCloseFile(holder), 0u);

    // Closed handles hold nothing back.
    ASSERT_EQ(Open("held.txt", kWrite, kShareAll, XpFileOpen::OpenExisting, &writer), 0u);
    ASSERT_EQ(XpPlatformCloseFile(writer), 0u);
    EXPECT_EQ(XpPlatformDeleteFile(Path("held.txt").c_str()), 0u);
}

TEST_F(PlatformFiles, FindWithWildcards)
{
    for (const char* name : {"a.txt", "b.txt", "c.log", "ab.dat"}) WriteBytes(name, "12345");
    fs::create_directory(Native("sub"));

    uint32_t end = 0;
    EXPECT_EQ(Find("*.txt", &end), (std::set<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(end, XpWinError::NoMoreFiles);
    EXPECT_EQ(Find("?b*", &end), (std::set<std::string>{"ab.dat"}));
    EXPECT_EQ(Find("*", &end), (std::set<std::string>{"a.txt", "b.txt", "c.log", "ab.dat", "sub"}));
    EXPECT_EQ(Find("*.*", &end), (std::set<std::string>{"a.txt", "b.txt", "c.log", "ab.dat", "sub"}));
    EXPECT_EQ(Find("c.log", &end), (std::set<std::string>{"c.log"}));
    EXPECT_EQ(end, XpWinError::NoMoreFiles);

    EXPECT_TRUE(Find("*.zip", &end).empty());
    EXPECT_EQ(end, XpWinError::FileNotFound);
    EXPECT_TRUE(Find("none.txt", &end).empty());
    EXPECT_EQ(end, XpWinError::FileNotFound);
    EXPECT_TRUE(Find("no-folder/*", &end).empty());
    EXPECT_EQ(end, XpWinError::PathNotFound);

    XpFindData data;
    XpFindHandle handle;
    ASSERT_EQ(XpPlatformFindFirst(Path("s*").c_str(), &data, &handle), 0u);
    EXPECT_EQ(FromXp(data.name), "sub");
    EXPECT_NE(data.attributes & XpFileAttr::Directory, 0u);
    EXPECT_EQ(XpPlatformFindNext(handle, &data), XpWinError::NoMoreFiles);
    ASSERT_EQ(XpPlatformFindClose(handle), 0u);
    ASSERT_EQ(XpPlatformFindFirst(Path("a.*").c_str(), &data, &handle), 0u);
    EXPECT_EQ(FromXp(data.name), "a.txt");
    EXPECT_EQ(data.size, 5);
    EXPECT_EQ(data.attributes & XpFileAttr::Directory, 0u);
    EXPECT_NE(data.lastWriteTime, 0u);
    ASSERT_EQ(XpPlatformFindClose(handle), 0u);
}

TEST_F(PlatformFiles, FileTimesRoundTrip)
{
    // 2020-01-02 03:04:05 UTC.
    constexpr int64_t kUnixSeconds = 1577934245;
    constexpr uint64_t kWritten = static_cast<uint64_t>(kUnixSeconds) * 10000000 + 116444736000000000ULL;
    constexpr uint64_t kAccessed = kWritten + 3600ULL * 10000000;
    XpFileHandle file;
    ASSERT_EQ(Open("dated.txt", kWrite, kShareRead, XpFileOpen::CreateNew, &file), 0u);
    ASSERT_EQ(XpPlatformSetFileTimes(file, nullptr, &kAccessed, &kWritten), 0u);
    ASSERT_EQ(XpPlatformCloseFile(file), 0u);

    ASSERT_EQ(Open("dated.txt", 0, kShareRead, XpFileOpen::OpenExisting, &file), 0u);
    uint64_t creation = 0, access = 0, written = 0;
    ASSERT_EQ(XpPlatformGetFileTimes(file, &creation, &access, &written), 0u);
    EXPECT_EQ(written, kWritten);
    EXPECT_EQ(access, kAccessed);
    EXPECT_NE(creation, 0u);
    ASSERT_EQ(XpPlatformCloseFile(file), 0u);

    int64_t created = 0, modified = 0, accessed = 0;
    ASSERT_TRUE(XpPlatformStatTimes(Path("dated.txt").c_str(), &created, &modified, &accessed));
    EXPECT_EQ(modified, kUnixSeconds);
    EXPECT_EQ(accessed, kUnixSeconds + 3600);
    EXPECT_GT(created, 0);
    EXPECT_FALSE(XpPlatformStatTimes(Path("missing").c_str(), &created, &modified, &accessed));
}

TEST_F(PlatformFiles, RunTimeStyleCreationAndVolumeFigures)
{
    EXPECT_EQ(XpPlatformCrtMkdir(Path("made").c_str()), 0);
    EXPECT_TRUE(XpPlatformIsDirectory(Path("made").c_str()));
    EXPECT_EQ(XpPlatformCrtMkdir(Path("made").c_str()), XpCrtErrno::Exist);
    EXPECT_EQ(XpPlatformCrtMkdir(Path("no-folder/made").c_str()), XpCrtErrno::NoEnt);

    EXPECT_EQ(XpPlatformCrtCreateFile(Path("new.txt").c_str(), true), 0);
    EXPECT_EQ(XpPlatformCrtCreateFile(Path("new.txt").c_str(), true), XpCrtErrno::Exist);
    WriteBytes("kept.txt", "content");
    EXPECT_EQ(XpPlatformCrtCreateFile(Path("kept.txt").c_str(), false), 0);
    EXPECT_EQ(ReadBytes("kept.txt"), "content");
    EXPECT_EQ(XpPlatformCrtCreateFile(Path("made").c_str(), false), XpCrtErrno::Acces);
    EXPECT_EQ(XpPlatformCrtCreateFile(Path("no-folder/x").c_str(), false), XpCrtErrno::NoEnt);
    // A file where a folder of the path should be: the path is not found, as on Windows.
    EXPECT_EQ(XpPlatformCrtMkdir(Path("kept.txt/made").c_str()), XpCrtErrno::NoEnt);
    EXPECT_EQ(XpPlatformCrtCreateFile(Path("kept.txt/x").c_str(), false), XpCrtErrno::NoEnt);
    EXPECT_EQ(XpPlatformCrtCreateFile(Path("kept.txt/x").c_str(), true), XpCrtErrno::NoEnt);

    uint64_t available = 0, total = 0, free = 0;
    ASSERT_EQ(XpPlatformGetDiskSpace(Path("").c_str(), &available, &total, &free), 0u);
    EXPECT_GT(total, 0u);
    EXPECT_GT(available, 0u);
    EXPECT_LE(available, total);
    EXPECT_LE(free, total);
    // The volume is asked through a directory: a missing one, or a file in its place, fails.
    EXPECT_EQ(XpPlatformGetDiskSpace(Path("missing/").c_str(), &available, &total, &free), XpWinError::FileNotFound);
    EXPECT_EQ(XpPlatformGetDiskSpace(Path("kept.txt").c_str(), &available, &total, &free), 267u);
    uint32_t unit = 0;
    ASSERT_EQ(XpPlatformGetAllocationUnit(Path("").c_str(), &unit), 0u);
    EXPECT_GT(unit, 0u);
    EXPECT_EQ(unit & (unit - 1), 0u);
}

TEST_F(PlatformFiles, SymbolicLinksAreRemovedNeverFollowed)
{
#if defined(_WIN32)
    GTEST_SKIP() << "symbolic links need extra rights on Windows";
#else
    fs::create_directory(Native("target"));
    WriteBytes("target/inside.txt", "stays");
    WriteBytes("file.txt", "stays too");
    fs::create_directory_symlink(Native("target"), Native("dir-link"));
    fs::create_symlink(Native("file.txt"), Native("file-link"));

    uint32_t attributes = 0;
    ASSERT_EQ(XpPlatformGetAttributes(Path("dir-link").c_str(), &attributes), 0u);
    EXPECT_EQ(attributes, XpFileAttr::ReparsePoint | XpFileAttr::Directory);
    ASSERT_EQ(XpPlatformGetAttributes(Path("file-link").c_str(), &attributes), 0u);
    EXPECT_EQ(attributes, XpFileAttr::ReparsePoint);
    XpFindData data;
    XpFindHandle handle;
    ASSERT_EQ(XpPlatformFindFirst(Path("dir-*").c_str(), &data, &handle), 0u);
    EXPECT_EQ(data.attributes, XpFileAttr::ReparsePoint | XpFileAttr::Directory);
    EXPECT_EQ(data.size, 0);
    ASSERT_EQ(XpPlatformFindClose(handle), 0u);

    EXPECT_EQ(XpPlatformDeleteFile(Path("dir-link").c_str()), XpWinError::AccessDenied);
    EXPECT_EQ(XpPlatformRemoveDirectory(Path("dir-link").c_str()), 0u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Native("dir-link"))));
    EXPECT_EQ(ReadBytes("target/inside.txt"), "stays");

    EXPECT_EQ(XpPlatformRemoveDirectory(Path("file-link").c_str()), 267u);
    EXPECT_EQ(XpPlatformDeleteFile(Path("file-link").c_str()), 0u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Native("file-link"))));
    EXPECT_EQ(ReadBytes("file.txt"), "stays too");
#endif
}
