// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the bytes on the line tell while the tool waits for a reply. A transfer waits for its
// answer without end and without a message; when none comes, the bytes that did come (or did
// not) are the only clue to the cause, and the status line and the connection check read them
// with this one set of rules.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zelbor {

enum class LineFinding {
    Answered, // a reply of the awaited kind and length came
    Silent,   // nothing came back at all
    Echo,     // only the tool's own request came back
    Garbage,  // bytes came that are no reply to the request
    Short,    // a reply of the awaited kind came, too short to use
};

class LineWatch {
public:
    using Clock = std::chrono::steady_clock;
    // How long a wait lasts before its finding is shown: the controller answers within a second.
    static constexpr std::chrono::seconds kVerdictAfter{3};

    // A request went out. The wait starts with the first request after the last answer, so that the
    // identification's repeated requests count as one wait.
    void Sent(std::span<const std::uint8_t> frame, Clock::time_point now);
    // A chunk came in.
    void Received(std::span<const std::uint8_t> chunk);
    // The wait ended without an answer (disconnect): nothing is awaited any more.
    void Stop();

    bool Waiting() const { return waiting_; }
    // The whole seconds waited so far (0 when not waiting).
    long SecondsWaited(Clock::time_point now) const;
    // What came back since the wait began; Answered when not waiting.
    LineFinding Finding() const;
    // Whether the request awaited is a write.
    bool AwaitsWriteAck() const;
    // The reply awaited: its first byte, or nullopt when not waiting.
    std::optional<std::uint8_t> Awaited() const;
    // The bytes received since the wait began (at most 64, for a message).
    const std::vector<std::uint8_t>& ReceivedBytes() const { return received_; }
    // The length of the last chunk received (a short reply's length).
    std::size_t LastChunkLength() const { return lastLength_; }

private:
    bool waiting_ = false;
    Clock::time_point since_{};
    std::vector<std::uint8_t> request_;
    std::vector<std::uint8_t> received_;
    std::size_t chunks_ = 0;
    std::size_t lastLength_ = 0;
    bool allEcho_ = true;
    LineFinding last_ = LineFinding::Silent;
};

// The minimum length of the reply to a request frame, and the reply's first byte.
struct AwaitedReply {
    std::uint8_t code = 0;
    std::size_t minLength = 0;
};
std::optional<AwaitedReply> ReplyTo(std::span<const std::uint8_t> request);

// One line of the line monitor and of --trace: local time with milliseconds, the direction ("->"
// for a frame sent, "<-" for a chunk received), the byte count and the bytes in hex.
std::string MonitorLine(std::chrono::system_clock::time_point when, bool sent, std::span<const std::uint8_t> bytes);

// Bytes as "11 51 04", at most `limit` of them, "…" after a cut.
std::string HexBytes(std::span<const std::uint8_t> bytes, std::size_t limit = 64);

} // namespace zelbor
