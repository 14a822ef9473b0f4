// SPDX-License-Identifier: GPL-3.0-or-later
// What only TComm on POSIX termios has: how its line settings map onto the terminal's. The cases
// every backend shares are in CommTest.cpp.
#include "CommFixture.h"

#include <gtest/gtest.h>

#include <termios.h>

namespace zelbor::test {
namespace {

TEST_F(CommTest, LineSettingsMapOntoTermios)
{
    comm.SetBaudRate(2400); // closed: stored only
    EXPECT_EQ(comm.BaudRate(), 2400u);
    comm.SetParity(TParity::Mark);
    comm.SetStopBits(TStopBits::_1_5);
    comm.SetByteSize(TByteSize::_7);
    OpenOrFail();
    termios t{};
    ASSERT_EQ(tcgetattr(farEnd.Slave(), &t), 0);
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
    ASSERT_EQ(tcgetattr(farEnd.Slave(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    EXPECT_NE(t.c_cflag & CMSPAR, 0u);
    EXPECT_NE(t.c_iflag & IXON, 0u);
    EXPECT_EQ(t.c_iflag & IXOFF, 0u);
    EXPECT_EQ(t.c_cc[VSTOP], 0x7E);

    // Setting the value already held does nothing: a speed changed behind the component's back stays.
    cfsetospeed(&t, B300);
    cfsetispeed(&t, B300);
    ASSERT_EQ(tcsetattr(farEnd.Slave(), TCSANOW, &t), 0);
    comm.SetBaudRate(19200);
    ASSERT_EQ(tcgetattr(farEnd.Slave(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B300));

    comm.ClosePort();
    comm.SetOutx_XonXoffFlow(false);
    OpenOrFail();
    ASSERT_EQ(tcgetattr(farEnd.Slave(), &t), 0);
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), 0u); // even parity from now on
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
}

} // namespace
} // namespace zelbor::test
