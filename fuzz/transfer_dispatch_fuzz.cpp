// SPDX-License-Identifier: GPL-3.0-or-later
// The transfer sequence without a window or a port: the buttons, the retry timer and received
// chunks in any order, against a line in memory and a host that checks every call the sequence
// makes of it. Every input starts a new sequence, so an input found once replays alone.
//
// Input: a script of steps, each one byte followed by what it needs (missing bytes read as 0).
//   step % 8 = 0  a chunk arrives: a length byte (with bit 3: length x 4 + the next byte % 4, for
//                 chunks beyond the receive buffer), then that many bytes;
//            = 1  the same, after a byte that chooses its block code (identify, Basic, Pedal
//                 Assist, Throttle);
//     for both, bits 4-5 deliver a chunk again while the first message box of this chunk is open
//     (0, 1, 2 or more times than may wait), as a late or streaming reply does; with bit 6 that
//     chunk is another one, read next as a chunk of step 0;
//            = 2  Connect (bit 3: the port opens; otherwise opening fails);
//            = 3  Disconnect;   = 4  the retry timer elapses;
//            = 5  Read Flash (bit 3), or a READ button: the next byte chooses the block;
//            = 6  Write Flash (bit 3), or a WRITE button: the next byte chooses the block;
//            = 7  the line and the front end change: bit 3 the port is gone (open and reopen
//                 fail), bit 4 sends are refused, bit 5 the values to write are no numbers,
//                 bit 6 the user edits a field (next byte the field, two more its value).
//
// What is checked besides memory safety, at every call the sequence makes:
//  - a message box never opens inside another one, its key is in every shipped catalogue, and
//    no more chunks than the bound wait while it is open; none is left once a chunk is handled;
//  - a chunk changes the transfer mode only to idle; in the idle mode, or with a first byte that
//    is no block code, it changes nothing and calls nothing;
//  - a reply only continues the transfer its mode names: read values only in a read, for the
//    block that replied; the next read request or write frame only in Read or Write Flash, for
//    the block after the one that replied, and a write frame holds exactly the values to write;
//    an identification only while connecting, followed by the connected buttons; a refused field
//    is shown right after its own message, in a write of its block;
//  - the retry timer starts only after an identification request went out, never from a chunk;
//  - only the line's and the conversion's errors reach the user as failures, and every
//    close-and-reopen is counted;
//  - a button that fails (the port does not open, a value is no number) sends nothing, and a
//    failed Connect changes nothing at all.
#include "common/Ini.h"
#include "protocol/Conversion.h"
#include "protocol/MessageFlags.h"
#include "protocol/Transfer.h"
#include "profile/Profile.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

namespace zelbor {

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "transfer dispatch fuzz: %s\n", what);
        std::abort();
    }
}

// The shipped catalogues, read once: every message the sequence shows must be in each.
std::vector<IniFile>& Catalogues()
{
    static std::vector<IniFile> catalogues;
    return catalogues;
}

// The input, read from the front; nothing left reads as zero bytes.
class Script {
public:
    explicit Script(std::span<const std::uint8_t> data) : data_(data) {}
    bool Done() const { return data_.empty(); }
    std::uint8_t Next()
    {
        if (data_.empty())
            return 0;
        const std::uint8_t b = data_.front();
        data_ = data_.subspan(1);
        return b;
    }
    std::vector<std::uint8_t> Take(std::size_t n)
    {
        n = std::min(n, data_.size());
        std::vector<std::uint8_t> bytes(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(n));
        data_ = data_.subspan(n);
        return bytes;
    }

private:
    std::span<const std::uint8_t> data_;
};

class LineGone : public std::runtime_error {
public:
    LineGone() : std::runtime_error("the port does not open") {}
};

// Where the sequence was called from: the checks differ for a button and for a received chunk.
enum class Context { Button, Chunk };

class FuzzLink;
class FuzzHost;

struct World {
    FuzzLink* link = nullptr;
    FuzzHost* host = nullptr;
    TTransferSequence* sequence = nullptr;
    Context context = Context::Button;
    // Counted calls, of the host and of the link together.
    unsigned calls = 0;
};

// The block whose reply continues Read or Write Flash with `next`, or 0 when none does.
std::uint8_t BlockBefore(std::uint8_t next)
{
    return next == bcPedalAssist ? bcBasic : next == bcThrottle ? bcPedalAssist : 0;
}

class FuzzHost : public TTransferHost {
public:
    explicit FuzzHost(World& world) : world_(world) {}

    // The values being edited: those of the default profile, then as reads show them and the user
    // edits them.
    ParameterValues edited = DefaultProfileValues();
    bool noNumbers = false;                 // ValuesToWrite refuses, as a spin field holding no number does
    std::vector<std::uint8_t> whileBoxOpen; // delivered again while the first box is open
    int whileBoxTimes = 0;

    enum class Last { None, Message, Identification, Other };

    void Wait(std::chrono::milliseconds) override { Called(Last::Other); }

    int ShowMessage(const std::string& key, int flags) override
    {
        Called(Last::Message);
        Require(++openBoxes_ == 1, "a message box opens inside another one");
        Require(flags == mbIconError || flags == mbIconWarning || flags == mbIconInformation, "message style");
        for (const IniFile& catalogue : Catalogues())
            Require(catalogue.Value("ERRORS", key).has_value(), "message key missing from a shipped catalogue");
        lastKey_ = key;
        lastFlags_ = flags;
        // A modal box keeps delivering the port's chunks; they must wait, and only so many.
        const int times = std::exchange(whileBoxTimes, 0);
        for (int i = 0; i < times; ++i) {
            world_.sequence->Receive(whileBoxOpen);
            Require(world_.sequence->PendingChunkCount() <= TTransferSequence::kMaxPendingChunks,
                    "more chunks wait than the bound allows");
        }
        --openBoxes_;
        last_ = Last::Message; // the nested chunks called nothing of their own
        return idOk;
    }

    void ShowFailure(std::exception_ptr error) override
    {
        Called(Last::Other);
        try {
            std::rethrow_exception(error);
        } catch (const LineGone&) {
        } catch (const EConvertError&) {
            Require(noNumbers, "a conversion failed although every value is a number");
        } catch (...) {
            Require(false, "an unexpected error reached the user");
        }
    }

    void ShowRefusedField(const ParameterField& field) override
    {
        const bool afterItsMessage = last_ == Last::Message && lastKey_ == field.ackKey && lastFlags_ == mbIconWarning;
        Called(Last::Other);
        Require(afterItsMessage, "a refused field is shown without its own message just before");
        Require(world_.context == Context::Chunk, "a refused field is shown without an acknowledgement");
        Require(field.block == Handled(), "a refused field of another block");
        Require(Writing(), "a refused field outside a write");
    }

    void ShowValues(std::uint8_t block, const ParameterValues& values) override
    {
        Called(Last::Other);
        Require(world_.context == Context::Chunk, "values shown without a reply");
        Require(block == Handled(), "values shown for another block than the one that replied");
        const auto mode = world_.sequence->TransferMode;
        Require(mode == tmReadBlock || mode == tmReadAll, "values shown outside a read");
        for (const ParameterField* field : BlockFields(block)) {
            const int v = field->Value(values);
            if (field->kind == ControlKind::List)
                Require(v >= -1 && v < field->ItemCount(), "a list value without an item");
            else
                Require(v >= 0 && v <= 255, "a value no byte gives");
            field->Value(edited) = v;
            if (KeptByte* kept = field->Kept(edited))
                *kept = *field->Kept(values);
        }
    }

    ParameterValues ValuesToWrite(std::uint8_t) override
    {
        Called(Last::Other);
        if (noNumbers)
            throw EConvertError("'' is not a valid integer value");
        return edited;
    }

    void ShowIdentification(const ControllerInfo&) override
    {
        Called(Last::Identification);
        Require(world_.context == Context::Chunk && Handled() == bcIdentify, "an identification without its reply");
        Require(world_.sequence->TransferMode == tmConnect, "an identification outside connecting");
    }

    void ShowConnectionState(ConnectionState state) override
    {
        const Last before = last_;
        Called(Last::Other);
        if (state == ConnectionState::Connected)
            Require(world_.context == Context::Chunk && before == Last::Identification,
                    "connected without an identification just before");
        else
            Require(world_.context == Context::Button, "a chunk changes the connection's buttons");
    }

    void StartConnectTimer() override;
    void StopConnectTimer() override { Called(Last::Other); }

private:
    void Called(Last what)
    {
        ++world_.calls;
        last_ = what;
    }
    std::uint8_t Handled() const { return world_.sequence->ReceiveBuffer[0]; }
    bool Writing() const
    {
        const auto mode = world_.sequence->TransferMode;
        return mode == tmWriteBlock || mode == tmWriteAll;
    }

    World& world_;
    int openBoxes_ = 0;
    Last last_ = Last::None;
    std::string lastKey_;
    int lastFlags_ = 0;
};

class FuzzLink : public TTransferLink {
public:
    explicit FuzzLink(World& world) : world_(world) {}

    bool gone = false;    // the port does not open
    bool refuses = false; // sends are refused although the port is open
    int reopens = 0;
    unsigned sendCalls = 0;
    bool identifySent = false; // the last call was an identification request that went out

    void Open(const std::string&, std::uint32_t baudRate) override
    {
        Called();
        Require(baudRate == TTransferSequence::kBaudRate, "the port opened at another speed");
        if (gone)
            throw LineGone();
        open_ = true;
    }
    void Close() override
    {
        Called();
        open_ = false;
    }
    bool Send(std::span<const std::uint8_t> frame) override
    {
        Called();
        ++sendCalls;
        const Bytes bytes(frame.begin(), frame.end());
        if (world_.context == Context::Chunk)
            CheckContinuation(bytes);
        if (!open_ || refuses)
            return false;
        identifySent = bytes == IdentifyRequest();
        return true;
    }
    void Reopen() override
    {
        Called();
        ++reopens;
        open_ = false;
        if (gone)
            throw LineGone();
        open_ = true;
    }

private:
    void Called()
    {
        ++world_.calls;
        identifySent = false;
    }

    // What a reply may send: the next step of Read or Write Flash, for the block after its own.
    void CheckContinuation(const Bytes& frame)
    {
        const TTransferSequence& sequence = *world_.sequence;
        Require(frame.size() >= 2, "a frame without a block code");
        const std::uint8_t code = frame[1];
        Require(BlockBefore(code) != 0 && BlockBefore(code) == sequence.ReceiveBuffer[0],
                "a reply sends a frame for another block than the next one");
        if (frame[0] == kCmdRead) {
            Require(sequence.TransferMode == tmReadAll, "a reply sends a read request outside Read Flash");
            Require(frame == ReadRequest(code), "a malformed read request");
        } else {
            Require(sequence.TransferMode == tmWriteAll, "a reply sends a write frame outside Write Flash");
            Require(frame == WriteFrame(code, EncodeBlock(code, world_.host->edited)),
                    "a write frame that does not hold the values to write");
        }
    }

    World& world_;
    bool open_ = false;
};

void FuzzHost::StartConnectTimer()
{
    const bool afterRequest = world_.link->identifySent;
    Called(Last::Other);
    Require(world_.context == Context::Button, "a chunk starts the retry timer");
    Require(afterRequest, "the retry timer starts without an identification request just before");
}

std::uint8_t ChosenBlock(std::uint8_t b)
{
    static constexpr std::uint8_t kBlocks[] = {bcBasic, bcPedalAssist, bcThrottle};
    // Mostly a block; the rest are the codes around them, none of which is one.
    return b < 240 ? kBlocks[b % 3] : static_cast<std::uint8_t>(0x50 + (b - 240));
}

std::vector<std::uint8_t> ReadChunk(Script& script, std::uint8_t step)
{
    std::size_t length = script.Next();
    if (step & 0x08)
        length = length * 4 + script.Next() % 4;
    return script.Take(length);
}

void Receive(World& w, const std::vector<std::uint8_t>& chunk)
{
    TTransferSequence& sequence = *w.sequence;
    const TTransferMode before = sequence.TransferMode;
    const unsigned callsBefore = w.calls;
    const int reopensBefore = w.link->reopens;
    const int countedBefore = sequence.ReopenCount;

    w.context = Context::Chunk;
    sequence.Receive(chunk);
    w.context = Context::Button;

    Require(sequence.PendingChunkCount() == 0, "a chunk is left waiting after the handling ended");
    Require(sequence.TransferMode == before || sequence.TransferMode == tmIdle, "a chunk starts another transfer");
    const bool inert = before == tmIdle || chunk.empty() || chunk[0] < bcIdentify || chunk[0] > bcThrottle;
    Require(!inert || w.calls == callsBefore, "a chunk that nothing waits for changes something");
    Require(w.link->reopens - reopensBefore == sequence.ReopenCount - countedBefore, "a reopen not counted");
}

// A button: its own errors are the ones it may throw; anything else is a fault.
template <class F>
void Press(World& w, F&& press)
{
    const unsigned sendsBefore = w.link->sendCalls;
    try {
        press();
    } catch (const EConvertError&) {
        // Only a wheel without an item, and no byte of the controller's kept for it, is no number.
        const BasicSettings& basic = w.host->edited.basic;
        const bool noWheel = !basic.kept.cbbBasWheelDiam &&
                             (basic.cbbBasWheelDiam < 0 || basic.cbbBasWheelDiam >= int(kWheelItems.size()));
        Require(w.host->noNumbers || noWheel, "a conversion failed on numbers");
        Require(w.link->sendCalls == sendsBefore, "a write that failed its conversion sent something");
    }
}

void Edit(ParameterValues& values, Script& script)
{
    const auto table = ParameterTable();
    const ParameterField& field = table[script.Next() % table.size()];
    const int low = script.Next();
    const int value = static_cast<std::int16_t>(low | script.Next() << 8);
    field.Value(values) = value;
    // A value the user chose keeps no byte of the controller's.
    if (KeptByte* kept = field.Kept(values))
        kept->reset();
}

void Run(Script& script)
{
    World w;
    FuzzLink link(w);
    FuzzHost host(w);
    TTransferSequence sequence(link, host);
    w.link = &link;
    w.host = &host;
    w.sequence = &sequence;

    while (!script.Done()) {
        const std::uint8_t step = script.Next();
        switch (step % 8) {
        case 0:
        case 1: {
            std::vector<std::uint8_t> chunk;
            if (step % 8 == 1) {
                chunk.push_back(static_cast<std::uint8_t>(bcIdentify + script.Next() % 4));
                const std::vector<std::uint8_t> rest = ReadChunk(script, step);
                chunk.insert(chunk.end(), rest.begin(), rest.end());
            } else {
                chunk = ReadChunk(script, step);
            }
            static constexpr int kTimes[] = {0, 1, 2, 3 * static_cast<int>(TTransferSequence::kMaxPendingChunks)};
            host.whileBoxTimes = kTimes[(step >> 4) & 3];
            host.whileBoxOpen = (step & 0x40) ? ReadChunk(script, 0) : chunk;
            Receive(w, chunk);
            host.whileBoxTimes = 0;
            break;
        }
        case 2: {
            link.gone = !(step & 0x08);
            const TTransferMode mode = sequence.TransferMode;
            const unsigned calls = w.calls;
            try {
                sequence.Connect("fuzz");
                Require(sequence.TransferMode == tmConnect, "a Connect that does not identify");
            } catch (const LineGone&) {
                // Only the attempt to open: no button, no mode, nothing sent changes.
                Require(w.calls == calls + 1 && sequence.TransferMode == mode, "a failed Connect changes something");
            }
            break;
        }
        case 3:
            sequence.Disconnect();
            break;
        case 4:
            sequence.ConnectTimerElapsed();
            break;
        case 5:
            if (step & 0x08)
                Press(w, [&] { sequence.ReadAll(); });
            else
                Press(w, [&, code = ChosenBlock(script.Next())] { sequence.ReadBlock(code); });
            break;
        case 6:
            if (step & 0x08)
                Press(w, [&] { sequence.WriteAll(); });
            else
                Press(w, [&, code = ChosenBlock(script.Next())] { sequence.WriteBlock(code); });
            break;
        default:
            link.gone = step & 0x08;
            link.refuses = step & 0x10;
            host.noNumbers = step & 0x20;
            if (step & 0x40)
                Edit(host.edited, script);
            break;
        }
    }
}

} // namespace

} // namespace zelbor

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    namespace fs = std::filesystem;
    for (const auto& entry : fs::directory_iterator(fs::path(ZELBOR_RESOURCES_DIR) / "Languages")) {
        if (entry.is_directory())
            zelbor::Catalogues().push_back(zelbor::IniFile::Load(entry.path() / "soft" / "errors.ini"));
    }
    zelbor::Require(!zelbor::Catalogues().empty(), "no shipped catalogue found");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zelbor::Script script({data, size});
    zelbor::Run(script);
    return 0;
}
