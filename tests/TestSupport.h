// Helpers shared by the unit tests: conversions between std::filesystem paths and the
// library's strings, whole-file reads and writes, a fixture with a temporary folder of the
// test's own, and guards that change the environment for one test.
//
// No <windows.h> here: its macros (CreateDirectory, DeleteFile, ...) would rename the
// operations under test in every file that includes this one.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/files/XpAbstractFile.h"
#include "foundation/text/XpString.h"
#include "platform/XpChar.h"

namespace kestrow_test {

// A path as the platform layer takes it.
XpPlatformString ToPlatform(const std::filesystem::path& path);
// A path as the foundation takes it.
XpString ToXp(const std::filesystem::path& path);
// The foundation's path text as a std::filesystem path.
std::filesystem::path ToFs(const XpString& path);

// Six random hexadecimal digits, for names that runs side by side do not share.
std::string RandomTag();

// Writes bytes as the whole content of a file, making its folder first where it is
// missing; a file that cannot be written fails the test.
void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes);
// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);
// Takes the write permission away from everyone (on Windows: sets the read-only attribute).
void MakeReadOnly(const std::filesystem::path& path);
// Removes a folder tree, making its entries writable first so that read-only ones do not
// stop the removal on Windows; links are removed, never followed. Errors are ignored.
void RemoveTree(const std::filesystem::path& root);

// Every character a file gives through ReadChar from where it stands to its end.
std::vector<XpChar> ReadChars(XpAbstractFile& file);

// A fresh folder below the system's temporary folder for each test, named after the test
// with a random tag, and removed with all it holds afterwards.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A name below the test's folder as given ("a/b" stays as written).
    std::filesystem::path Native(const std::string& relative) const { return m_root / relative; }
    // A name below the test's folder in the system's own spelling ("a/b" works on both targets).
    XpString Path(const std::string& relative) const { return ToXp(Native(relative).make_preferred()); }

    void WriteBytes(const std::string& relative, const std::string& bytes) const
    {
        WriteWholeFile(Native(relative), bytes);
    }
    std::string ReadBytes(const std::string& relative) const { return ReadWholeFile(Native(relative)); }
    bool Exists(const std::string& relative) const { return std::filesystem::exists(Native(relative)); }
    void MakeDir(const std::string& relative) const { std::filesystem::create_directories(Native(relative)); }

    std::filesystem::path m_root;
};

#if !defined(_WIN32)
// Sets or removes environment variables for the life of the object, then puts every
// previous value back (removing those that were not set), the last change first.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const char* name, const std::optional<std::string>& value) { Set(name, value); }
    ~ScopedEnvironment() { Restore(); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    // Sets name to value, or removes it for std::nullopt.
    void Set(const char* name, const std::optional<std::string>& value);
    // Puts back what was there before the first change; later calls do nothing.
    void Restore();

private:
    std::vector<std::pair<std::string, std::optional<std::string> > > m_saved;
};

// TZ for the life of the object; the C library rereads the zone on the way in and out.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();

private:
    ScopedEnvironment m_environment;
};
#endif

// Local time nine hours east of UTC all year ("JST-9", Japan's rule) for the life of the
// object. Linux sets TZ for the running process. A Windows process keeps the zone it was
// started in (Wine takes it from TZ when the process starts, never later), so there the
// object only tells whether the process runs in that zone: the ctest entry
// zone_east_of_utc starts the tests named *EastOfUtc* with TZ=JST-9 on both targets.
class ZoneEastOfUtc {
public:
    ZoneEastOfUtc();
    // The C library's local time runs nine hours ahead of its UTC.
    bool Active() const;

private:
#if !defined(_WIN32)
    ScopedTimeZone m_zone;
#endif
};

}  // namespace kestrow_test
