// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerOptions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace zelbor::vc {

namespace {

const char kUsage[] = R"(Usage: zelbor-virtual-controller [options]

Opens a pseudo-terminal, announces it as a serial port in the per-user virtual-port folder
and answers like a motor controller: identification, reads of the Basic, Pedal Assist and
Throttle Handle blocks, and writes, which are checked field by field and acknowledged with
two bytes (block code, index of the first refused field or the field count). Prints one line
"PORT <path>" on standard output; logs every frame to standard error. Ends on SIGINT/SIGTERM
and removes its link.

Port:
  --name NAME            link name in the folder (default virtual-controller-<pid>)
  --folder DIR           folder for the link (default: the per-user virtual-port folder)
  --baud N               line speed (default 1200; 10 bits a byte): a request counts as
                         received when its last byte would have crossed the line, and
                         reply bytes leave one byte time apart, each at the end of its time
  --byte-time-us N       time per byte in microseconds (overrides --baud)
  --no-pacing            take requests and send replies at once
  --latency MS           time from the last byte of a request to the first byte of its
                         reply (default 0)

Identification:
  --manufacturer TEXT    up to 4 characters (default ZLBR)
  --model TEXT           up to 4 characters (default M250)
  --hardware TEXT        2 characters, e.g. 12 for V1.2 (default 12)
  --firmware TEXT        4 characters, e.g. 2015 for V2.0.1.5 (default 2015)
  --identity HEX         the 14 bytes of manufacturer, model, hardware and firmware
                         version in hexadecimal, any byte values (instead of the four
                         options above)
  --voltage-code N       nominal-voltage code 0..255 (default 2, 48 V)
  --max-current N        maximum current in amperes, 0..255 (default 25)

Faults:
  --identify-on N        answer the identification only from the Nth request on
  --silent               never answer anything
  --echo                 send every request back as it came and answer nothing, as a cable
                         or adapter that loops the line back
  --garbage              answer every request with line noise of the reply's length
  --wrong-speed          answer as a controller at another line speed is received: every
                         byte framed wrong
  --short-reply          answer with the first half of every reply only
  --read-delay MS        wait MS milliseconds before answering a read
  --split MS             send every reply in two halves MS milliseconds apart (e.g. 300)
  --prefix HEX           put these bytes before every reply (e.g. "00 FF")
  --burst N              send N bytes of line noise before every reply: a fixed pseudo-random
                         sequence that holds no block code (0x51-0x54) and ends with an XOFF
                         (0x13), the worst case for a port with XON/XOFF flow control
  --burst-gap MS         with --burst: keep the line quiet MS milliseconds between the noise
                         and the reply (default 0: the reply follows the noise at once)
  --repeat N             send every reply N more times, each as a chunk of its own, as a
                         controller that repeats itself or streams reply-shaped bytes would
  --repeat-gap MS        with --repeat: quiet time before each repetition (default 300)
  --fault-scope KINDS    the frames that --split, --prefix, --burst, --repeat and the count of
                         --hangup-after act on: a comma list of identify, read, write
                         (default: every frame)
  --fault-frame K        --split, --prefix, --burst and --repeat act only on the Kth frame
                         within the scope (default: on every one)
  --refuse BLOCK:INDEX   refuse a field: BLOCK is R/S/T (or 0x52/0x53/0x54), INDEX the
                         acknowledgement's field index; may be given more than once
  --store-differs BLOCK:BYTE
                         accept writes of BLOCK (R/S/T or 0x52/0x53/0x54) as usual, but store
                         data byte BYTE (0 = the first data byte) plus one, modulo 256, instead
                         of the byte written: a later read answers what was never acknowledged;
                         may be given more than once
  --hangup-after N       on the Nth frame (counted within --fault-scope) send half the
                         reply, then hang up (close the pseudo-terminal) and exit
  --hangup-stay          with --hangup-after: keep running after hanging up, until a signal
  --read-reply HEX       answer every block read with these raw bytes
  --help                 show this text
)";

std::optional<std::vector<std::uint8_t>> ParseHex(const std::string& text)
{
    std::vector<std::uint8_t> out;
    std::string digits;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
        else if (c != ' ' && c != ',' && c != ':')
            return std::nullopt;
    }
    if (digits.size() % 2 != 0)
        return std::nullopt;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

long Number(const std::string& v, const char* option, long lo, long hi)
{
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(v.c_str(), &end, 0);
    if (errno != 0 || end == v.c_str() || *end != 0 || n < lo || n > hi)
        throw EUsage(std::string("bad value for ") + option + ": " + v);
    return n;
}

int BlockOf(const std::string& b, const char* option)
{
    if (b == "R" || b == "r" || b == "basic")
        return bcBasic;
    if (b == "S" || b == "s" || b == "pas" || b == "pedal")
        return bcPedalAssist;
    if (b == "T" || b == "t" || b == "throttle")
        return bcThrottle;
    const long n = Number(b, option, 0, 255);
    if (n < bcBasic || n > bcThrottle)
        throw EUsage(std::string(option) + ": block must be R, S or T");
    return static_cast<int>(n);
}

// BLOCK:N of --refuse and --store-differs.
std::pair<int, int> BlockAndIndex(const std::string& v, const char* option)
{
    const auto colon = v.find(':');
    if (colon == std::string::npos)
        throw EUsage(std::string(option) + " needs BLOCK:" + (std::string(option) == "--refuse" ? "INDEX" : "BYTE"));
    return {BlockOf(v.substr(0, colon), option), static_cast<int>(Number(v.substr(colon + 1), option, 0, 255))};
}

} // namespace

const char* UsageText() { return kUsage; }

TOptions ParseOptions(const std::vector<std::string>& args)
{
    TOptions options;
    TLineOptions& l = options.line;
    TModelOptions& o = options.model;
    const std::size_t argc = args.size();
    auto value = [&](std::size_t& i) -> std::string {
        if (i + 1 >= argc)
            throw EUsage("missing value for " + args[i]);
        return args[++i];
    };
    for (std::size_t i = 0; i < argc; ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            options.help = true;
            return options;
        } else if (a == "--name")
            l.name = value(i);
        else if (a == "--folder")
            l.folder = value(i);
        else if (a == "--baud")
            l.byteTimeUs = 10'000'000L / Number(value(i), "--baud", 50, 4'000'000);
        else if (a == "--byte-time-us")
            l.byteTimeUs = Number(value(i), "--byte-time-us", 0, 10'000'000);
        else if (a == "--no-pacing")
            l.byteTimeUs = 0;
        else if (a == "--manufacturer")
            o.manufacturer = value(i);
        else if (a == "--model")
            o.model = value(i);
        else if (a == "--hardware")
            o.hardware = value(i);
        else if (a == "--firmware")
            o.firmware = value(i);
        else if (a == "--voltage-code")
            o.voltageCode = static_cast<int>(Number(value(i), "--voltage-code", 0, 255));
        else if (a == "--max-current")
            o.maxCurrent = static_cast<int>(Number(value(i), "--max-current", 0, 255));
        else if (a == "--identify-on")
            o.identifyOn = static_cast<int>(Number(value(i), "--identify-on", 1, 1'000'000));
        else if (a == "--silent")
            o.silent = true;
        else if (a == "--echo")
            o.echo = true;
        else if (a == "--garbage")
            o.garbage = true;
        else if (a == "--wrong-speed")
            o.wrongSpeed = true;
        else if (a == "--short-reply")
            o.shortReply = true;
        else if (a == "--latency")
            l.latencyMs = static_cast<int>(Number(value(i), "--latency", 0, 3'600'000));
        else if (a == "--read-delay")
            o.readDelayMs = static_cast<int>(Number(value(i), "--read-delay", 0, 3'600'000));
        else if (a == "--split")
            o.splitMs = static_cast<int>(Number(value(i), "--split", 0, 3'600'000));
        else if (a == "--prefix") {
            auto h = ParseHex(value(i));
            if (!h)
                throw EUsage("--prefix: not hexadecimal bytes");
            o.prefix = *h;
        } else if (a == "--burst")
            o.burst = static_cast<int>(Number(value(i), "--burst", 0, 1'000'000));
        else if (a == "--repeat")
            o.repeat = static_cast<int>(Number(value(i), "--repeat", 0, 1'000'000));
        else if (a == "--repeat-gap")
            o.repeatGapMs = static_cast<int>(Number(value(i), "--repeat-gap", 0, 3'600'000));
        else if (a == "--burst-gap")
            o.burstGapMs = static_cast<int>(Number(value(i), "--burst-gap", 0, 3'600'000));
        else if (a == "--fault-scope") {
            const std::string v = value(i);
            std::size_t start = 0;
            while (start <= v.size()) {
                const std::size_t comma = std::min(v.find(',', start), v.size());
                const std::string kind = v.substr(start, comma - start);
                if (kind != "identify" && kind != "read" && kind != "write")
                    throw EUsage("--fault-scope: kinds are identify, read and write");
                o.faultScope.insert(kind);
                start = comma + 1;
            }
        } else if (a == "--fault-frame")
            o.faultFrame = static_cast<int>(Number(value(i), "--fault-frame", 1, 1'000'000));
        else if (a == "--refuse")
            o.refuse.insert(BlockAndIndex(value(i), "--refuse"));
        else if (a == "--store-differs") {
            const auto [block, byte] = BlockAndIndex(value(i), "--store-differs");
            if (static_cast<std::size_t>(byte) >= FindBlock(static_cast<std::uint8_t>(block))->dataBytes)
                throw EUsage("--store-differs: the block has fewer data bytes than " + std::to_string(byte + 1));
            o.storeDiffers.insert({block, byte});
        } else if (a == "--hangup-after")
            o.hangupAfter = static_cast<int>(Number(value(i), "--hangup-after", 1, 1'000'000));
        else if (a == "--hangup-stay")
            l.hangupStay = true;
        else if (a == "--read-reply") {
            auto h = ParseHex(value(i));
            if (!h || h->empty())
                throw EUsage("--read-reply: not hexadecimal bytes");
            o.readReply = *h;
        } else if (a == "--identity") {
            const auto h = ParseHex(value(i));
            if (!h || h->size() != 14)
                throw EUsage("--identity: not 14 hexadecimal bytes");
            const std::string bytes(h->begin(), h->end());
            o.manufacturer = bytes.substr(0, 4);
            o.model = bytes.substr(4, 4);
            o.hardware = bytes.substr(8, 2);
            o.firmware = bytes.substr(10, 4);
        } else
            throw EUsage("unknown option " + a);
    }
    if (l.name.find('/') != std::string::npos || l.name == "." || l.name == "..")
        throw EUsage("--name must be a plain file name");
    return options;
}

} // namespace zelbor::vc
