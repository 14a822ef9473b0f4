// SPDX-License-Identifier: GPL-3.0-or-later
// TComm against real pseudo-terminals: the test plays the far end on the master side.
#include "SerialTestSupport.h"
#include "serial/CommPortSettings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <numeric>
#include <thread>

#include <sys/stat.h>

namespace zelbor::test {
namespace {

class CommTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_GE(pty.master, 0);
        ApplyCommPortSettings(comm);
        comm.SetCommName(pty.path);
        rec.Attach(comm);
    }
    void OpenOrFail()
    {
        try {
            comm.OpenPort();
        } catch (const ECommsError& e) {
            FAIL() << e.what() << " / " << e.Detail();
        }
    }
    bool PumpUntilBytes(std::size_t n, std::chrono::milliseconds limit = 10000ms)
    {
        return queue.PumpUntil(
            comm, [&] { return rec.Bytes() >= n; }, limit);
    }
    static std::string OpenError(TComm& c)
    {
        try {
            c.OpenPort();
        } catch (const ECommsError& e) {
            return e.what();
        }
        return "(opened)";
    }
    static std::string OpenDetail(TComm& c)
    {
        try {
            c.OpenPort();
        } catch (const ECommsError& e) {
            return e.Detail();
        }
        return "(opened)";
    }

    Pty pty;
    NotifyQueue queue;
    TComm comm{queue};
    Recorder rec;
};

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
    EXPECT_EQ(pty.Read(5), (std::vector<std::uint8_t>{0x11, 0x51, 0x04, 0xB0, 0x05}));
    // Nothing else went out (in particular nothing for the refused calls).
    EXPECT_TRUE(pty.Read(1, 300ms).empty());
    EXPECT_TRUE(queue.PumpUntil(comm, [&] { return rec.empties >= 1; }));
}

TEST_F(CommTest, OpenFailuresUseTheFixedTextsAndLeaveThePortClosed)
{
    TComm other(queue);
    other.SetCommName("");
    EXPECT_EQ(OpenError(other), "Error opening serial port");
    EXPECT_EQ(other.ComHandle(), 0);

    other.SetCommName("/dev/no-such-port-here");
    EXPECT_EQ(OpenError(other), "Error opening serial port");
    EXPECT_NE(OpenDetail(other).find("vanished"), std::string::npos);
    EXPECT_EQ(other.ComHandle(), 0);

    const std::string file = testing::TempDir() + "/not-a-port";
    std::ofstream(file) << "x";
    other.SetCommName(file);
    EXPECT_EQ(OpenError(other), "File handle is not a comm handle ");
    EXPECT_EQ(other.ComHandle(), 0);
    other.SetCommName("/dev/null"); // a character device, but no terminal
    EXPECT_EQ(OpenError(other), "File handle is not a comm handle ");
    EXPECT_EQ(other.ComHandle(), 0);
    std::remove(file.c_str());
}

TEST_F(CommTest, SecondOpenRaisesAndTheOpenPortKeepsWorking)
{
    OpenOrFail();
    const int handle = comm.ComHandle();
    EXPECT_GT(handle, 0);
    EXPECT_EQ(OpenError(comm), "This serial port already opened");
    EXPECT_EQ(comm.ComHandle(), handle);
    ASSERT_TRUE(pty.Write({0x52, 0x18}));
    ASSERT_TRUE(PumpUntilBytes(2));
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x52, 0x18}));
}

TEST_F(CommTest, APortHeldByAnotherComponentIsBusyAlsoThroughALink)
{
    OpenOrFail();
    TComm second(queue);
    second.SetCommName(pty.path);
    EXPECT_EQ(OpenError(second), "Error opening serial port");
    EXPECT_NE(OpenDetail(second).find("held by another program"), std::string::npos);
    EXPECT_EQ(second.ComHandle(), 0);

    const std::string link = testing::TempDir() + "/busy-link";
    std::remove(link.c_str());
    ASSERT_EQ(symlink(pty.path.c_str(), link.c_str()), 0);
    second.SetCommName(link);
    EXPECT_EQ(OpenError(second), "Error opening serial port");

    comm.ClosePort(); // released: the other one may have it now
    EXPECT_NO_THROW(second.OpenPort());
    second.ClosePort();
    std::remove(link.c_str());
}

TEST_F(CommTest, BackToBackBytesArriveAsOneChunkFollowedByAZero)
{
    OpenOrFail();
    std::vector<std::uint8_t> reply(14);
    std::iota(reply.begin(), reply.end(), std::uint8_t(0x51));
    ASSERT_TRUE(pty.Write(reply));
    ASSERT_TRUE(PumpUntilBytes(14));
    queue.PumpFor(comm, 300ms); // nothing further may follow
    ASSERT_EQ(rec.chunks.size(), 1u);
    EXPECT_EQ(rec.chunks[0], reply);
    EXPECT_TRUE(rec.zeroAfterEveryChunk);
}

TEST_F(CommTest, BurstsWithAPauseArriveAsSeparateChunks)
{
    OpenOrFail();
    ASSERT_TRUE(pty.Write({1, 2, 3}));
    std::this_thread::sleep_for(400ms);
    ASSERT_TRUE(pty.Write({4, 5}));
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
    ASSERT_TRUE(pty.Write(data));
    ASSERT_TRUE(PumpUntilBytes(3000));
    EXPECT_GE(rec.chunks.size(), 3u);
    for (const auto& c : rec.chunks)
        EXPECT_LE(c.size(), 1024u);
    EXPECT_EQ(rec.All(), data);
    EXPECT_TRUE(rec.zeroAfterEveryChunk);
}

TEST_F(CommTest, FlowControlBytesPassIntactWithTheMainWindowSettings)
{
    OpenOrFail();
    termios t{};
    ASSERT_EQ(tcgetattr(comm.ComHandle(), &t), 0);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);

    // A reply full of XOFF and XON bytes arrives unchanged ...
    std::vector<std::uint8_t> reply = {0x52, 0x13, 0x13, 0x11, 0x13, 0x00, 0x11, 0x11, 0x13};
    ASSERT_TRUE(pty.Write(reply));
    ASSERT_TRUE(PumpUntilBytes(reply.size()));
    EXPECT_EQ(rec.All(), reply);
    // ... and the trailing XOFF did not stop the transmitter.
    const std::uint8_t request[] = {0x11, 0x13, 0x11, 0x53};
    ASSERT_TRUE(comm.SendData(request, 4));
    EXPECT_EQ(pty.Read(4), (std::vector<std::uint8_t>{0x11, 0x13, 0x11, 0x53}));
}

TEST_F(CommTest, IgnoredNullBytesAreDropped)
{
    comm.SetIgnoreNullChar(true);
    OpenOrFail();
    ASSERT_TRUE(pty.Write({0x00, 0x52, 0x00, 0x00, 0x18, 0x00}));
    ASSERT_TRUE(PumpUntilBytes(2));
    queue.PumpFor(comm, 300ms);
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x52, 0x18}));
}

TEST_F(CommTest, LineSettingsMapOntoTermios)
{
    comm.SetBaudRate(2400); // closed: stored only
    EXPECT_EQ(comm.BaudRate(), 2400u);
    comm.SetParity(TParity::Mark);
    comm.SetStopBits(TStopBits::_1_5);
    comm.SetByteSize(TByteSize::_7);
    OpenOrFail();
    termios t{};
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B2400));
    // A pseudo-terminal forces 8 data bits and clears the parity enable bit, but keeps the
    // kind of parity: mark parity is "sticky odd".
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), tcflag_t(PARODD | CMSPAR));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);

    // Open: a line property re-applies at once; parity waits for the next open.
    comm.SetBaudRate(19200);
    comm.SetParity(TParity::Even);
    comm.SetOutx_XonXoffFlow(true);
    comm.SetXoffChar(0x7E);
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    EXPECT_NE(t.c_cflag & CMSPAR, 0u);
    EXPECT_NE(t.c_iflag & IXON, 0u);
    EXPECT_EQ(t.c_iflag & IXOFF, 0u);
    EXPECT_EQ(t.c_cc[VSTOP], 0x7E);

    // Setting the value already held does nothing: a speed changed behind the component's back stays.
    cfsetospeed(&t, B300);
    cfsetispeed(&t, B300);
    ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &t), 0);
    comm.SetBaudRate(19200);
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B300));

    comm.ClosePort();
    comm.SetOutx_XonXoffFlow(false);
    OpenOrFail();
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), 0u); // even parity from now on
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
}

TEST_F(CommTest, ClosePortIsHarmlessWhenClosedAndAbandonsAPendingWrite)
{
    comm.ClosePort();
    EXPECT_EQ(comm.ComHandle(), 0);
    OpenOrFail();
    // The far end reads nothing, so the output fills and the transmitter waits.
    std::vector<std::uint8_t> big(60000, 0x5A);
    ASSERT_TRUE(comm.SendData(big.data(), static_cast<std::uint16_t>(big.size())));
    ASSERT_TRUE(comm.SendData(big.data(), static_cast<std::uint16_t>(big.size())));
    std::this_thread::sleep_for(200ms);
    comm.ClosePort(); // must come back although the write cannot finish
    EXPECT_EQ(comm.ComHandle(), 0);
    EXPECT_FALSE(comm.SendData(big.data(), 10));
    const auto arrived = pty.Read(2 * big.size(), 300ms);
    EXPECT_LT(arrived.size(), big.size());

    // The port opens again and works.
    OpenOrFail();
    ASSERT_TRUE(comm.SendData("\x11\x54", 2));
    EXPECT_EQ(pty.Read(2), (std::vector<std::uint8_t>{0x11, 0x54}));
}

TEST_F(CommTest, ManyCloseAndReopenCyclesLeakNoDescriptorsOrThreads)
{
    OpenOrFail();
    comm.ClosePort();
    const auto fds = CountEntries("/proc/self/fd");
    const auto tasks = CountEntries("/proc/self/task");
    for (int i = 0; i < 200; ++i) {
        comm.OpenPort();
        comm.ClosePort();
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_EQ(CountEntries("/proc/self/task"), tasks);
    OpenOrFail();
    EXPECT_GT(CountEntries("/proc/self/task"), tasks); // the workers do run while open
}

TEST_F(CommTest, FarEndHangingUpMidReplyPostsHangupAfterTheBytesSoFar)
{
    OpenOrFail();
    ASSERT_TRUE(pty.Write({0x52, 0x18, 0x26}));
    std::this_thread::sleep_for(20ms); // within the interval: the chunk is still pending
    pty.CloseMaster();
    ASSERT_TRUE(queue.PumpUntil(comm, [&] { return rec.hangups >= 1; }));
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x52, 0x18, 0x26}));
    comm.ClosePort();
    EXPECT_EQ(comm.ComHandle(), 0);
}

TEST(CommLifetime, DestroyingAnOpenComponentClosesItsPort)
{
    Pty pty;
    NotifyQueue queue;
    // A sanitizer's runtime starts a helper thread of its own with the process's first thread:
    // count only after one has come and gone.
    std::thread([] {}).join();
    const auto tasks = CountEntries("/proc/self/task");
    {
        TComm comm(queue);
        comm.SetCommName(pty.path);
        comm.OpenPort();
    }
    EXPECT_EQ(CountEntries("/proc/self/task"), tasks);
    TComm next(queue);
    next.SetCommName(pty.path);
    EXPECT_NO_THROW(next.OpenPort()); // the exclusive hold ended with the component
}

TEST(CommLifetime, AComponentNeverOpenedRaisesNothing)
{
    NotifyQueue queue;
    TComm comm(queue);
    EXPECT_EQ(comm.CommName(), "COM2");
    EXPECT_EQ(comm.BaudRate(), 9600u);
    EXPECT_TRUE(comm.Outx_CtsFlow());
    EXPECT_EQ(comm.ReadIntervalTimeout(), 10u);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(queue.Pending(), 0u);
}

} // namespace
} // namespace zelbor::test
