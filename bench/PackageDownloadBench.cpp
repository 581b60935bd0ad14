// The package download against the curl command-line tool, both fetching the same
// 256 MiB package from the same loopback update server in the same run. Counters:
//   throughput_ratio   the updater's throughput over curl's (at least 0.9 is the goal)
//   peak_growth_MiB    how far the process's peak memory rose during the download (at most 8)
//   progress_per_s     the most progress messages that reached the dialog within one second (at most 2)

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "update/PackageDownload.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t kPackageSize = size_t{256} << 20;

// The peak resident memory of this process so far, in bytes (VmHWM).
double PeakBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) * 1024.0;
    }
    return 0;
}

bool Spawn(std::vector<std::string> arguments, pid_t* pid)
{
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return posix_spawnp(pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
}

int Run(std::vector<std::string> arguments)
{
    pid_t pid = -1;
    if (!Spawn(std::move(arguments), &pid)) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The update server of tools/ with one package, for the life of the object.
class Server {
public:
    Server() : m_folder(fs::temp_directory_path() / ("kestrow-bench-" + std::to_string(std::random_device()())))
    {
        fs::create_directories(m_folder / "packages");
        std::ofstream package(m_folder / "packages" / "big.exe", std::ios::binary);
        std::string block(1 << 20, '\0');
        std::mt19937 random(7);
        for (char& c : block) c = static_cast<char>(random());
        for (size_t written = 0; written < kPackageSize; written += block.size()) package << block;
        package.close();
        Spawn({"python3", KESTROW_UPDATE_SERVER, "--packages", (m_folder / "packages").string(), "--run-file",
               (m_folder / "run").string()},
              &m_pid);
        for (int i = 0; i < 200 && !fs::exists(m_folder / "run"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::ifstream run(m_folder / "run");
        for (std::string line; std::getline(run, line);) {
            if (line.rfind("http=", 0) == 0) m_url = "http://127.0.0.1:" + line.substr(5) + "/packages/big.exe";
        }
    }
    ~Server()
    {
        std::error_code ec;
        fs::remove(m_folder / "run", ec);
        if (m_pid > 0) waitpid(m_pid, nullptr, 0);
        fs::remove_all(m_folder, ec);
    }
    const std::string& Url() const { return m_url; }
    fs::path Folder() const { return m_folder; }

private:
    fs::path m_folder;
    pid_t m_pid = -1;
    std::string m_url;
};

void DownloadAgainstCurl(benchmark::State& state)
{
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        unsetenv(name);
    }
    Server server;
    if (server.Url().empty()) {
        state.SkipWithError("the update server did not start");
        return;
    }
    const fs::path target = server.Folder() / "download.exe";
    const XpString url = XpNarrowString(server.Url().c_str()).ToWide();
    const XpString path = XpNarrowString(target.string().c_str()).ToWide();
    double ours = 0, curl = 0, growth = 0, progressRate = 0;
    for (auto _ : state) {
        const auto curlStart = Clock::now();
        if (Run({"curl", "-s", "-o", target.string(), server.Url()}) != 0) {
            state.SkipWithError("curl failed");
            return;
        }
        curl += std::chrono::duration<double>(Clock::now() - curlStart).count();
        fs::remove(target);

        const double peakBefore = PeakBytes();
        std::vector<Clock::time_point> progress;
        const StagePost post = [&progress](uint32_t message, uint64_t, int64_t) {
            if (message == WM_DOWNLOAD_PROGRESS) progress.push_back(Clock::now());
        };
        std::atomic<bool> abort{false};
        const auto start = Clock::now();
        PackageDownloadSession session;
        if (!session.Open(url) || session.Download(path, &abort, &post) != DownloadResult::Complete) {
            state.SkipWithError("the download failed");
            return;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        ours += seconds;
        growth = std::max(growth, PeakBytes() - peakBefore);
        // The most progress messages within any one second.
        for (size_t first = 0; first < progress.size(); ++first) {
            size_t last = first;
            while (last + 1 < progress.size() && progress[last + 1] - progress[first] < std::chrono::seconds(1)) ++last;
            progressRate = std::max(progressRate, static_cast<double>(last - first + 1));
        }
        fs::remove(target);
    }
    state.counters["throughput_ratio"] = curl / ours;
    state.counters["peak_growth_MiB"] = growth / (1 << 20);
    state.counters["progress_per_s"] = progressRate;
}

BENCHMARK(DownloadAgainstCurl)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
