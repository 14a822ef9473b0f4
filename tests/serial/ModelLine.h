// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A controller's line without a port or a process: a TTransferLink whose far end is the virtual
// controller's model (tools/virtual-controller/ControllerModel.h) in the test's own process, on a
// clock of the test's own. A frame sent is answered on that clock as the program would answer it
// on a pseudo-terminal (its latency, its pace, its faults); the bytes reach the near end in
// chunks cut as the controller's port cuts them, a quiet line longer than its read interval
// ending one. Nothing sleeps: the test moves the clock (Advance), and the clock moves from one
// event to the next.
#include "ControllerModel.h"
#include "ControllerOptions.h"
#include "protocol/Transfer.h"
#include "serial/Comm.h"
#include "serial/CommPortSettings.h"
#include "serial/NotifyQueue.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zelbor::test {

class ModelLine : public TTransferLink {
public:
    using Clock = std::chrono::steady_clock;

    // The virtual controller's options, as its program takes them; throws vc::EUsage.
    void Start(const std::vector<std::string>& options)
    {
        options_ = vc::ParseOptions(options);
        model_ = std::make_unique<vc::TControllerModel>(options_.model);
        parser_ = std::make_unique<vc::TFrameParser>(std::chrono::microseconds(options_.line.byteTimeUs));
    }

    // The only name that opens while the controller is there.
    const std::string& Port() const { return port_; }
    std::uint32_t BaudRate() const { return baudRate_; }
    bool IsOpen() const { return open_; }
    // The controller goes away, and with it the port: it no longer opens, and nothing more comes.
    void Unplug()
    {
        plugged_ = false;
        line_.clear();
    }

    // ---- The sequence's side ----

    void Open(const std::string& name, std::uint32_t baudRate) override
    {
        name_ = name;
        baudRate_ = baudRate;
        if (open_)
            throw ECommsError("This serial port already opened");
        if (name != port_ || !plugged_)
            throw ECommsError("Error opening serial port",
                              name + " has vanished or does not exist. Rescan the ports and choose again.");
        open_ = true;
    }
    void Close() override { open_ = false; }
    bool Send(std::span<const std::uint8_t> frame) override
    {
        if (!open_ || frame.empty())
            return false;
        if (!plugged_)
            return true; // queued, but nobody is there to answer
        parser_->Add(frame.data(), frame.size(), now_);
        while (const auto request = parser_->Next()) {
            const std::vector<vc::TReplyStep> steps = model_->Answer(*request);
            if (steps.empty())
                continue;
            // The controller answers one frame after the other: a frame that arrives while it is
            // still answering the one before waits for it.
            auto at =
                std::max(parser_->FrameArrived() + std::chrono::milliseconds(options_.line.latencyMs), busyUntil_);
            for (const vc::TReplyStep& step : steps) {
                at += step.pause;
                at += std::chrono::microseconds(options_.line.byteTimeUs) * static_cast<int>(step.bytes.size());
                line_.push_back({at, step.bytes, step.hangUp});
            }
            busyUntil_ = at;
        }
        return true;
    }
    void Reopen() override
    {
        Close();
        Open(name_, baudRate_);
    }

    // ---- The test's side ----

    Clock::time_point Now() const { return now_; }
    void Advance(std::chrono::milliseconds span) { AdvanceTo(now_ + span); }
    // What comes due while the port is closed is lost, as on a real line.
    void AdvanceTo(Clock::time_point when)
    {
        if (when <= now_)
            return;
        now_ = when;
        for (auto it = line_.begin(); it != line_.end() && it->due <= now_;) {
            if (it->hangUp) {
                // What arrived before the far end went away is still handed over.
                plugged_ = false;
                line_.erase(it, line_.end());
                return;
            }
            it = open_ ? std::next(it) : line_.erase(it);
        }
    }
    // The next chunk the near end has received by now, if any.
    std::optional<Bytes> TakeArrived()
    {
        const std::size_t groups = ChunkGroups();
        if (groups == 0 || line_[groups - 1].due > now_)
            return std::nullopt;
        Bytes chunk;
        for (std::size_t i = 0; i < groups; ++i) {
            chunk.insert(chunk.end(), line_.front().bytes.begin(), line_.front().bytes.end());
            line_.pop_front();
        }
        if (chunk.size() > kChunkLimit) {
            // The rest is a chunk of its own, there at once.
            line_.push_front({now_, Bytes(chunk.begin() + kChunkLimit, chunk.end()), false});
            chunk.resize(kChunkLimit);
        }
        return chunk;
    }
    // When the next chunk will have been received, or when the line goes dead; none when nothing
    // more is on its way.
    std::optional<Clock::time_point> NextEvent() const
    {
        if (line_.empty())
            return std::nullopt;
        if (line_.front().hangUp)
            return line_.front().due;
        const std::size_t groups = ChunkGroups();
        return groups ? std::optional(line_[groups - 1].due) : std::nullopt;
    }

private:
    struct Group {
        Clock::time_point due; // when its last byte has arrived
        Bytes bytes;
        bool hangUp = false;
    };
    static constexpr std::size_t kChunkLimit = 1024;

    // The quiet time that ends a chunk: the read interval of the controller's port.
    static std::chrono::milliseconds ReadInterval()
    {
        NotifyQueue queue;
        TComm comm(queue);
        ApplyCommPortSettings(comm);
        return std::chrono::milliseconds(comm.ReadIntervalTimeout());
    }

    // How many groups from the front make the next chunk: those that follow each other within
    // the read interval, up to a hang-up.
    std::size_t ChunkGroups() const
    {
        std::size_t n = 0;
        while (n < line_.size() && !line_[n].hangUp && (n == 0 || line_[n].due - line_[n - 1].due <= interval_))
            ++n;
        return n;
    }

    vc::TOptions options_;
    std::unique_ptr<vc::TControllerModel> model_;
    std::unique_ptr<vc::TFrameParser> parser_;
    const std::string port_ = "virtual-controller";
    const std::chrono::milliseconds interval_ = ReadInterval();
    std::string name_;
    std::uint32_t baudRate_ = 0;
    bool open_ = false;
    bool plugged_ = true;
    // Starts anywhere but at the clock's epoch, where "no time yet" would hide.
    Clock::time_point now_ = Clock::time_point(std::chrono::hours(1));
    Clock::time_point busyUntil_{};
    std::deque<Group> line_;
};

} // namespace zelbor::test
