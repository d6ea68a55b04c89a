// tool_process.h - runs the entmlst command as a user does: each call a
// process of its own, against a device file of the test's own.
#pragma once

#include "support/device_file.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

extern char **environ;

namespace tool_support {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

struct Outcome {
    int status = -1;
    std::string out, err;
    nlohmann::json json() const { return nlohmann::json::parse(out); }
};

// Splits a command line at spaces; '' quotes a whole word with spaces, or none.
inline Args words(const std::string &line) {
    static const std::regex word("'([^']*)'|[^ ]+");
    Args out;
    for (std::sregex_iterator w(line.begin(), line.end(), word), end; w != end; ++w)
        out.push_back((*w)[1].matched ? (*w)[1].str() : w->str());
    return out;
}

class ToolTest : public ::testing::Test {
protected:
    fs::path dir, device;

    void SetUp() override {
        dir = fs::temp_directory_path() / ("entmlst-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        device = dir / "device.db";
    }
    void TearDown() override { fs::remove_all(dir); }

    // Starts the tool (under the target's emulator when cross-compiled)
    // with its output going to files, on the test's device unless args name
    // one; returns the pid.
    pid_t start(const Args &args, int n) {
        Args argv = words(ENTMLST_EMULATOR);
        argv.push_back(ENTMLST_TOOL);
        if (std::find(args.begin(), args.end(), "--device") == args.end())
            argv.insert(argv.end(), {"--device", device.string()});
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char *> cargs;
        for (auto &a : argv) cargs.push_back(a.data());
        cargs.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, file("out", n).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, 2, file("err", n).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // As from a shell: no signal blocked or ignored, whatever this process
        // inherited (under valgrind, SIGINT can arrive blocked).
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t none, stops;
        sigemptyset(&none);
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &stops);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, cargs[0], &fa, &attr, cargs.data(), environ), 0);
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&fa);
        return pid;
    }
    Outcome finish(pid_t pid, int n) {
        int ws = 0;
        waitpid(pid, &ws, 0);
        return {WIFEXITED(ws) ? WEXITSTATUS(ws) : -1, slurp(file("out", n)), slurp(file("err", n))};
    }
    Outcome tool(const Args &args) { return finish(start(args, 0), 0); }

private:
    std::string file(const char *stream, int n) const { return dir / (stream + std::to_string(n)); }
};

} // namespace tool_support
