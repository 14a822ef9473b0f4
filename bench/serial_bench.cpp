// SPDX-License-Identifier: GPL-3.0-or-later
// Figures of the serial component on a pseudo-terminal: close-and-reopen latency, the delay
// from the last byte of a burst to its delivery, and the CPU cost of an idle open port.
#include "serial/Comm.h"
#include "serial/CommPortSettings.h"
#include "serial/NotifyQueue.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using namespace zelbor;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

} // namespace

int main()
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    NotifyQueue queue;
    TComm comm(queue);
    ApplyCommPortSettings(comm);
    comm.SetCommName(name);
    comm.OpenPort();

    // 1. ClosePort + OpenPort, as after every reply.
    std::vector<double> reopen;
    for (int i = 0; i < 200; ++i) {
        const auto t0 = Clock::now();
        comm.ClosePort();
        comm.OpenPort();
        reopen.push_back(Ms(Clock::now() - t0));
    }
    std::printf("ClosePort+OpenPort over 200 cycles: median %.3f ms, 99th percentile %.3f ms\n",
                Percentile(reopen, 0.5), Percentile(reopen, 0.99));

    // 2. Last byte of a burst to OnReceiveData (interval 100 ms).
    Clock::time_point delivered{};
    comm.OnReceiveData = [&](TComm&, const std::uint8_t*, std::uint16_t) { delivered = Clock::now(); };
    queue.PumpFor(comm, std::chrono::milliseconds(50));
    std::vector<double> delay;
    const std::uint8_t burst[27] = {0x52, 0x18};
    for (int i = 0; i < 30; ++i) {
        delivered = {};
        if (write(master, burst, sizeof burst) != static_cast<ssize_t>(sizeof burst))
            return 1;
        const auto sent = Clock::now();
        queue.PumpUntil(
            comm, [&] { return delivered != Clock::time_point{}; }, std::chrono::milliseconds(2000));
        delay.push_back(Ms(delivered - sent));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::printf(
        "last byte to OnReceiveData (interval %u ms) over 30 bursts: median %.3f ms, min %.3f ms, max %.3f ms\n",
        comm.ReadIntervalTimeout(), Percentile(delay, 0.5), Percentile(delay, 0.0), Percentile(delay, 1.0));

    // 3. CPU time of an open, idle port.
    const double before = CpuMs();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double used = CpuMs() - before;
    std::printf("CPU time of an open idle port over 5 s: %.3f ms (user+system, whole process)\n", used);

    comm.ClosePort();
    close(master);
    close(slave);
    return 0;
}
