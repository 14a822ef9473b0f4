// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerModel.h"

#include <algorithm>
#include <cstdio>
#include <span>

namespace zelbor::vc {

namespace {

bool In(int v, int lo, int hi) { return v >= lo && v <= hi; }

const char* FrameKind(std::uint8_t cmd, std::uint8_t code)
{
    if (cmd == kCmdWrite)
        return "write";
    return code == bcIdentify ? "identify" : "read";
}

const char* BlockName(std::uint8_t code)
{
    switch (code) {
    case bcIdentify:
        return "identification";
    case bcBasic:
        return "Basic";
    case bcPedalAssist:
        return "Pedal Assist";
    case bcThrottle:
        return "Throttle Handle";
    default:
        return "unknown block";
    }
}

} // namespace

std::string Hex(const Bytes& b)
{
    std::string s;
    char tmp[4];
    for (std::size_t i = 0; i < b.size(); ++i) {
        std::snprintf(tmp, sizeof tmp, "%s%02X", i ? " " : "", b[i]);
        s += tmp;
    }
    return s;
}

Bytes Noise(std::size_t n)
{
    Bytes out;
    out.reserve(n);
    std::uint32_t x = 0x2545F491u;
    while (out.size() < n) {
        x = x * 1103515245u + 12345u;
        const auto b = static_cast<std::uint8_t>(x >> 16);
        if (b >= bcIdentify && b <= bcThrottle)
            continue;
        out.push_back(b);
    }
    if (!out.empty())
        out.back() = 0x13;
    return out;
}

// ---- The controller's stored blocks and its limits (those of the parameter table) ----

TControllerModel::TControllerModel(const TModelOptions& o, TLog log) : o_(o), log_(std::move(log))
{
    BasicSettings b;
    b.cbbBasLowBat = 41;
    b.speBasCurrLim = std::min(20, o.maxCurrent);
    b.speBasAssistCurrLim = {0, 30, 40, 50, 60, 70, 80, 90, 95, 100};
    b.speBasAssistSpdLim = {0, 40, 50, 60, 70, 80, 85, 90, 95, 100};
    b.cbbBasWheelDiam = 10; // 26 inch
    b.cbbBasSpdMtrType = 0;
    b.speBasSpdMtrSig = 1;
    const auto row = NominalVoltageRowForCode(static_cast<std::uint8_t>(o.voltageCode));
    if (b.cbbBasLowBat < row.lowVolts || b.cbbBasLowBat > row.highVolts)
        b.cbbBasLowBat = row.lowVolts;
    const auto bb = EncodeBasic(b);
    blocks_[bcBasic].assign(bb.begin(), bb.end());

    PedalAssistSettings p;
    p.cbbPASPedalSensType = 1;
    p.cbbPASDesigAssist = 0;
    p.cbbPASSpdLim = 11; // 25 km/h
    p.spePASStartCurr = 10;
    p.cbbPASSlowStartMode = 3;
    p.spePASStartDeg = 4;
    p.cbbPASWorkMode = 0;
    p.spePASStopDelay = 25;
    p.spePASCurrDecay = 8;
    p.spePASStopDecay = 0;
    p.spePASKeepCurr = 60;
    const auto pb = EncodePedalAssist(p);
    blocks_[bcPedalAssist].assign(pb.begin(), pb.end());

    ThrottleSettings t;
    t.speThrStartVolt = 11;
    t.speThrEndVolt = 35;
    t.cbbThrMode = 0;
    t.cbbThrAssistLvl = 0;
    t.edThrSpeedLim = 0;
    t.speThrStartCurr = 10;
    const auto tb = EncodeThrottle(t);
    blocks_[bcThrottle].assign(tb.begin(), tb.end());
}

void TControllerModel::Note(const std::string& what) const
{
    if (log_)
        log_(what);
}

Bytes TControllerModel::IdentifyReply() const
{
    Bytes r = {bcIdentify, 16};
    auto put = [&r](const std::string& s, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            r.push_back(i < s.size() ? static_cast<std::uint8_t>(s[i]) : 0);
    };
    put(o_.manufacturer, 4);
    put(o_.model, 4);
    put(o_.hardware, 2);
    put(o_.firmware, 4);
    r.push_back(static_cast<std::uint8_t>(o_.voltageCode));
    r.push_back(static_cast<std::uint8_t>(o_.maxCurrent));
    r.push_back(CheckByte(std::span<const std::uint8_t>(r).subspan(1)));
    return r;
}

Bytes TControllerModel::ReadReply(std::uint8_t code) const
{
    const auto& data = blocks_.at(code);
    Bytes r;
    r.reserve(data.size() + 3); // also keeps GCC 12 from a false out-of-bounds warning on the insert
    r.push_back(code);
    r.push_back(static_cast<std::uint8_t>(data.size()));
    r.insert(r.end(), data.begin(), data.end());
    r.push_back(CheckByte(std::span<const std::uint8_t>(r).subspan(1)));
    return r;
}

std::uint8_t TControllerModel::Write(std::uint8_t code, const Bytes& d)
{
    const int count = static_cast<int>(d.size());
    for (int result = 0; result < count; ++result) {
        if (o_.refuse.count({code, result}) || !ResultOk(code, static_cast<std::size_t>(result), d))
            return static_cast<std::uint8_t>(result);
    }
    blocks_[code] = d;
    for (const auto& [block, byte] : o_.storeDiffers) {
        if (block != code)
            continue;
        auto& stored = blocks_[code][static_cast<std::size_t>(byte)];
        stored = static_cast<std::uint8_t>(stored + 1);
        Note("   storing data byte " + std::to_string(byte) + " as " + Hex({stored}) + ", not as written");
    }
    return static_cast<std::uint8_t>(count);
}

// A result stands for the data byte of the field it names, and so for every field in that byte
// (the speed-meter byte holds the type and the signal count).
bool TControllerModel::ResultOk(std::uint8_t code, std::size_t result, const Bytes& d) const
{
    const ParameterField* named = RefusedField(code, result);
    if (!named)
        return true;
    for (const ParameterField* f : BlockFields(code))
        if (f->dataByte == named->dataByte && !FieldOk(*f, d[f->dataByte]))
            return false;
    return true;
}

// The window's ranges and items are the controller's limits, except where its own
// identification sets them: the low-battery volts of its nominal voltage, its maximum current.
bool TControllerModel::FieldOk(const ParameterField& f, std::uint8_t byte) const
{
    const int bits = static_cast<int>((unsigned{byte} >> f.shift) & f.Mask());
    switch (f.kind) {
    case ControlKind::VoltsText: {
        const auto& row = NominalVoltageRowForCode(static_cast<std::uint8_t>(o_.voltageCode));
        return In(bits, row.lowVolts, row.highVolts);
    }
    case ControlKind::Spin:
        if (f.control == "speBasCurrLim")
            return In(bits, f.minimum, o_.maxCurrent);
        return In(bits, f.minimum, f.maximum);
    case ControlKind::List: {
        // Only an item's own byte: no odd half inch, no type code 2.
        const int index = f.ItemIndex(static_cast<unsigned>(bits));
        return index >= 0 && static_cast<int>(f.ItemBits(index) & f.Mask()) == bits;
    }
    }
    return false;
}

// ---- The answer to a frame, faults included ----

std::vector<TReplyStep> TControllerModel::Answer(const Bytes& frame)
{
    const std::uint8_t cmd = frame[0], code = frame[1];
    const bool inScope = o_.faultScope.empty() || o_.faultScope.count(FrameKind(cmd, code)) != 0;
    if (inScope)
        ++frames_;
    const bool faulty = inScope && (o_.faultFrame == 0 || frames_ == o_.faultFrame);
    Note("<- " + Hex(frame) + "  (" + (cmd == kCmdRead ? "read " : "write ") + BlockName(code) + ")");

    Bytes reply;
    bool isRead = false;
    if (cmd == kCmdRead && code == bcIdentify) {
        ++identifyRequests_;
        if (identifyRequests_ >= o_.identifyOn)
            reply = IdentifyReply();
        else
            Note("   identification request " + std::to_string(identifyRequests_) + " left unanswered");
    } else if (cmd == kCmdRead && Knows(code)) {
        isRead = true;
        reply = o_.readReply ? *o_.readReply : ReadReply(code);
    } else if (cmd == kCmdWrite && Knows(code)) {
        const std::size_t n = frame[2];
        const Bytes data(frame.begin() + 3, frame.begin() + 3 + static_cast<long>(n));
        const std::uint8_t check = frame.back();
        const std::uint8_t expected = CheckByte(std::span<const std::uint8_t>(frame).subspan(1, frame.size() - 2));
        if (check != expected)
            Note("   check byte " + Hex({check}) + " should be " + Hex({expected}) + "; taken all the same");
        if (n != DataBytes(code)) {
            Note("   wrong data length " + std::to_string(n) + "; refusing field 0");
            reply = {code, 0};
        } else {
            const std::uint8_t result = Write(code, data);
            reply = {code, result};
            Note("   " + std::string(result == n ? "accepted" : "refused field " + std::to_string(result)));
        }
    } else {
        Note("   no such block; no answer");
    }
    if (o_.silent)
        reply.clear();
    // A loop on the line: the request comes back as it went, and no controller answers.
    if (o_.echo)
        return {{std::chrono::milliseconds(0), frame, "-> " + Hex(frame) + "  (echo)"}};
    if (reply.empty())
        return {};
    if (o_.garbage)
        reply = Noise(reply.size());
    if (o_.wrongSpeed) {
        // Sent at another speed, each byte reaches the tool framed wrong; with the top bit set no
        // byte can pass for a block code.
        for (std::uint8_t& b : reply)
            b = static_cast<std::uint8_t>(0x80 | (b >> 1));
    }
    if (o_.shortReply)
        reply.resize(std::max<std::size_t>(1, reply.size() / 2));

    std::vector<TReplyStep> steps;
    if (faulty)
        reply.insert(reply.begin(), o_.prefix.begin(), o_.prefix.end());
    std::chrono::milliseconds pause{isRead ? o_.readDelayMs : 0};
    if (faulty && o_.burst > 0) {
        steps.push_back(
            {pause, Noise(static_cast<std::size_t>(o_.burst)), "-> " + std::to_string(o_.burst) + " bytes of noise"});
        pause = std::chrono::milliseconds(o_.burstGapMs);
    }

    const bool hangNow = inScope && o_.hangupAfter > 0 && frames_ == o_.hangupAfter;
    Bytes first = reply, second;
    if (hangNow || (faulty && o_.splitMs > 0)) {
        first.assign(reply.begin(), reply.begin() + static_cast<long>(reply.size() / 2));
        second.assign(reply.begin() + static_cast<long>(reply.size() / 2), reply.end());
    }
    steps.push_back({pause, first,
                     "-> " + Hex(first) +
                         (second.empty() ? ""
                          : hangNow      ? "  (then hanging up)"
                                         : "  (first half)")});
    if (hangNow) {
        // The second half never leaves: the line goes dead a moment after the first.
        steps.push_back({std::chrono::milliseconds(20), {}, "hung up", true});
        return steps;
    }
    if (!second.empty())
        steps.push_back({std::chrono::milliseconds(o_.splitMs), second, "-> " + Hex(second) + "  (second half)"});
    for (int k = 1; faulty && k <= o_.repeat; ++k)
        steps.push_back({std::chrono::milliseconds(o_.repeatGapMs), reply,
                         "-> " + Hex(reply) + "  (repeat " + std::to_string(k) + ")"});
    return steps;
}

// ---- Frames ----

void TFrameParser::Note(const std::string& what) const
{
    if (log_)
        log_(what);
}

void TFrameParser::Add(const std::uint8_t* p, std::size_t n, Clock::time_point now)
{
    // A partial frame left over from a closed session must not swallow the next one.
    if (!buffer_.empty() && now - last_ > std::chrono::seconds(1)) {
        Note("dropping stale partial frame: " + Hex(buffer_));
        buffer_.clear();
        arrival_.clear();
    }
    last_ = now;
    buffer_.insert(buffer_.end(), p, p + n);
    for (std::size_t i = 0; i < n; ++i) {
        lineFree_ = std::max(lineFree_, now) + byteTime_;
        arrival_.push_back(lineFree_);
    }
}

std::optional<Bytes> TFrameParser::Next()
{
    while (!buffer_.empty()) {
        const std::uint8_t cmd = buffer_[0];
        std::size_t need = 0;
        if (cmd == kCmdRead) {
            need = 2;
            if (buffer_.size() >= 2 && buffer_[1] == bcIdentify)
                need = 5;
        } else if (cmd == kCmdWrite) {
            if (buffer_.size() < 3)
                return std::nullopt;
            need = 3 + std::size_t(buffer_[2]) + 1;
        } else {
            Note("ignoring stray byte " + Hex({cmd}));
            buffer_.erase(buffer_.begin());
            arrival_.erase(arrival_.begin());
            continue;
        }
        if (buffer_.size() < need)
            return std::nullopt;
        Bytes frame(buffer_.begin(), buffer_.begin() + static_cast<long>(need));
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(need));
        frameArrived_ = arrival_[need - 1];
        arrival_.erase(arrival_.begin(), arrival_.begin() + static_cast<long>(need));
        return frame;
    }
    return std::nullopt;
}

} // namespace zelbor::vc
