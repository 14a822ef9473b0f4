// SPDX-License-Identifier: GPL-3.0-or-later
// TComm on Win32 under Wine: the far end of each port is a pseudo-terminal that zelbor-wine-peer
// drives on the Linux side.
#include "WineTestSupport.h"
#include "serial/CommPortSettings.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <fstream>
#include <numeric>
#include <thread>

namespace zelbor::test {
namespace {

std::size_t CountThreads()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return 0;
    std::size_t n = 0;
    THREADENTRY32 e{};
    e.dwSize = sizeof e;
    for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e))
        if (e.th32OwnerProcessID == GetCurrentProcessId())
            ++n;
    CloseHandle(snap);
    return n;
}

DWORD CountHandles()
{
    DWORD n = 0;
    GetProcessHandleCount(GetCurrentProcess(), &n);
    return n;
}

class CommWin32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.Connected()) << "no peer at ZELBOR_WINE_PEER; run through tests/win32/run-wine-tests.sh";
        ASSERT_TRUE(peer.Open(port));
        ApplyCommPortSettings(comm);
        comm.SetCommName(port);
        rec.Attach(comm);
    }
    void TearDown() override
    {
        comm.ClosePort();
        peer.Close(port);
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
    static ECommsError OpenError(TComm& c)
    {
        try {
            c.OpenPort();
        } catch (const ECommsError& e) {
            return e;
        }
        return ECommsError("(opened)");
    }

    const std::string port = Env("ZELBOR_WINE_PORT", "COM1");
    Peer peer;
    NotifyQueue queue;
    TComm comm{queue};
    Recorder rec;
};

TEST_F(CommWin32Test, SendDataRefusesWhenClosedOrEmptyAndCopiesOtherwise)
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
    EXPECT_EQ(peer.Read(port, 7), (std::vector<std::uint8_t>{0x11, 0x51, 0x04, 0xB0, 0x05, 0x11, 0x52}));
    EXPECT_TRUE(peer.Read(port, 1, 300ms).empty()); // nothing for the refused calls
    EXPECT_TRUE(queue.PumpUntil(comm, [&] { return rec.empties >= 1; }));
}

TEST_F(CommWin32Test, OpenFailuresUseTheFixedTextsAndLeaveThePortClosed)
{
    TComm other(queue);
    other.SetCommName("");
    EXPECT_STREQ(OpenError(other).what(), "Error opening serial port");
    EXPECT_EQ(other.ComHandle(), 0);

    other.SetCommName("COM97"); // not known to the system at all
    auto e = OpenError(other);
    EXPECT_STREQ(e.what(), "Error opening serial port");
    EXPECT_NE(e.Detail().find("vanished"), std::string::npos) << e.Detail();
    EXPECT_EQ(other.ComHandle(), 0);

    // Configured, but the device behind it is gone (an unplugged adapter).
    other.SetCommName(Env("ZELBOR_WINE_GONE_PORT", "COM5"));
    e = OpenError(other);
    EXPECT_STREQ(e.what(), "Error opening serial port");
    EXPECT_NE(e.Detail().find("vanished"), std::string::npos) << e.Detail();
    EXPECT_EQ(other.ComHandle(), 0);

    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    other.SetCommName(std::string(windows) + "\\win.ini"); // a disk file
    EXPECT_STREQ(OpenError(other).what(), "File handle is not a comm handle ");
    EXPECT_EQ(other.ComHandle(), 0);

    other.SetCommName("NUL"); // a character device without serial queues
    EXPECT_STREQ(OpenError(other).what(), "Cannot setup comm buffer");
    EXPECT_EQ(other.ComHandle(), 0);

    // None of the failures left the name held: the real port still opens.
    other.SetCommName(port);
    EXPECT_NO_THROW(other.OpenPort());
}

TEST_F(CommWin32Test, SecondOpenRaisesAndTheOpenPortKeepsWorking)
{
    OpenOrFail();
    const auto handle = comm.ComHandle();
    EXPECT_NE(handle, 0);
    EXPECT_STREQ(OpenError(comm).what(), "This serial port already opened");
    EXPECT_EQ(comm.ComHandle(), handle);
    ASSERT_TRUE(peer.Write(port, {0x52, 0x18}));
    ASSERT_TRUE(PumpUntilBytes(2));
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x52, 0x18}));
}

TEST_F(CommWin32Test, APortHeldByAnotherComponentIsBusyUnderEitherName)
{
    OpenOrFail();
    TComm second(queue);
    second.SetCommName(port);
    auto e = OpenError(second);
    EXPECT_STREQ(e.what(), "Error opening serial port");
    EXPECT_NE(e.Detail().find("held by another program"), std::string::npos) << e.Detail();
    EXPECT_EQ(second.ComHandle(), 0);
    second.SetCommName("\\\\.\\" + LinkOf(port)); // the device-namespace spelling of the same port
    EXPECT_STREQ(OpenError(second).what(), "Error opening serial port");

    comm.ClosePort(); // released: the other one may have it now
    EXPECT_NO_THROW(second.OpenPort());
}

// Run only as the child of the next test: holds the port until told to let go.
TEST(CommWin32Hold, DISABLED_HoldsThePortForAnotherProcess)
{
    const std::string port = Env("ZELBOR_HOLD_PORT");
    ASSERT_FALSE(port.empty());
    NotifyQueue queue;
    TComm comm(queue);
    comm.SetCommName(port);
    ASSERT_NO_THROW(comm.OpenPort());
    HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, "ZelborTestPortHeld");
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, "ZelborTestPortRelease");
    ASSERT_TRUE(held && release);
    SetEvent(held);
    EXPECT_EQ(WaitForSingleObject(release, 30000), WAIT_OBJECT_0);
    CloseHandle(held);
    CloseHandle(release);
}

TEST_F(CommWin32Test, APortHeldByAnotherProcessIsBusy)
{
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, "ZelborTestPortHeld");
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "ZelborTestPortRelease");
    ASSERT_TRUE(held && release);
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string cmd =
        std::string("\"") + self +
        "\" --gtest_also_run_disabled_tests --gtest_filter=CommWin32Hold.DISABLED_HoldsThePortForAnotherProcess";
    SetEnvironmentVariableA("ZELBOR_HOLD_PORT", port.c_str());
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    SetEnvironmentVariableA("ZELBOR_HOLD_PORT", nullptr);
    HANDLE either[2] = {held, pi.hProcess};
    ASSERT_EQ(WaitForMultipleObjects(2, either, FALSE, 30000), WAIT_OBJECT_0) << "the holder did not open the port";

    auto e = OpenError(comm);
    EXPECT_STREQ(e.what(), "Error opening serial port");
    EXPECT_NE(e.Detail().find("held by another program"), std::string::npos) << e.Detail();

    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(held);
    CloseHandle(release);
    OpenOrFail(); // the holder is gone, and with it its hold
}

TEST_F(CommWin32Test, APortWithATwoDigitNumberOpensAndWorks)
{
    const std::string wide = Env("ZELBOR_WINE_WIDE_PORT", "COM12");
    ASSERT_TRUE(peer.Open(wide));
    comm.SetCommName(wide);
    OpenOrFail();
    ASSERT_TRUE(comm.SendData("\x11\x53", 2));
    EXPECT_EQ(peer.Read(wide, 2), (std::vector<std::uint8_t>{0x11, 0x53}));
    ASSERT_TRUE(peer.Write(wide, {0x53, 0x01}));
    ASSERT_TRUE(PumpUntilBytes(2));
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x53, 0x01}));
    comm.ClosePort();
    peer.Close(wide);
}

TEST_F(CommWin32Test, BackToBackBytesArriveAsOneChunkFollowedByAZero)
{
    OpenOrFail();
    std::vector<std::uint8_t> reply(14);
    std::iota(reply.begin(), reply.end(), std::uint8_t(0x51));
    ASSERT_TRUE(peer.Write(port, reply));
    ASSERT_TRUE(PumpUntilBytes(14));
    queue.PumpFor(comm, 300ms); // nothing further may follow
    ASSERT_EQ(rec.chunks.size(), 1u);
    EXPECT_EQ(rec.chunks[0], reply);
    EXPECT_TRUE(rec.zeroAfterEveryChunk);
    EXPECT_EQ(rec.hangups, 0); // a port without line events still receives
}

TEST_F(CommWin32Test, AReplyPacedAt1200BaudArrivesAsOneChunk)
{
    OpenOrFail();
    // 27 bytes, one every 8.3 ms as the controller sends them: gaps far below the interval.
    std::vector<std::uint8_t> reply(27);
    std::iota(reply.begin(), reply.end(), std::uint8_t(0x52));
    ASSERT_TRUE(peer.Schedule(port, "@8333 " + Hex(reply)));
    ASSERT_TRUE(PumpUntilBytes(27));
    queue.PumpFor(comm, 300ms);
    ASSERT_EQ(rec.chunks.size(), 1u);
    EXPECT_EQ(rec.chunks[0], reply);
}

TEST_F(CommWin32Test, BurstsWithAPauseArriveAsSeparateChunks)
{
    OpenOrFail();
    ASSERT_TRUE(peer.Schedule(port, "010203 +300 0405"));
    ASSERT_TRUE(PumpUntilBytes(5));
    ASSERT_EQ(rec.chunks.size(), 2u);
    EXPECT_EQ(rec.chunks[0], (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(rec.chunks[1], (std::vector<std::uint8_t>{4, 5}));
}

TEST_F(CommWin32Test, ALongStreamArrivesInOrderInChunksOfAtMost1024)
{
    OpenOrFail();
    std::vector<std::uint8_t> data(3000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    ASSERT_TRUE(peer.Write(port, data));
    ASSERT_TRUE(PumpUntilBytes(3000));
    EXPECT_GE(rec.chunks.size(), 3u);
    for (const auto& c : rec.chunks)
        EXPECT_LE(c.size(), 1024u);
    EXPECT_EQ(rec.All(), data);
    EXPECT_TRUE(rec.zeroAfterEveryChunk);
}

TEST_F(CommWin32Test, FlowControlBytesPassIntactWithTheMainWindowSettings)
{
    OpenOrFail();
    const std::string line = peer.Termios(port);
    EXPECT_EQ(Field(line, "ixon"), "0") << line;
    EXPECT_EQ(Field(line, "ixoff"), "0") << line;
    EXPECT_EQ(Field(line, "crtscts"), "0") << line;
    EXPECT_EQ(Field(line, "baud"), "1200") << line;
    EXPECT_EQ(Field(line, "icanon"), "0") << line;

    // A reply full of XOFF and XON bytes arrives unchanged ...
    const std::vector<std::uint8_t> reply = {0x52, 0x13, 0x13, 0x11, 0x13, 0x00, 0x11, 0x11, 0x13};
    ASSERT_TRUE(peer.Write(port, reply));
    ASSERT_TRUE(PumpUntilBytes(reply.size()));
    EXPECT_EQ(rec.All(), reply);
    // ... and the trailing XOFF did not stop the transmitter.
    ASSERT_TRUE(comm.SendData("\x11\x13\x11\x53", 4));
    EXPECT_EQ(peer.Read(port, 4), (std::vector<std::uint8_t>{0x11, 0x13, 0x11, 0x53}));
}

TEST_F(CommWin32Test, LineSettingsReachTheDeviceWhenTheyShould)
{
    comm.SetBaudRate(2400); // closed: stored only
    EXPECT_EQ(comm.BaudRate(), 2400u);
    comm.SetStopBits(TStopBits::_2);
    OpenOrFail();
    std::string line = peer.Termios(port);
    EXPECT_EQ(Field(line, "baud"), "2400") << line;
    EXPECT_EQ(Field(line, "cstopb"), "1") << line;
    EXPECT_EQ(Field(line, "parodd"), "0") << line;

    // Open: a line property applies at once; parity waits for the next open.
    comm.SetBaudRate(19200);
    comm.SetParity(TParity::Odd);
    comm.SetOutx_XonXoffFlow(true);
    comm.SetXoffChar(0x7E);
    line = peer.Termios(port);
    EXPECT_EQ(Field(line, "baud"), "19200") << line;
    EXPECT_EQ(Field(line, "parodd"), "0") << line;
    EXPECT_EQ(Field(line, "ixon"), "1") << line;
    EXPECT_EQ(Field(line, "ixoff"), "0") << line;
    EXPECT_EQ(Field(line, "vstop"), "126") << line;

    comm.ClosePort();
    comm.SetOutx_XonXoffFlow(false);
    OpenOrFail();
    line = peer.Termios(port);
    EXPECT_EQ(Field(line, "parodd"), "1") << line; // a pty drops the parity bit but keeps its kind
    EXPECT_EQ(Field(line, "ixon"), "0") << line;
    EXPECT_EQ(Field(line, "baud"), "19200") << line;
}

TEST_F(CommWin32Test, IgnoredNullBytesAreDropped)
{
    comm.SetIgnoreNullChar(true);
    OpenOrFail();
    ASSERT_TRUE(peer.Write(port, {0x00, 0x52, 0x00, 0x00, 0x18, 0x00}));
    ASSERT_TRUE(PumpUntilBytes(2));
    queue.PumpFor(comm, 300ms);
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x52, 0x18}));
}

TEST_F(CommWin32Test, ReadsThatTimeOutEmptyDoNotStopReceiving)
{
    comm.SetReadTotalTimeoutConstant(50); // every idle read now ends empty after 50 ms
    OpenOrFail();
    queue.PumpFor(comm, 400ms);
    ASSERT_TRUE(peer.Write(port, {0x54, 0x06}));
    ASSERT_TRUE(PumpUntilBytes(2));
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x54, 0x06}));
    EXPECT_EQ(rec.hangups, 0);
}

TEST_F(CommWin32Test, ClosePortIsHarmlessWhenClosedAndAbandonsAPendingWrite)
{
    comm.ClosePort();
    EXPECT_EQ(comm.ComHandle(), 0);
    OpenOrFail();
    ASSERT_TRUE(peer.Stall(port)); // the far end reads nothing, so the transmitter waits
    std::vector<std::uint8_t> big(60000, 0x5A);
    ASSERT_TRUE(comm.SendData(big.data(), static_cast<std::uint16_t>(big.size())));
    ASSERT_TRUE(comm.SendData(big.data(), static_cast<std::uint16_t>(big.size())));
    std::this_thread::sleep_for(200ms);
    comm.ClosePort(); // must come back although the write cannot finish
    EXPECT_EQ(comm.ComHandle(), 0);
    EXPECT_FALSE(comm.SendData(big.data(), 10));
    EXPECT_LT(peer.Read(port, 2 * big.size(), 300ms).size(), big.size());

    OpenOrFail(); // the port opens again and works
    ASSERT_TRUE(comm.SendData("\x11\x54", 2));
    EXPECT_EQ(peer.Read(port, 2), (std::vector<std::uint8_t>{0x11, 0x54}));
}

TEST_F(CommWin32Test, ClosePortWhileReadingEndsTheReadAndDeliversNothingLate)
{
    OpenOrFail();
    ASSERT_TRUE(peer.Write(port, {0x52})); // a chunk is being collected ...
    comm.ClosePort();                      // ... when the port closes
    ASSERT_TRUE(peer.Write(port, {0x53, 0x54}));
    queue.PumpFor(comm, 300ms);
    EXPECT_EQ(rec.Bytes(), 0u); // a closed port reports nothing, not even the cut chunk
    EXPECT_EQ(rec.hangups, 0);  // and closing is not a failure

    // An idle port (a read pending without data) closes as well, and the next open starts clean.
    OpenOrFail();
    std::this_thread::sleep_for(100ms);
    comm.ClosePort();
    OpenOrFail();
    ASSERT_TRUE(peer.Write(port, {0x55}));
    ASSERT_TRUE(PumpUntilBytes(1));
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x55}));
}

TEST_F(CommWin32Test, ManyCloseAndReopenCyclesLeakNoHandlesOrThreads)
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
    ASSERT_TRUE(peer.Write(port, {0x51}));
    EXPECT_TRUE(PumpUntilBytes(1));
}

TEST_F(CommWin32Test, FarEndHangingUpMidReplyPostsHangupAfterTheBytesSoFar)
{
    OpenOrFail();
    ASSERT_TRUE(peer.Schedule(port, "521826 +20 hangup")); // within the interval: the chunk is pending
    ASSERT_TRUE(queue.PumpUntil(comm, [&] { return rec.hangups >= 1; }));
    EXPECT_EQ(rec.All(), (std::vector<std::uint8_t>{0x52, 0x18, 0x26}));
    comm.ClosePort();
    EXPECT_EQ(comm.ComHandle(), 0);
}

TEST(CommWin32Lifetime, DestroyingAnOpenComponentClosesItsPort)
{
    const std::string port = Env("ZELBOR_WINE_PORT", "COM1");
    Peer peer;
    ASSERT_TRUE(peer.Open(port));
    NotifyQueue queue;
    const auto threads = CountThreads();
    {
        TComm comm(queue);
        comm.SetCommName(port);
        comm.OpenPort();
    }
    EXPECT_EQ(CountThreads(), threads);
    TComm next(queue);
    next.SetCommName(port);
    EXPECT_NO_THROW(next.OpenPort()); // the hold ended with the component
    next.ClosePort();
    peer.Close(port);
}

TEST(CommWin32Lifetime, AComponentNeverOpenedRaisesNothing)
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
