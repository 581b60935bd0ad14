// Starting programs on Linux: fork and exec with the argument vector split from a Windows
// command line, a pidfd to wait on, and the start as the desktop user.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/PlatformErrors.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformSync.h"
#include "platform/posix/PosixCommon.h"
#include "platform/shared/XpCommandLine.h"

extern char** environ;

namespace {

// What the child does between fork and exec. Everything is prepared before the fork: the
// child of a process with threads may only make async-signal-safe calls.
struct Launch {
    std::string program;
    std::vector<std::string> arguments;
    std::vector<std::string> environment;  // empty: this process's own
    int keepDescriptor = -1;               // the descriptor that program names, kept open
    bool newSession = false;
    bool switchUser = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

// Where the child failed, with errno, sent back through a pipe that exec closes.
struct ChildFailure {
    int step;
    int error;
};
constexpr int kStepIdentity = 1;
constexpr int kStepExec = 2;

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

[[noreturn]] void FailInChild(int pipe, int step)
{
    const ChildFailure failure{step, errno};
    ssize_t written;
    do {
        written = write(pipe, &failure, sizeof failure);
    } while (written < 0 && errno == EINTR);
    _exit(127);
}

// The child's side: nothing of this process's descriptors passes on but the one that the
// program's name needs; signals as a fresh process has them; then the identity.
[[noreturn]] void RunChild(const Launch& launch, char* const* argv, char* const* envp, int pipe)
{
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    if (launch.keepDescriptor >= 0) fcntl(launch.keepDescriptor, F_SETFD, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction action {};
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) {
            action.sa_handler = SIG_DFL;
            sigaction(signal, &action, nullptr);
        }
    }
    if (launch.newSession) setsid();
    if (launch.switchUser) {
        if (setgroups(launch.groups.size(), launch.groups.data()) != 0) FailInChild(pipe, kStepIdentity);
        if (setgid(launch.gid) != 0) FailInChild(pipe, kStepIdentity);
        if (setuid(launch.uid) != 0) FailInChild(pipe, kStepIdentity);
    }
    execve(launch.program.c_str(), argv, envp);
    FailInChild(pipe, kStepExec);
}

uint32_t ExecError(int error, const std::string& program)
{
    return error == ENOEXEC ? XpWinError::BadExeFormat : XpPosixWinError(error, program);
}

// Forks and execs; *pid is the child once exec has succeeded.
uint32_t Spawn(Launch launch, pid_t* pid)
{
    *pid = -1;
    std::vector<char*> argv = Pointers(launch.arguments);
    std::vector<char*> envp = launch.environment.empty() ? std::vector<char*>() : Pointers(launch.environment);
    char* const* environment = launch.environment.empty() ? environ : envp.data();

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return XpPosixWinError(errno);
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(report[0]);
        close(report[1]);
        return XpPosixWinError(error);
    }
    if (child == 0) RunChild(launch, argv.data(), environment, report[1]);
    close(report[1]);

    ChildFailure failure{};
    ssize_t got;
    do {
        got = read(report[0], &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        if (failure.step == kStepIdentity) return XpWinError::AccessDenied;
        return ExecError(failure.error, launch.program);
    }
    *pid = child;
    return XpWinError::Success;
}

// "/proc/self/fd/N" -> N; -1 for any other name.
int NamedDescriptor(const std::string& program)
{
    static const char kPrefix[] = "/proc/self/fd/";
    if (program.rfind(kPrefix, 0) != 0) return -1;
    const std::string digits = program.substr(sizeof kPrefix - 1);
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::atoi(digits.c_str());
}

// The program and its argument vector from the application and the command line.
uint32_t PlanLaunch(const XpChar* application, const XpChar* commandLine, Launch* launch)
{
    const std::vector<XpPlatformString> words = XpSplitCommandLine(commandLine);
    if (application != nullptr && application[0] != 0) {
        launch->program = XpPosixToUtf8(application);
    } else if (!words.empty()) {
        launch->program = XpPosixToUtf8(words[0].c_str());
    }
    if (launch->program.empty()) return XpWinError::FileNotFound;
    for (const XpPlatformString& word : words) launch->arguments.push_back(XpPosixToUtf8(word.c_str()));
    if (launch->arguments.empty()) launch->arguments.push_back(launch->program);
    if (launch->arguments[0].empty()) launch->arguments[0] = launch->program;
    launch->keepDescriptor = NamedDescriptor(launch->program);
    return XpWinError::Success;
}

bool ParseId(const char* text, unsigned long* value)
{
    if (text == nullptr || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtoul(text, &end, 10);
    return errno == 0 && *end == 0 && *value < static_cast<unsigned long>(UINT_MAX);
}

// The user of the graphical session: the one who ran sudo or pkexec, else the owner of
// the local X display's socket. False when none is known.
bool DesktopUserId(uid_t* uid)
{
    unsigned long value = 0;
    for (const char* name : {"SUDO_UID", "PKEXEC_UID"}) {
        if (ParseId(std::getenv(name), &value)) {
            *uid = static_cast<uid_t>(value);
            return true;
        }
    }
    // ":N", ":N.S" or "unix:N": the socket /tmp/.X11-unix/XN.
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr) return false;
    std::string text = display;
    if (text.rfind("unix:", 0) == 0) text = text.substr(4);
    if (text.empty() || text[0] != ':') return false;
    const std::string number = text.substr(1, text.find('.') - 1);
    if (!ParseId(number.c_str(), &value)) return false;
    struct stat socket {};
    if (stat(("/tmp/.X11-unix/X" + number).c_str(), &socket) != 0 || !S_ISSOCK(socket.st_mode)) return false;
    *uid = socket.st_uid;
    return true;
}

// The user's group, supplementary groups and environment (HOME, USER and LOGNAME of the
// user, the rest as this process has it). False when the user has no account entry.
bool PlanIdentity(uid_t uid, Launch* launch)
{
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return false;
    int count = 32;
    std::vector<gid_t> groups(count);
    while (getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0) {
        if (count <= static_cast<int>(groups.size())) return false;
        groups.resize(count);
    }
    groups.resize(count);
    launch->switchUser = true;
    launch->uid = uid;
    launch->gid = entry.pw_gid;
    launch->groups = groups;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string text = *variable;
        if (text.rfind("HOME=", 0) != 0 && text.rfind("USER=", 0) != 0 && text.rfind("LOGNAME=", 0) != 0)
            launch->environment.push_back(text);
    }
    launch->environment.push_back(std::string("HOME=") + entry.pw_dir);
    launch->environment.push_back(std::string("USER=") + entry.pw_name);
    launch->environment.push_back(std::string("LOGNAME=") + entry.pw_name);
    return true;
}

uint32_t FromStatus(int status)
{
    if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return 128u + static_cast<uint32_t>(WTERMSIG(status));
    return kXpStillActive;
}

// The started child, kept with a pidfd to wait on when the kernel gives one.
void TakeChild(pid_t pid, intptr_t* handle, uint32_t* id)
{
    *id = static_cast<uint32_t>(pid);
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    *handle = pidfd >= 0 ? pidfd + 1 : 0;
}

}  // namespace

uint32_t XpPlatformProcess::Start(const XpChar* application, const XpChar* commandLine, uint32_t flags)
{
    Close();
    Launch launch;
    if (const uint32_t error = PlanLaunch(application, commandLine, &launch)) return error;
    launch.newSession = (flags & XpProcessFlag::Detached) != 0;
    pid_t pid = -1;
    if (const uint32_t error = Spawn(launch, &pid)) return error;
    TakeChild(pid, &m_handle, &m_id);
    return XpWinError::Success;
}

uint32_t XpPlatformProcess::StartAsDesktopUser(const XpChar* application, const XpChar* commandLine)
{
    Close();
    if (application == nullptr || application[0] == 0) return XpWinError::InvalidParameter;
    Launch launch;
    if (const uint32_t error = PlanLaunch(application, commandLine, &launch)) return error;
    launch.newSession = true;

    uid_t uid = 0;
    pid_t pid = -1;
    uint32_t error = XpWinError::AccessDenied;
    Launch asUser = launch;
    if (DesktopUserId(&uid) && uid != geteuid() && PlanIdentity(uid, &asUser)) error = Spawn(asUser, &pid);
    // No desktop user, the updater's own, or one that cannot be switched to: the
    // updater's own identity.
    if (error != XpWinError::Success) error = Spawn(launch, &pid);
    if (error != XpWinError::Success) return error;
    TakeChild(pid, &m_handle, &m_id);
    return XpWinError::Success;
}

uint32_t XpPlatformProcess::Wait(uint32_t milliseconds)
{
    if (m_id == 0) return XpWaitResult::Failed;
    uint32_t code = 0;
    if (!GetExitCode(&code)) return XpWaitResult::Failed;
    if (m_bEnded) return XpWaitResult::Object0;
    const uint64_t start = XpPlatformMonotonicMilliseconds();
    for (;;) {
        const uint64_t waited = XpPlatformMonotonicMilliseconds() - start;
        if (milliseconds != XpInfiniteWait && waited >= milliseconds) return XpWaitResult::Timeout;
        const uint64_t left = milliseconds == XpInfiniteWait ? 1000 : milliseconds - waited;
        const int slice = static_cast<int>(left < 1000 ? left : 1000);
        if (m_handle != 0) {
            // The pidfd becomes readable when the process ends.
            pollfd descriptor{static_cast<int>(m_handle - 1), POLLIN, 0};
            if (poll(&descriptor, 1, slice) < 0 && errno != EINTR) return XpWaitResult::Failed;
        } else {
            usleep(static_cast<useconds_t>((slice < 10 ? slice : 10) * 1000));
        }
        if (!GetExitCode(&code)) return XpWaitResult::Failed;
        if (m_bEnded) return XpWaitResult::Object0;
    }
}

bool XpPlatformProcess::GetExitCode(uint32_t* code)
{
    if (m_id == 0) return false;
    if (!m_bEnded) {
        int status = 0;
        pid_t done;
        do {
            done = waitpid(static_cast<pid_t>(m_id), &status, WNOHANG);
        } while (done < 0 && errno == EINTR);
        if (done < 0) return false;
        if (done == static_cast<pid_t>(m_id)) {
            m_exitCode = FromStatus(status);
            m_bEnded = m_exitCode != kXpStillActive;
        }
    }
    *code = m_bEnded ? m_exitCode : kXpStillActive;
    return true;
}

uint32_t XpPlatformProcess::WaitForInputIdle(uint32_t)
{
    // A program has input to wait for only where it can show windows: without a display
    // that answers, the wait fails as it does on Windows for a program without a message
    // queue, and the caller skips the window wait instead of polling for a window that
    // cannot come.
    return m_id != 0 && XpPosixDisplayAnswers() ? XpWaitResult::Object0 : XpWaitResult::Failed;
}

void XpPlatformProcess::Close()
{
    if (m_handle != 0) close(static_cast<int>(m_handle - 1));
    m_handle = 0;
    m_id = 0;
    m_bEnded = false;
    m_exitCode = kXpStillActive;
}
