// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test support: runs kyr-sim as a child process with its own ports folder and
// reads its JSON-lines log. Several simulators may share one folder (two
// units on COM2 and COM5). Header-only; link the CMake target
// kyr_sim_support, which supplies KYR_SIM_PATH and nlohmann-json and builds
// kyr-sim first.
//
//   kyr::test::TempFolder dir;
//   kyr::test::SimProcess sim(dir.path(), {.port = 2, .args = {"--short", "10"}});
//   int fd = ::open(sim.entryPath().c_str(), O_RDWR | O_NOCTTY);
//   ...
//   auto replies = sim.logWhere("reply", "ReadTable");

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kyr::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

/// A fresh folder under the system's temporary folder, removed with all it holds.
class TempFolder {
public:
    explicit TempFolder(std::string_view prefix = "kyr-test")
    {
        std::string tmpl = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp: " + std::string(std::strerror(errno)));
        m_path = tmpl;
    }
    ~TempFolder()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& path() const { return m_path; }
    fs::path operator/(const fs::path& p) const { return m_path / p; }

private:
    fs::path m_path;
};

/// How to start one simulator. Everything left empty takes the default shown.
struct SimOptions {
    int port = 1;                  ///< registers as COM<port>
    std::optional<int> type;       ///< identity byte 1 (kyr-sim: 3)
    std::optional<int> model;      ///< identity byte 0 (kyr-sim: 3)
    std::optional<int> minor;      ///< identity byte 2 (kyr-sim: 2)
    fs::path memory;               ///< default <folder>/COM<port>.mem
    fs::path tune;                 ///< default kyr-sim's own (the demo tune)
    fs::path log;                  ///< default <folder>/COM<port>.log
    std::vector<std::string> args; ///< further options: {"--silent"}, {"--drop-after", "2"}
    std::chrono::milliseconds startTimeout = 5s; ///< for the port entry to appear
#ifdef KYR_SIM_PATH
    fs::path binary = KYR_SIM_PATH;
#else
    fs::path binary;
#endif
};

/// One running kyr-sim. The destructor stops it (SIGTERM, then wait).
class SimProcess {
public:
    /// Starts kyr-sim with the ports folder <folder>/ports (also exported to it
    /// as KYR_PORT_DIR) and waits for its COM<port> entry. Throws
    /// std::runtime_error, with what the simulator printed, if it does not start.
    SimProcess(const fs::path& folder, SimOptions options = {})
        : m_folder(folder), m_opt(std::move(options))
    {
        const std::string com = "COM" + std::to_string(m_opt.port);
        if (m_opt.memory.empty())
            m_opt.memory = m_folder / (com + ".mem");
        if (m_opt.log.empty())
            m_opt.log = m_folder / (com + ".log");
        m_stderr = m_folder / (com + ".stderr");
        fs::create_directories(portDir());
        spawn();
        std::error_code ec;
        pollUntil(m_opt.startTimeout, [&] { return fs::is_symlink(entryPath(), ec) || !running(); });
        if (!fs::is_symlink(entryPath(), ec)) {
            const int status = stop();
            throw std::runtime_error("kyr-sim did not register " + com + " (exit status " +
                                     std::to_string(status) + "): " + stderrText());
        }
    }
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    /// The ports folder of the simulators started in folder.
    static fs::path portDirOf(const fs::path& folder) { return folder / "ports"; }
    fs::path portDir() const { return portDirOf(m_folder); }
    /// <ports folder>/COM<port>: what a client opens.
    fs::path entryPath() const { return portDir() / ("COM" + std::to_string(m_opt.port)); }
    /// The pseudo-terminal the entry points at now, or empty while it is absent.
    std::string devicePath() const
    {
        std::error_code ec;
        auto target = fs::read_symlink(entryPath(), ec);
        return ec ? std::string() : target.string();
    }
    const fs::path& logPath() const { return m_opt.log; }
    const fs::path& memoryPath() const { return m_opt.memory; }
    int port() const { return m_opt.port; }
    pid_t pid() const { return m_pid; }
    /// What the simulator printed on stdout and stderr.
    std::string stderrText() const
    {
        std::ifstream in(m_stderr);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    /// True while the process has not ended.
    bool running()
    {
        if (m_pid <= 0)
            return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return false;
        }
        return true;
    }

    /// SIGTERM and wait; returns the exit status (128 + signal when killed).
    /// Stopping a stopped simulator returns the status again.
    int stop()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
            }
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            m_pid = -1;
        }
        return m_status;
    }

    /// Waits, up to timeout, until the port entry exists (present) or is gone.
    bool waitForEntry(bool present, std::chrono::milliseconds timeout = 3s)
    {
        return pollUntil(timeout, [&] {
            std::error_code ec;
            return fs::is_symlink(entryPath(), ec) == present;
        });
    }

    /// Every complete line of a JSON-lines log.
    static std::vector<nlohmann::json> readLog(const fs::path& path)
    {
        std::vector<nlohmann::json> out;
        std::ifstream in(path);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t start = 0;
        for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
            if (nl > start)
                out.push_back(nlohmann::json::parse(text.substr(start, nl - start)));
            start = nl + 1;
        }
        return out;
    }
    std::vector<nlohmann::json> log() const { return readLog(m_opt.log); }

    /// Log entries whose key holds this text ("cmd", "WriteByte"; "reply", "ReadTable"; "event", "drop").
    std::vector<nlohmann::json> logWhere(std::string_view key, std::string_view value) const
    {
        std::vector<nlohmann::json> out;
        for (auto& e : log())
            if (e.contains(key) && e[std::string(key)].is_string() && e[std::string(key)] == value)
                out.push_back(std::move(e));
        return out;
    }

    /// Waits, up to timeout, until the log holds at least count entries with
    /// key = value; returns the count-th of them.
    std::optional<nlohmann::json> waitForLog(std::string_view key, std::string_view value, size_t count = 1,
                                             std::chrono::milliseconds timeout = 3s) const
    {
        std::optional<nlohmann::json> found;
        pollUntil(timeout, [&] {
            auto all = logWhere(key, value);
            if (all.size() >= count)
                found = all[count - 1];
            return found.has_value();
        });
        return found;
    }

private:
    static bool pollUntil(std::chrono::milliseconds timeout, const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    std::vector<std::string> arguments() const
    {
        std::vector<std::string> a = {m_opt.binary.string(), "--port", std::to_string(m_opt.port),
                                      "--port-dir", portDir().string(), "--memory", m_opt.memory.string(),
                                      "--log", m_opt.log.string(), "--exit-with-parent"};
        auto add = [&a](const char* name, const std::optional<int>& v) {
            if (v) {
                a.push_back(name);
                a.push_back(std::to_string(*v));
            }
        };
        add("--type", m_opt.type);
        add("--model", m_opt.model);
        add("--minor", m_opt.minor);
        if (!m_opt.tune.empty()) {
            a.push_back("--tune");
            a.push_back(m_opt.tune.string());
        }
        a.insert(a.end(), m_opt.args.begin(), m_opt.args.end());
        return a;
    }

    void spawn()
    {
        if (m_opt.binary.empty())
            throw std::runtime_error("SimProcess: no kyr-sim binary (define KYR_SIM_PATH or set SimOptions::binary)");
        std::vector<std::string> args = arguments();
        std::vector<char*> argv;
        for (auto& s : args)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        // The child's environment: ours, with KYR_PORT_DIR pointing at the folder.
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::string_view(*e).rfind("KYR_PORT_DIR=", 0) != 0)
                env.emplace_back(*e);
        env.push_back("KYR_PORT_DIR=" + portDir().string());
        std::vector<char*> envp;
        for (auto& s : env)
            envp.push_back(s.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, m_stderr.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            m_pid = -1;
            throw std::runtime_error("Cannot start " + m_opt.binary.string() + ": " + std::strerror(rc));
        }
    }

    fs::path m_folder;
    SimOptions m_opt;
    fs::path m_stderr;
    pid_t m_pid = -1;
    int m_status = -1;
};

} // namespace kyr::test
