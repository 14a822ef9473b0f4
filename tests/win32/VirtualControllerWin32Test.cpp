// SPDX-License-Identifier: GPL-3.0-or-later
// End to end under Wine: the virtual controller on the Linux side, TComm with the main window's
// settings on the Windows side, one pseudo-terminal between them.
#include "WineTestSupport.h"
#include "protocol/Communication.h"
#include "serial/CommPortSettings.h"

#include <gtest/gtest.h>

namespace zelbor::test {
namespace {

class VirtualControllerWin32Test : public ::testing::Test {
protected:
    void Start(const std::string& args)
    {
        ASSERT_TRUE(peer.Connected()) << "no peer at ZELBOR_WINE_PEER; run through tests/win32/run-wine-tests.sh";
        const std::string r = peer.Request("VC " + LinkOf(port) + " " + args);
        ASSERT_EQ(r.rfind("OK ", 0), 0u) << r;
        ApplyCommPortSettings(comm);
        comm.SetCommName(port);
        rec.Attach(comm);
        try {
            comm.OpenPort();
        } catch (const ECommsError& e) {
            FAIL() << e.what() << " / " << e.Detail();
        }
    }
    void TearDown() override
    {
        comm.ClosePort();
        peer.Request("VCSTOP " + LinkOf(port));
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

    const std::string port = Env("ZELBOR_WINE_VC_PORT", "COM2");
    Peer peer;
    NotifyQueue queue;
    TComm comm{queue};
    Recorder rec;
};

TEST_F(VirtualControllerWin32Test, IdentifiesAndReadsEveryBlockInOneChunkEach)
{
    ASSERT_NO_FATAL_FAILURE(Start("--manufacturer ZLBR --model Q100 --max-current 25")); // paced at 1200 baud
    const auto info = DecodeInfoReply(Exchange(IdentifyRequest()));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(ManufacturerText(*info), "ZLBR");
    EXPECT_EQ(ModelText(*info), "Q100");
    EXPECT_EQ(MaxCurrentText(*info), "25A");
    Reopen();
    const auto basic = DecodeBasic(Exchange(ReadRequest(bcBasic)));
    ASSERT_TRUE(basic);
    Reopen();
    auto pas = DecodePedalAssist(Exchange(ReadRequest(bcPedalAssist)));
    ASSERT_TRUE(pas);
    Reopen();
    auto thr = DecodeThrottle(Exchange(ReadRequest(bcThrottle)));
    ASSERT_TRUE(thr);
    Reopen();
    thr->speThrEndVolt = 40;
    EXPECT_EQ(Exchange(WriteFrame(bcThrottle, EncodeThrottle(*thr))), (std::vector<std::uint8_t>{bcThrottle, 6}));
    Reopen();
    EXPECT_EQ(DecodeThrottle(Exchange(ReadRequest(bcThrottle))), thr);
    EXPECT_TRUE(rec.zeroAfterEveryChunk);
    EXPECT_EQ(rec.hangups, 0);
}

TEST_F(VirtualControllerWin32Test, AReplySentInTwoHalvesArrivesAsTwoChunks)
{
    ASSERT_NO_FATAL_FAILURE(Start("--no-pacing --split 300"));
    const auto first = Exchange(ReadRequest(bcThrottle));
    ASSERT_TRUE(queue.PumpUntil(comm, [&] { return rec.chunks.size() >= 2; }));
    EXPECT_EQ(first.size() + rec.chunks[1].size(), rec.Bytes());
    EXPECT_EQ(rec.chunks.size(), 2u);
    EXPECT_EQ(first.at(0), bcThrottle);
}

TEST_F(VirtualControllerWin32Test, HangingUpMidReplyReachesTheComponentAsHangup)
{
    ASSERT_NO_FATAL_FAILURE(Start("--no-pacing --hangup-after 2"));
    ASSERT_FALSE(Exchange(ReadRequest(bcThrottle)).empty());
    const std::size_t before = rec.Bytes();
    const auto frame = ReadRequest(bcBasic);
    ASSERT_TRUE(comm.SendData(frame.data(), 2));
    ASSERT_TRUE(queue.PumpUntil(comm, [&] { return rec.hangups >= 1; }));
    EXPECT_EQ(rec.Bytes() - before, 13u); // half of the 27-byte reply, then the line went dead
}

} // namespace
} // namespace zelbor::test
