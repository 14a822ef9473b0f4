// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the parts of TComm on POSIX termios share: the state of one open period (Session), which
// the worker threads hold, and the component's private side (TComm::Impl). Comm.cpp opens,
// closes and queues; CommLine.cpp applies the line settings; CommReceive.cpp and CommTransmit.cpp
// are the worker threads.
//
// Threads of an open port:
//  - the receive thread polls the device and the stop eventfd. It cuts the byte stream into
//    chunks by the inter-byte interval, which it times itself on the monotonic clock (the
//    device runs with VMIN=0/VTIME=0 and O_NONBLOCK): a chunk ends when the line has been
//    quiet for longer than ReadIntervalTimeout ms or when it holds 1024 bytes. While no
//    chunk is pending it polls without time-out, so an idle port costs no CPU.
//  - the transmit thread waits on the stop eventfd and a wake-up eventfd that SendData
//    signals after queueing a block.
//  - a modem-line thread, only for devices that keep interrupt counters (real UARTs and
//    USB adapters; not pseudo-terminals), waits in TIOCMIWAIT for carrier-detect and ring
//    changes. That ioctl cannot include an eventfd, so ClosePort interrupts it with a
//    signal whose handler does nothing and which is installed without SA_RESTART.
// Line errors are taken from the kernel's interrupt counters (TIOCGICOUNT: framing, parity,
// overrun, buffer overrun, break) whenever the receive thread wakes for input: an error
// always arrives together with a received byte, so no extra wait or polling is needed.
#include "serial/Comm.h"
#include "serial/CommProperties.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include <linux/serial.h>
#include <sys/resource.h>
#include <unistd.h>

namespace zelbor {

struct TxBlock {
    std::unique_ptr<std::uint8_t[]> data; // length + 1 bytes, zero-filled
    std::uint16_t length = 0;
};

// Worker threads ask for a higher priority; an unprivileged process may not raise it, which
// is harmless, so failure is ignored.
inline void RaisePriority(int niceDelta)
{
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    if (errno == 0)
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), current - niceDelta);
}

// Everything the worker threads of one open period share with the owner.
struct Session {
    NotifyWindow& notify;
    int fd = -1;
    int stopFd = -1; // signalled once by ClosePort and left signalled (manual reset)
    int wakeFd = -1; // signalled by SendData
    std::atomic<bool> stopping{false};

    std::atomic<std::uint32_t> readInterval{0};
    std::atomic<std::uint32_t> readTotalMultiplier{0};
    std::atomic<std::uint32_t> readTotalConstant{0};
    std::atomic<std::uint32_t> writeTotalMultiplier{0};
    std::atomic<std::uint32_t> writeTotalConstant{0};
    std::atomic<bool> ignoreNull{false};

    std::mutex txMutex;
    std::deque<TxBlock> txQueue;
    std::atomic<bool> writerAlive{false};

    bool haveCounters = false;
    serial_icounter_struct counters{};

    std::thread reader;
    std::thread writer;
    std::thread modem;
    std::atomic<bool> modemDone{true};

    explicit Session(NotifyWindow& n) : notify(n) {}

    bool Post(int code, std::uint32_t w = 0, std::uint32_t l = 0, std::unique_ptr<std::uint8_t[]> block = nullptr)
    {
        CommNotification n;
        n.code = code;
        n.wParam = w;
        n.lParam = l;
        n.block = std::move(block);
        return notify.PostNotification(std::move(n));
    }
    void Hangup() { Post(MsgRequestHangup); }

    // The receive side (CommReceive.cpp).
    bool Deliver(const std::uint8_t* bytes, std::size_t n);
    bool CheckLineErrors();
    void ReadLoop();
    void ModemLoop();
    // The transmit side (CommTransmit.cpp).
    void WriteLoop();
    bool WriteBlock(const std::uint8_t* data, std::size_t n);
};

struct TComm::Impl : CommProperties {
    explicit Impl(NotifyWindow& n) : notify(n) {}

    NotifyWindow& notify;
    std::unique_ptr<Session> session;

    // Parity in effect on the line: taken at OpenPort only.
    TParity openParity = TParity::None;

    void ApplyLineSettings(); // CommLine.cpp
    void ApplyTimeouts();     // CommLine.cpp
    void Close();
};

} // namespace zelbor
