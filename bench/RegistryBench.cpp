// Reading the complete client identity (its own version, the system's, the host
// product's keys with its predecessor's as the fallbacks, the test values of the user's
// hive, "Version.txt") from a machine hive of 10,000 keys, against the floor that any
// reader pays: reading the same hive file into memory and splitting it into lines. Both
// are timed in the same iterations; the "ratio" counter is ours divided by the floor, in
// the thread's processor time. Each of our iterations starts with no hive in memory, so
// it measures a first read, as the updater's start-up does.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PlatformRegistry.h"
#include "platform/posix/PosixRegistryStore.h"
#include "platform/shared/RegistryHiveModel.h"
#include "update/ClientIdentity.h"

namespace fs = std::filesystem;

namespace {

// The thread's own processor time: other work on a shared machine does not count.
struct ThreadClock {
    using duration = std::chrono::nanoseconds;
    static duration now()
    {
        struct timespec time;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
        return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
    }
};
constexpr int kKeys = 10000;

XpHiveValue Text(const XpChar* name, const XpPlatformString& text)
{
    XpHiveValue value{name, XpRegType::Sz, {}};
    for (const XpChar c : text) {
        value.data.push_back(static_cast<uint8_t>(c & 0xFF));
        value.data.push_back(static_cast<uint8_t>(static_cast<uint16_t>(c) >> 8));
    }
    value.data.insert(value.data.end(), {0, 0});
    return value;
}

XpPlatformString Wide(const std::string& text)
{
    return XpPlatformString(text.begin(), text.end());
}

// A machine hive as an installed system might hold it, with the product's keys among
// the other vendors' ones, and the user's test values.
class Sandbox {
public:
    explicit Sandbox(XpHiveEncoding encoding)
    {
        char folder[] = "/tmp/kestrow-registry-bench-XXXXXX";
        if (mkdtemp(folder) == nullptr) std::abort();
        m_folder = folder;
        setenv("NORVALE_REGISTRY_DIR", folder, 1);
        fs::create_directories(m_folder / "Vimbly");
        std::ofstream(m_folder / "Vimbly" / "Version.txt") << "4.2.01.12020\r\n";

        XpHiveModel machine;
        machine.SetEncoding(encoding);
        for (int i = 0; i < kKeys - 6; ++i) {
            const XpPlatformString key = Wide("SOFTWARE\\Vendor" + std::to_string(i / 100) + "\\Product" +
                                              std::to_string(i % 100) + "\\Settings");
            machine.SetValue(
                key, Text(XP_T("InstallPath"), Wide("C:\\Program Files\\Vendor\\Product" + std::to_string(i) + "\\")));
            machine.SetValue(key, XpHiveValue{XP_T("Flags"), XpRegType::Dword, {1, 0, 0, 0}});
            machine.SetValue(key, XpHiveValue{XP_T("Stamp"), XpRegType::Binary, std::vector<uint8_t>(16, 0xA5)});
            if (i == kKeys / 2) AddProduct(machine);
        }
        Write(machine, "machine.reg", XpPosixHive::Machine);

        XpHiveModel user;
        user.SetEncoding(encoding);
        const XpPlatformString settings(XP_T("SOFTWARE\\Norvale Corporation\\Vimbly\\Kestrow\\1.0\\Settings"));
        user.SetValue(settings, XpHiveValue{XP_T("TestFlag"), XpRegType::Dword, {0, 0, 0, 0}});
        user.SetValue(settings, Text(XP_T("TestClientVersion"), XP_T("4.2.01.12020")));
        Write(user, "user.reg", XpPosixHive::User);
    }
    ~Sandbox() { fs::remove_all(m_folder); }

    const fs::path& Folder() const { return m_folder; }

private:
    void AddProduct(XpHiveModel& machine) const
    {
        const fs::path location = m_folder / "Vimbly";
        const XpPlatformString vimbly(XP_T("SOFTWARE\\Norvale Corporation\\Vimbly"));
        const XpPlatformString tessaro(XP_T("SOFTWARE\\Norvale Corporation\\Tessaro"));
        machine.SetValue(vimbly, Text(XP_T("InstalledLocation"), Wide(location.string())));
        machine.SetValue(vimbly, Text(XP_T("InstalledLanguage"), XP_T("1031")));
        machine.SetValue(vimbly + XP_T("\\GlobalSettings"), Text(XP_T("CurrentVersion"), XP_T("5.0")));
        machine.SetValue(vimbly + XP_T("\\GlobalSettings\\5.0"), Text(XP_T("CountryOrAreaCode"), XP_T("DEU")));
        machine.SetValue(tessaro, Text(XP_T("InstalledLocation"), Wide(location.string())));
        machine.SetValue(tessaro, Text(XP_T("InstalledLanguage"), XP_T("1031")));
        machine.SetValue(tessaro + XP_T("\\GlobalSettings\\1.0"), Text(XP_T("CountryOrAreaCode"), XP_T("DEU")));
    }

    // Written an hour ago, as an installed system's hive was.
    void Write(const XpHiveModel& model, const char* name, XpPosixHive hive) const
    {
        const fs::path file = m_folder / name;
        std::ofstream(file, std::ios::binary) << model.Serialize(XpPosixHiveRoot(hive));
        fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));
    }

    fs::path m_folder;
};

// The complete client identity as the application object reads it at construction,
// with the test client version that the first update check adds.
size_t ReadIdentity()
{
    ClientIdentity identity;
    FillClientIdentity(&identity);
    size_t total = static_cast<size_t>(identity.m_strInstalledVersion.GetLength() + identity.m_strCountry.GetLength() +
                                       identity.m_strLanguage.GetLength());
    total += identity.m_dwTestFlags + static_cast<size_t>(ReadTestClientVersion().GetLength());
    return total;
}

// The floor: the whole file in memory, cut into lines of its own code units.
template <class Unit>
size_t ReadAndSplit(const fs::path& file)
{
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    fstat(fd, &info);
    std::vector<Unit> text(static_cast<size_t>(info.st_size) / sizeof(Unit) + 1);
    const ssize_t got = read(fd, text.data(), static_cast<size_t>(info.st_size));
    close(fd);
    const std::basic_string_view<Unit> all(text.data(), static_cast<size_t>(got) / sizeof(Unit));
    std::vector<std::basic_string_view<Unit>> lines;
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find(Unit('\n'), start);
        if (end == all.npos) end = all.size();
        lines.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return lines.size();
}

template <class Unit>
void Identity(benchmark::State& state, XpHiveEncoding encoding)
{
    const Sandbox sandbox(encoding);
    const fs::path hive = sandbox.Folder() / "machine.reg";
    // The product's values must be found, or only the defaults would be timed.
    ClientIdentity identity;
    FillClientIdentity(&identity);
    if (identity.m_strInstalledVersion != XpString(XP_T("4.2.01.12020")) ||
        identity.m_strCountry != XpString(XP_T("DEU")) || identity.m_strLanguage != XpString(XP_T("DE")) ||
        ReadTestClientVersion().IsEmpty()) {
        state.SkipWithError("the identity's values were not found");
    }
    ThreadClock::duration oursTime{}, referenceTime{};
    for (auto _ : state) {
        const auto start = ThreadClock::now();
        XpPlatformRegForgetCachedHives();
        benchmark::DoNotOptimize(ReadIdentity());
        const auto middle = ThreadClock::now();
        benchmark::DoNotOptimize(ReadAndSplit<Unit>(hive));
        oursTime += middle - start;
        referenceTime += ThreadClock::now() - middle;
    }
    state.counters["ratio"] = static_cast<double>(oursTime.count()) / static_cast<double>(referenceTime.count());
    state.counters["hive_bytes"] = static_cast<double>(fs::file_size(hive));
}

void IdentityFromUtf16Hive(benchmark::State& state)
{
    Identity<char16_t>(state, XpHiveEncoding::Utf16);
}

void IdentityFromUtf8Hive(benchmark::State& state)
{
    Identity<char>(state, XpHiveEncoding::Utf8);
}

}  // namespace

BENCHMARK(IdentityFromUtf16Hive)->Unit(benchmark::kMicrosecond);
BENCHMARK(IdentityFromUtf8Hive)->Unit(benchmark::kMicrosecond);
