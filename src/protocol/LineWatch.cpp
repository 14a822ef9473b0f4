// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/LineWatch.h"
#include "protocol/Communication.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace zelbor {

std::optional<AwaitedReply> ReplyTo(std::span<const std::uint8_t> request)
{
    if (request.size() < 2)
        return std::nullopt;
    const std::uint8_t code = request[1];
    if (request[0] == kCmdWrite)
        return AwaitedReply{code, kWriteAckMinLength};
    if (request[0] != kCmdRead)
        return std::nullopt;
    switch (code) {
    case bcIdentify:
        return AwaitedReply{code, kInfoReplyMinLength};
    case bcBasic:
        return AwaitedReply{code, kBasicReplyMinLength};
    case bcPedalAssist:
        return AwaitedReply{code, kPedalAssistReplyMinLength};
    case bcThrottle:
        return AwaitedReply{code, kThrottleReplyMinLength};
    default:
        return std::nullopt;
    }
}

void LineWatch::Sent(std::span<const std::uint8_t> frame, Clock::time_point now)
{
    const bool sameRequest = waiting_ && std::equal(frame.begin(), frame.end(), request_.begin(), request_.end());
    if (!waiting_ || !sameRequest) {
        // A new request (or a new kind of request) begins a new wait; a repeated one continues it.
        waiting_ = ReplyTo(frame).has_value();
        since_ = now;
        received_.clear();
        chunks_ = 0;
        allEcho_ = true;
        last_ = LineFinding::Silent;
    }
    request_.assign(frame.begin(), frame.end());
}

void LineWatch::Received(std::span<const std::uint8_t> chunk)
{
    if (!waiting_ || chunk.empty())
        return;
    const auto awaited = ReplyTo(request_);
    for (std::uint8_t b : chunk)
        if (received_.size() < 64)
            received_.push_back(b);
    ++chunks_;
    lastLength_ = chunk.size();
    if (chunk[0] == awaited->code) {
        if (chunk.size() >= awaited->minLength) {
            waiting_ = false; // answered: the next request starts afresh
            last_ = LineFinding::Answered;
            return;
        }
        last_ = LineFinding::Short;
        allEcho_ = false;
        return;
    }
    // The request itself (or the part of it that fitted the chunk) came back: a loop on the line.
    const bool echo = chunk.size() <= request_.size() && std::equal(chunk.begin(), chunk.end(), request_.begin());
    allEcho_ = allEcho_ && echo;
    last_ = echo ? LineFinding::Echo : LineFinding::Garbage;
}

void LineWatch::Stop() { waiting_ = false; }

long LineWatch::SecondsWaited(Clock::time_point now) const
{
    if (!waiting_)
        return 0;
    return static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(now - since_).count());
}

LineFinding LineWatch::Finding() const
{
    if (!waiting_)
        return LineFinding::Answered;
    if (chunks_ == 0)
        return LineFinding::Silent;
    // Echoes mixed with other bytes are no clean loop: the other bytes are what to look at.
    if (last_ == LineFinding::Echo && !allEcho_)
        return LineFinding::Garbage;
    return last_;
}

bool LineWatch::AwaitsWriteAck() const { return waiting_ && !request_.empty() && request_[0] == kCmdWrite; }

std::optional<std::uint8_t> LineWatch::Awaited() const
{
    if (!waiting_)
        return std::nullopt;
    return ReplyTo(request_)->code;
}

std::string MonitorLine(std::chrono::system_clock::time_point when, bool sent, std::span<const std::uint8_t> bytes)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(ms));
    // Every byte: a support request needs the whole chunk, not a cut one.
    return std::string(stamp) + (sent ? " -> " : " <- ") + std::to_string(bytes.size()) +
           " bytes: " + HexBytes(bytes, bytes.size());
}

std::string HexBytes(std::span<const std::uint8_t> bytes, std::size_t limit)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        if (i)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    if (bytes.size() > limit)
        text += " \xE2\x80\xA6";
    return text;
}

} // namespace zelbor
