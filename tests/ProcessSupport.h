// Running a program of the build as a real process in a sandbox of the test's own.
//
// No <windows.h> here, for the reason given in TestSupport.h.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrow_test {

// The program `name` of this build (app/kestrow, or app/kestrow.exe on Windows), found
// from the test program's own place in the build tree.
std::filesystem::path BuiltProgram(const std::string& name);

// Runs program with the arguments and `temporary` as its temporary folder (TMPDIR on
// Linux, TMP and TEMP on Windows; the rest of the environment is inherited, but for
// DISPLAY on Linux, so that the dialog shows on the terminal), its output
// going to the file `output`. The exit status, or -1 when it could not be run.
int RunWithTemporaryFolder(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                           const std::filesystem::path& temporary, const std::filesystem::path& output);

}  // namespace kestrow_test
