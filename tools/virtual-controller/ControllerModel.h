// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The virtual controller without its line: the stored blocks and their limits (those of the
// parameter table, and the identification's own), the frames cut from the byte stream, and the
// answer to each frame as the steps the line plays, the faults it was told to show included.
// No clock and no port: the program plays the steps on a pseudo-terminal (ControllerLine.h), and
// a test may play them in its own process on a clock of its own.
#include "protocol/Communication.h"
#include "protocol/Parameters.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zelbor::vc {

// Where the model's notes go (the program: standard error with a time stamp).
using TLog = std::function<void(const std::string&)>;

// How the controller identifies itself and how it misbehaves (the options of ControllerOptions.h).
struct TModelOptions {
    std::string manufacturer = "ZLBR";
    std::string model = "M250";
    std::string hardware = "12";
    std::string firmware = "2015";
    int voltageCode = 2;
    int maxCurrent = 25;
    int identifyOn = 1;
    bool silent = false;
    bool echo = false;       // send every frame back as it came, and nothing else
    bool garbage = false;    // answer with bytes that are no reply
    bool wrongSpeed = false; // answer as a receiver at another speed would take the reply
    bool shortReply = false; // answer with the first half of every reply only
    int readDelayMs = 0;
    int splitMs = 0;
    Bytes prefix;
    int burst = 0;
    int burstGapMs = 0;
    int repeat = 0;
    int repeatGapMs = 300;
    std::set<std::string> faultScope;           // empty: every kind of frame
    int faultFrame = 0;                         // 0: every frame within the scope
    std::set<std::pair<int, int>> refuse;       // (block code, field index)
    std::set<std::pair<int, int>> storeDiffers; // (block code, data byte)
    int hangupAfter = 0;
    std::optional<Bytes> readReply;
};

// One step of an answer: a quiet line for `pause`, then `note` is logged and `bytes` go out at
// the line's pace; a step with `hangUp` ends the line instead.
struct TReplyStep {
    std::chrono::milliseconds pause{0};
    Bytes bytes;
    std::string note;
    bool hangUp = false;
};

class TControllerModel {
public:
    explicit TControllerModel(const TModelOptions& options, TLog log = {});

    // The answer to one frame the parser cut: nothing when the controller stays silent. The
    // first step is due when the frame has arrived (and the line's latency has passed).
    std::vector<TReplyStep> Answer(const Bytes& frame);

    Bytes IdentifyReply() const;
    Bytes ReadReply(std::uint8_t code) const;
    bool Knows(std::uint8_t code) const { return blocks_.count(code) != 0; }
    std::size_t DataBytes(std::uint8_t code) const { return blocks_.at(code).size(); }
    // Checks the fields in acknowledgement order; stores the block when all pass. Returns the
    // acknowledgement's result: the index of the first refused field, or the field count.
    std::uint8_t Write(std::uint8_t code, const Bytes& data);

private:
    bool ResultOk(std::uint8_t code, std::size_t result, const Bytes& data) const;
    bool FieldOk(const ParameterField& f, std::uint8_t byte) const;
    void Note(const std::string& what) const;

    TModelOptions o_;
    TLog log_;
    std::map<std::uint8_t, Bytes> blocks_;
    int identifyRequests_ = 0;
    int frames_ = 0; // frames within the fault scope
};

// Cuts the byte stream from the tool into frames by command byte and length. On a real line each
// byte arrives one byte time after the one before, so the parser notes when each would have
// arrived, on the clock of whoever feeds it.
class TFrameParser {
public:
    using Clock = std::chrono::steady_clock;

    explicit TFrameParser(std::chrono::microseconds byteTime, TLog log = {}) : byteTime_(byteTime), log_(std::move(log))
    {}

    void Add(const std::uint8_t* p, std::size_t n, Clock::time_point now);
    std::optional<Bytes> Next();
    // When the last byte of the frame that Next returned would have arrived.
    Clock::time_point FrameArrived() const { return frameArrived_; }

private:
    void Note(const std::string& what) const;

    std::chrono::microseconds byteTime_;
    TLog log_;
    Bytes buffer_;
    std::vector<Clock::time_point> arrival_; // one per byte of buffer_
    Clock::time_point last_{};
    Clock::time_point lineFree_{};
    Clock::time_point frameArrived_{};
};

// Bytes as the log shows them: "11 52".
std::string Hex(const Bytes& bytes);

// Line noise that cannot be mistaken for the start of a reply, whatever byte a chunk begins
// with; its last byte is an XOFF, so a port with XON/XOFF flow control is left stopped.
Bytes Noise(std::size_t n);

} // namespace zelbor::vc
