#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformRecycleBin.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

using kestrow_test::ReadWholeFile;
using kestrow_test::ToPlatform;
using kestrow_test::WriteWholeFile;

namespace {

uint32_t Trash(std::initializer_list<fs::path> items)
{
    std::vector<XpPlatformString> texts;
    for (const fs::path& item : items) texts.push_back(ToPlatform(item));
    std::vector<const XpChar*> pointers;
    for (const XpPlatformString& text : texts) pointers.push_back(text.c_str());
    return XpPlatformMoveToRecycleBin(pointers.data(), pointers.size(), true);
}

class PlatformRecycleBin : public kestrow_test::TempFolderTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(TempFolderTest::SetUp());
        fs::create_directories(m_root / "work");
#if !defined(_WIN32)
        // The home trash of the test lives in the test's own folder.
        m_dataHome.Set("XDG_DATA_HOME", (m_root / "data").string());
        m_trash = m_root / "data" / "Trash";
#endif
    }

    fs::path m_trash;
#if !defined(_WIN32)
    kestrow_test::ScopedEnvironment m_dataHome;
#endif
};

TEST_F(PlatformRecycleBin, FileAndFolderWithContentsLeaveTheirPlaces)
{
    const fs::path file = m_root / "work" / fs::path(u"photo \u00e9#1.jpg");
    const fs::path folder = m_root / "work" / "album";
    WriteWholeFile(file, "jpeg bytes");
    WriteWholeFile(folder / "inner" / "clip.mp4", "video bytes");

    EXPECT_EQ(Trash({file, folder}), 0u);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::is_directory(m_root / "work"));

#if !defined(_WIN32)
    const std::string work = fs::canonical(m_root / "work").string();
    const std::string fileName = file.filename().string();
    EXPECT_EQ(ReadWholeFile(m_trash / "files" / fileName), "jpeg bytes");
    EXPECT_EQ(ReadWholeFile(m_trash / "files" / "album" / "inner" / "clip.mp4"), "video bytes");

    std::istringstream record(ReadWholeFile(m_trash / "info" / (fileName + ".trashinfo")));
    std::string header, path, date;
    std::getline(record, header);
    std::getline(record, path);
    std::getline(record, date);
    EXPECT_EQ(header, "[Trash Info]");
    EXPECT_EQ(path, "Path=" + work + "/photo%20%C3%A9%231.jpg");
    ASSERT_EQ(date.size(), std::string("DeletionDate=2024-01-31T12:34:56").size()) << date;
    EXPECT_EQ(date.substr(0, 13), "DeletionDate=");
    EXPECT_EQ(date[17], '-');
    EXPECT_EQ(date[23], 'T');
    EXPECT_EQ(date[26], ':');
    EXPECT_NE(ReadWholeFile(m_trash / "info" / "album.trashinfo").find("Path=" + work + "/album\n"), std::string::npos);
#endif
}

TEST_F(PlatformRecycleBin, EmptyPathIsRefusedBeforeAnythingMoves)
{
    const fs::path file = m_root / "work" / "a.txt";
    WriteWholeFile(file, "a");
    EXPECT_EQ(Trash({file, fs::path()}), XpWinError::InvalidParameter);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(XpPlatformMoveToRecycleBin(nullptr, 0, true), 0u);
}

// The bin itself for the time of a test: Linux's home trash of the test, or on Windows
// the bin of Wine, which is the host's trash under XDG_DATA_HOME, as long as that lies in
// the Wine prefix of the tests (tools/wine-run.sh); empty otherwise, and on Windows itself,
// whose bins a test cannot take away.
fs::path BinFolder(const fs::path& testTrash)
{
#if defined(_WIN32)
    (void)testTrash;
    const wchar_t* dataHome = _wgetenv(L"XDG_DATA_HOME");
    const wchar_t* prefix = _wgetenv(L"WINEPREFIX");
    if (dataHome == nullptr || prefix == nullptr || prefix[0] != L'/') return fs::path();
    const std::wstring data(dataHome), inside = std::wstring(prefix) + L"/";
    if (data.compare(0, inside.size(), inside) != 0) return fs::path();
    return fs::path(L"Z:" + data).make_preferred() / "Trash";
#else
    return testTrash;
#endif
}

// Puts a file where the bin's folder belongs for the life of the object, so that the bin
// cannot take anything; the folder comes back afterwards.
class BinTakenAway {
public:
    explicit BinTakenAway(fs::path bin) : m_bin(std::move(bin)), m_aside(m_bin.string() + ".aside")
    {
        std::error_code ec;
        m_moved = fs::exists(m_bin, ec);
        if (m_moved) fs::rename(m_bin, m_aside);
        WriteWholeFile(m_bin, "not a folder");
    }
    ~BinTakenAway()
    {
        std::error_code ec;
        fs::remove(m_bin, ec);
        if (m_moved) fs::rename(m_aside, m_bin, ec);
    }

private:
    fs::path m_bin, m_aside;
    bool m_moved = false;
};

TEST_F(PlatformRecycleBin, ABinThatCannotTakeTheItemLeavesItWhereItIs)
{
    // A volume without a bin cannot be made here: every Wine drive is a fixed one and Wine
    // answers a query of any volume's bin from its one bin, so Wine cannot tell that case.
    // A bin that cannot take anything stands in for it on both targets. Wine's shell, asked
    // quietly, then deletes the items for good and reports success, or, once the process
    // has used the bin before, reports success and leaves them.
    const fs::path bin = BinFolder(m_trash);
    if (bin.empty()) GTEST_SKIP() << "only Wine's bin and Linux's trash can be taken away by a test";
    const fs::path file = m_root / "work" / "keep.txt";
    const fs::path folder = m_root / "work" / "album";
    WriteWholeFile(file, "kept");
    WriteWholeFile(folder / "clip.mp4", "video");
    {
        BinTakenAway takenAway(bin);
        EXPECT_NE(Trash({file}), 0u);
        EXPECT_NE(Trash({folder}), 0u);
    }
    EXPECT_EQ(ReadWholeFile(file), "kept");
    EXPECT_EQ(ReadWholeFile(folder / "clip.mp4"), "video");
}

TEST_F(PlatformRecycleBin, AFileThatAnOpenDoesNotShareDeleteOnStays)
{
    // Moving a file into the bin renames it, which an open that does not share delete
    // refuses.
    const fs::path file = m_root / "work" / "open.txt";
    WriteWholeFile(file, "open");
    const XpPlatformString name = ToPlatform(file);
    XpFileHandle handle = kXpInvalidFileHandle;
    ASSERT_EQ(
        XpPlatformCreateFile(name.c_str(), XpFileOpen::GenericRead, XpFileOpen::ShareRead | XpFileOpen::ShareWrite,
                             XpFileOpen::OpenExisting, XpFileAttr::Normal, &handle),
        0u);
    EXPECT_EQ(Trash({file}), XpWinError::SharingViolation);
    EXPECT_EQ(ReadWholeFile(file), "open");
#if !defined(_WIN32)
    EXPECT_FALSE(fs::exists(m_trash / "info" / "open.txt.trashinfo"));
#endif
    ASSERT_EQ(XpPlatformCloseFile(handle), 0u);

    ASSERT_EQ(
        XpPlatformCreateFile(name.c_str(), XpFileOpen::GenericRead, XpFileOpen::ShareRead | XpFileOpen::ShareDelete,
                             XpFileOpen::OpenExisting, XpFileAttr::Normal, &handle),
        0u);
    EXPECT_EQ(Trash({file}), 0u);
    EXPECT_FALSE(fs::exists(file));
    ASSERT_EQ(XpPlatformCloseFile(handle), 0u);
}

#if !defined(_WIN32)

// Every trashed item: the original path its record names -> the content of the item
// under files/ (files only).
std::map<std::string, std::string> TrashContents(const fs::path& trash)
{
    std::map<std::string, std::string> contents;
    if (!fs::exists(trash / "info")) return contents;
    for (const auto& entry : fs::directory_iterator(trash / "info")) {
        const std::string record = ReadWholeFile(entry.path());
        const std::size_t start = record.find("Path=") + 5;
        const std::string name = entry.path().stem().string();
        const fs::path item = trash / "files" / name;
        contents[record.substr(start, record.find('\n', start) - start)] =
            fs::is_regular_file(item) ? ReadWholeFile(item) : "<" + name + ">";
    }
    return contents;
}

TEST_F(PlatformRecycleBin, ItemsOfTheSameNameGetDistinctTrashNames)
{
    WriteWholeFile(m_root / "work" / "a" / "same.txt", "from a");
    WriteWholeFile(m_root / "work" / "b" / "same.txt", "from b");
    EXPECT_EQ(Trash({m_root / "work" / "a" / "same.txt"}), 0u);
    EXPECT_EQ(Trash({m_root / "work" / "b" / "same.txt"}), 0u);

    const std::string work = fs::canonical(m_root / "work").string();
    const std::map<std::string, std::string> expected = {{work + "/a/same.txt", "from a"},
                                                         {work + "/b/same.txt", "from b"}};
    EXPECT_EQ(TrashContents(m_trash), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_trash / "files"), fs::directory_iterator()), 2);
}

TEST_F(PlatformRecycleBin, FailureStopsTheListAndLeavesNoRecord)
{
    const fs::path first = m_root / "work" / "first.txt";
    const fs::path last = m_root / "work" / "last.txt";
    WriteWholeFile(first, "1");
    WriteWholeFile(last, "3");

    EXPECT_EQ(Trash({first, m_root / "work" / "missing.txt", last}), XpWinError::FileNotFound);
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(last));
    const auto before = TrashContents(m_trash);
    EXPECT_EQ(before.size(), 1u);

    EXPECT_EQ(Trash({m_root / "work" / "missing.txt"}), XpWinError::FileNotFound);
    EXPECT_EQ(Trash({m_root / "nowhere" / "missing.txt"}), XpWinError::PathNotFound);
    // The folder that holds the trash cannot move into it: the move fails after the
    // record was written, and the record goes again.
    EXPECT_NE(Trash({m_root / "data"}), 0u);
    EXPECT_TRUE(fs::is_directory(m_trash / "files"));
    EXPECT_EQ(TrashContents(m_trash), before);
}

TEST_F(PlatformRecycleBin, OverlongNameIsShortenedAtACharacterBoundary)
{
    std::u16string longName;
    for (int i = 0; i < 124; ++i) longName += u'\u00e9';  // 248 bytes in UTF-8
    const fs::path item = m_root / "work" / fs::path(longName);
    WriteWholeFile(item, "long");

    ASSERT_EQ(Trash({item}), 0u);
    std::u16string expectedName;
    for (int i = 0; i < 122; ++i) expectedName += u'\u00e9';
    EXPECT_EQ(ReadWholeFile(m_trash / "files" / fs::path(expectedName)), "long");
    const std::string record = ReadWholeFile(m_trash / "info" / fs::path(expectedName + u".trashinfo"));
    std::string encodedName;
    for (int i = 0; i < 124; ++i) encodedName += "%C3%A9";
    EXPECT_NE(record.find("/" + encodedName + "\n"), std::string::npos);
}

TEST_F(PlatformRecycleBin, ItemOnAnotherFileSystemGoesToThatVolumesTrash)
{
    const fs::path volume = "/dev/shm";
    struct stat volumeInfo, rootInfo;
    if (stat(volume.c_str(), &volumeInfo) != 0 || stat(m_root.c_str(), &rootInfo) != 0 ||
        volumeInfo.st_dev == rootInfo.st_dev || access(volume.c_str(), W_OK) != 0)
        GTEST_SKIP() << "no writable second file system at /dev/shm";

    const fs::path volumeTrash = volume / (".Trash-" + std::to_string(getuid()));
    const bool hadTrash = fs::exists(volumeTrash);
    const std::string unique = m_root.filename().string();
    const fs::path item = volume / unique / (unique + ".mp4");
    struct Cleanup {
        ~Cleanup()
        {
            fs::remove_all(item.parent_path());
            fs::remove(trash / "files" / item.filename());
            fs::remove(trash / "info" / (item.filename().string() + ".trashinfo"));
            if (!hadTrash) fs::remove_all(trash);
        }
        fs::path item, trash;
        bool hadTrash;
    } cleanup{item, volumeTrash, hadTrash};
    WriteWholeFile(item, "on the volume");

    ASSERT_EQ(Trash({item}), 0u);
    EXPECT_FALSE(fs::exists(item));
    EXPECT_EQ(ReadWholeFile(volumeTrash / "files" / item.filename()), "on the volume");
    // The record names the item relative to the volume's top folder.
    EXPECT_NE(ReadWholeFile(volumeTrash / "info" / (item.filename().string() + ".trashinfo"))
                  .find("\nPath=" + unique + "/" + unique + ".mp4\n"),
              std::string::npos);
    EXPECT_EQ(fs::status(volumeTrash).permissions(), fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(m_trash));
}

#endif

}  // namespace
