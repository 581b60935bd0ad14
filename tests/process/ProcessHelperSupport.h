// The stand-in installer and watcher of the process tests (tests/process/ProcessHelper.cpp)
// put where a test wants it, told what to do, and asked what it saw.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace kestrow_test {

// What ends the name of a program file: ".exe" on Windows, nothing on Linux.
#if defined(_WIN32)
inline constexpr char kExe[] = ".exe";
#else
inline constexpr char kExe[] = "";
#endif

// The helper program built beside the test program.
std::filesystem::path HelperProgram();
// A copy of the helper at target (its folder made first), with "MARK:" + marker at its
// end when a marker is given.
void PlaceHelper(const std::filesystem::path& target, const std::string& marker = std::string());
// Writes the helper's "helper.cfg" in the folder.
void ConfigureHelper(const std::filesystem::path& folder, const std::string& lines);
// What the run of the mode ("run" or "exitall") recorded in the folder; empty when there
// was none.
std::map<std::string, std::string> HelperRecord(const std::filesystem::path& folder, const std::string& mode);
// Whether the helper can show a window here (Linux: an X display; under Wine: a display
// driver).
bool HelperCanShowWindow();
// Polls the condition every 10 ms for at most the time given; whether it came true.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

}  // namespace kestrow_test
