// SPDX-License-Identifier: GPL-3.0-or-later
// What only TComm on Win32 has, under Wine, the far end of each port played by zelbor-wine-peer on
// the Linux side: a hold across processes, port names of two digits, the device control block as
// the line sees it, and the end of a read that is pending when the port closes. The cases every
// backend shares are in ../serial/CommTest.cpp.
#include "../serial/CommFixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace zelbor::test {
namespace {

class CommWin32Test : public CommTest {
protected:
    const std::string& port = farEnd.port;
    Peer& peer = farEnd.peer;
};

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
    EXPECT_EQ(e.text, "Error opening serial port");
    EXPECT_NE(e.detail.find("held by another program"), std::string::npos) << e.detail;

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

} // namespace
} // namespace zelbor::test
