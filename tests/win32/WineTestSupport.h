// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Windows side of the tests under Wine: a client of zelbor-wine-peer, which plays the far end
// of the serial ports on Linux, and a recording owner.
//
// Environment (set by tests/win32/run-wine-tests.sh):
//   ZELBOR_WINE_PEER       host:port of the peer
//   ZELBOR_WINE_PORT       a port that the peer drives (COM1)
//   ZELBOR_WINE_WIDE_PORT  a driven port with a two-digit number (COM12)
//   ZELBOR_WINE_VC_PORT    the port of the virtual controller (COM2)
//   ZELBOR_WINE_GONE_PORT  a port that is configured but has no device behind it (COM5)
// The peer knows a port by its link name: the port name in lower case.
#include "serial/Comm.h"
#include "serial/NotifyQueue.h"
#include "../serial/EventRecorder.h"
#include "../serial/LineText.h"
#include "PeerHex.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace zelbor::test {

using namespace std::chrono_literals;

inline std::string Env(const char* name, const char* fallback = "")
{
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

inline std::string LinkOf(std::string port)
{
    for (char& c : port)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return port;
}

inline std::vector<std::uint8_t> Unhex(const std::string& text)
{
    std::vector<std::uint8_t> out;
    ParseHex(text, out); // what the peer sent is well formed; a bad reply shows as missing bytes
    return out;
}

// One connection to the peer; requests and replies are single lines.
class Peer {
public:
    Peer()
    {
        WSADATA wsa;
        if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
            return;
        started_ = true;
        const std::string where = Env("ZELBOR_WINE_PEER");
        const auto colon = where.rfind(':');
        if (colon == std::string::npos)
            return;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<u_short>(std::atoi(where.c_str() + colon + 1)));
        inet_pton(AF_INET, where.substr(0, colon).c_str(), &addr.sin_addr);
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET)
            return;
        DWORD timeout = 30000;
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            closesocket(s);
            return;
        }
        socket_ = s;
    }
    ~Peer()
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        if (started_)
            WSACleanup();
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool Connected() const { return socket_ != INVALID_SOCKET; }

    // Sends one request; returns the reply line ("OK ..." / "ERR ...", or "" when the peer is gone).
    std::string Request(const std::string& line)
    {
        if (socket_ == INVALID_SOCKET)
            return "";
        const std::string out = line + "\n";
        if (send(socket_, out.data(), static_cast<int>(out.size()), 0) != static_cast<int>(out.size()))
            return "";
        for (;;) {
            const auto nl = input_.find('\n');
            if (nl != std::string::npos) {
                std::string reply = input_.substr(0, nl);
                input_.erase(0, nl + 1);
                return reply;
            }
            char buf[65536];
            const int r = recv(socket_, buf, sizeof buf, 0);
            if (r <= 0)
                return "";
            input_.append(buf, static_cast<std::size_t>(r));
        }
    }
    bool Ok(const std::string& line) { return Request(line).rfind("OK", 0) == 0; }

    // The text after "OK " (empty on failure).
    std::string Value(const std::string& line)
    {
        const std::string r = Request(line);
        return r.rfind("OK ", 0) == 0 ? r.substr(3) : std::string();
    }

    bool Open(const std::string& port) { return Ok("OPEN " + LinkOf(port)); }
    bool Write(const std::string& port, const std::vector<std::uint8_t>& bytes)
    {
        return Ok("WRITE " + LinkOf(port) + " " + Hex(bytes)) && Ok("WAIT " + LinkOf(port));
    }
    // Queues steps (hex, +ms, @us, hangup) without waiting for them.
    bool Schedule(const std::string& port, const std::string& steps)
    {
        return Ok("WRITE " + LinkOf(port) + " " + steps);
    }
    bool Drained(const std::string& port) { return Ok("WAIT " + LinkOf(port)); }
    std::vector<std::uint8_t> Read(const std::string& port, std::size_t count, std::chrono::milliseconds quiet = 2000ms)
    {
        return Unhex(Value("READ " + LinkOf(port) + " " + std::to_string(count) + " " + std::to_string(quiet.count())));
    }
    bool Stall(const std::string& port) { return Ok("STALL " + LinkOf(port)); }
    bool Hangup(const std::string& port) { return Ok("HANGUP " + LinkOf(port)); }
    // "baud=1200 ixon=0 ..." as the far end sees the line.
    std::string Termios(const std::string& port) { return Value("TERMIOS " + LinkOf(port)); }
    bool Close(const std::string& port) { return Ok("CLOSE " + LinkOf(port)); }

private:
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    std::string input_;
};

} // namespace zelbor::test
