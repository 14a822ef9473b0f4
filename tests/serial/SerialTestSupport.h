// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pseudo-terminal pairs and a recording owner for the serial tests.
#include "serial/Comm.h"
#include "serial/NotifyQueue.h"
#include "EventRecorder.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace zelbor::test {

using namespace std::chrono_literals;

// The test holds the master side (the far end of the cable) and one slave descriptor, so
// the pair lives on while the component opens and closes the slave path.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;

    Pty()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = name;
            termios t{};
            tcgetattr(slave, &t);
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
            fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Pty()
    {
        CloseMaster();
        if (slave >= 0)
            close(slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    void CloseMaster()
    {
        if (master >= 0)
            close(master);
        master = -1;
    }

    // Writes everything, waiting for room as needed.
    bool Write(const std::vector<std::uint8_t>& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t w = write(master, bytes.data() + done, bytes.size() - done);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
                continue;
            }
            pollfd p{master, POLLOUT, 0};
            if (poll(&p, 1, 5000) <= 0)
                return false;
        }
        return true;
    }

    // Reads until `count` bytes arrived or the line stayed silent for `quiet`.
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds quiet = 2000ms)
    {
        std::vector<std::uint8_t> out;
        std::uint8_t buf[4096];
        while (out.size() < count) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0)
                break;
            const ssize_t r = read(master, buf, sizeof buf);
            if (r <= 0)
                break;
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
};

inline std::size_t CountEntries(const char* dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

} // namespace zelbor::test
