// SPDX-License-Identifier: GPL-3.0-or-later
// The transfer sequence without any window: the virtual controller's model as the far end of an
// in-memory line, on the test's own clock (ModelLine.h), and a host that records what the
// sequence asks of its front end, in order. The serial component itself and the virtual
// controller program meet on real pseudo-terminals in CommTest.cpp and VirtualControllerTest.cpp.
#include "ModelLine.h"
#include "protocol/MessageFlags.h"
#include "protocol/Transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zelbor::test {
namespace {

using namespace std::chrono_literals;

#ifdef ZELBOR_CONTROLLER_MODEL

std::string Hex(std::span<const std::uint8_t> bytes)
{
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, "%s%02X", i ? " " : "", bytes[i]);
        s += b;
    }
    return s;
}

// The transfer mode as the log shows it beside a reopen or a message: the order of a handler's
// mode change, reopen and message is part of its behaviour.
std::string InMode(const TTransferSequence* sequence)
{
    static const char* const names[] = {"idle", "read block", "write block", "read all", "write all", "connect"};
    return sequence ? std::string(" (") + names[sequence->TransferMode] + ")" : std::string();
}

// The link as the sequence uses it, with every call written into the host's log.
class RecordingLink : public TTransferLink {
public:
    RecordingLink(TTransferLink& real, std::vector<std::string>& log, const TTransferSequence* const& sequence)
        : real_(real), log_(log), sequence_(sequence)
    {}
    void Open(const std::string& name, std::uint32_t baudRate) override
    {
        log_.push_back("open " + std::to_string(baudRate));
        real_.Open(name, baudRate);
    }
    void Close() override
    {
        log_.push_back("close");
        real_.Close();
    }
    bool Send(std::span<const std::uint8_t> frame) override
    {
        const bool queued = real_.Send(frame);
        log_.push_back((queued ? "send " : "refused ") + Hex(frame));
        return queued;
    }
    void Reopen() override
    {
        log_.push_back("reopen" + InMode(sequence_));
        real_.Reopen();
    }

private:
    TTransferLink& real_;
    std::vector<std::string>& log_;
    const TTransferSequence* const& sequence_;
};

struct Shown {
    std::string key;
    int flags;
    int mode; // the transfer mode while the box was open
};

class RecordingHost : public TTransferHost {
public:
    // The wait passes on the line's clock: what the controller sends meanwhile is there afterwards.
    void Wait(std::chrono::milliseconds length) override
    {
        log.push_back("wait " + std::to_string(length.count()));
        line->Advance(length);
    }
    int ShowMessage(const std::string& key, int flags) override
    {
        messages.push_back({key, flags, sequence ? int(sequence->TransferMode) : -1});
        log.push_back("message " + key + InMode(sequence));
        if (whileBoxOpen)
            whileBoxOpen(); // a modal box keeps delivering the port's chunks
        return idOk;
    }
    void ShowFailure(std::exception_ptr error) override
    {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            failures.push_back(e.what());
            log.push_back(std::string("failure ") + e.what());
        }
    }
    void ShowRefusedField(const ParameterField& field) override
    {
        refused.push_back(field.control);
        log.push_back("show " + field.control);
    }
    void ShowValues(std::uint8_t block, const ParameterValues& v) override
    {
        for (const ParameterField* f : BlockFields(block)) {
            f->Value(values) = f->Value(v);
            if (const KeptByte* kept = f->Kept(v))
                *f->Kept(values) = *kept;
        }
        log.push_back("values " + std::string(1, char(block)));
    }
    ParameterValues ValuesToWrite(std::uint8_t) override { return values; }
    void ShowIdentification(const ControllerInfo& i) override
    {
        info = i;
        log.push_back("identification");
    }
    void ShowConnectionState(ConnectionState s) override
    {
        state = s;
        log.push_back(s == ConnectionState::Connected     ? "connected"
                      : s == ConnectionState::Identifying ? "identifying"
                                                          : "disconnected");
    }
    void StartConnectTimer() override
    {
        timerSince = line->Now();
        log.push_back("timer on");
    }
    void StopConnectTimer() override
    {
        timerSince.reset();
        log.push_back("timer off");
    }

    std::vector<std::string> Keys() const
    {
        std::vector<std::string> keys;
        for (const Shown& m : messages)
            keys.push_back(m.key);
        return keys;
    }
    std::vector<std::string> Sent(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const std::string& l : log)
            if (l.rfind("send " + prefix, 0) == 0)
                out.push_back(l.substr(5, prefix.size() + 3)); // the command and the block code
        return out;
    }
    int Count(const std::string& entry) const { return static_cast<int>(std::count(log.begin(), log.end(), entry)); }

    const TTransferSequence* sequence = nullptr;
    ModelLine* line = nullptr;
    std::vector<std::string> log;
    std::vector<Shown> messages;
    std::vector<std::string> failures;
    std::vector<std::string> refused;
    ParameterValues values;
    std::optional<ControllerInfo> info;
    std::optional<ConnectionState> state;
    std::optional<std::chrono::steady_clock::time_point> timerSince;
    std::function<void()> whileBoxOpen;
};

class TransferSequenceTest : public ::testing::Test {
protected:
    void Start(std::vector<std::string> options)
    {
        options.push_back("--no-pacing");
        ASSERT_NO_THROW(line.Start(options));
        host.sequence = &sequence;
        host.line = &line;
    }
    // Hands the line's chunks to the sequence, and fires the retry timer when it is due, moving
    // the clock from one to the next, until `done` holds. False when it did not within the guard
    // time on that clock, or when nothing more is on its way.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds guard = 10000ms)
    {
        return RunTo(done, line.Now() + guard);
    }
    bool RunTo(const std::function<bool()>& done, ModelLine::Clock::time_point until)
    {
        auto timerDue = [&]() -> std::optional<ModelLine::Clock::time_point> {
            if (!host.timerSince)
                return std::nullopt;
            return *host.timerSince + TTransferSequence::kConnectRetryInterval;
        };
        while (!done()) {
            if (auto chunk = line.TakeArrived()) {
                sequence.Receive(*chunk);
                continue;
            }
            if (const auto timer = timerDue(); timer && *timer <= line.Now()) {
                sequence.ConnectTimerElapsed();
                continue;
            }
            auto next = line.NextEvent();
            if (const auto timer = timerDue(); timer && (!next || *timer < *next))
                next = timer;
            if (!next || *next > until) {
                line.AdvanceTo(until);
                return done();
            }
            line.AdvanceTo(*next);
        }
        return true;
    }
    // Lets `span` pass on the line's clock, with everything that happens meanwhile.
    void RunFor(std::chrono::milliseconds span)
    {
        RunTo([] { return false; }, line.Now() + span);
    }
    // Runs until a message has been shown with the mode idle again, then a while longer, so that
    // whatever the sequence would do afterwards is seen too.
    void RunToEnd()
    {
        ASSERT_TRUE(RunUntil([&] { return !host.messages.empty() && sequence.TransferMode == tmIdle; }));
        RunFor(400ms);
    }
    void Connect()
    {
        sequence.Connect(line.Port());
        ASSERT_TRUE(RunUntil([&] { return host.state == ConnectionState::Connected; }));
        host.log.clear();
        host.messages.clear();
        sequence.ReopenCount = 0;
    }
    void ReadFlash()
    {
        sequence.ReadAll();
        RunToEnd();
        host.log.clear();
        host.messages.clear();
        sequence.ReopenCount = 0;
    }
    void Feed(const Bytes& chunk) { sequence.Receive(chunk); }
    // The log's entry of the write frame of `block` with the host's values.
    std::string SendOf(std::uint8_t block) const
    {
        return "send " + Hex(WriteFrame(block, EncodeBlock(block, host.values)));
    }

    ModelLine line;
    RecordingHost host;
    RecordingLink link{line, host.log, host.sequence};
    TTransferSequence sequence{link, host};
};

// ---- Connecting ----

TEST_F(TransferSequenceTest, ConnectsToAControllerThatAnswersTheThirdRequest)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--identify-on", "3", "--max-current", "20"}));
    sequence.Connect(line.Port());
    EXPECT_EQ(line.BaudRate(), 1200u);
    EXPECT_EQ(sequence.TransferMode, tmConnect);
    ASSERT_TRUE(RunUntil([&] { return host.state == ConnectionState::Connected; }));
    RunFor(700ms); // a fourth request would be due by now

    const std::vector<std::string> request = {"wait 80", "send 11 51 04 B0 05", "wait 80", "timer on"};
    std::vector<std::string> expected = {"open 1200", "timer off", "identifying"};
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            expected.push_back("timer off"); // the timer's tick stops it before the next request
        expected.insert(expected.end(), request.begin(), request.end());
    }
    expected.insert(expected.end(), {"timer off", "identification", "connected", "reopen (idle)"});
    EXPECT_EQ(host.log, expected);
    EXPECT_FALSE(host.timerSince);
    EXPECT_EQ(sequence.TransferMode, tmIdle);
    ASSERT_TRUE(host.info);
    EXPECT_EQ(ManufacturerText(*host.info), "ZLBR");
    EXPECT_EQ(host.info->maxCurrent, 20);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(TransferSequenceTest, APortThatDoesNotOpenChangesNothingAndDisconnectStopsTheRequests)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--silent"}));
    EXPECT_THROW(sequence.Connect("/nonexistent/zelbor-port"), ECommsError);
    EXPECT_EQ(host.log, std::vector<std::string>{"open 1200"});
    EXPECT_EQ(sequence.TransferMode, tmIdle);
    EXPECT_FALSE(host.state);

    // A controller that never answers: requests go on until Disconnect, which keeps the mode.
    sequence.Connect(line.Port());
    ASSERT_TRUE(RunUntil([&] { return host.Count("send 11 51 04 B0 05") == 2; }));
    sequence.Disconnect();
    EXPECT_FALSE(host.timerSince);
    EXPECT_EQ(host.state, ConnectionState::Disconnected);
    EXPECT_EQ(sequence.TransferMode, tmConnect);
    RunFor(800ms);
    EXPECT_EQ(host.Count("send 11 51 04 B0 05"), 2);

    // On the closed port every request is refused with its own message, and no retry follows.
    sequence.ConnectTimerElapsed();
    sequence.ReadBlock(bcPedalAssist);
    host.values = ParameterValues{};
    host.values.basic.cbbBasWheelDiam = 10;
    sequence.WriteAll();
    EXPECT_EQ(host.Keys(), (std::vector<std::string>{"err4", "err5", "err6"}));
    for (const Shown& m : host.messages)
        EXPECT_EQ(m.flags, mbIconError);
    EXPECT_FALSE(host.timerSince);
    EXPECT_EQ(sequence.TransferMode, tmWriteAll);
}

// ---- Reading ----

TEST_F(TransferSequenceTest, ReadFlashReadsTheThreeBlocksInOrderAndReportsOnce)
{
    ASSERT_NO_FATAL_FAILURE(Start({}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    sequence.ReadAll();
    EXPECT_EQ(sequence.TransferMode, tmReadAll);
    RunToEnd();
    // The message comes before the mode returns to idle.
    EXPECT_EQ(host.log,
              (std::vector<std::string>{"wait 50", "send 11 52", "values R", "reopen (read all)", "wait 50",
                                        "send 11 53", "values S", "reopen (read all)", "wait 50", "send 11 54",
                                        "values T", "reopen (read all)", "message err47 (read all)"}));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].flags, mbIconInformation);
    EXPECT_EQ(sequence.TransferMode, tmIdle);
    EXPECT_EQ(sequence.ReopenCount, 3);
    // The controller's own values (tools/virtual-controller).
    EXPECT_EQ(host.values.basic.cbbBasLowBat, 41);
    EXPECT_EQ(host.values.basic.speBasCurrLim, 20);
    EXPECT_EQ(host.values.basic.cbbBasWheelDiam, 10);
    EXPECT_EQ(host.values.pedalAssist.cbbPASSpdLim, 11);
    EXPECT_EQ(host.values.throttle.speThrEndVolt, 35);
}

TEST_F(TransferSequenceTest, EachSingleReadEndsWithItsOwnMessageInIdleOrBeforeIt)
{
    ASSERT_NO_FATAL_FAILURE(Start({}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    // Basic and Pedal Assist report after the mode is idle again, Throttle Handle before.
    const std::tuple<std::uint8_t, const char*, int> reads[] = {
        {bcBasic, "err7", tmIdle}, {bcPedalAssist, "err33", tmIdle}, {bcThrottle, "err46", tmReadBlock}};
    for (const auto& [block, key, mode] : reads) {
        host.messages.clear();
        sequence.ReadBlock(block);
        RunToEnd();
        ASSERT_EQ(host.Keys(), std::vector<std::string>{key});
        EXPECT_EQ(host.messages[0].mode, mode) << key;
    }
    EXPECT_EQ(host.Sent("11"), (std::vector<std::string>{"11 52", "11 53", "11 54"}));
    EXPECT_EQ(sequence.ReopenCount, 3);
}

TEST_F(TransferSequenceTest, RepliesInTheWrongModeOrTooShortAreDropped)
{
    ASSERT_NO_FATAL_FAILURE(Start({}));
    const Bytes info = {0x51, 0x10, 'A', 'C', 'M', 'E', 'M', 'D', '0', '1', '1', '2', '2', '0', '1', '5', 2, 25};
    Feed(info); // idle, before any connect
    EXPECT_FALSE(host.info);
    ASSERT_NO_FATAL_FAILURE(Connect());

    Bytes basic(26, 0);
    basic[0] = 0x52;
    basic[2] = 41;
    basic[24] = 52;
    for (TTransferMode mode : {tmIdle, tmConnect}) {
        sequence.TransferMode = mode;
        Feed(basic);
        EXPECT_EQ(sequence.TransferMode, mode);
    }
    sequence.TransferMode = tmReadBlock;
    Feed(info);                                     // an identification during a read
    Feed({0x99, 0x01, 0x02});                       // no block at all
    Feed(Bytes(basic.begin(), basic.begin() + 25)); // one byte short
    sequence.TransferMode = tmWriteBlock;
    Feed({0x53}); // an acknowledgement of only the block code
    EXPECT_TRUE(host.log.empty()) << host.log.front();
    EXPECT_EQ(sequence.ReopenCount, 0);
    EXPECT_EQ(ManufacturerText(*host.info), "ZLBR");

    // A Throttle Handle read reply during a single write is an acknowledgement: byte 1 refuses the mode.
    Feed({0x54, 0x02, 0x30, 0x00, 0x01, 0xFF, 0xFF, 0x0A});
    EXPECT_EQ(host.Keys(), std::vector<std::string>{"err50"});
    EXPECT_EQ(host.refused, std::vector<std::string>{"cbbThrMode"});
    EXPECT_EQ(sequence.TransferMode, tmWriteBlock);
}

// ---- Writing ----

TEST_F(TransferSequenceTest, WriteFlashWritesTheThreeBlocksInOrderAndTheControllerKeepsThem)
{
    ASSERT_NO_FATAL_FAILURE(Start({}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_NO_FATAL_FAILURE(ReadFlash());
    host.values.pedalAssist.spePASKeepCurr = 33;
    host.values.throttle.cbbThrMode = 1;
    sequence.WriteAll();
    RunToEnd();
    // Each frame after its wait; reopened before the Pedal Assist frame, before the Throttle Handle
    // frame and before the one message, which comes before the mode returns to idle.
    EXPECT_EQ(host.log,
              (std::vector<std::string>{"wait 50", SendOf(bcBasic), "reopen (write all)", "wait 50",
                                        SendOf(bcPedalAssist), "reopen (write all)", "wait 50", SendOf(bcThrottle),
                                        "reopen (write all)", "message err55 (write all)"}));
    EXPECT_EQ(host.messages[0].flags, mbIconInformation);
    EXPECT_EQ(sequence.TransferMode, tmIdle);

    host.values = ParameterValues{};
    ASSERT_NO_FATAL_FAILURE(ReadFlash());
    EXPECT_EQ(host.values.pedalAssist.spePASKeepCurr, 33);
    EXPECT_EQ(host.values.throttle.cbbThrMode, 1);
}

TEST_F(TransferSequenceTest, SingleWritesEndWithTheirMessages)
{
    ASSERT_NO_FATAL_FAILURE(Start({}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_NO_FATAL_FAILURE(ReadFlash());
    // Basic reports, then returns to idle and reopens; Pedal Assist returns to idle and reopens,
    // then reports; Throttle Handle reopens, reports, then returns to idle.
    const std::pair<std::uint8_t, std::vector<std::string>> writes[] = {
        {bcBasic, {"message err32 (write block)", "reopen (idle)"}},
        {bcPedalAssist, {"reopen (idle)", "message err45 (idle)"}},
        {bcThrottle, {"reopen (write block)", "message err54 (write block)"}},
    };
    for (const auto& [block, ending] : writes) {
        host.log.clear();
        host.messages.clear();
        std::vector<std::string> expected = {"wait 50", SendOf(block)};
        expected.insert(expected.end(), ending.begin(), ending.end());
        sequence.WriteBlock(block);
        RunToEnd();
        EXPECT_EQ(host.log, expected);
        EXPECT_EQ(host.messages[0].flags, mbIconInformation);
        EXPECT_EQ(sequence.TransferMode, tmIdle);
    }
}

TEST_F(TransferSequenceTest, ARefusedFieldIsShownAfterItsMessageInBothModes)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--refuse", "S:3", "--refuse", "T:5"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_NO_FATAL_FAILURE(ReadFlash());

    // A single Pedal Assist write: the warning, the field, then the end of the write all the same.
    sequence.WriteBlock(bcPedalAssist);
    RunToEnd();
    EXPECT_EQ(host.Keys(), (std::vector<std::string>{"err37", "err45"}));
    EXPECT_EQ(host.messages[0].flags, mbIconWarning);
    EXPECT_EQ(host.refused, std::vector<std::string>{"spePASStartCurr"});
    const auto warning = std::find(host.log.begin(), host.log.end(), "message err37 (write block)");
    ASSERT_NE(warning, host.log.end());
    EXPECT_EQ(*(warning + 1), "show spePASStartCurr");
    EXPECT_EQ(sequence.TransferMode, tmIdle);

    // Write Flash stops at the refusal: no Throttle Handle frame, the mode stays.
    host.log.clear();
    host.messages.clear();
    host.refused.clear();
    sequence.WriteAll();
    ASSERT_TRUE(RunUntil([&] { return !host.messages.empty(); }));
    RunFor(500ms);
    EXPECT_EQ(host.Keys(), std::vector<std::string>{"err37"});
    EXPECT_EQ(host.refused, std::vector<std::string>{"spePASStartCurr"});
    EXPECT_EQ(host.Sent("16"), (std::vector<std::string>{"16 52", "16 53"}));
    EXPECT_EQ(sequence.TransferMode, tmWriteAll);

    // A refused Throttle Handle field leaves mode and port alone, in either mode.
    for (TTransferMode mode : {tmWriteBlock, tmWriteAll}) {
        host.messages.clear();
        host.refused.clear();
        sequence.ReopenCount = 0;
        sequence.TransferMode = mode;
        sequence.SendWriteFrame(bcThrottle);
        ASSERT_TRUE(RunUntil([&] { return !host.messages.empty(); }));
        RunFor(300ms);
        EXPECT_EQ(host.Keys(), std::vector<std::string>{"err53"});
        EXPECT_EQ(host.refused, std::vector<std::string>{"speThrStartCurr"});
        EXPECT_EQ(sequence.TransferMode, mode);
        EXPECT_EQ(sequence.ReopenCount, 0);
    }
}

TEST_F(TransferSequenceTest, ResultsBeyondTheFieldCount)
{
    ASSERT_NO_FATAL_FAILURE(Start({}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    // Basic: nothing shown, a single write still ends. Pedal Assist: only the end of the single
    // write. Throttle Handle: nothing at all. Write Flash: the chain stops without a word.
    sequence.TransferMode = tmWriteBlock;
    Feed({0x52, 200});
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(sequence.TransferMode, tmIdle);
    EXPECT_EQ(sequence.ReopenCount, 1);

    sequence.TransferMode = tmWriteBlock;
    Feed({0x53, 200});
    EXPECT_EQ(host.Keys(), std::vector<std::string>{"err45"});
    EXPECT_EQ(sequence.TransferMode, tmIdle);
    EXPECT_EQ(sequence.ReopenCount, 2);

    host.messages.clear();
    for (TTransferMode mode : {tmWriteBlock, tmWriteAll}) {
        sequence.TransferMode = mode;
        Feed({0x54, 7});
        EXPECT_EQ(sequence.TransferMode, mode);
    }
    sequence.TransferMode = tmWriteAll;
    Feed({0x52, 25});
    Feed({0x53, 12});
    EXPECT_EQ(sequence.TransferMode, tmWriteAll);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(sequence.ReopenCount, 2);
    EXPECT_TRUE(host.Sent("16").empty());
}

TEST_F(TransferSequenceTest, AValueThatIsNoNumberStopsTheWriteBeforeAnythingIsSent)
{
    ASSERT_NO_FATAL_FAILURE(Start({}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    host.values = ParameterValues{}; // no wheel selected and no wheel byte kept
    EXPECT_THROW(sequence.WriteAll(), EConvertError);
    EXPECT_EQ(sequence.TransferMode, tmWriteAll);
    EXPECT_TRUE(host.log.empty()) << host.log.front(); // not even the wait before sending
}

// ---- Failures and chunks during a message box ----

TEST_F(TransferSequenceTest, AnIdentificationWhoseReopenFailsStillEndsIdentifying)
{
    // The mode is idle before the port is reopened: when the reopen fails, a late second
    // identification is dropped rather than handled once more.
    ASSERT_NO_FATAL_FAILURE(Start({"--silent"}));
    sequence.Connect(line.Port());
    host.log.clear();
    line.Unplug(); // the controller, and so the port, disappears
    const Bytes info = {0x51, 0x10, 'A', 'C', 'M', 'E', 'M', 'D', '0', '1', '1', '2', '2', '0', '1', '5', 2, 25};
    Feed(info);
    const std::vector<std::string> expected = {"timer off", "identification", "connected", "reopen (idle)",
                                               "failure Error opening serial port"};
    EXPECT_EQ(host.log, expected);
    EXPECT_EQ(sequence.TransferMode, tmIdle);
    Feed(info);
    EXPECT_EQ(host.log, expected);
}

TEST_F(TransferSequenceTest, AFailedReopenEndsTheHandlerAndLaterReadsAreRefused)
{
    ASSERT_NO_FATAL_FAILURE(Start({}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    line.Unplug(); // the controller, and so the port, disappears
    sequence.TransferMode = tmReadBlock;
    Bytes throttle = {0x54, 0x06, 11, 35, 1, 0xFF, 0xFF, 10};
    Feed(throttle);
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0], "Error opening serial port");
    EXPECT_EQ(host.log,
              (std::vector<std::string>{"values T", "reopen (read block)", "failure Error opening serial port"}));
    EXPECT_TRUE(host.messages.empty()); // no err46, no mode change
    EXPECT_EQ(sequence.TransferMode, tmReadBlock);
    EXPECT_EQ(host.values.throttle.cbbThrMode, 1); // shown before the reopen

    // Nothing is left marked as running: the next chunk is handled, and reads are refused.
    Feed(throttle);
    EXPECT_EQ(host.failures.size(), 2u);
    sequence.ReadBlock(bcBasic);
    EXPECT_EQ(host.Keys(), std::vector<std::string>{"err5"});
}

TEST_F(TransferSequenceTest, RepliesArrivingDuringABoxWaitForItAndFindTheModeItLeft)
{
    // The Throttle Handle reply, the last of Read Flash, comes five more times, each after a pause
    // longer than the quiet interval that ends a chunk.
    ASSERT_NO_FATAL_FAILURE(
        Start({"--fault-scope", "read", "--fault-frame", "3", "--repeat", "5", "--repeat-gap", "250"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    int open = 0, mostOpen = 0;
    std::size_t waited = 0;
    host.whileBoxOpen = [&] {
        mostOpen = std::max(mostOpen, ++open);
        if (open == 1 && host.messages.size() == 1) {
            RunUntil([&] { return sequence.PendingChunkCount() == 5; });
            waited = sequence.PendingChunkCount();
        }
        --open;
    };
    sequence.ReadAll();
    RunToEnd();
    EXPECT_EQ(waited, 5u);
    EXPECT_EQ(mostOpen, 1);
    EXPECT_EQ(host.Keys(), std::vector<std::string>{"err47"}); // the repetitions found the mode idle
    EXPECT_EQ(sequence.PendingChunkCount(), 0u);
    EXPECT_EQ(host.Count("values T"), 1);
}

TEST_F(TransferSequenceTest, AtMostEightChunksWaitAndEachIsHandledAfterTheBoxBeforeIt)
{
    ASSERT_NO_FATAL_FAILURE(Start({}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    int open = 0, mostOpen = 0;
    bool streamed = false;
    host.whileBoxOpen = [&] {
        mostOpen = std::max(mostOpen, ++open);
        if (!std::exchange(streamed, true))
            for (int i = 0; i < 50; ++i) // a peer that keeps sending refusals
                Feed({0x54, 0x00});
        --open;
    };
    // Write Flash stays on after a refused Throttle Handle field, so every waiting refusal is
    // handled in turn; those beyond the bound were dropped.
    sequence.TransferMode = tmWriteAll;
    Feed({0x54, 0x00});
    EXPECT_EQ(mostOpen, 1);
    EXPECT_EQ(host.messages.size(), 1 + TTransferSequence::kMaxPendingChunks);
    for (const Shown& m : host.messages)
        EXPECT_EQ(m.key, "err48");
    EXPECT_EQ(sequence.PendingChunkCount(), 0u);
}

// ---- The controller's limits are the table's ----

namespace {

// The result that refuses a field's data byte: its own, or that of the field it shares the byte with.
const ParameterField& NamedByItsByte(const ParameterField& f)
{
    for (const ParameterField* other : BlockFields(f.block))
        if (other->dataByte == f.dataByte && other->ackIndex >= 0)
            return *other;
    return f;
}

struct Probe {
    const ParameterField* field;
    int value;     // the record's value, or
    KeptByte kept; // for a list, the bits sent in place of an item
    bool accepted;
};

std::string Describe(const Probe& p)
{
    return p.field->control + (p.kept ? " bits " + std::to_string(*p.kept) : " = " + std::to_string(p.value)) +
           (p.accepted ? " (accepted)" : " (refused)");
}

} // namespace

TEST_F(TransferSequenceTest, TheControllerAcceptsWhatTheTableAllowsAndRefusesTheRest)
{
    // A 48 V controller of 20 A: its own low-battery volts and maximum current, and the table's
    // ranges and items for every other field.
    ASSERT_NO_FATAL_FAILURE(Start({"--voltage-code", "2", "--max-current", "20"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_NO_FATAL_FAILURE(ReadFlash());
    const ParameterValues read = host.values;

    // Every value a field may take, and its neighbours beyond the bounds and bits that are no item's.
    std::vector<Probe> probes;
    for (const ParameterField& f : ParameterTable()) {
        const int top = static_cast<int>(f.Mask());
        switch (f.kind) {
        case ControlKind::VoltsText:
            for (int v : {37, 38, 43, 44})
                probes.push_back({&f, v, {}, v >= 38 && v <= 43});
            break;
        case ControlKind::Spin: {
            const int maximum = f.control == "speBasCurrLim" ? 20 : f.maximum;
            for (int v : {f.minimum - 1, f.minimum, maximum, maximum + 1})
                if (v >= 0 && v <= top)
                    probes.push_back({&f, v, {}, v >= f.minimum && v <= maximum});
            break;
        }
        case ControlKind::List: {
            for (int i = 0; i < f.ItemCount(); ++i)
                probes.push_back({&f, i, {}, true});
            std::vector<int> foreign;
            for (int bits = 0; bits <= top; ++bits) {
                const int index = f.ItemIndex(static_cast<unsigned>(bits));
                if (index < 0 || static_cast<int>(f.ItemBits(index)) != bits)
                    foreign.push_back(bits);
            }
            ASSERT_FALSE(foreign.empty()) << f.control;
            for (int bits : {foreign.front(), foreign.back()})
                probes.push_back({&f, -1, KeptByte{static_cast<std::uint8_t>(bits)}, false});
            break;
        }
        }
    }

    auto set = [](ParameterValues& v, const Probe& p) {
        p.field->Value(v) = p.value;
        if (KeptByte* kept = p.field->Kept(v))
            *kept = p.kept;
    };
    auto write = [&](std::uint8_t block, const ParameterValues& values) {
        host.values = values;
        host.messages.clear();
        sequence.WriteBlock(block);
        return RunUntil([&] { return !host.messages.empty(); }) ? host.messages[0].key : std::string("(none)");
    };
    // The values a field may take go out together, round by round: the k-th of every field of a
    // block in one frame (a field with fewer repeats its last), all of them accepted.
    for (const BlockInfo& block : Blocks()) {
        std::map<const ParameterField*, std::vector<const Probe*>> accepted;
        std::size_t rounds = 0;
        for (const Probe& p : probes) {
            if (!p.accepted || p.field->block != block.code)
                continue;
            accepted[p.field].push_back(&p);
            rounds = std::max(rounds, accepted[p.field].size());
        }
        const char* const done = block.code == bcBasic ? "err32" : block.code == bcPedalAssist ? "err45" : "err54";
        for (std::size_t k = 0; k < rounds; ++k) {
            ParameterValues values = read;
            std::string what;
            for (const auto& [field, list] : accepted) {
                set(values, *list[std::min(k, list.size() - 1)]);
                what += Describe(*list[std::min(k, list.size() - 1)]) + "; ";
            }
            SCOPED_TRACE(what);
            EXPECT_EQ(write(block.code, values), done);
        }
    }
    // Each value a field may not take alone: refused by the result that names its data byte.
    for (const Probe& p : probes) {
        if (p.accepted)
            continue;
        SCOPED_TRACE(Describe(p));
        ParameterValues values = read;
        set(values, p);
        EXPECT_EQ(write(p.field->block, values), NamedByItsByte(*p.field).ackKey);
    }
    EXPECT_GT(probes.size(), 300u);
}

#endif

} // namespace
} // namespace zelbor::test
