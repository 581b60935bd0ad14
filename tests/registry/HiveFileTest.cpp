// The Linux registry's hive files as files: the encodings people and regedit write, what
// a change keeps, where the hives live, and that processes sharing a hive neither lose
// each other's changes nor leave a torn file when one of them dies.

#if !defined(_WIN32)

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "RegistryTestSupport.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformRegistry.h"
#include "platform/posix/PosixRegistryStore.h"

namespace fs = std::filesystem;

namespace {

using kestrow_test::Utf16File;

using kestrow_test::Bytes;
using kestrow_test::Utf16Bytes;

// A child process that runs work and ends with its answer, never returning into the
// test framework.
template <class Work>
pid_t Spawn(Work work)
{
    const pid_t pid = fork();
    if (pid == 0) _exit(work() ? 0 : 1);
    return pid;
}

bool EndedWell(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool WriteValue(const XpPlatformString& key, const XpPlatformString& name, const Bytes& data)
{
    XpRegKey handle = kXpRegNoKey;
    if (XpPlatformRegCreateKey(XpRegRoot::LocalMachine, key.c_str(), XpRegAccess::Write, &handle) != 0) return false;
    const bool done = XpPlatformRegSetValue(handle, name.c_str(), XpRegType::Binary, data.data(),
                                            static_cast<uint32_t>(data.size())) == 0;
    XpPlatformRegCloseKey(handle);
    return done;
}

XpPlatformString Name(const std::string& ascii)
{
    return XpPlatformString(ascii.begin(), ascii.end());
}

class HiveFiles : public kestrow_test::RegistryTest {
protected:
    std::string KeyHeader() const
    {
        return "[HKEY_LOCAL_MACHINE\\" + std::string(m_base.begin(), m_base.end()) + "]\r\n";
    }
    bool ValueIs(const XpChar* name, const Bytes& expected) const
    {
        uint32_t type = 0;
        Bytes data;
        return ReadValue(XpRegRoot::LocalMachine, Key(), name, &type, &data) && data == expected;
    }
};

TEST_F(HiveFiles, HandWrittenHivesOfEveryFormReadAndKeepTheirValuesOnChange)
{
    const std::string body = KeyHeader() + "\"Path\"=\"/opt/vimbly/\"\r\n";
    struct Form {
        std::string file;
        std::string headAfterChange;
    };
    const Form forms[] = {
        {"Windows Registry Editor Version 5.00\r\n\r\n" + body, "Windows Registry Editor Version 5.00\r\n"},
        {"\xEF\xBB\xBFWindows Registry Editor Version 5.00\n" + body, "Windows Registry Editor Version 5.00\r\n"},
        {"REGEDIT4\r\n\r\n" + body, "Windows Registry Editor Version 5.00\r\n"},
        {Utf16File("Windows Registry Editor Version 5.00\r\n\r\n" + body), Utf16File("Windows Registry Editor")},
    };
    for (const Form& form : forms) {
        WriteBytes("registry/machine.reg", form.file);
        EXPECT_TRUE(ValueIs(XP_T("PATH"), Utf16Bytes(XP_T("/opt/vimbly/"))));
        SetValue(XpRegRoot::LocalMachine, Key(), XP_T("Added"), XpRegType::Dword, {5, 0, 0, 0});
        const std::string written = ReadBytes("registry/machine.reg");
        EXPECT_EQ(written.compare(0, form.headAfterChange.size(), form.headAfterChange), 0) << written;
        EXPECT_TRUE(ValueIs(XP_T("Path"), Utf16Bytes(XP_T("/opt/vimbly/"))));
        EXPECT_TRUE(ValueIs(XP_T("Added"), {5, 0, 0, 0}));
        EXPECT_FALSE(Exists("registry/machine.reg.tmp"));
    }
    // A hive made new is written as regedit exports: UTF-16 with its byte-order mark.
    SetString(XpRegRoot::CurrentUser, Key(), XP_T("New"), XP_T("1"));
    const std::string head = Utf16File("Windows");
    EXPECT_EQ(ReadBytes("registry/user.reg").compare(0, head.size(), head), 0);
}

TEST_F(HiveFiles, AHiveThatDoesNotParseIsNeverRewritten)
{
    const std::string broken = "Windows Registry Editor Version 5.00\r\n\r\n" + KeyHeader() +
                               "\"Good\"=dword:00000001\r\n\"Torn\"=hex:01,02,0";
    WriteBytes("registry/machine.reg", broken);

    EXPECT_FALSE(KeyExists(XpRegRoot::LocalMachine, Key()));  // reading finds nothing
    XpRegKey handle = kXpRegNoKey;
    EXPECT_EQ(XpPlatformRegOpenKey(XpRegRoot::LocalMachine, nullptr, XpRegAccess::Read, &handle), 0u);
    uint32_t size = 0;
    EXPECT_EQ(XpPlatformRegQueryValue(handle, XP_T("Good"), nullptr, nullptr, &size), XpWinError::FileNotFound);
    XpPlatformRegCloseKey(handle);

    EXPECT_EQ(XpPlatformRegCreateKey(XpRegRoot::LocalMachine, Key().c_str(), XpRegAccess::Read, &handle),
              XpWinError::BadDb);
    EXPECT_EQ(XpPlatformRegCreateKey(XpRegRoot::LocalMachine, Key("New").c_str(), XpRegAccess::Write, &handle),
              XpWinError::BadDb);
    const uint8_t byte = 1;
    EXPECT_EQ(XpPlatformRegSetValue(XpRegRoot::LocalMachine, XP_T("X"), XpRegType::Binary, &byte, 1),
              XpWinError::BadDb);
    EXPECT_EQ(XpPlatformRegDeleteTree(XpRegRoot::LocalMachine, nullptr), XpWinError::BadDb);
    EXPECT_EQ(ReadBytes("registry/machine.reg"), broken);
    EXPECT_FALSE(Exists("registry/machine.reg.tmp"));

    // Mended by hand, it reads again at once.
    WriteBytes("registry/machine.reg", broken.substr(0, broken.find("\"Torn\"")));
    EXPECT_TRUE(ValueIs(XP_T("Good"), {1, 0, 0, 0}));
}

TEST_F(HiveFiles, HivesLiveWhereTheEnvironmentSays)
{
    EXPECT_EQ(XpPosixHivePath(XpPosixHive::Machine), Native("registry/machine.reg").string());
    EXPECT_EQ(XpPosixHivePath(XpPosixHive::User), Native("registry/user.reg").string());

    kestrow_test::ScopedEnvironment environment("NORVALE_REGISTRY_DIR", std::nullopt);
    EXPECT_EQ(XpPosixHivePath(XpPosixHive::Machine), "/var/lib/norvale/registry/machine.reg");
    environment.Set("XDG_CONFIG_HOME", Native("config").string());
    SetString(XpRegRoot::CurrentUser, Key(), XP_T("Here"), XP_T("1"));
    EXPECT_TRUE(Exists("config/norvale/registry/user.reg"));
    XpPlatformRegDeleteTree(XpRegRoot::CurrentUser, m_base.c_str());

    environment.Set("XDG_CONFIG_HOME", std::nullopt);
    environment.Set("HOME", Native("home").string());
    EXPECT_EQ(XpPosixHivePath(XpPosixHive::User), Native("home/.config/norvale/registry/user.reg").string());
}

TEST_F(HiveFiles, ChangesThatOtherProcessesMakeAreSeen)
{
    SetValue(XpRegRoot::LocalMachine, Key(), XP_T("V"), XpRegType::Binary, {1});
    // An hour old: this process keeps what it reads of it.
    const fs::path hive = Native("registry/machine.reg");
    fs::last_write_time(hive, fs::last_write_time(hive) - std::chrono::hours(1));
    ASSERT_TRUE(ValueIs(XP_T("V"), {1}));
    ASSERT_TRUE(ValueIs(XP_T("V"), {1}));

    const XpPlatformString key = Key();
    EXPECT_TRUE(EndedWell(Spawn([&] { return WriteValue(key, Name("V"), {2}); })));
    EXPECT_TRUE(ValueIs(XP_T("V"), {2}));
}

TEST_F(HiveFiles, TwoProcessesWritingAtOnceBothKeepTheirValues)
{
    constexpr int kValues = 25;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    const XpPlatformString key = Key();
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = Spawn([&, w] {
            char go = 0;
            if (read(gate[0], &go, 1) != 1) return false;
            for (int i = 0; i < kValues; ++i)
                if (!WriteValue(key, Name("P" + std::to_string(w) + "-" + std::to_string(i)),
                                {static_cast<uint8_t>(w), static_cast<uint8_t>(i)}))
                    return false;
            return true;
        });
    }
    ASSERT_EQ(write(gate[1], "gg", 2), 2);  // both start at the same moment
    close(gate[0]);
    close(gate[1]);
    EXPECT_TRUE(EndedWell(writers[0]));
    EXPECT_TRUE(EndedWell(writers[1]));

    for (int w = 0; w < 2; ++w)
        for (int i = 0; i < kValues; ++i) {
            const XpPlatformString name = Name("P" + std::to_string(w) + "-" + std::to_string(i));
            EXPECT_TRUE(ValueIs(name.c_str(), {static_cast<uint8_t>(w), static_cast<uint8_t>(i)})) << w << " " << i;
        }
}

TEST_F(HiveFiles, AWriterKilledMidWayNeverLeavesATornHiveNorLosesWhatItFinished)
{
    const XpPlatformString key = Key();
    // Large values make each rewrite long enough for a kill to land inside it.
    const Bytes payload(40000, 0x5A);
    std::vector<int> finished;
    for (int round = 0; round < 6; ++round) {
        const std::string prefix = "R" + std::to_string(round) + "-";
        const pid_t writer = Spawn([&] {
            for (int i = 0;; ++i)
                if (!WriteValue(key, Name(prefix + std::to_string(i)), payload)) return false;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 9 * round));
        kill(writer, SIGKILL);
        int status = 0;
        waitpid(writer, &status, 0);

        // The hive parses; what this writer and the earlier ones finished is there, in order.
        XpRegKey handle = kXpRegNoKey;
        ASSERT_EQ(XpPlatformRegCreateKey(XpRegRoot::LocalMachine, key.c_str(), XpRegAccess::Read, &handle), 0u)
            << "round " << round;
        XpPlatformRegCloseKey(handle);
        int present = 0;
        while (ValueIs(Name(prefix + std::to_string(present)).c_str(), payload)) ++present;
        EXPECT_FALSE(ValueIs(Name(prefix + std::to_string(present + 1)).c_str(), payload));
        finished.push_back(present);
        for (int earlier = 0; earlier < round; ++earlier)
            for (int i = 0; i < finished[earlier]; ++i)
                ASSERT_TRUE(ValueIs(Name("R" + std::to_string(earlier) + "-" + std::to_string(i)).c_str(), payload))
                    << "round " << round << " lost R" << earlier << "-" << i;
    }
}

}  // namespace

#endif
