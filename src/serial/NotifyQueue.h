// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A thread-safe FIFO of notifications for owners without a window system (tests, tools,
// benchmarks): worker threads post into it, the owner's thread pumps it into a TComm.
#include "serial/Comm.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace zelbor {

class NotifyQueue : public NotifyWindow {
public:
    bool PostNotification(CommNotification notification) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (refuse_)
                return false;
            queue_.push_back(std::move(notification));
        }
        cond_.notify_all();
        return true;
    }

    // Hands notifications to `comm` one at a time, in posting order, until `done` holds or
    // `timeout` has passed. Returns whether `done` holds at the end.
    bool PumpUntil(TComm& comm, const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(10000))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            CommNotification n;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                if (!cond_.wait_until(lock, deadline, [this] { return !queue_.empty(); }))
                    return done();
                n = std::move(queue_.front());
                queue_.pop_front();
            }
            comm.HandleNotification(std::move(n));
        }
        return true;
    }

    // Hands over everything that arrives during `span`.
    void PumpFor(TComm& comm, std::chrono::milliseconds span)
    {
        PumpUntil(
            comm, [] { return false; }, span);
    }

    std::size_t Pending() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return queue_.size();
    }

    // Makes every further post fail (to exercise a refused notification path).
    void SetRefuse(bool refuse)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        refuse_ = refuse;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    std::deque<CommNotification> queue_;
    bool refuse_ = false;
};

} // namespace zelbor
