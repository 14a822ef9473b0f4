// SPDX-License-Identifier: GPL-3.0-or-later
// TComm on POSIX termios: the receive thread, which cuts the byte stream into chunks and reports
// line errors, and the modem-line thread (CommSession.h describes both).
#include "serial/CommSession.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace zelbor {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadBufferSize = 1024;

// Line-error flags as the owner's code knows them (receive queue overflow, hardware overrun,
// parity error, framing error, break).
constexpr std::uint32_t kErrRxOver = 0x0001;
constexpr std::uint32_t kErrOverrun = 0x0002;
constexpr std::uint32_t kErrParity = 0x0004;
constexpr std::uint32_t kErrFrame = 0x0008;
constexpr std::uint32_t kErrBreak = 0x0010;

constexpr std::uint32_t kModemCarrier = 8;
constexpr std::uint32_t kModemRing = 4;

} // namespace

bool Session::Deliver(const std::uint8_t* bytes, std::size_t n)
{
    if (n == 0)
        return true; // nothing to hand over (every byte was a discarded null)
    std::unique_ptr<std::uint8_t[]> block;
    try {
        block.reset(new std::uint8_t[n + 1]());
    } catch (const std::bad_alloc&) {
        Hangup();
        return false;
    }
    std::memcpy(block.get(), bytes, n);
    if (!Post(MsgReceiveData, static_cast<std::uint32_t>(n), 0, std::move(block))) {
        Hangup();
        return false;
    }
    return true;
}

// Compares the kernel's error counters with the last ones seen and reports new errors.
bool Session::CheckLineErrors()
{
    if (!haveCounters)
        return true;
    serial_icounter_struct now{};
    if (ioctl(fd, TIOCGICOUNT, &now) != 0)
        return true;
    std::uint32_t flags = 0;
    if (now.buf_overrun != counters.buf_overrun)
        flags |= kErrRxOver;
    if (now.overrun != counters.overrun)
        flags |= kErrOverrun;
    if (now.parity != counters.parity)
        flags |= kErrParity;
    if (now.frame != counters.frame)
        flags |= kErrFrame;
    if (now.brk != counters.brk)
        flags |= kErrBreak;
    counters.buf_overrun = now.buf_overrun;
    counters.overrun = now.overrun;
    counters.parity = now.parity;
    counters.frame = now.frame;
    counters.brk = now.brk;
    if (flags != 0 && !Post(MsgReceiveError, 0, flags)) {
        Hangup();
        return false;
    }
    return true;
}

void Session::ReadLoop()
{
    RaisePriority(2);
    std::uint8_t buffer[kReadBufferSize];
    std::size_t count = 0;
    Clock::time_point first{}, last{};

    for (;;) {
        timespec ts{};
        timespec* timeout = nullptr;
        if (count > 0) {
            // A pending chunk ends after a quiet line longer than the interval, or when the
            // total limit (counted from its first byte) has passed.
            Clock::time_point deadline =
                last + std::chrono::milliseconds(readInterval.load()) + std::chrono::microseconds(1);
            const std::uint64_t total =
                std::uint64_t(readTotalMultiplier.load()) * kReadBufferSize + readTotalConstant.load();
            if (total > 0)
                deadline = std::min(deadline, first + std::chrono::milliseconds(total));
            const auto now = Clock::now();
            if (now >= deadline) {
                if (!Deliver(buffer, count))
                    break;
                count = 0;
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
            ts.tv_sec = static_cast<time_t>(left / 1000000000);
            ts.tv_nsec = static_cast<long>(left % 1000000000);
            timeout = &ts;
        }

        pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, POLLIN, 0}};
        const int r = ppoll(fds, 2, timeout, nullptr);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            Hangup();
            break;
        }
        if (fds[0].revents != 0 || stopping.load())
            break; // closing: pending bytes are purged with the input queue
        if (r == 0)
            continue; // the chunk's deadline: handled at the top

        bool gone = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            // Take what the driver holds now, chunk by chunk.
            for (;;) {
                const ssize_t got = read(fd, buffer + count, kReadBufferSize - count);
                if (got > 0) {
                    std::size_t kept = static_cast<std::size_t>(got);
                    if (ignoreNull.load()) {
                        auto* begin = buffer + count;
                        kept = static_cast<std::size_t>(std::remove(begin, begin + got, 0) - begin);
                    }
                    const auto now = Clock::now();
                    if (count == 0)
                        first = now;
                    if (kept > 0 || count > 0)
                        last = now;
                    count += kept;
                    if (count == kReadBufferSize || readInterval.load() == 0) {
                        if (!Deliver(buffer, count))
                            goto failed;
                        count = 0;
                    }
                    continue;
                }
                if (got == 0)
                    break; // with VMIN=0/VTIME=0 an empty read means "nothing more now"; a hang-up shows as POLLHUP
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    gone = true; // EIO: the device went away
                break;
            }
        }
        if (!CheckLineErrors())
            break;
        if (gone) {
            // Hand over what arrived before the far end went away, then stop this thread.
            if (count > 0 && !Deliver(buffer, count))
                break;
            count = 0;
            if (!stopping.load())
                Hangup();
            break;
        }
    }
failed:
    tcflush(fd, TCIFLUSH);
}

void Session::ModemLoop()
{
    serial_icounter_struct before = counters;
    while (!stopping.load()) {
        if (ioctl(fd, TIOCMIWAIT, TIOCM_CD | TIOCM_RNG) != 0) {
            if (errno == EINTR)
                continue;
            break; // the device offers no such wait, or went away (the receive thread reports that)
        }
        serial_icounter_struct now{};
        if (ioctl(fd, TIOCGICOUNT, &now) != 0)
            break;
        std::uint32_t code = 0;
        if (now.dcd != before.dcd)
            code |= kModemCarrier;
        if (now.rng != before.rng)
            code |= kModemRing;
        before = now;
        if (code != 0 && !Post(MsgModemStateChange, 0, code)) {
            Hangup();
            break;
        }
    }
    modemDone.store(true);
}

} // namespace zelbor
