// SPDX-License-Identifier: GPL-3.0-or-later
// End to end: the virtual controller program on one side, TComm with the main window's
// settings on the other, talking over a real pseudo-terminal.
#include "SerialTestSupport.h"
#include "VirtualControllerProcess.h"
#include "protocol/Communication.h"
#include "serial/CommPortSettings.h"
#include "serial/PortDiscovery.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace zelbor::test {
namespace {

namespace fs = std::filesystem;

#ifdef ZELBOR_VIRTUAL_CONTROLLER

class VirtualControllerTest : public ::testing::Test {
protected:
    void Connect(Controller& vc)
    {
        ASSERT_FALSE(vc.port.empty()) << "the controller did not announce a port";
        ApplyCommPortSettings(comm);
        comm.SetCommName(vc.port);
        rec.Attach(comm);
        ASSERT_NO_THROW(comm.OpenPort());
    }
    // Sends a frame and waits for the next chunk; empty when none came within `wait`.
    std::vector<std::uint8_t> Exchange(const Bytes& frame, std::chrono::milliseconds wait = 5000ms)
    {
        const std::size_t before = rec.chunks.size();
        EXPECT_TRUE(comm.SendData(frame.data(), static_cast<std::uint16_t>(frame.size())));
        if (!queue.PumpUntil(
                comm, [&] { return rec.chunks.size() > before; }, wait))
            return {};
        return rec.chunks[before];
    }
    void Reopen()
    {
        comm.ClosePort();
        comm.OpenPort();
    }

    NotifyQueue queue;
    TComm comm{queue};
    Recorder rec;
};

TEST_F(VirtualControllerTest, IdentifiesReadsWritesAndRefusesLikeAController)
{
    Controller vc({"--manufacturer", "ZLBR", "--model", "Q100", "--hardware", "12", "--firmware", "2015",
                   "--voltage-code", "2", "--max-current", "25", "--refuse", "S:3"});
    ASSERT_FALSE(vc.port.empty());
    // The port announces itself where discovery looks.
    EXPECT_EQ(ListSerialPorts("/nonexistent", "/nonexistent", (vc.folder / "ports").string()),
              std::vector<std::string>{vc.port});
    ASSERT_NO_FATAL_FAILURE(Connect(vc));

    const auto info = DecodeInfoReply(Exchange(IdentifyRequest()));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(ManufacturerText(*info), "ZLBR");
    EXPECT_EQ(ModelText(*info), "Q100");
    EXPECT_EQ(HardwareVersionText(*info), "V1.2");
    EXPECT_EQ(FirmwareVersionText(*info), "V2.0.1.5");
    EXPECT_EQ(NominalVoltageText(*info), "48V");
    EXPECT_EQ(MaxCurrentText(*info), "25A");
    Reopen();

    // Read all three blocks, each reply in one chunk (paced at 1200 baud).
    const auto basicReply = Exchange(ReadRequest(bcBasic));
    ASSERT_GE(basicReply.size(), kBasicReplyMinLength);
    EXPECT_EQ(basicReply[0], bcBasic);
    auto basic = DecodeBasic(basicReply);
    ASSERT_TRUE(basic);
    EXPECT_GE(basic->cbbBasLowBat, 38);
    EXPECT_LE(basic->cbbBasLowBat, 43);
    Reopen();
    const auto pasReply = Exchange(ReadRequest(bcPedalAssist));
    auto pas = DecodePedalAssist(pasReply);
    ASSERT_TRUE(pas);
    Reopen();
    const auto thrReply = Exchange(ReadRequest(bcThrottle));
    auto thr = DecodeThrottle(thrReply);
    ASSERT_TRUE(thr);
    Reopen();

    // Write them back, one changed value each; the accepted ones are stored.
    basic->speBasCurrLim = 17;
    EXPECT_EQ(Exchange(WriteFrame(bcBasic, EncodeBasic(*basic))), (std::vector<std::uint8_t>{bcBasic, 24}));
    Reopen();
    EXPECT_EQ(DecodeBasic(Exchange(ReadRequest(bcBasic))), basic);
    Reopen();
    // The controller was told to refuse the Pedal Assist start current (field 3).
    EXPECT_EQ(Exchange(WriteFrame(bcPedalAssist, EncodePedalAssist(*pas))),
              (std::vector<std::uint8_t>{bcPedalAssist, 3}));
    Reopen();
    thr->speThrEndVolt = 40;
    EXPECT_EQ(Exchange(WriteFrame(bcThrottle, EncodeThrottle(*thr))), (std::vector<std::uint8_t>{bcThrottle, 6}));
    Reopen();

    // Beyond the controller's limits: the first field out of range is named, nothing is stored.
    auto bad = *thr;
    bad.cbbThrMode = 1;
    bad.speThrStartCurr = 0; // field 5
    EXPECT_EQ(Exchange(WriteFrame(bcThrottle, EncodeThrottle(bad))), (std::vector<std::uint8_t>{bcThrottle, 5}));
    Reopen();
    EXPECT_EQ(DecodeThrottle(Exchange(ReadRequest(bcThrottle))), thr);
    Reopen();
    auto badBasic = *basic;
    badBasic.speBasCurrLim = 26;          // field 1, above the maximum current
    badBasic.speBasAssistSpdLim[0] = 101; // field 3, counted after field 1
    EXPECT_EQ(Exchange(WriteFrame(bcBasic, EncodeBasic(badBasic))), (std::vector<std::uint8_t>{bcBasic, 1}));
    Reopen();
    badBasic.speBasCurrLim = 25;
    EXPECT_EQ(Exchange(WriteFrame(bcBasic, EncodeBasic(badBasic))), (std::vector<std::uint8_t>{bcBasic, 3}));
    EXPECT_TRUE(rec.zeroAfterEveryChunk);

    comm.ClosePort();
    EXPECT_EQ(vc.Stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(vc.port))); // the link went with it
}

TEST_F(VirtualControllerTest, AnswersTheIdentificationOnlyOnTheNthRequest)
{
    Controller vc({"--no-pacing", "--identify-on", "3"});
    ASSERT_NO_FATAL_FAILURE(Connect(vc));
    EXPECT_TRUE(Exchange(IdentifyRequest(), 600ms).empty());
    EXPECT_TRUE(Exchange(IdentifyRequest(), 600ms).empty());
    const auto reply = Exchange(IdentifyRequest());
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], bcIdentify);
}

TEST_F(VirtualControllerTest, FaultOptionsShapeTheReplies)
{
    Controller vc({"--no-pacing", "--split", "400", "--prefix", "00 FF"});
    ASSERT_NO_FATAL_FAILURE(Connect(vc));
    const auto first = Exchange(ReadRequest(bcThrottle));
    ASSERT_TRUE(queue.PumpUntil(comm, [&] { return rec.chunks.size() >= 2; }));
    // Prefix and reply (2 + 9 bytes) came as two chunks split in the middle.
    EXPECT_EQ(first, (std::vector<std::uint8_t>{0x00, 0xFF, bcThrottle, 6, 11}));
    EXPECT_EQ(rec.chunks[1].size(), 6u);
    EXPECT_EQ(rec.Bytes(), 11u);
}

TEST_F(VirtualControllerTest, RawReadRepliesAndSilence)
{
    {
        Controller vc({"--no-pacing", "--read-reply", "52 01 02 03"});
        ASSERT_NO_FATAL_FAILURE(Connect(vc));
        EXPECT_EQ(Exchange(ReadRequest(bcPedalAssist)), (std::vector<std::uint8_t>{0x52, 0x01, 0x02, 0x03}));
        comm.ClosePort();
    }
    Controller quiet({"--no-pacing", "--silent"});
    comm.SetCommName(quiet.port);
    comm.OpenPort();
    EXPECT_TRUE(Exchange(ReadRequest(bcBasic), 600ms).empty());
}

TEST_F(VirtualControllerTest, StoreDiffersAcknowledgesTheWriteButStoresTheByteOneHigher)
{
    Controller vc({"--no-pacing", "--store-differs", "R:1", "--store-differs", "0x53:7"});
    ASSERT_NO_FATAL_FAILURE(Connect(vc));
    auto basic = DecodeBasic(Exchange(ReadRequest(bcBasic)));
    ASSERT_TRUE(basic);
    Reopen();
    basic->speBasCurrLim = 17;
    basic->speBasAssistCurrLim[0] = 7;
    EXPECT_EQ(Exchange(WriteFrame(bcBasic, EncodeBasic(*basic))), (std::vector<std::uint8_t>{bcBasic, 24}));
    Reopen();
    auto stored = *basic;
    stored.speBasCurrLim = 18; // data byte 1; its neighbour is stored as written
    EXPECT_EQ(DecodeBasic(Exchange(ReadRequest(bcBasic))), stored);
    Reopen();

    // Modulo 256: the stop delay (data byte 7, 0..255) written as 255 is stored as 0.
    auto pas = DecodePedalAssist(Exchange(ReadRequest(bcPedalAssist)));
    ASSERT_TRUE(pas);
    Reopen();
    pas->spePASStopDelay = 255;
    pas->spePASKeepCurr = 33;
    EXPECT_EQ(Exchange(WriteFrame(bcPedalAssist, EncodePedalAssist(*pas))),
              (std::vector<std::uint8_t>{bcPedalAssist, 11}));
    Reopen();
    auto storedPas = *pas;
    storedPas.spePASStopDelay = 0;
    EXPECT_EQ(DecodePedalAssist(Exchange(ReadRequest(bcPedalAssist))), storedPas);
    Reopen();

    // A block not named keeps what was written.
    auto thr = DecodeThrottle(Exchange(ReadRequest(bcThrottle)));
    ASSERT_TRUE(thr);
    Reopen();
    thr->speThrEndVolt = 40;
    EXPECT_EQ(Exchange(WriteFrame(bcThrottle, EncodeThrottle(*thr))), (std::vector<std::uint8_t>{bcThrottle, 6}));
    Reopen();
    EXPECT_EQ(DecodeThrottle(Exchange(ReadRequest(bcThrottle))), thr);
}

TEST_F(VirtualControllerTest, HangingUpMidReplyReachesTheComponentAsHangup)
{
    Controller vc({"--no-pacing", "--hangup-after", "2"});
    ASSERT_NO_FATAL_FAILURE(Connect(vc));
    ASSERT_FALSE(Exchange(ReadRequest(bcThrottle)).empty());
    const std::size_t before = rec.Bytes();
    const auto frame = ReadRequest(bcBasic);
    ASSERT_TRUE(comm.SendData(frame.data(), 2));
    ASSERT_TRUE(queue.PumpUntil(comm, [&] { return rec.hangups >= 1; }));
    EXPECT_EQ(rec.Bytes() - before, 13u); // half of the 27-byte reply, then the line went dead
    comm.ClosePort();
    for (int i = 0; i < 100 && !vc.Exited(); ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(vc.Exited());
    EXPECT_EQ(vc.status, 0);
}

#endif

} // namespace
} // namespace zelbor::test
