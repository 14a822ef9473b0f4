// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers of the window tests: recorded message boxes and modal windows, temporary shipping
// folders, a pseudo-terminal standing in for the cable, and the virtual controller. Built for
// Windows, the last two are played from the Linux side under Wine (WineLineSupport.h).
#include "ui/Main.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <chrono>
#include <functional>
#include <optional>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "WineLineSupport.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

#include "common/Catalogue.h"
#include "ui/Report.h"
#include "ui/Seam.h"

namespace zelbor {

// Readable failure output for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace uitest {

namespace fs = std::filesystem;

// Processes events until `done` holds or the guard time has passed.
template <class Pred>
bool PumpUntil(Pred done, int guardMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > guardMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

inline void PumpFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

// A seam that hands every call on to the seam installed before it (in the end the real one); the
// recorders below take over their own part. Installed for its lifetime; seams nest like scopes.
class ForwardingSeam : public TSeam {
public:
    ForwardingSeam() : previous_(SetSeam(this)) {}
    ~ForwardingSeam() override { SetSeam(previous_); }
    ForwardingSeam(const ForwardingSeam&) = delete;
    ForwardingSeam& operator=(const ForwardingSeam&) = delete;

    void Wait(std::chrono::milliseconds t) override { previous_ ? previous_->Wait(t) : TSeam::Wait(t); }
    std::chrono::steady_clock::time_point Now() override { return previous_ ? previous_->Now() : TSeam::Now(); }
    int ShowMessage(const MessageRequest& r) override
    {
        return previous_ ? previous_->ShowMessage(r) : TSeam::ShowMessage(r);
    }
    std::optional<QString> RunFileDialog(QFileDialog& d) override
    {
        return previous_ ? previous_->RunFileDialog(d) : TSeam::RunFileDialog(d);
    }
    int RunDialog(QDialog& d) override { return previous_ ? previous_->RunDialog(d) : TSeam::RunDialog(d); }
    void ShowStartupWarning(TMainForm& f) override
    {
        previous_ ? previous_->ShowStartupWarning(f) : TSeam::ShowStartupWarning(f);
    }
    void ShowHelpTopic(const std::string& t, const std::string& s) override
    {
        previous_ ? previous_->ShowHelpTopic(t, s) : TSeam::ShowHelpTopic(t, s);
    }
    void ShowAboutWindow() override { previous_ ? previous_->ShowAboutWindow() : TSeam::ShowAboutWindow(); }
    void OpenUrl(const QUrl& u) override { previous_ ? previous_->OpenUrl(u) : TSeam::OpenUrl(u); }

private:
    TSeam* previous_;
};

struct Message {
    std::string key;
    QString text;
    QString caption;
    int flags = 0;
    int mode = -1; // TransferMode when the box was shown
};

// Takes every message box; answers OK (or what `answer` says) and records it.
class MessageRecorder : public ForwardingSeam {
public:
    explicit MessageRecorder(const TMainForm* form = nullptr) : form_(form) {}
    void SetForm(const TMainForm* form) { form_ = form; }

    int ShowMessage(const MessageRequest& r) override
    {
        messages.push_back({r.key, r.text, r.caption, r.flags, form_ ? int(form_->TransferMode) : -1});
        if (answer)
            return answer(r);
        return r.flags == zelbor::mbYesNo ? zelbor::idYes : zelbor::idOk;
    }

    std::vector<std::string> Keys() const
    {
        std::vector<std::string> keys;
        for (const auto& m : messages)
            keys.push_back(m.key);
        return keys;
    }
    void Clear() { messages.clear(); }

    std::vector<Message> messages;
    std::function<int(const MessageRequest&)> answer;

private:
    const TMainForm* form_;
};

// Replaces the modal windows and shell calls with recorders.
class HookRecorder : public ForwardingSeam {
public:
    void ShowStartupWarning(TMainForm&) override { ++warnings; }
    void ShowHelpTopic(const std::string& t, const std::string& s) override { help.emplace_back(t, s); }
    void ShowAboutWindow() override { ++abouts; }
    void OpenUrl(const QUrl& u) override { urls.push_back(u); }
    std::optional<QString> RunFileDialog(QFileDialog& d) override
    {
        dialogs.push_back(&d);
        return dialogAnswer;
    }

    int warnings = 0;
    int abouts = 0;
    std::vector<std::pair<std::string, std::string>> help;
    std::vector<QUrl> urls;
    std::vector<QFileDialog*> dialogs;
    std::optional<QString> dialogAnswer; // nullopt: the dialog is cancelled
};

// Hands every auxiliary window of type Form that would run modally to `hook` instead, for the
// lifetime of the object. Runs() counts them: a test whose checks sit in the hook must also check
// that the hook ran.
template <class Form>
class ShowHookScope : public ForwardingSeam {
public:
    explicit ShowHookScope(std::function<void(Form&)> hook) : hook_(std::move(hook)) {}
    int RunDialog(QDialog& d) override
    {
        Form* form = qobject_cast<Form*>(&d);
        if (!form)
            return ForwardingSeam::RunDialog(d);
        ++runs_;
        hook_(*form);
        return form->result();
    }
    int Runs() const { return runs_; }

private:
    std::function<void(Form&)> hook_;
    int runs_ = 0;
};

// Runs the real, modal file dialogs, whatever the seams installed before do.
class RealFileDialogs : public ForwardingSeam {
public:
    std::optional<QString> RunFileDialog(QFileDialog& d) override { return TSeam::RunFileDialog(d); }
};

// Hands every address or document the program opens to `hook`, for the lifetime of the object.
class OpenUrlScope : public ForwardingSeam {
public:
    explicit OpenUrlScope(std::function<void(const QUrl&)> hook) : hook_(std::move(hook)) {}
    void OpenUrl(const QUrl& u) override { hook_(u); }

private:
    std::function<void(const QUrl&)> hook_;
};

inline fs::path ResourcesDir() { return fs::path(ZELBOR_RESOURCES_DIR); }

inline void WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A temporary shipping folder that the program takes as its executable's folder.
class ShipFolder {
public:
    explicit ShipFolder(bool withLanguages = true)
    {
        zelbor::SetExecutableFolder(Path());
        if (withLanguages)
            fs::copy(ResourcesDir() / "Languages", Path() / "Languages", fs::copy_options::recursive);
    }
    ~ShipFolder() { zelbor::SetExecutableFolder(fs::temp_directory_path()); }
    fs::path Path() const { return fs::path(dir_.path().toStdString()); }
    // With Qt's separators, as the program's file dialogs give names.
    QString Q(const std::string& relative) const
    {
        return QDir::fromNativeSeparators(QString::fromStdString((Path() / relative).string()));
    }

private:
    QTemporaryDir dir_;
};

// A window after its start-up sequence, with the modal windows recorded.
inline std::unique_ptr<TMainForm> StartedForm()
{
    auto form = std::make_unique<TMainForm>();
    form->FormShow();
    return form;
}

#ifndef _WIN32
// The far end of a pseudo-terminal: what the window sends, and replies written to it.
class FakeLine {
public:
    FakeLine()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        path_ = ptsname(master_);
        // Keep one slave descriptor ourselves, so that the window's close-and-reopen never
        // hangs the line up; raw mode so that bytes pass unchanged.
        keep_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        tcgetattr(keep_, &t);
        cfmakeraw(&t);
        tcsetattr(keep_, TCSANOW, &t);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~FakeLine()
    {
        if (keep_ >= 0)
            close(keep_);
        if (master_ >= 0)
            close(master_);
    }
    // The device vanishes: its name no longer opens. The far end stays open until the line is
    // destroyed, and with it the terminal's number: a number given up goes to the next
    // pseudo-terminal that any process makes, so a test running beside this one could bring a
    // line of its own up under this name between the window's close and open, and the window's
    // reopen would succeed on that line.
    void Close()
    {
        if (keep_ >= 0)
            close(keep_);
        keep_ = -1;
        int locked = 1;
        if (master_ >= 0)
            ioctl(master_, TIOCSPTLCK, &locked); // opening it now fails, for root too
    }
    bool Ok() const { return master_ >= 0 && keep_ >= 0; }
    const std::string& Path() const { return path_; }

    // Everything the window has sent up to now (waits a little for the transmit thread).
    zelbor::Bytes Take(int settleMs = 150)
    {
        zelbor::Bytes out;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < settleMs) {
            std::uint8_t buf[512];
            const ssize_t n = read(master_, buf, sizeof buf);
            if (n > 0) {
                out.insert(out.end(), buf, buf + n);
                t.restart();
            } else {
                QThread::msleep(5);
            }
        }
        return out;
    }
    // Waits (with a guard) until at least `count` bytes have come, then takes everything.
    zelbor::Bytes TakeAtLeast(std::size_t count, int guardMs = 5000)
    {
        zelbor::Bytes out;
        QElapsedTimer t;
        t.start();
        while (out.size() < count && t.elapsed() < guardMs) {
            const zelbor::Bytes more = Take(20);
            out.insert(out.end(), more.begin(), more.end());
        }
        const zelbor::Bytes rest = Take();
        out.insert(out.end(), rest.begin(), rest.end());
        return out;
    }
    void Write(const zelbor::Bytes& bytes) { (void)!write(master_, bytes.data(), bytes.size()); }

private:
    int master_ = -1;
    int keep_ = -1;
    std::string path_;
};

// The virtual controller, started on a pseudo-terminal of its own.
class VirtualController {
public:
    explicit VirtualController(const QStringList& options)
    {
        process_.setProgram(QStringLiteral(ZELBOR_VIRTUAL_CONTROLLER));
        process_.setArguments(options);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
        if (!process_.waitForStarted(5000))
            return;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000 && port_.isEmpty()) {
            if (!process_.canReadLine())
                process_.waitForReadyRead(200);
            while (process_.canReadLine()) {
                const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                if (line.startsWith(QLatin1String("PORT ")))
                    port_ = line.mid(5);
            }
        }
    }
    ~VirtualController() { Stop(); }
    void Stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished(5000);
            }
        }
    }
    void Kill()
    {
        process_.kill();
        process_.waitForFinished(5000);
    }
    const QString& Port() const { return port_; }
    // Everything the controller logged so far.
    QString Log()
    {
        log_ += QString::fromUtf8(process_.readAllStandardError());
        return log_;
    }

private:
    QProcess process_;
    QString port_;
    QString log_;
};
#endif // !_WIN32

// The frames a controller received, in order, as hexadecimal text ("11 52", "16 53 0B ...").
inline QStringList ReceivedFrames(VirtualController& vc)
{
    QStringList frames;
    static const QRegularExpression line(QStringLiteral("<- ([0-9A-F ]+[0-9A-F])"));
    auto it = line.globalMatch(vc.Log());
    while (it.hasNext())
        frames << it.next().captured(1).trimmed();
    return frames;
}

inline QString Hex(const zelbor::Bytes& bytes)
{
    QStringList parts;
    for (auto b : bytes)
        parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

// Selects the port in the window's list (adding it when discovery did not list it).
inline void ChoosePort(TMainForm& form, const QString& port)
{
    int i = form.cbbPort->findData(port); // a discovered port: its path is the item's data
    if (i < 0)
        i = form.cbbPort->findText(port);
    if (i < 0) {
        form.cbbPort->addItem(port);
        i = form.cbbPort->count() - 1;
    }
    form.cbbPort->setCurrentIndex(i);
}

// An identification reply: manufacturer, model, versions, nominal-voltage code, maximum current.
inline zelbor::Bytes InfoReply(std::uint8_t nominalCode, std::uint8_t maxCurrent)
{
    zelbor::Bytes b = {0x51, 0x10, 'A', 'C', 'M', 'E', 'M', 'D', '0', '1', '1', '2', '2', '0', '1', '5'};
    b.push_back(nominalCode);
    b.push_back(maxCurrent);
    return b;
}

} // namespace uitest

} // namespace zelbor
