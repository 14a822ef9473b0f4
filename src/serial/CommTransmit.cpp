// SPDX-License-Identifier: GPL-3.0-or-later
// TComm on POSIX termios: the transmit thread, which writes the blocks SendData queued, one after
// the other, and reports when the queue has run empty.
#include "serial/CommSession.h"

#include <algorithm>
#include <chrono>

#include <poll.h>
#include <termios.h>

namespace zelbor {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

bool Session::WriteBlock(const std::uint8_t* data, std::size_t n)
{
    const std::uint64_t limit = std::uint64_t(writeTotalMultiplier.load()) * n + writeTotalConstant.load();
    const auto deadline = Clock::now() + std::chrono::milliseconds(limit);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = write(fd, data + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (errno != EBADF)
                Hangup();
            return false;
        }
        // The output queue is full (or flow control holds it): wait for room or the stop.
        int ms = -1;
        if (limit > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                Hangup(); // time-out: fewer bytes than asked were written
                return false;
            }
            ms = static_cast<int>(std::min<long long>(left + 1, 1 << 30));
        }
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, POLLOUT, 0}};
        const int r = poll(fds, 2, ms);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            Hangup();
            return false;
        }
        if (fds[0].revents != 0)
            return false; // closing
        if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            Hangup();
            return false;
        }
    }
    return true;
}

void Session::WriteLoop()
{
    RaisePriority(1);
    bool notifyEmpty = true;
    for (;;) {
        TxBlock block;
        bool have = false;
        {
            std::lock_guard<std::mutex> lock(txMutex);
            if (!txQueue.empty()) {
                block = std::move(txQueue.front());
                txQueue.pop_front();
                have = true;
            }
        }
        if (!have) {
            if (notifyEmpty) {
                if (!Post(MsgSendDataEmpty)) {
                    Hangup();
                    break;
                }
                notifyEmpty = false;
            }
            pollfd fds[2] = {{stopFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            const int r = poll(fds, 2, -1);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                Hangup();
                break;
            }
            if (fds[0].revents != 0)
                break;
            if (fds[1].revents != 0) {
                std::uint64_t v;
                (void)!read(wakeFd, &v, sizeof v);
            }
            continue;
        }
        if (stopping.load())
            break;
        if (!WriteBlock(block.data.get(), block.length))
            break;
        notifyEmpty = true;
    }
    writerAlive.store(false);
    tcflush(fd, TCOFLUSH);
}

} // namespace zelbor
