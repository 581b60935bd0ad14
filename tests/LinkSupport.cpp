#include "LinkSupport.h"

#include <chrono>
#include <system_error>
#include <thread>
#include <vector>

#include "TestSupport.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace fs = std::filesystem;

namespace kestrow_test {

namespace {

// The attacker: swaps folder/name for a link to outside until the stop file appears or
// the time is up, then writes the number of swaps into the done file.
const char kSwapScript[] = R"(
my ($folder, $name, $outside, $stop, $done, $seconds) = @ARGV;
my ($real, $away) = ("$folder/$name", "$folder/$name.away");
my ($end, $swaps) = (time + $seconds, 0);
while (!-e $stop && time < $end) {
    next unless rename $real, $away;
    # The link stays a few milliseconds, long enough for a walk to go through it.
    if (symlink $outside, $real) { $swaps++; select(undef, undef, undef, 0.002); }
    unlink $real;
    rename $away, $real;
    select(undef, undef, undef, 0.001);
}
open my $out, '>', $done or die; print $out $swaps; close $out;
)";

// The planter: puts a link at path whenever nothing stands there, to each target in turn,
// and takes it away a moment later.
const char kPlantScript[] = R"(
my $path = shift @ARGV;
my ($stop, $done, $seconds) = splice @ARGV, -3;
my @targets = @ARGV;
my ($end, $plants, $turn) = (time + $seconds, 0, 0);
while (!-e $stop && time < $end) {
    if (symlink $targets[$turn++ % @targets], $path) {
        $plants++;
        select(undef, undef, undef, 0.001);
        unlink $path if -l $path;
    }
    select(undef, undef, undef, 0.0005);
}
open my $out, '>', $done or die; print $out $plants; close $out;
)";

// Waits for a file that another process writes last, and gives its content (empty when
// it never came). The writer opens it before it writes, so an empty file is waited out.
std::string WaitForFile(const fs::path& path, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        const std::string content = ReadWholeFile(path);
        if (!content.empty()) return content;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::string();
}

#if defined(_WIN32)
using UnixNameFunction = char*(__cdecl*)(const wchar_t*);

UnixNameFunction UnixNameOf()
{
    static const auto function = reinterpret_cast<UnixNameFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    return function;
}

// Starts perl with a script file and its arguments (paths already as Unix names) as a
// Linux process. Wine runs Unix programs but gives no handle to wait on, so callers wait
// for a file that the script writes last.
bool StartPerl(const fs::path& script, const std::vector<std::string>& arguments, std::intptr_t* process)
{
    *process = -1;
    std::wstring command = L"perl \"" + fs::path(UnixPath(script)).wstring() + L"\"";
    for (const std::string& argument : arguments) command += L" \"" + fs::path(argument).wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const std::wstring program = L"Z:\\usr\\bin\\perl";
    if (UnixNameOf() == nullptr ||
        !CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    if (info.hThread) CloseHandle(info.hThread);
    if (info.hProcess) CloseHandle(info.hProcess);
    return true;
}

void Reap(std::intptr_t) {}
#else
bool StartPerl(const fs::path& script, const std::vector<std::string>& arguments, std::intptr_t* process)
{
    std::vector<std::string> texts{"perl", script.string()};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/usr/bin/perl", nullptr, nullptr, argv.data(), environ) != 0) return false;
    *process = pid;
    return true;
}

void Reap(std::intptr_t process)
{
    if (process > 0) waitpid(static_cast<pid_t>(process), nullptr, 0);
}
#endif

#if defined(_WIN32)
const char kLinkScript[] = R"(
my ($target, $link, $done) = @ARGV;
my $ok = symlink $target, $link;
open my $out, '>', $done or die; print $out ($ok ? 1 : 0); close $out;
)";

const char kRemoveScript[] = R"(
my ($root, $done) = @ARGV;
use File::Path qw(remove_tree);
remove_tree($root);
open my $out, '>', $done or die; print $out 1; close $out;
)";

// Writes a script beside `beside`, runs it with the paths as arguments followed by the
// file that it writes when it is done, and gives that file's content.
std::string RunScript(const char* text, const fs::path& beside, const std::vector<fs::path>& paths)
{
    const fs::path script = beside.parent_path() / (beside.filename().string() + ".pl");
    const fs::path done = beside.parent_path() / (beside.filename().string() + ".done");
    WriteWholeFile(script, text);
    std::error_code ec;
    fs::remove(done, ec);
    std::vector<std::string> arguments;
    for (const fs::path& path : paths) arguments.push_back(UnixPath(path));
    arguments.push_back(UnixPath(done));
    std::intptr_t process = -1;
    std::string answer;
    if (StartPerl(script, arguments, &process)) answer = WaitForFile(done, std::chrono::seconds(10));
    Reap(process);
    fs::remove(script, ec);
    fs::remove(done, ec);
    return answer;
}

#endif

std::vector<std::string> PlantArguments(const fs::path& path, const std::vector<fs::path>& targets)
{
    std::vector<std::string> arguments{UnixPath(path)};
    for (const fs::path& target : targets) arguments.push_back(UnixPath(target));
    return arguments;
}

}  // namespace

#if defined(_WIN32)
std::string UnixPath(const fs::path& path)
{
    const UnixNameFunction function = UnixNameOf();
    if (function == nullptr) return std::string();
    char* name = function(path.wstring().c_str());
    if (name == nullptr) return std::string();
    std::string result(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}
#else
std::string UnixPath(const fs::path& path)
{
    return path.string();
}
#endif

bool CanMakeLinks()
{
#if defined(_WIN32)
    return UnixNameOf() != nullptr;
#else
    return true;
#endif
}

bool MakeLink(const fs::path& target, const fs::path& link)
{
#if defined(_WIN32)
    return RunScript(kLinkScript, link, {target, link}) == "1";
#else
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    return !ec;
#endif
}

void RemoveTreeWithLinks(const fs::path& root)
{
#if defined(_WIN32)
    if (CanMakeLinks())
        RunScript(kRemoveScript, root, {root});
    else
        RemoveTree(root);
#else
    std::error_code ec;
    fs::remove_all(root, ec);
#endif
}

LinkAttacker::LinkAttacker(const char* script, const fs::path& beside, const std::vector<std::string>& arguments,
                           int seconds)
{
    const fs::path file = beside / "attacker.pl";
    m_stop = beside / "attacker.stop";
    m_done = beside / "attacker.done";
    WriteWholeFile(file, script);
    std::error_code ec;
    fs::remove(m_stop, ec);
    fs::remove(m_done, ec);
    std::vector<std::string> all = arguments;
    all.insert(all.end(), {UnixPath(m_stop), UnixPath(m_done), std::to_string(seconds)});
    m_started = StartPerl(file, all, &m_process);
}

LinkAttacker::~LinkAttacker()
{
    Stop();
}

long LinkAttacker::Stop()
{
    if (!m_started || m_stopped) return m_swaps;
    m_stopped = true;
    WriteWholeFile(m_stop, "stop");
    const std::string answer = WaitForFile(m_done, std::chrono::seconds(15));
    Reap(m_process);
    if (!answer.empty()) m_swaps = std::stol(answer);
    return m_swaps;
}

FolderSwapper::FolderSwapper(const fs::path& folder, const std::string& name, const fs::path& outside, int seconds)
    : LinkAttacker(kSwapScript, folder.parent_path(), {UnixPath(folder), name, UnixPath(outside)}, seconds)
{
}

LinkPlanter::LinkPlanter(const fs::path& path, const std::vector<fs::path>& targets, int seconds)
    : LinkAttacker(kPlantScript, path.parent_path().parent_path(), PlantArguments(path, targets), seconds)
{
}

}  // namespace kestrow_test
