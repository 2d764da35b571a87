// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the built `kyr` binary as a child process with its own ports folder and
// collects what it printed and its exit code.

#include <SimProcess.h>

#include "files/MapFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kyr::test {

/// What one run of kyr left behind.
struct KyrRun {
    int code = -1;
    std::string out;
    std::string err;
};

inline std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

/// Runs kyr with args; KYR_PORT_DIR is the ports folder of `folder` (where
/// SimProcess registers its units), so the user's own ports stay out of it.
inline KyrRun runKyr(const fs::path& folder, const std::vector<std::string>& args)
{
    static int serial = 0;
    const std::string tag = std::to_string(::getpid()) + "-" + std::to_string(++serial);
    const fs::path outPath = folder / ("kyr-" + tag + ".out");
    const fs::path errPath = folder / ("kyr-" + tag + ".err");

    std::vector<std::string> argvText = {KYR_CLI_PATH};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).rfind("KYR_PORT_DIR=", 0) != 0 && std::string_view(*e).rfind("XDG_DATA_HOME=", 0) != 0)
            env.emplace_back(*e);
    env.push_back("KYR_PORT_DIR=" + SimProcess::portDirOf(folder).string());
    env.push_back("XDG_DATA_HOME=" + (folder / "data").string()); // backups stay in the test's folder
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    KyrRun run;
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << KYR_CLI_PATH << ": " << std::strerror(rc);
        return run;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readText(outPath);
    run.err = readText(errPath);
    return run;
}

/// The demo tune every simulator starts from.
inline fs::path demoTune() { return fs::path(KYR_SOURCE_DIR) / "examples" / "demo.kyr"; }

/// A map file that must load.
inline files::MapFile loadOrFail(const fs::path& path)
{
    auto f = files::loadMapFile(path);
    if (!f) {
        ADD_FAILURE() << path << ": " << f.error().message;
        return {};
    }
    return f.value();
}

/// The simulator's memory file: its table, raw form.
inline std::vector<uint8_t> simMemory(const SimProcess& sim)
{
    const std::string text = readText(sim.memoryPath());
    return std::vector<uint8_t>(text.begin(), text.end());
}

/// A number of lines of text in s.
inline int lineCount(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

} // namespace kyr::test
