#include "process/ProcessHelperSupport.h"

#include <fstream>
#include <thread>

#include "TestSupport.h"
#include "platform/PlatformFolders.h"
#include "platform/PlatformProcess.h"
#include "platform/shared/XpCommandLine.h"

namespace fs = std::filesystem;

namespace kestrow_test {

fs::path HelperProgram()
{
    XpPlatformString self;
    if (!XpPlatformGetModulePath(self)) return fs::path();
#if defined(_WIN32)
    return fs::path(self).parent_path() / "kestrow_process_helper.exe";
#else
    return fs::path(self).parent_path() / "kestrow_process_helper";
#endif
}

void PlaceHelper(const fs::path& target, const std::string& marker)
{
    fs::create_directories(target.parent_path());
    fs::copy_file(HelperProgram(), target, fs::copy_options::overwrite_existing);
    if (!marker.empty()) std::ofstream(target, std::ios::binary | std::ios::app) << "MARK:" << marker << "\n";
}

void ConfigureHelper(const fs::path& folder, const std::string& lines)
{
    WriteWholeFile(folder / "helper.cfg", lines);
}

std::map<std::string, std::string> HelperRecord(const fs::path& folder, const std::string& mode)
{
    std::map<std::string, std::string> record;
    std::ifstream file(folder / (mode + ".record"));
    std::string line;
    while (std::getline(file, line)) {
        const std::string::size_type equals = line.find('=');
        if (equals != std::string::npos) record[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return record;
}

bool HelperCanShowWindow()
{
    const XpPlatformString command = XpQuoteCommandLineArgument(ToPlatform(HelperProgram())) + XP_T(" --window-probe");
    XpPlatformProcess probe;
    uint32_t code = 1;
    return probe.Start(nullptr, command.c_str(), 0) == 0 && probe.Wait(10000) == 0 && probe.GetExitCode(&code) &&
           code == 0;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace kestrow_test
