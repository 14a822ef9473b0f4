// SPDX-License-Identifier: GPL-3.0-or-later
// TComm as every backend must behave, against a real line: a pseudo-terminal whose far end the
// test plays on this machine, and the same cases for the Windows build under Wine, where the peer
// plays the far end of a Win32 port (CommFixture.h). What only one backend has is in
// CommTermiosTest.cpp and ../win32/CommWin32Test.cpp.
#include "CommFixture.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>

namespace zelbor::test {
namespace {

// ---- Opening ----

TEST_F(CommTest, OpenFailuresUseTheFixedTextsAndLeaveThePortClosed)
{
    TComm other(queue);
    for (const BadPort& bad : farEnd.BadPorts()) {
        SCOPED_TRACE("port \"" + bad.name + "\"");
        other.SetCommName(bad.name);
        const OpenFailure e = OpenError(other);
        EXPECT_EQ(e.text, bad.text);
        if (!bad.detail.empty()) {
            EXPECT_NE(e.detail.find(bad.detail), std::string::npos) << e.detail;
        }
        EXPECT_EQ(other.ComHandle(), 0);
    }
    // None of the failures left the name held: the real port still opens.
    other.SetCommName(farEnd.Name());
    EXPECT_NO_THROW(other.OpenPort());
}

TEST_F(CommTest, SecondOpenRaisesAndTheOpenPortKeepsWorking)
{
    OpenOrFail();
    const auto handle = comm.ComHandle();
    EXPECT_GT(handle, 0);
    EXPECT_EQ(OpenError(comm).text, "This serial port already opened");
    EXPECT_EQ(comm.ComHandle(), handle);
    ASSERT_TRUE(farEnd.Write({0x52, 0x18}));
    ASSERT_TRUE(PumpUntilBytes(2));
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x52, 0x18}));
}

TEST_F(CommTest, APortHeldByAnotherComponentIsBusyUnderEitherName)
{
    OpenOrFail();
    TComm second(queue);
    second.SetCommName(farEnd.Name());
    const OpenFailure e = OpenError(second);
    EXPECT_EQ(e.text, "Error opening serial port");
    EXPECT_NE(e.detail.find("held by another program"), std::string::npos) << e.detail;
    EXPECT_EQ(second.ComHandle(), 0);
    const std::string other = farEnd.OtherName(); // a link to it, or its device-namespace spelling
    ASSERT_FALSE(other.empty());
    second.SetCommName(other);
    EXPECT_EQ(OpenError(second).text, "Error opening serial port");

    comm.ClosePort(); // released: the other one may have it now
    EXPECT_NO_THROW(second.OpenPort());
    second.ClosePort();
}

// ---- Sending ----

TEST_F(CommTest, SendDataRefusesWhenClosedOrEmptyAndCopiesOtherwise)
{
    const std::uint8_t frame[] = {0x11, 0x52};
    EXPECT_FALSE(comm.SendData(frame, 2)); // closed
    OpenOrFail();
    EXPECT_FALSE(comm.SendData(frame, 0));
    EXPECT_FALSE(comm.SendData(nullptr, 2));
    std::uint8_t buffer[] = {0x11, 0x51, 0x04, 0xB0, 0x05};
    ASSERT_TRUE(comm.SendData(buffer, 5));
    std::fill(std::begin(buffer), std::end(buffer), 0xEE); // the queued copy is the component's own
    ASSERT_TRUE(comm.SendData(frame, 2));                  // queued behind, in order
    EXPECT_EQ(farEnd.Read(7), (std::vector<std::uint8_t>{0x11, 0x51, 0x04, 0xB0, 0x05, 0x11, 0x52}));
    EXPECT_TRUE(farEnd.Read(1, 300ms).empty()); // nothing for the refused calls
    EXPECT_TRUE(queue.PumpUntil(comm, [&] { return rec.empties >= 1; }));
}

TEST_F(CommTest, FlowControlBytesPassIntactWithTheMainWindowSettings)
{
    OpenOrFail();
    const std::string line = farEnd.Termios();
    EXPECT_EQ(Field(line, "ixon"), "0") << line;
    EXPECT_EQ(Field(line, "ixoff"), "0") << line;
    EXPECT_EQ(Field(line, "ixany"), "0") << line;
    EXPECT_EQ(Field(line, "crtscts"), "0") << line;
    EXPECT_EQ(Field(line, "baud"), "1200") << line;
    EXPECT_EQ(Field(line, "icanon"), "0") << line;

    // A reply full of XOFF and XON bytes arrives unchanged ...
    const std::vector<std::uint8_t> reply = {0x52, 0x13, 0x13, 0x11, 0x13, 0x00, 0x11, 0x11, 0x13};
    ASSERT_TRUE(farEnd.Write(reply));
    ASSERT_TRUE(PumpUntilBytes(reply.size()));
    EXPECT_EQ(rec.All(), reply);
    // ... and the trailing XOFF did not stop the transmitter.
    ASSERT_TRUE(comm.SendData("\x11\x13\x11\x53", 4));
    EXPECT_EQ(farEnd.Read(4), (std::vector<std::uint8_t>{0x11, 0x13, 0x11, 0x53}));
}

// ---- Receiving: chunks ----

TEST_F(CommTest, BackToBackBytesArriveAsOneChunkFollowedByAZero)
{
    OpenOrFail();
    std::vector<std::uint8_t> reply(14);
    std::iota(reply.begin(), reply.end(), std::uint8_t(0x51));
    ASSERT_TRUE(farEnd.Write(reply));
    ASSERT_TRUE(PumpUntilBytes(14));
    queue.PumpFor(comm, 300ms); // nothing further may follow
    ASSERT_EQ(rec.chunks.size(), 1u);
    EXPECT_EQ(rec.chunks[0], reply);
    EXPECT_TRUE(rec.zeroAfterEveryChunk);
    EXPECT_EQ(rec.hangups, 0); // a port without line events still receives
}

TEST_F(CommTest, AReplyPacedAt1200BaudArrivesAsOneChunk)
{
    OpenOrFail();
    // 27 bytes, one every 8.3 ms as the controller sends them: gaps far below the interval.
    std::vector<std::uint8_t> reply(27);
    std::iota(reply.begin(), reply.end(), std::uint8_t(0x52));
    ASSERT_TRUE(farEnd.WritePaced(reply, std::chrono::microseconds(8333)));
    ASSERT_TRUE(PumpUntilBytes(27));
    queue.PumpFor(comm, 300ms);
    ASSERT_EQ(rec.chunks.size(), 1u);
    EXPECT_EQ(rec.chunks[0], reply);
}

TEST_F(CommTest, BurstsWithAPauseArriveAsSeparateChunks)
{
    OpenOrFail();
    ASSERT_TRUE(farEnd.WriteApart({1, 2, 3}, 400ms, {4, 5}));
    ASSERT_TRUE(PumpUntilBytes(5));
    ASSERT_EQ(rec.chunks.size(), 2u);
    EXPECT_EQ(rec.chunks[0], (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(rec.chunks[1], (std::vector<std::uint8_t>{4, 5}));
}

TEST_F(CommTest, ALongStreamArrivesInOrderInChunksOfAtMost1024)
{
    OpenOrFail();
    std::vector<std::uint8_t> data(3000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    ASSERT_TRUE(farEnd.Write(data));
    ASSERT_TRUE(PumpUntilBytes(3000));
    EXPECT_GE(rec.chunks.size(), 3u);
    for (const auto& c : rec.chunks)
        EXPECT_LE(c.size(), 1024u);
    EXPECT_EQ(rec.All(), data);
    EXPECT_TRUE(rec.zeroAfterEveryChunk);
}

TEST_F(CommTest, IgnoredNullBytesAreDropped)
{
    comm.SetIgnoreNullChar(true);
    OpenOrFail();
    ASSERT_TRUE(farEnd.Write({0x00, 0x52, 0x00, 0x00, 0x18, 0x00}));
    ASSERT_TRUE(PumpUntilBytes(2));
    queue.PumpFor(comm, 300ms);
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x52, 0x18}));
}

TEST_F(CommTest, ReadsThatTimeOutEmptyDoNotStopReceiving)
{
    // A total read time-out: on Win32 every idle read now ends empty after 50 ms.
    comm.SetReadTotalTimeoutConstant(50);
    OpenOrFail();
    queue.PumpFor(comm, 400ms);
    ASSERT_TRUE(farEnd.Write({0x54, 0x06}));
    ASSERT_TRUE(PumpUntilBytes(2));
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x54, 0x06}));
    EXPECT_EQ(rec.hangups, 0);
}

// ---- Closing, and a far end that goes away ----

TEST_F(CommTest, ClosePortIsHarmlessWhenClosedAndAbandonsAPendingWrite)
{
    comm.ClosePort();
    EXPECT_EQ(comm.ComHandle(), 0);
    OpenOrFail();
    ASSERT_TRUE(farEnd.Stall()); // the far end reads nothing, so the output fills and the transmitter waits
    std::vector<std::uint8_t> big(60000, 0x5A);
    ASSERT_TRUE(comm.SendData(big.data(), static_cast<std::uint16_t>(big.size())));
    ASSERT_TRUE(comm.SendData(big.data(), static_cast<std::uint16_t>(big.size())));
    std::this_thread::sleep_for(200ms);
    comm.ClosePort(); // must come back although the write cannot finish
    EXPECT_EQ(comm.ComHandle(), 0);
    EXPECT_FALSE(comm.SendData(big.data(), 10));
    EXPECT_LT(farEnd.Read(2 * big.size(), 300ms).size(), big.size());

    OpenOrFail(); // the port opens again and works
    ASSERT_TRUE(comm.SendData("\x11\x54", 2));
    EXPECT_EQ(farEnd.Read(2), (std::vector<std::uint8_t>{0x11, 0x54}));
}

TEST_F(CommTest, ManyCloseAndReopenCyclesLeakNoHandlesOrThreads)
{
    OpenOrFail();
    comm.ClosePort();
    const auto handles = CountHandles();
    const auto threads = CountThreads();
    for (int i = 0; i < 200; ++i) {
        comm.OpenPort();
        comm.ClosePort();
    }
    EXPECT_EQ(CountHandles(), handles);
    EXPECT_EQ(CountThreads(), threads);
    OpenOrFail();
    EXPECT_GE(CountThreads(), threads + 2); // the workers do run while open
    ASSERT_TRUE(farEnd.Write({0x51}));
    EXPECT_TRUE(PumpUntilBytes(1));
}

TEST_F(CommTest, FarEndHangingUpMidReplyPostsHangupAfterTheBytesSoFar)
{
    OpenOrFail();
    // Within the interval: the chunk is still pending when the far end goes.
    ASSERT_TRUE(farEnd.HangUpAfter({0x52, 0x18, 0x26}, 20ms));
    ASSERT_TRUE(queue.PumpUntil(comm, [&] { return rec.hangups >= 1; }));
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x52, 0x18, 0x26}));
    comm.ClosePort();
    EXPECT_EQ(comm.ComHandle(), 0);
}

// ---- The component's own lifetime ----

TEST(CommLifetime, DestroyingAnOpenComponentClosesItsPort)
{
    FarEnd farEnd;
    ASSERT_TRUE(farEnd.Ready()) << farEnd.Why();
    NotifyQueue queue;
    // A sanitizer's runtime starts a helper thread of its own with the process's first thread:
    // count only after one has come and gone.
    std::thread([] {}).join();
    const auto threads = CountThreads();
    {
        TComm comm(queue);
        comm.SetCommName(farEnd.Name());
        comm.OpenPort();
    }
    EXPECT_EQ(CountThreads(), threads);
    TComm next(queue);
    next.SetCommName(farEnd.Name());
    EXPECT_NO_THROW(next.OpenPort()); // the exclusive hold ended with the component
    next.ClosePort();
}

TEST(CommLifetime, AComponentNeverOpenedRaisesNothing)
{
    NotifyQueue queue;
    TComm comm(queue);
    EXPECT_EQ(comm.CommName(), "COM2");
    EXPECT_EQ(comm.BaudRate(), 9600u);
    EXPECT_TRUE(comm.Outx_CtsFlow());
    EXPECT_EQ(comm.ReadIntervalTimeout(), 10u);
    EXPECT_EQ(comm.ComHandle(), 0);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(queue.Pending(), 0u);
}

} // namespace
} // namespace zelbor::test
