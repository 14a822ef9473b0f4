// SPDX-License-Identifier: GPL-3.0-or-later
// The Linux end of the line for the Windows tests under Wine.
//
//   zelbor-wine-peer --ports DIR [--virtual-controller PATH] [--log FILE] -- COMMAND [ARGS...]
//
// Runs COMMAND (wine with a test executable) and, while it runs, plays the far end of its serial
// ports. Wine maps COMn to DIR/comn through the registry; on request this program puts a fresh
// pseudo-terminal (or the virtual controller's) behind such a link. The Windows side steers it
// over a TCP connection to 127.0.0.1, whose address it finds in ZELBOR_WINE_PEER, with one text
// line per request and one line in reply ("OK ..." or "ERR reason"):
//
//   OPEN link                  a fresh pseudo-terminal behind DIR/link
//   WRITE link STEP...         queue output and reply at once. A STEP is hex bytes ("5218"),
//                              a pause "+MS", a pace "@US" (microseconds before each following
//                              byte) or "hangup" (close the pseudo-terminal: the far end goes away)
//   WAIT link                  reply once the queued output is written
//   READ link COUNT QUIETMS    reply with the bytes (hex) received until COUNT arrived or the line
//                              stayed quiet for QUIETMS. Bytes are collected from OPEN on, so a
//                              READ may come after they arrived.
//   STALL link                 stop taking bytes from the line (the Windows side's output backs
//                              up); the next READ takes them again
//   TERMIOS link               the line settings the Windows side applied
//   HANGUP link                close the pseudo-terminal now
//   VC link ARGS...            start the virtual controller with its port at DIR/link; in an
//                              argument "%20" stands for a space and "%25" for "%"
//   VCSTOP link                end it; replies with its exit status
//   VCKILL link                kill it at once (its pseudo-terminal goes with it)
//   VCLOG link                 what it has logged since it was started (hex of the text)
//   CLOSE link                 close and unlink
//
// Exits with COMMAND's exit status.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "PeerHex.h"
#include "../serial/LineText.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace zelbor {

namespace {

using Clock = std::chrono::steady_clock;
using zelbor::test::Hex;
using zelbor::test::ParseHex;

struct Step {
    enum Kind { Byte, Bytes, Pause, Hangup } kind = Bytes;
    std::vector<std::uint8_t> bytes;
    std::chrono::microseconds delay{0}; // before this step
};

struct Reader {
    int client = -1;
    std::size_t count = 0;
    std::chrono::milliseconds quiet{0};
    Clock::time_point deadline; // moved on by every arrival
};

struct Line {
    std::string path; // the link
    std::string device;
    int master = -1;
    int slave = -1;
    std::deque<Step> schedule;
    Clock::time_point due;
    std::size_t written = 0; // of the front step
    std::vector<int> waiters;
    std::vector<Reader> readers;
    std::vector<std::uint8_t> inbox; // received, not yet read
    bool stalled = false;
    pid_t controller = -1;
    std::string controllerLog; // its standard error, appended to --log when it ends
};

struct Options {
    std::string ports;
    std::string controller;
    std::string log = "/dev/null";
    std::vector<std::string> command;
};

std::map<std::string, Line> lines;
Options options;

void Reply(int client, const std::string& text)
{
    const std::string line = text + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t w = send(client, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (w <= 0)
            return;
        done += static_cast<std::size_t>(w);
    }
}

void ClosePty(Line& l)
{
    if (l.master >= 0)
        close(l.master);
    if (l.slave >= 0)
        close(l.slave);
    l.master = l.slave = -1;
    l.schedule.clear();
    l.written = 0;
    for (int c : l.waiters)
        Reply(c, "OK");
    l.waiters.clear();
    for (auto& r : l.readers) {
        const std::size_t n = std::min(r.count, l.inbox.size());
        Reply(r.client,
              "OK " + Hex(std::vector<std::uint8_t>(l.inbox.begin(), l.inbox.begin() + static_cast<long>(n))));
        l.inbox.erase(l.inbox.begin(), l.inbox.begin() + static_cast<long>(n));
    }
    l.readers.clear();
    l.inbox.clear();
    l.stalled = false;
}

std::string ReadFile(const std::string& path)
{
    std::string text;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buf[65536];
    for (ssize_t r; (r = read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(r));
    close(fd);
    return text;
}

void StopController(Line& l, int& status, int signal = SIGTERM)
{
    status = -1;
    if (l.controller <= 0)
        return;
    kill(l.controller, signal);
    int st = 0;
    waitpid(l.controller, &st, 0);
    l.controller = -1;
    status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    const std::string text = ReadFile(l.controllerLog);
    const int fd = open(options.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        (void)!write(fd, text.data(), text.size());
        close(fd);
    }
}

std::string LinkPath(const std::string& link) { return options.ports + "/" + link; }

bool ValidLink(const std::string& link)
{
    return !link.empty() && link.find('/') == std::string::npos && link != "." && link != "..";
}

std::string Open(Line& l, const std::string& link)
{
    ClosePty(l);
    l.path = LinkPath(link);
    char name[256] = {};
    if (openpty(&l.master, &l.slave, name, nullptr, nullptr) != 0)
        return std::string("ERR openpty: ") + std::strerror(errno);
    termios t{};
    tcgetattr(l.slave, &t);
    cfmakeraw(&t);
    tcsetattr(l.slave, TCSANOW, &t);
    fcntl(l.master, F_SETFD, FD_CLOEXEC);
    fcntl(l.slave, F_SETFD, FD_CLOEXEC);
    fcntl(l.master, F_SETFL, fcntl(l.master, F_GETFL) | O_NONBLOCK);
    l.device = name;
    unlink(l.path.c_str());
    if (symlink(l.device.c_str(), l.path.c_str()) != 0)
        return "ERR symlink " + l.path + ": " + std::strerror(errno);
    return "OK " + l.device;
}

std::string Termios(const Line& l)
{
    termios t{};
    if (l.slave < 0 || tcgetattr(l.slave, &t) != 0)
        return "ERR no line";
    return "OK " + test::TermiosText(t);
}

std::string StartController(Line& l, const std::string& link, const std::vector<std::string>& args)
{
    if (options.controller.empty())
        return "ERR no --virtual-controller given";
    int status = 0;
    StopController(l, status);
    ClosePty(l);
    l.path = LinkPath(link);
    // A controller that was killed could not remove its link; the pseudo-terminal behind it may
    // still be held open by the Windows side.
    unlink(l.path.c_str());
    std::vector<std::string> argv = {options.controller, "--folder", options.ports, "--name", link};
    for (const auto& a : args) {
        std::string plain;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a.compare(i, 3, "%20") == 0) {
                plain += ' ';
                i += 2;
            } else if (a.compare(i, 3, "%25") == 0) {
                plain += '%';
                i += 2;
            } else {
                plain += a[i];
            }
        }
        argv.push_back(plain);
    }
    int out[2];
    if (pipe(out) != 0)
        return "ERR pipe";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    l.controllerLog = LinkPath(link) + ".log";
    posix_spawn_file_actions_addopen(&fa, 2, l.controllerLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> cargv;
    for (auto& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    pid_t pid = -1;
    const int r = posix_spawn(&pid, cargv[0], &fa, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    if (r != 0) {
        close(out[0]);
        return std::string("ERR spawn: ") + std::strerror(r);
    }
    l.controller = pid;
    std::string line;
    char c = 0;
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0 || read(out[0], &c, 1) != 1 || c == '\n')
            break;
        line += c;
    }
    close(out[0]);
    if (line.rfind("PORT ", 0) != 0)
        return "ERR the virtual controller announced no port";
    return "OK " + line.substr(5);
}

void Command(int client, const std::string& text)
{
    std::istringstream in(text);
    std::string verb, link;
    in >> verb >> link;
    std::vector<std::string> rest;
    for (std::string w; in >> w;)
        rest.push_back(w);
    if (!ValidLink(link)) {
        Reply(client, "ERR bad link name '" + link + "'");
        return;
    }
    Line& l = lines[link];
    if (verb == "OPEN") {
        Reply(client, Open(l, link));
    } else if (verb == "WRITE") {
        if (l.master < 0) {
            Reply(client, "ERR " + link + " is not open");
            return;
        }
        std::chrono::microseconds pace{0}, pause{0};
        std::deque<Step> steps;
        for (const auto& w : rest) {
            if (w[0] == '+') {
                pause += std::chrono::milliseconds(std::atoi(w.c_str() + 1));
            } else if (w[0] == '@') {
                pace = std::chrono::microseconds(std::atoi(w.c_str() + 1));
            } else if (w == "hangup") {
                steps.push_back({Step::Hangup, {}, pause});
                pause = {};
            } else {
                std::vector<std::uint8_t> bytes;
                if (!ParseHex(w, bytes)) {
                    Reply(client, "ERR bad hex '" + w + "'");
                    return;
                }
                if (pace.count() == 0) {
                    steps.push_back({Step::Bytes, bytes, pause});
                } else {
                    for (std::size_t i = 0; i < bytes.size(); ++i)
                        steps.push_back({Step::Byte, {bytes[i]}, i == 0 ? pause + pace : pace});
                }
                pause = {};
            }
        }
        if (l.schedule.empty())
            l.due = Clock::now() + (steps.empty() ? std::chrono::microseconds(0) : steps.front().delay);
        for (auto& s : steps)
            l.schedule.push_back(std::move(s));
        Reply(client, "OK");
    } else if (verb == "WAIT") {
        if (l.schedule.empty())
            Reply(client, "OK");
        else
            l.waiters.push_back(client);
    } else if (verb == "READ") {
        if (l.master < 0 || rest.size() != 2) {
            Reply(client, "ERR READ needs an open line, a count and a quiet time");
            return;
        }
        Reader r;
        r.client = client;
        r.count = static_cast<std::size_t>(std::atol(rest[0].c_str()));
        r.quiet = std::chrono::milliseconds(std::atol(rest[1].c_str()));
        r.deadline = Clock::now() + r.quiet;
        l.readers.push_back(std::move(r));
        l.stalled = false;
    } else if (verb == "STALL") {
        l.stalled = true;
        Reply(client, "OK");
    } else if (verb == "TERMIOS") {
        Reply(client, Termios(l));
    } else if (verb == "HANGUP") {
        ClosePty(l);
        Reply(client, "OK");
    } else if (verb == "VC") {
        Reply(client, StartController(l, link, rest));
    } else if (verb == "VCSTOP") {
        int status = -1;
        StopController(l, status);
        Reply(client, "OK " + std::to_string(status));
    } else if (verb == "VCKILL") {
        int status = -1;
        StopController(l, status, SIGKILL);
        unlink(LinkPath(link).c_str()); // the device disappears with it, as its own exit would do
        Reply(client, "OK");
    } else if (verb == "VCLOG") {
        const std::string text = ReadFile(l.controllerLog);
        Reply(client, "OK " + Hex(std::vector<std::uint8_t>(text.begin(), text.end())));
    } else if (verb == "CLOSE") {
        int status = -1;
        StopController(l, status);
        ClosePty(l);
        if (!l.path.empty())
            unlink(l.path.c_str());
        Reply(client, "OK");
    } else {
        Reply(client, "ERR unknown request '" + verb + "'");
    }
}

// Writes what is due; returns false while the front step waits for room in the pty.
void RunSchedule(Line& l, Clock::time_point now)
{
    while (!l.schedule.empty() && now >= l.due) {
        Step& s = l.schedule.front();
        if (s.kind == Step::Hangup) {
            auto waiters = std::move(l.waiters);
            ClosePty(l);
            for (int c : waiters)
                Reply(c, "OK");
            return;
        }
        while (l.written < s.bytes.size()) {
            const ssize_t w = write(l.master, s.bytes.data() + l.written, s.bytes.size() - l.written);
            if (w <= 0)
                return; // full: POLLOUT brings us back
            l.written += static_cast<std::size_t>(w);
        }
        l.schedule.pop_front();
        l.written = 0;
        if (!l.schedule.empty())
            l.due = now + l.schedule.front().delay;
    }
    if (l.schedule.empty()) {
        for (int c : l.waiters)
            Reply(c, "OK");
        l.waiters.clear();
    }
}

void TakeInput(Line& l, Clock::time_point now)
{
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t r = read(l.master, buf, sizeof buf);
        if (r <= 0)
            break;
        l.inbox.insert(l.inbox.end(), buf, buf + r);
        for (auto& rd : l.readers)
            rd.deadline = now + rd.quiet;
    }
}

void FinishReaders(Line& l, Clock::time_point now)
{
    while (!l.readers.empty()) {
        Reader& rd = l.readers.front();
        if (l.inbox.size() < rd.count && now < rd.deadline)
            break;
        const std::size_t n = std::min(rd.count, l.inbox.size());
        Reply(rd.client,
              "OK " + Hex(std::vector<std::uint8_t>(l.inbox.begin(), l.inbox.begin() + static_cast<long>(n))));
        l.inbox.erase(l.inbox.begin(), l.inbox.begin() + static_cast<long>(n));
        l.readers.erase(l.readers.begin());
    }
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: zelbor-wine-peer --ports DIR [--virtual-controller PATH] [--log FILE] -- COMMAND [ARGS...]\n");
    return 2;
}

} // namespace

} // namespace zelbor

int main(int argc, char** argv)
{
    using namespace zelbor;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (i + 1 >= argc)
            return Usage();
        if (a == "--ports")
            options.ports = argv[++i];
        else if (a == "--virtual-controller")
            options.controller = argv[++i];
        else if (a == "--log")
            options.log = argv[++i];
        else
            return Usage();
    }
    for (; i < argc; ++i)
        options.command.push_back(argv[i]);
    if (options.ports.empty() || options.command.empty())
        return Usage();
    signal(SIGPIPE, SIG_IGN);

    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener, 8) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::perror("zelbor-wine-peer: socket");
        return 2;
    }
    const std::string where = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    setenv("ZELBOR_WINE_PEER", where.c_str(), 1);

    std::vector<char*> cargv;
    for (auto& a : options.command)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    pid_t child = -1;
    if (const int r = posix_spawnp(&child, cargv[0], nullptr, nullptr, cargv.data(), environ); r != 0) {
        std::fprintf(stderr, "zelbor-wine-peer: cannot start %s: %s\n", cargv[0], std::strerror(r));
        return 2;
    }

    std::map<int, std::string> clients; // fd -> partial input
    int status = 0;
    for (;;) {
        int st = 0;
        if (waitpid(child, &st, WNOHANG) == child) {
            status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + (WIFSIGNALED(st) ? WTERMSIG(st) : 0);
            break;
        }
        const auto now = Clock::now();
        int timeout = 100;
        std::vector<pollfd> fds = {{listener, POLLIN, 0}};
        std::vector<Line*> owners = {nullptr};
        for (auto& [fd, _] : clients) {
            fds.push_back({fd, POLLIN, 0});
            owners.push_back(nullptr);
        }
        const std::size_t firstLine = fds.size();
        for (auto& [name, l] : lines) {
            if (l.master < 0)
                continue;
            short events = l.stalled ? 0 : POLLIN;
            if (!l.schedule.empty()) {
                if (now >= l.due)
                    events |= POLLOUT;
                else
                    timeout = std::min<int>(
                        timeout,
                        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(l.due - now).count()) +
                            1);
            }
            for (const auto& r : l.readers)
                timeout = std::min<int>(
                    timeout,
                    std::max<int>(0,
                                  static_cast<int>(
                                      std::chrono::duration_cast<std::chrono::milliseconds>(r.deadline - now).count()) +
                                      1));
            fds.push_back({l.master, events, 0});
            owners.push_back(&l);
        }
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            break;
        const auto after = Clock::now();
        if (fds[0].revents & POLLIN) {
            const int c = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0)
                clients[c];
        }
        for (std::size_t k = 1; k < firstLine; ++k) {
            if (!fds[k].revents)
                continue;
            const int fd = fds[k].fd;
            char buf[65536];
            const ssize_t r = recv(fd, buf, sizeof buf, 0);
            if (r <= 0) {
                close(fd);
                clients.erase(fd);
                for (auto& [name, l] : lines) {
                    l.waiters.erase(std::remove(l.waiters.begin(), l.waiters.end(), fd), l.waiters.end());
                    l.readers.erase(std::remove_if(l.readers.begin(), l.readers.end(),
                                                   [fd](const Reader& x) { return x.client == fd; }),
                                    l.readers.end());
                }
                continue;
            }
            std::string& pending = clients[fd];
            pending.append(buf, static_cast<std::size_t>(r));
            for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                Command(fd, line);
            }
        }
        for (std::size_t k = firstLine; k < fds.size(); ++k) {
            Line& l = *owners[k];
            if (l.master < 0)
                continue;
            if (fds[k].revents & POLLIN)
                TakeInput(l, after);
        }
        for (auto& [name, l] : lines) {
            if (l.master < 0)
                continue;
            RunSchedule(l, after);
            FinishReaders(l, after);
        }
    }

    for (auto& [name, l] : lines) {
        int st = 0;
        StopController(l, st);
        ClosePty(l);
        if (!l.path.empty())
            unlink(l.path.c_str());
    }
    for (auto& [fd, _] : clients)
        close(fd);
    close(listener);
    return status;
}
