// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The virtual controller program, started for one test on a pseudo-terminal of its own.
#include <filesystem>
#include <string>
#include <vector>

#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char** environ;

namespace zelbor::test {

#ifdef ZELBOR_VIRTUAL_CONTROLLER

// `args` are the controller's options; its port is announced in a folder of its own.
class Controller {
public:
    explicit Controller(std::vector<std::string> args)
    {
        folder = std::filesystem::path(testing::TempDir()) /
                 ("vc-" + std::to_string(getpid()) + "-" + std::to_string(++serial_));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        args.insert(args.begin(), {ZELBOR_VIRTUAL_CONTROLLER, "--folder", (folder / "ports").string()});
        int out[2];
        if (pipe(out) != 0)
            return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        // The first line on standard output names the port.
        std::string line;
        char c;
        while (pid > 0) {
            pollfd p{out[0], POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0 || read(out[0], &c, 1) != 1)
                break;
            if (c == '\n')
                break;
            line += c;
        }
        close(out[0]);
        if (line.rfind("PORT ", 0) == 0)
            port = line.substr(5);
    }
    ~Controller()
    {
        Stop();
        std::filesystem::remove_all(folder);
    }
    // Ends the program as a user would and returns its exit status (-1 when it did not exit).
    int Stop()
    {
        if (pid <= 0)
            return status;
        kill(pid, SIGTERM);
        int st = 0;
        waitpid(pid, &st, 0);
        pid = -1;
        status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        return status;
    }
    bool Exited()
    {
        int st = 0;
        if (pid > 0 && waitpid(pid, &st, WNOHANG) == pid) {
            pid = -1;
            status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        }
        return pid <= 0;
    }

    pid_t pid = -1;
    int status = -1;
    std::string port;
    std::filesystem::path folder;

private:
    static inline int serial_ = 0;
};

#endif

} // namespace zelbor::test
