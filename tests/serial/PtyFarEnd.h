// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The far end of the serial component's tests on this machine: a pseudo-terminal whose master side
// the test plays. The Windows build's tests have the same far end through the Wine peer
// (../win32/WineFarEnd.h), so that one set of cases (CommTest.cpp) runs against both backends.
// Included through CommFixture.h.
#include "LineText.h"
#include "SerialTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <thread>

namespace zelbor::test {

class PtyFarEnd {
public:
    PtyFarEnd() = default;
    ~PtyFarEnd()
    {
        if (!link_.empty())
            std::remove(link_.c_str());
        if (!file_.empty())
            std::remove(file_.c_str());
    }
    PtyFarEnd(const PtyFarEnd&) = delete;
    PtyFarEnd& operator=(const PtyFarEnd&) = delete;

    bool Ready() const { return pty.master >= 0; }
    std::string Why() const { return "no pseudo-terminal"; }
    void Release() {}
    const std::string& Name() const { return pty.path; }

    // Another name of the same port: a link to it.
    std::string OtherName()
    {
        link_ = testing::TempDir() + "/busy-link";
        std::remove(link_.c_str());
        return symlink(pty.path.c_str(), link_.c_str()) == 0 ? link_ : std::string();
    }
    std::vector<BadPort> BadPorts()
    {
        file_ = testing::TempDir() + "/not-a-port";
        std::ofstream(file_) << "x";
        return {
            {"", "Error opening serial port", ""},
            {"/dev/no-such-port-here", "Error opening serial port", "vanished"},
            {file_, "File handle is not a comm handle ", ""},
            {"/dev/null", "File handle is not a comm handle ", ""}, // a character device, but no terminal
        };
    }

    // Sends the bytes (returns once the pseudo-terminal has taken them all).
    bool Write(const std::vector<std::uint8_t>& bytes) { return pty.Write(bytes); }
    bool WriteApart(const std::vector<std::uint8_t>& first, std::chrono::milliseconds pause,
                    const std::vector<std::uint8_t>& second)
    {
        if (!pty.Write(first))
            return false;
        std::this_thread::sleep_for(pause);
        return pty.Write(second);
    }
    // One byte every `byteTime`, each at the end of its time, as a UART hands them over.
    bool WritePaced(const std::vector<std::uint8_t>& bytes, std::chrono::microseconds byteTime)
    {
        auto next = std::chrono::steady_clock::now();
        for (std::uint8_t b : bytes) {
            next += byteTime;
            std::this_thread::sleep_until(next);
            if (!pty.Write({b}))
                return false;
        }
        return true;
    }
    // Sends the bytes, then goes away `after` later.
    bool HangUpAfter(const std::vector<std::uint8_t>& bytes, std::chrono::milliseconds after)
    {
        if (!pty.Write(bytes))
            return false;
        std::this_thread::sleep_for(after);
        pty.CloseMaster();
        return true;
    }
    // Takes nothing from the line until the next Read: this far end reads only when asked.
    bool Stall() { return true; }
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds quiet = 2000ms)
    {
        return pty.Read(count, quiet);
    }
    // The line settings as this end sees them (LineText.h).
    std::string Termios() const
    {
        termios t{};
        return tcgetattr(pty.slave, &t) == 0 ? TermiosText(t) : std::string();
    }
    int Slave() const { return pty.slave; }

private:
    Pty pty;
    std::string link_;
    std::string file_;
};

inline std::size_t CountThreads() { return CountEntries("/proc/self/task"); }
inline std::size_t CountHandles() { return CountEntries("/proc/self/fd"); }

} // namespace zelbor::test
