// The project's own update endpoint (tools/update-server.py) on loopback, for the network
// tests of both targets: one server for the test run, started by the first test that asks
// for it and stopped when the run ends. It listens on plain HTTP, on HTTPS with a test CA
// made at start (which this process then trusts where it can, see Secure) and on HTTPS with a certificate of no
// trusted CA; the proxy settings of the environment are cleared first.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/text/XpString.h"

namespace kestrow_test {

// One message that a stage posted, as a test records it.
struct Posted {
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
    bool operator==(const Posted& other) const
    {
        return message == other.message && wParam == other.wParam && lParam == other.lParam;
    }
};

// One request as the server logged it.
struct LoggedRequest {
    std::string scheme;
    std::string method;
    std::string path;
    std::string contentType;
    std::string body;
};

class UpdateServer {
public:
    // The running server; null, with a test failure, when it could not start.
    static UpdateServer* Get();

    // "scheme://127.0.0.1:port" + path for a listener: "http", "https", "untrusted" or
    // "closed" (a port on which nothing listens).
    std::string Url(const std::string& listener, const std::string& path) const;
    XpString XpUrl(const std::string& listener, const std::string& path) const;
    // "https" where this process trusts the test CA (Linux), else "http" (Windows under
    // Wine): the listener for the exchanges that must succeed.
    std::string Secure() const;

    // A package that the server serves under /packages/NAME and its other paths.
    void WritePackage(const std::string& name, const std::string& bytes) const;
    // How the next checks are answered; "{base}" in the body becomes the listener's URL.
    // With delayMs the answer comes that much later, as from a slow endpoint.
    void SetCheckAnswer(int status, const std::string& body, int delayMs = 0) const;
    // Checks answered with 404 again.
    void ClearCheckAnswer() const;

    // The requests logged since the last ClearLog.
    std::vector<LoggedRequest> Requests() const;
    void ClearLog() const;

    void Stop();

private:
    bool Start();

    std::filesystem::path m_folder;
    std::vector<std::pair<std::string, int> > m_ports;
    bool m_running = false;
    bool m_httpsTrusted = false;
};

// A temporary folder of the caller's own, removed with its content at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    XpString Xp(const std::string& relative = std::string()) const;

private:
    std::filesystem::path m_path;
};

}  // namespace kestrow_test
