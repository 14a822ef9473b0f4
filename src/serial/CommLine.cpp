// SPDX-License-Identifier: GPL-3.0-or-later
// TComm on POSIX termios: the line settings and time-outs of the open port.
#include "serial/CommSession.h"

#include <utility>

#include <sys/ioctl.h>
#include <termios.h>

namespace zelbor {

namespace {

speed_t SpeedConstant(std::uint32_t baud, bool& known)
{
    static const std::pair<std::uint32_t, speed_t> table[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
        {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
        {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
        {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
        {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& [b, c] : table)
        if (b == baud) {
            known = true;
            return c;
        }
    known = false;
    return B0;
}

} // namespace

// Line settings on termios. What the kernel has no counterpart for is noted where it falls:
// DSR flow, DSR sensitivity and DTR handshake are not offered by termios and are ignored;
// CTS output flow and RTS handshake are one switch (CRTSCTS); 1.5 stop bits become 2; the
// XON/XOFF thresholds are the kernel's own; after an XOFF has been sent the transmitter
// always continues; with parity checking on a byte in error is read as 0x00 (the replacement
// character cannot be chosen). A refusal by the device is ignored.
void TComm::Impl::ApplyLineSettings()
{
    const int fd = session->fd;
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;

    switch (byteSize) {
    case TByteSize::_5:
        t.c_cflag |= CS5;
        break;
    case TByteSize::_6:
        t.c_cflag |= CS6;
        break;
    case TByteSize::_7:
        t.c_cflag |= CS7;
        break;
    case TByteSize::_8:
        t.c_cflag |= CS8;
        break;
    }
    switch (openParity) {
    case TParity::None:
        break;
    case TParity::Odd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case TParity::Even:
        t.c_cflag |= PARENB;
        break;
    case TParity::Mark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case TParity::Space:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    }
    if (parityCheck)
        t.c_iflag |= INPCK;
    if (stopBits != TStopBits::_1)
        t.c_cflag |= CSTOPB;
    if (outxCtsFlow || rtsControl == TRtsControl::RtsHandshake)
        t.c_cflag |= CRTSCTS;
    if (outxXonXoffFlow)
        t.c_iflag |= IXON;
    if (inxXonXoffFlow)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(xonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(xoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    bool known = false;
    const speed_t speed = SpeedConstant(baudRate, known);
    if (known) {
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
    }
    (void)tcsetattr(fd, TCSANOW, &t);

    // DTR and RTS are held as configured; devices without modem lines refuse, which is fine.
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    (void)ioctl(fd, dtrControl == TDtrControl::DtrDisable ? TIOCMBIC : TIOCMBIS, &dtr);
    if (rtsControl != TRtsControl::RtsHandshake)
        (void)ioctl(fd, rtsControl == TRtsControl::RtsDisable ? TIOCMBIC : TIOCMBIS, &rts);
    session->ignoreNull.store(ignoreNullChar);
}

void TComm::Impl::ApplyTimeouts()
{
    session->readInterval.store(readIntervalTimeout);
    session->readTotalMultiplier.store(readTotalTimeoutMultiplier);
    session->readTotalConstant.store(readTotalTimeoutConstant);
    session->writeTotalMultiplier.store(writeTotalTimeoutMultiplier);
    session->writeTotalConstant.store(writeTotalTimeoutConstant);
}

} // namespace zelbor
