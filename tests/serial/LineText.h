// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line settings as the far end of a serial line sees them, as one text ("baud=1200 ixon=0
// ..."): the same for a pseudo-terminal of this machine and, through the Wine peer, for a port of
// the Windows build, so that one test can check either.
#include <sstream>
#include <string>

#ifndef _WIN32
#include <termios.h>
#endif

namespace zelbor::test {

#ifndef _WIN32
inline std::string TermiosText(const termios& t)
{
    auto flag = [](const char* name, bool on) { return std::string(" ") + name + "=" + (on ? "1" : "0"); };
    const speed_t speeds[] = {B300, B1200, B2400, B4800, B9600, B19200, B38400, B57600, B115200};
    const int bauds[] = {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    int baud = 0;
    for (std::size_t i = 0; i < sizeof bauds / sizeof bauds[0]; ++i)
        if (cfgetospeed(&t) == speeds[i])
            baud = bauds[i];
    std::string s = "baud=" + std::to_string(baud);
    s += flag("ixon", t.c_iflag & IXON);
    s += flag("ixoff", t.c_iflag & IXOFF);
    s += flag("ixany", t.c_iflag & IXANY);
    s += flag("crtscts", t.c_cflag & CRTSCTS);
    s += flag("parodd", t.c_cflag & PARODD);
    s += flag("cmspar", t.c_cflag & CMSPAR);
    s += flag("cstopb", t.c_cflag & CSTOPB);
    s += flag("icanon", t.c_lflag & ICANON);
    s += flag("echo", t.c_lflag & ECHO);
    s += " vstart=" + std::to_string(t.c_cc[VSTART]) + " vstop=" + std::to_string(t.c_cc[VSTOP]);
    return s;
}
#endif

// The value of "key=" in such a text ("?" when it has none).
inline std::string Field(const std::string& line, const std::string& key)
{
    std::istringstream in(line);
    for (std::string w; in >> w;)
        if (w.rfind(key + "=", 0) == 0)
            return w.substr(key.size() + 1);
    return "?";
}

} // namespace zelbor::test
