// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The far end of the serial line for the window tests built for Windows and run under Wine: the
// same FakeLine and VirtualController as on Linux, played from the Linux side by
// zelbor-wine-peer (tests/win32/run-wine-tests.sh starts it and maps the COM ports):
//   ZELBOR_WINE_PORT     a port whose far end the test drives byte by byte (COM1)
//   ZELBOR_WINE_VC_PORT  the port the virtual controller is started behind (COM2)
// The controller runs on Linux; its log comes back through the peer.
#include "../win32/WineTestSupport.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <climits>

namespace zelbor {

namespace uitest {

class FakeLine {
public:
    FakeLine() : port_(zelbor::test::Env("ZELBOR_WINE_PORT", "COM1")) { ok_ = peer_.Connected() && peer_.Open(port_); }
    ~FakeLine() { peer_.Close(port_); }
    // Closes the far end: the device disappears.
    void Close() { peer_.Hangup(port_); }
    bool Ok() const { return ok_; }
    const std::string& Path() const { return port_; }

    // Everything the window has sent up to now (waits until the line has been quiet a little).
    zelbor::Bytes Take(int settleMs = 150) { return peer_.Read(port_, INT_MAX, std::chrono::milliseconds(settleMs)); }
    // Waits (with a guard) until at least `count` bytes have come, then takes everything.
    zelbor::Bytes TakeAtLeast(std::size_t count, int guardMs = 5000)
    {
        zelbor::Bytes out = peer_.Read(port_, count, std::chrono::milliseconds(guardMs));
        const zelbor::Bytes rest = Take();
        out.insert(out.end(), rest.begin(), rest.end());
        return out;
    }
    void Write(const zelbor::Bytes& bytes) { peer_.Write(port_, bytes); }

private:
    zelbor::test::Peer peer_;
    std::string port_;
    bool ok_ = false;
};

class VirtualController {
public:
    explicit VirtualController(const QStringList& options)
        : link_(zelbor::test::LinkOf(Port0())), generation_(++Latest())
    {
        // The controller announces itself by its COM port here: where it would be announced on
        // Linux does not matter.
        QStringList args;
        for (int i = 0; i < options.size(); ++i) {
            if ((options[i] == QLatin1String("--folder") || options[i] == QLatin1String("--name")) &&
                i + 1 < options.size())
                ++i;
            else // one word each on the peer's request line
                args << QString(options[i]).replace('%', QLatin1String("%25")).replace(' ', QLatin1String("%20"));
        }
        const std::string reply = peer_.Request("VC " + link_ + " " + args.join(QLatin1Char(' ')).toStdString());
        if (reply.rfind("OK ", 0) == 0)
            port_ = QString::fromStdString(Port0());
    }
    ~VirtualController() { Stop(); }
    // All controllers share one port here, and the peer starting a new one ends the one before:
    // a controller replaced that way must not end its successor when it goes.
    void Stop()
    {
        if (generation_ == Latest())
            peer_.Request("VCSTOP " + link_);
    }
    void Kill()
    {
        if (generation_ == Latest())
            peer_.Request("VCKILL " + link_);
    }
    const QString& Port() const { return port_; }
    // Everything the controller logged so far.
    QString Log()
    {
        const std::string hex = peer_.Value("VCLOG " + link_);
        const zelbor::Bytes bytes = zelbor::test::Unhex(hex);
        return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    }

private:
    static std::string Port0() { return zelbor::test::Env("ZELBOR_WINE_VC_PORT", "COM2"); }
    static int& Latest()
    {
        static int latest = 0;
        return latest;
    }
    zelbor::test::Peer peer_;
    std::string link_;
    int generation_;
    QString port_;
};

} // namespace uitest

} // namespace zelbor
