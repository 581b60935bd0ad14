#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "platform/PlatformFolders.h"

namespace fs = std::filesystem;

namespace kestrow_test {

XpPlatformString ToPlatform(const fs::path& path)
{
    return path.string<XpChar>();
}

XpString ToXp(const fs::path& path)
{
    const XpPlatformString text = ToPlatform(path);
    return XpString(text.c_str(), static_cast<int32_t>(text.size()));
}

fs::path ToFs(const XpString& path)
{
    return fs::path(XpPlatformString(path.GetString()));
}

std::string RandomTag()
{
    std::random_device device;
    std::uniform_int_distribution<unsigned> digits(0, 0xFFFFFF);
    char text[16];
    std::snprintf(text, sizeof text, "%06x", digits(device));
    return text;
}

void WriteWholeFile(const fs::path& path, const std::string& bytes)
{
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    out.close();
    if (!out) ADD_FAILURE() << "cannot write " << path.string();
}

std::string ReadWholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void MakeReadOnly(const fs::path& path)
{
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

void RemoveTree(const fs::path& root)
{
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(root, ec))) return;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        // One entry that refuses does not end the walk; a link's target is left alone.
        std::error_code ignored;
        if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(root, ec);
}

std::vector<XpChar> ReadChars(XpAbstractFile& file)
{
    std::vector<XpChar> chars;
    XpChar ch = 0;
    while (file.ReadChar(&ch) == XpRc::Ok) chars.push_back(ch);
    return chars;
}

void TempFolderTest::SetUp()
{
    XpPlatformString temp;
    ASSERT_TRUE(XpPlatformGetTempPath(temp));
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string("kestrow-") + test->test_suite_name() + "-" + test->name() + "-" + RandomTag();
    m_root = fs::path(temp) / name;
    ASSERT_TRUE(fs::create_directory(m_root)) << m_root.string();
}

void TempFolderTest::TearDown()
{
    if (!m_root.empty()) RemoveTree(m_root);
}

#if !defined(_WIN32)
void ScopedEnvironment::Set(const char* name, const std::optional<std::string>& value)
{
    const char* old = std::getenv(name);
    m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

void ScopedEnvironment::Restore()
{
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->second)
            setenv(it->first.c_str(), it->second->c_str(), 1);
        else
            unsetenv(it->first.c_str());
    }
    m_saved.clear();
}

ScopedTimeZone::ScopedTimeZone(const char* zone) : m_environment("TZ", std::string(zone))
{
    tzset();
}

ScopedTimeZone::~ScopedTimeZone()
{
    m_environment.Restore();
    tzset();
}
#endif

#if defined(_WIN32)
ZoneEastOfUtc::ZoneEastOfUtc() = default;
#else
ZoneEastOfUtc::ZoneEastOfUtc() : m_zone("JST-9") {}
#endif

bool ZoneEastOfUtc::Active() const
{
    const std::time_t now = std::time(nullptr);
    std::tm local = *std::localtime(&now);
    std::tm utc = *std::gmtime(&now);
    // Minutes between the two readings of one instant; they differ by at most a day.
    int minutes = (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
    if (local.tm_year != utc.tm_year)
        minutes += local.tm_year > utc.tm_year ? 1440 : -1440;
    else if (local.tm_yday != utc.tm_yday)
        minutes += local.tm_yday > utc.tm_yday ? 1440 : -1440;
    return minutes == 9 * 60;
}

}  // namespace kestrow_test
