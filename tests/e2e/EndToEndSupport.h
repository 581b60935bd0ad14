// The whole updater as a real process in a sandbox of the test's own: the host product
// "installed" at an old version in a folder of the sandbox, the updater's check endpoint
// pointed at the project's loopback endpoint, the demo root trusted, a temporary folder
// and lock folder of the sandbox, and the signed demo installer as the package.
//
// Linux: machine and user hives in the sandbox (NORVALE_REGISTRY_DIR); the dialog on the
// terminal, the display (if any) left to the installer's window. Windows (under Wine): the prefix's registry,
// whose host-product key the fixture removes again; TMP and TEMP name the sandbox.
//
// No <windows.h> here, for the reason given in TestSupport.h.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "TestSupport.h"
#include "foundation/text/XpString.h"

namespace kestrow_test {

class UpdateServer;

// A program started with its own environment changes, its output going to a file.
class ProgramRun {
public:
    ProgramRun() = default;
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Starts program with one argument; a variable mapped to nullopt is removed. Its
    // standard input is empty, or with typed a pipe that Type writes to.
    bool Start(const std::filesystem::path& program, const std::string& argument,
               const std::map<std::string, std::optional<std::string> >& environment,
               const std::filesystem::path& output, bool typed = false);
    // Writes text to the program's standard input, as typed at a terminal.
    bool Type(const std::string& text);
    // The exit status once the program has ended within the time; nullopt otherwise.
    std::optional<int> Wait(std::chrono::milliseconds limit);
    // Ends the program at once, as a crash or a power cut would.
    void Kill();

private:
    void CloseInput();

    std::intptr_t m_process = -1;  // Linux: the process id; Windows: the process handle
    std::intptr_t m_input = -1;    // the pipe to its standard input: a descriptor or a handle
};

// The demo package of this build, its name and the folder of the demo root.
std::filesystem::path DemoPackage();
std::string DemoPackageName();

class EndToEndTest : public TempFolderTest {
protected:
    static constexpr const char* kOldVersion = "4.2.01.12020";
    static constexpr const char* kNewVersion = "4.3.00.10000";

    void SetUp() override;
    void TearDown() override;

    // Linux: the updater runs with no display at all (by default it keeps the test run's
    // display for the installer's window, and only GTK is kept off it).
    void WithoutDisplay();
    // The sandbox's temporary folder (made on first use; a name with a blank works).
    void UseTemporaryFolder(const std::string& relative);
    std::filesystem::path WorkDirectory() const { return Native(m_temporary) / "Vimbly_Kestrow"; }
    std::filesystem::path WorkPackage() const { return WorkDirectory() / DemoPackageName(); }

    // The package path that the check answers with, below the endpoint ("/packages/",
    // "/slow/", ...): "{base}" + path + the package's name; after delayMs.
    void AnswerCheckWith(const std::string& path, int delayMs = 0);
    // Sets a REG_DWORD of the demo installer's settings.
    void SetInstallerSetting(const XpChar* name, uint32_t value);

    // Starts the updater with its instance key; its output goes to the file name given.
    // With typed, its dialog takes the button presses and answers from Type.
    bool StartUpdater(ProgramRun& run, const std::string& output, bool typed = false);
    // Runs the updater to its end (within limit) and gives its exit status, -1 on time-out.
    int RunUpdater(const std::string& output = "updater.txt",
                   std::chrono::milliseconds limit = std::chrono::milliseconds(90000));

    // What the run left: the installed version (first line of Version.txt), "InstallResult"
    // (nullopt when absent), the demo installer's runs and the arguments it was given.
    std::string InstalledVersion() const;
    std::optional<uint32_t> InstallResult() const;
    uint32_t InstallerRuns() const;
    std::string InstallerArguments() const;
    // How many GET requests for the package the endpoint saw since the fixture's start.
    int PackageRequests() const;

    UpdateServer* m_server = nullptr;
    std::string m_temporary = "tmp";

private:
    std::map<std::string, std::optional<std::string> > m_environment;
#if !defined(_WIN32)
    ScopedEnvironment m_registryFolder;
#endif
};

}  // namespace kestrow_test
