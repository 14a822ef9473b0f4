// SPDX-License-Identifier: GPL-3.0-or-later
// A controller on a pseudo-terminal, for development and for users without a bike. It
// announces its port in the per-user virtual-port folder, answers identification, block
// reads and block writes like the real controller, and can be told to misbehave.
#include "protocol/Communication.h"
#include "protocol/Parameters.h"
#include "serial/Comm.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace zelbor;

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

volatile std::sig_atomic_t gStop = 0;
int gSignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    gStop = 1;
    const char c = 's';
    (void)!write(gSignalPipe[1], &c, 1);
}

std::string Stamp()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t{};
    localtime_r(&ts.tv_sec, &t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03ld", t.tm_hour, t.tm_min, t.tm_sec, ts.tv_nsec / 1000000);
    return buf;
}

std::string Hex(const std::vector<std::uint8_t>& b)
{
    std::string s;
    char tmp[4];
    for (std::size_t i = 0; i < b.size(); ++i) {
        std::snprintf(tmp, sizeof tmp, "%s%02X", i ? " " : "", b[i]);
        s += tmp;
    }
    return s;
}

void Log(const std::string& what) { std::fprintf(stderr, "[%s] %s\n", Stamp().c_str(), what.c_str()); }

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

struct Options {
    std::string name;
    std::string folder;
    long byteTimeUs = 8333; // 1200 baud, 10 bits a byte
    std::string manufacturer = "ZLBR";
    std::string model = "M250";
    std::string hardware = "12";
    std::string firmware = "2015";
    int voltageCode = 2;
    int maxCurrent = 25;
    int identifyOn = 1;
    bool silent = false;
    int latencyMs = 0;
    int readDelayMs = 0;
    int splitMs = 0;
    std::vector<std::uint8_t> prefix;
    int burst = 0;
    int burstGapMs = 0;
    int repeat = 0;
    int repeatGapMs = 300;
    std::set<std::string> faultScope;           // empty: every kind of frame
    int faultFrame = 0;                         // 0: every frame within the scope
    std::set<std::pair<int, int>> refuse;       // (block code, field index)
    std::set<std::pair<int, int>> storeDiffers; // (block code, data byte)
    int hangupAfter = 0;
    bool hangupStay = false;
    std::optional<std::vector<std::uint8_t>> readReply;
};

[[noreturn]] void Usage(const std::string& error)
{
    std::fprintf(stderr, "zelbor-virtual-controller: %s\nTry --help.\n", error.c_str());
    std::exit(2);
}

long Number(const std::string& v, const char* option, long lo, long hi)
{
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(v.c_str(), &end, 0);
    if (errno != 0 || end == v.c_str() || *end != 0 || n < lo || n > hi)
        Usage(std::string("bad value for ") + option + ": " + v);
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
        Usage(std::string(option) + ": block must be R, S or T");
    return static_cast<int>(n);
}

// BLOCK:N of --refuse and --store-differs.
std::pair<int, int> BlockAndIndex(const std::string& v, const char* option)
{
    const auto colon = v.find(':');
    if (colon == std::string::npos)
        Usage(std::string(option) + " needs BLOCK:" + (std::string(option) == "--refuse" ? "INDEX" : "BYTE"));
    return {BlockOf(v.substr(0, colon), option), static_cast<int>(Number(v.substr(colon + 1), option, 0, 255))};
}

Options ParseOptions(int argc, char** argv)
{
    Options o;
    auto value = [&](int& i) -> std::string {
        if (i + 1 >= argc)
            Usage(std::string("missing value for ") + argv[i]);
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "--name")
            o.name = value(i);
        else if (a == "--folder")
            o.folder = value(i);
        else if (a == "--baud")
            o.byteTimeUs = 10'000'000L / Number(value(i), "--baud", 50, 4'000'000);
        else if (a == "--byte-time-us")
            o.byteTimeUs = Number(value(i), "--byte-time-us", 0, 10'000'000);
        else if (a == "--no-pacing")
            o.byteTimeUs = 0;
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
        else if (a == "--latency")
            o.latencyMs = static_cast<int>(Number(value(i), "--latency", 0, 3'600'000));
        else if (a == "--read-delay")
            o.readDelayMs = static_cast<int>(Number(value(i), "--read-delay", 0, 3'600'000));
        else if (a == "--split")
            o.splitMs = static_cast<int>(Number(value(i), "--split", 0, 3'600'000));
        else if (a == "--prefix") {
            auto h = ParseHex(value(i));
            if (!h)
                Usage("--prefix: not hexadecimal bytes");
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
                    Usage("--fault-scope: kinds are identify, read and write");
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
                Usage("--store-differs: the block has fewer data bytes than " + std::to_string(byte + 1));
            o.storeDiffers.insert({block, byte});
        } else if (a == "--hangup-after")
            o.hangupAfter = static_cast<int>(Number(value(i), "--hangup-after", 1, 1'000'000));
        else if (a == "--hangup-stay")
            o.hangupStay = true;
        else if (a == "--read-reply") {
            auto h = ParseHex(value(i));
            if (!h || h->empty())
                Usage("--read-reply: not hexadecimal bytes");
            o.readReply = *h;
        } else if (a == "--identity") {
            const auto h = ParseHex(value(i));
            if (!h || h->size() != 14)
                Usage("--identity: not 14 hexadecimal bytes");
            const std::string bytes(h->begin(), h->end());
            o.manufacturer = bytes.substr(0, 4);
            o.model = bytes.substr(4, 4);
            o.hardware = bytes.substr(8, 2);
            o.firmware = bytes.substr(10, 4);
        } else
            Usage("unknown option " + a);
    }
    if (o.name.empty())
        o.name = "virtual-controller-" + std::to_string(getpid());
    if (o.name.find('/') != std::string::npos || o.name == "." || o.name == "..")
        Usage("--name must be a plain file name");
    if (o.folder.empty())
        o.folder = VirtualPortFolder();
    return o;
}

// ---- The controller's stored blocks and its limits (those of the parameter table) ----

bool In(int v, int lo, int hi) { return v >= lo && v <= hi; }

class Controller {
public:
    explicit Controller(const Options& o) : o_(o)
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

    std::vector<std::uint8_t> IdentifyReply() const
    {
        std::vector<std::uint8_t> r = {bcIdentify, 16};
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

    std::vector<std::uint8_t> ReadReply(std::uint8_t code) const
    {
        const auto& data = blocks_.at(code);
        std::vector<std::uint8_t> r = {code, static_cast<std::uint8_t>(data.size())};
        r.insert(r.end(), data.begin(), data.end());
        r.push_back(CheckByte(std::span<const std::uint8_t>(r).subspan(1)));
        return r;
    }

    bool Knows(std::uint8_t code) const { return blocks_.count(code) != 0; }
    std::size_t DataBytes(std::uint8_t code) const { return blocks_.at(code).size(); }

    // Checks the fields in acknowledgement order; stores the block when all pass.
    std::uint8_t Write(std::uint8_t code, const std::vector<std::uint8_t>& d)
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
            Log("   storing data byte " + std::to_string(byte) + " as " + Hex({stored}) + ", not as written");
        }
        return static_cast<std::uint8_t>(count);
    }

private:
    // A result stands for the data byte of the field it names, and so for every field in that byte
    // (the speed-meter byte holds the type and the signal count).
    bool ResultOk(std::uint8_t code, std::size_t result, const std::vector<std::uint8_t>& d) const
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
    bool FieldOk(const ParameterField& f, std::uint8_t byte) const
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

    const Options& o_;
    std::map<std::uint8_t, std::vector<std::uint8_t>> blocks_;
};

// Sleeps on the monotonic clock; returns false as soon as a stop signal arrived.
bool SleepUntil(std::chrono::steady_clock::time_point when)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (!gStop) {
        const int r = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        if (r == 0)
            return true;
        if (r != EINTR)
            return true;
    }
    return false;
}

bool SleepMs(int ms) { return SleepUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)); }

// ---- The port ----

class Port {
public:
    Port(const Options& o) : o_(o) {}
    ~Port() { Unregister(); }

    bool Open()
    {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            Log(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
            return false;
        }
        device_ = name;
        termios t{};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B1200);
        cfsetospeed(&t, B1200);
        tcsetattr(slave_, TCSANOW, &t);
        fcntl(master_, F_SETFD, FD_CLOEXEC);
        fcntl(slave_, F_SETFD, FD_CLOEXEC);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        return true;
    }

    bool Register()
    {
        if (mkdir(o_.folder.c_str(), 0700) != 0 && errno != EEXIST) {
            Log("cannot create " + o_.folder + ": " + std::strerror(errno));
            return false;
        }
        // The folder must be a private folder of this user, not something planted by another.
        struct stat st {};
        if (lstat(o_.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
            (st.st_mode & 077) != 0) {
            Log(o_.folder + " is not a private folder of this user; not registering there");
            return false;
        }
        link_ = o_.folder + "/" + o_.name;
        struct stat target {};
        if (lstat(link_.c_str(), &st) == 0) {
            if (S_ISLNK(st.st_mode) && stat(link_.c_str(), &target) != 0) {
                unlink(link_.c_str()); // a dangling link left by a controller that died
            } else {
                Log(link_ + " is in use");
                link_.clear();
                return false;
            }
        }
        if (symlink(device_.c_str(), link_.c_str()) != 0) {
            Log("cannot create " + link_ + ": " + std::strerror(errno));
            link_.clear();
            return false;
        }
        return true;
    }

    void Unregister()
    {
        if (!link_.empty())
            unlink(link_.c_str());
        link_.clear();
    }

    void HangUp()
    {
        if (master_ >= 0)
            close(master_);
        if (slave_ >= 0)
            close(slave_);
        master_ = slave_ = -1;
    }

    int Master() const { return master_; }
    const std::string& Link() const { return link_; }
    const std::string& Device() const { return device_; }

    // Sends bytes at the line's pace; returns false when asked to stop. A receiving UART hands
    // a byte over only after its stop bit, so each byte is written at the end of its time.
    bool Send(const std::vector<std::uint8_t>& bytes)
    {
        auto next = std::chrono::steady_clock::now();
        bool due = o_.byteTimeUs == 0;
        for (std::size_t i = 0; i < bytes.size();) {
            if (gStop)
                return false;
            if (!due) {
                next += std::chrono::microseconds(o_.byteTimeUs);
                if (!SleepUntil(next))
                    return false;
                due = true;
            }
            const std::size_t n = o_.byteTimeUs > 0 ? 1 : bytes.size() - i;
            const ssize_t w = write(master_, bytes.data() + i, n);
            if (w < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    pollfd p{master_, POLLOUT, 0};
                    poll(&p, 1, 100);
                    continue;
                }
                Log(std::string("write failed: ") + std::strerror(errno));
                return false;
            }
            i += static_cast<std::size_t>(w);
            due = o_.byteTimeUs == 0;
        }
        return true;
    }

private:
    const Options& o_;
    int master_ = -1;
    int slave_ = -1;
    std::string device_;
    std::string link_;
};

// Cuts the byte stream from the tool into frames by command byte and length. The
// pseudo-terminal hands the tool's bytes over at once; on a real line each byte arrives one
// byte time after the one before, so the parser notes when each would have arrived.
class FrameParser {
public:
    explicit FrameParser(std::chrono::microseconds byteTime) : byteTime_(byteTime) {}

    void Add(const std::uint8_t* p, std::size_t n)
    {
        const auto now = std::chrono::steady_clock::now();
        // A partial frame left over from a closed session must not swallow the next one.
        if (!buffer_.empty() && now - last_ > std::chrono::seconds(1)) {
            Log("dropping stale partial frame: " + Hex(buffer_));
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

    // When the last byte of the frame that Next returned would have arrived.
    std::chrono::steady_clock::time_point FrameArrived() const { return frameArrived_; }

    std::optional<std::vector<std::uint8_t>> Next()
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
                Log("ignoring stray byte " + Hex({cmd}));
                buffer_.erase(buffer_.begin());
                arrival_.erase(arrival_.begin());
                continue;
            }
            if (buffer_.size() < need)
                return std::nullopt;
            std::vector<std::uint8_t> frame(buffer_.begin(), buffer_.begin() + static_cast<long>(need));
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(need));
            frameArrived_ = arrival_[need - 1];
            arrival_.erase(arrival_.begin(), arrival_.begin() + static_cast<long>(need));
            return frame;
        }
        return std::nullopt;
    }

private:
    std::chrono::microseconds byteTime_;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::chrono::steady_clock::time_point> arrival_; // one per byte of buffer_
    std::chrono::steady_clock::time_point last_{};
    std::chrono::steady_clock::time_point lineFree_{};
    std::chrono::steady_clock::time_point frameArrived_{};
};

// Line noise that cannot be mistaken for the start of a reply, whatever byte a chunk begins
// with; its last byte is an XOFF, so a port with XON/XOFF flow control is left stopped.
std::vector<std::uint8_t> Noise(std::size_t n)
{
    std::vector<std::uint8_t> out;
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

int main(int argc, char** argv)
{
    const Options o = ParseOptions(argc, argv);
    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return 1;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Port port(o);
    if (!port.Open() || !port.Register())
        return 1;
    std::printf("PORT %s\n", port.Link().c_str());
    std::fflush(stdout);
    Log("serving " + port.Device() + " as " + port.Link());

    Controller controller(o);
    FrameParser parser{std::chrono::microseconds(o.byteTimeUs)};
    int identifyRequests = 0;
    int frames = 0; // frames within the fault scope
    bool hungUp = false;

    while (!gStop) {
        pollfd fds[2] = {{gSignalPipe[0], POLLIN, 0}, {hungUp ? -1 : port.Master(), POLLIN, 0}};
        const int r = poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (!(fds[1].revents & POLLIN))
            continue;
        std::uint8_t buf[512];
        const ssize_t got = read(port.Master(), buf, sizeof buf);
        if (got <= 0)
            continue; // the slave we hold keeps the master alive; nothing to do
        parser.Add(buf, static_cast<std::size_t>(got));

        while (auto frame = parser.Next()) {
            const std::uint8_t cmd = (*frame)[0], code = (*frame)[1];
            const bool inScope = o.faultScope.empty() || o.faultScope.count(FrameKind(cmd, code)) != 0;
            if (inScope)
                ++frames;
            const bool faulty = inScope && (o.faultFrame == 0 || frames == o.faultFrame);
            Log("<- " + Hex(*frame) + "  (" + (cmd == kCmdRead ? "read " : "write ") + BlockName(code) + ")");

            std::vector<std::uint8_t> reply;
            bool isRead = false;
            if (cmd == kCmdRead && code == bcIdentify) {
                ++identifyRequests;
                if (identifyRequests >= o.identifyOn)
                    reply = controller.IdentifyReply();
                else
                    Log("   identification request " + std::to_string(identifyRequests) + " left unanswered");
            } else if (cmd == kCmdRead && controller.Knows(code)) {
                isRead = true;
                reply = o.readReply ? *o.readReply : controller.ReadReply(code);
            } else if (cmd == kCmdWrite && controller.Knows(code)) {
                const std::size_t n = (*frame)[2];
                const std::vector<std::uint8_t> data(frame->begin() + 3, frame->begin() + 3 + static_cast<long>(n));
                const std::uint8_t check = frame->back();
                const std::uint8_t expected =
                    CheckByte(std::span<const std::uint8_t>(*frame).subspan(1, frame->size() - 2));
                if (check != expected)
                    Log("   check byte " + Hex({check}) + " should be " + Hex({expected}) + "; taken all the same");
                if (n != controller.DataBytes(code)) {
                    Log("   wrong data length " + std::to_string(n) + "; refusing field 0");
                    reply = {code, 0};
                } else {
                    const std::uint8_t result = controller.Write(code, data);
                    reply = {code, result};
                    Log("   " + std::string(result == n ? "accepted" : "refused field " + std::to_string(result)));
                }
            } else {
                Log("   no such block; no answer");
            }
            if (o.silent)
                reply.clear();
            if (reply.empty())
                continue;
            if (!SleepUntil(parser.FrameArrived() + std::chrono::milliseconds(o.latencyMs)))
                break;

            if (faulty)
                reply.insert(reply.begin(), o.prefix.begin(), o.prefix.end());
            if (isRead && o.readDelayMs > 0 && !SleepMs(o.readDelayMs))
                break;
            if (faulty && o.burst > 0) {
                Log("-> " + std::to_string(o.burst) + " bytes of noise");
                if (!port.Send(Noise(static_cast<std::size_t>(o.burst))))
                    break;
                if (o.burstGapMs > 0 && !SleepMs(o.burstGapMs))
                    break;
            }

            const bool hangNow = inScope && o.hangupAfter > 0 && frames == o.hangupAfter;
            std::vector<std::uint8_t> first = reply, second;
            if (hangNow || (faulty && o.splitMs > 0)) {
                first.assign(reply.begin(), reply.begin() + static_cast<long>(reply.size() / 2));
                second.assign(reply.begin() + static_cast<long>(reply.size() / 2), reply.end());
            }
            Log("-> " + Hex(first) + (second.empty() ? "" : hangNow ? "  (then hanging up)" : "  (first half)"));
            if (!port.Send(first))
                break;
            if (hangNow) {
                SleepMs(20);
                port.HangUp();
                port.Unregister();
                hungUp = true;
                Log("hung up");
                break;
            }
            if (!second.empty()) {
                if (!SleepMs(o.splitMs))
                    break;
                Log("-> " + Hex(second) + "  (second half)");
                if (!port.Send(second))
                    break;
            }
            for (int k = 1; faulty && k <= o.repeat && !gStop; ++k) {
                if (!SleepMs(o.repeatGapMs))
                    break;
                Log("-> " + Hex(reply) + "  (repeat " + std::to_string(k) + ")");
                if (!port.Send(reply))
                    break;
            }
        }
        if (hungUp && !o.hangupStay)
            break;
    }
    port.Unregister();
    Log("stopped");
    return 0;
}
