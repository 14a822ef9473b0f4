// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The far end of the serial component's tests under Wine: a port of the Windows side whose Linux
// end zelbor-wine-peer plays (WineTestSupport.h). The same interface as ../serial/PtyFarEnd.h, so
// that one set of cases (../serial/CommTest.cpp) runs against both backends. Included through
// ../serial/CommFixture.h.
#include "WineTestSupport.h"

#include <tlhelp32.h>

namespace zelbor::test {

class WineFarEnd {
public:
    WineFarEnd() { opened_ = peer.Connected() && peer.Open(port); }
    ~WineFarEnd() { Release(); }
    WineFarEnd(const WineFarEnd&) = delete;
    WineFarEnd& operator=(const WineFarEnd&) = delete;

    bool Ready() const { return opened_; }
    std::string Why() const
    {
        return peer.Connected() ? "the peer did not open " + port
                                : "no peer at ZELBOR_WINE_PEER; run through tests/win32/run-wine-tests.sh";
    }
    void Release()
    {
        if (opened_)
            peer.Close(port);
        opened_ = false;
    }
    const std::string& Name() const { return port; }

    // Another name of the same port: its spelling in the device namespace.
    std::string OtherName() const { return "\\\\.\\" + LinkOf(port); }
    std::vector<BadPort> BadPorts() const
    {
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, MAX_PATH);
        return {
            {"", "Error opening serial port", ""},
            {"COM97", "Error opening serial port", "vanished"}, // not known to the system at all
            // Configured, but the device behind it is gone (an unplugged adapter).
            {Env("ZELBOR_WINE_GONE_PORT", "COM5"), "Error opening serial port", "vanished"},
            {std::string(windows) + "\\win.ini", "File handle is not a comm handle ", ""}, // a disk file
            {"NUL", "Cannot setup comm buffer", ""}, // a character device without serial queues
        };
    }

    bool Write(const std::vector<std::uint8_t>& bytes) { return peer.Write(port, bytes); }
    bool WriteApart(const std::vector<std::uint8_t>& first, std::chrono::milliseconds pause,
                    const std::vector<std::uint8_t>& second)
    {
        return peer.Schedule(port, Hex(first) + " +" + std::to_string(pause.count()) + " " + Hex(second));
    }
    bool WritePaced(const std::vector<std::uint8_t>& bytes, std::chrono::microseconds byteTime)
    {
        return peer.Schedule(port, "@" + std::to_string(byteTime.count()) + " " + Hex(bytes));
    }
    bool HangUpAfter(const std::vector<std::uint8_t>& bytes, std::chrono::milliseconds after)
    {
        return peer.Schedule(port, Hex(bytes) + " +" + std::to_string(after.count()) + " hangup");
    }
    bool Stall() { return peer.Stall(port); }
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds quiet = 2000ms)
    {
        return peer.Read(port, count, quiet);
    }
    std::string Termios() { return peer.Termios(port); }

    const std::string port = Env("ZELBOR_WINE_PORT", "COM1");
    Peer peer;

private:
    bool opened_ = false;
};

inline std::size_t CountThreads()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return 0;
    std::size_t n = 0;
    THREADENTRY32 e{};
    e.dwSize = sizeof e;
    for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e))
        if (e.th32OwnerProcessID == GetCurrentProcessId())
            ++n;
    CloseHandle(snap);
    return n;
}

inline std::size_t CountHandles()
{
    DWORD n = 0;
    GetProcessHandleCount(GetCurrentProcess(), &n);
    return n;
}

} // namespace zelbor::test
