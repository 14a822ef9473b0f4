// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up probe: the program's own main (src/ui/Program.cpp) linked with this observer, so
// that the real start-up path runs unchanged and nothing in the product has to know about it.
//
// Usage: QT_QPA_PLATFORM=offscreen build-bench/bench/startup_probe
//   (normally launched by transfer_bench). It prints, on standard output, the monotonic clock
//   in nanoseconds when QApplication is being built (QAPP), when the start-up warning is shown
//   and first painted (WARNING_SHOWN, WARNING_PAINTED), the resident memory then (RSS_WARNING
//   VmRSS VmHWM, kB), then closes the warning as a user would, and reports the main window
//   (MAIN_SHOWN, RSS_MAIN) before it quits.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

#include "common/Catalogue.h"

namespace zelbor {

namespace {

long long NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Say(const std::string& line)
{
    const std::string text = line + "\n";
    (void)!write(1, text.data(), text.size());
}

std::string Footprint()
{
    std::ifstream status("/proc/self/status");
    std::string line, rss = "0", hwm = "0";
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            rss = std::to_string(std::atol(line.c_str() + 6));
        if (line.rfind("VmHWM:", 0) == 0)
            hwm = std::to_string(std::atol(line.c_str() + 6));
    }
    return rss + " " + hwm;
}

class Probe : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWidgetType() || !static_cast<QWidget*>(watched)->isWindow())
            return false;
        auto* window = static_cast<QWidget*>(watched);
        const bool warning = window->objectName() == QLatin1String("frmWarning");
        const bool main = window->objectName() == QLatin1String("MainForm");
        if (event->type() == QEvent::Show && warning && !warningShown_) {
            warningShown_ = true;
            Say("WARNING_SHOWN " + std::to_string(NowNs()));
            // Should the platform never paint, the probe still goes on.
            QTimer::singleShot(5000, window, [this, window] { CloseWarning(window); });
        } else if (event->type() == QEvent::Paint && warning && warningShown_ && !warningPainted_) {
            warningPainted_ = true;
            Say("WARNING_PAINTED " + std::to_string(NowNs()));
            QTimer::singleShot(0, window, [this, window] { CloseWarning(window); });
        } else if (event->type() == QEvent::Show && main && !mainShown_) {
            mainShown_ = true;
            Say("MAIN_SHOWN " + std::to_string(NowNs()));
            QTimer::singleShot(0, qApp, [] {
                Say("RSS_MAIN " + Footprint());
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    void CloseWarning(QWidget* window)
    {
        if (closed_)
            return;
        closed_ = true;
        Say("RSS_WARNING " + Footprint());
        window->close();
    }

    bool warningShown_ = false;
    bool warningPainted_ = false;
    bool mainShown_ = false;
    bool closed_ = false;
};

void InstallProbe()
{
    Say("QAPP " + std::to_string(NowNs()));
    // The probe lives in the build's bench folder; the program's files are in the shipping folder.
    zelbor::SetExecutableFolder(ZELBOR_SHIP_DIR);
    qApp->installEventFilter(new Probe(qApp));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallProbe)

} // namespace zelbor
