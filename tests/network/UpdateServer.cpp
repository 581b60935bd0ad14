#include "network/UpdateServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "LinkSupport.h"
#include "TestSupport.h"
#include "platform/PlatformHttp.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace kestrow_test {

namespace {

const char* const kProxyVariables[] = {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                                       "all_proxy",  "ALL_PROXY",   "no_proxy",   "NO_PROXY"};

#if defined(_WIN32)
void ClearProxies()
{
    for (const char* name : kProxyVariables) SetEnvironmentVariableA(name, nullptr);
}

// Wine runs Linux programs but gives no handle of theirs: the server ends when its run
// file goes.
bool Launch(const std::vector<std::string>& arguments)
{
    std::wstring command;
    for (const std::string& argument : arguments) {
        if (!command.empty()) command += L' ';
        command += L'"' + fs::path(argument).wstring() + L'"';
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(L"Z:\\usr\\bin\\python3", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return false;
    }
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
    return true;
}

#else
void ClearProxies()
{
    for (const char* name : kProxyVariables) unsetenv(name);
}

pid_t g_server = -1;

bool Launch(const std::vector<std::string>& arguments)
{
    std::vector<std::string> texts = arguments;
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    // The server's output goes nowhere: a server that outlived a crashed test must not
    // hold the test's output open.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const bool started = posix_spawn(&g_server, "/usr/bin/python3", &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return started;
}

#endif

std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

class StopAtEnd : public ::testing::Environment {
public:
    void TearDown() override
    {
        if (UpdateServer* server = UpdateServer::Get(); server != nullptr) server->Stop();
    }
};

UpdateServer* g_instance = nullptr;

}  // namespace

UpdateServer* UpdateServer::Get()
{
    static UpdateServer server;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (server.Start()) {
            g_instance = &server;
            ::testing::AddGlobalTestEnvironment(new StopAtEnd);
        }
    }
    if (g_instance == nullptr) ADD_FAILURE() << "the update server did not start";
    return g_instance != nullptr && g_instance->m_running ? g_instance : nullptr;
}

bool UpdateServer::Start()
{
    ClearProxies();
    m_folder = fs::temp_directory_path() / ("kestrow-server-" + RandomTag());
    fs::create_directories(m_folder / "packages");
    const fs::path runFile = m_folder / "run";
    const std::vector<std::string> arguments = {"python3",         KESTROW_UPDATE_SERVER,
                                                "--packages",      UnixPath(m_folder / "packages"),
                                                "--answer-file",   UnixPath(m_folder) + "/answer.json",
                                                "--tls",           UnixPath(m_folder) + "/tls",
                                                "--log",           UnixPath(m_folder) + "/log",
                                                "--run-file",      UnixPath(m_folder) + "/run",
                                                "--stall-seconds", "4",
                                                "--max-seconds",   "180"};
    if (!Launch(arguments)) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(runFile) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::istringstream lines(ReadWholeFile(runFile));
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            m_ports.emplace_back(line.substr(0, equals), std::atoi(line.c_str() + equals + 1));
    }
    m_running = m_ports.size() == 4;
    // Windows trusts only its certificate stores, and Wine's chain engine does not take a
    // root added to them at run time: there the HTTPS listener counts as untrusted.
    m_httpsTrusted = m_running && XpPlatformHttpTrustRootsFile(ToPlatform(m_folder / "tls" / "ca.pem").c_str()) == 0;
    return m_running;
}

void UpdateServer::Stop()
{
    if (!m_running) return;
    m_running = false;
    XpPlatformHttpTrustRootsFile(nullptr);
    std::error_code ec;
    fs::remove(m_folder / "run", ec);
#if !defined(_WIN32)
    if (g_server > 0) waitpid(g_server, nullptr, 0);
#else
    // The server looks for its run file ten times a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
#endif
    RemoveTree(m_folder);
}

std::string UpdateServer::Url(const std::string& listener, const std::string& path) const
{
    int port = 0;
    for (const auto& [name, number] : m_ports) {
        if (name == listener) port = number;
    }
    const std::string scheme = listener == "https" || listener == "untrusted" ? "https" : "http";
    return scheme + "://127.0.0.1:" + std::to_string(port) + path;
}

std::string UpdateServer::Secure() const
{
    return m_httpsTrusted ? "https" : "http";
}

XpString UpdateServer::XpUrl(const std::string& listener, const std::string& path) const
{
    return XpNarrowString(Url(listener, path).c_str()).ToWide();
}

void UpdateServer::WritePackage(const std::string& name, const std::string& bytes) const
{
    WriteWholeFile(m_folder / "packages" / name, bytes);
}

void UpdateServer::SetCheckAnswer(int status, const std::string& body, int delayMs) const
{
    // Written aside and moved in, so that a check never reads half of it.
    const fs::path temporary = m_folder / "answer.tmp";
    WriteWholeFile(temporary, "{\"status\": " + std::to_string(status) + ", \"body\": " + JsonString(body) +
                                  ", \"delay_ms\": " + std::to_string(delayMs) + "}");
    fs::rename(temporary, m_folder / "answer.json");
}

void UpdateServer::ClearCheckAnswer() const
{
    std::error_code ec;
    fs::remove(m_folder / "answer.json", ec);
}

std::vector<LoggedRequest> UpdateServer::Requests() const
{
    std::vector<LoggedRequest> requests;
    std::istringstream lines(ReadWholeFile(m_folder / "log"));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
            fields.push_back(Unescape(line.substr(start, tab - start)));
        }
        fields.push_back(Unescape(line.substr(start)));
        if (fields.size() == 5) requests.push_back({fields[0], fields[1], fields[2], fields[3], fields[4]});
    }
    return requests;
}

void UpdateServer::ClearLog() const
{
    std::error_code ec;
    fs::remove(m_folder / "log", ec);
}

ScratchFolder::ScratchFolder() : m_path(fs::temp_directory_path() / ("kestrow-net-" + RandomTag()))
{
    fs::create_directories(m_path);
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(m_path);
}

XpString ScratchFolder::Xp(const std::string& relative) const
{
    return ToXp(relative.empty() ? m_path : (m_path / relative).make_preferred());
}

}  // namespace kestrow_test
