// SPDX-License-Identifier: GPL-3.0-or-later
// Transfer, start-up and footprint figures of the tool.
//
// Usage:
//   build-bench/bench/transfer_bench [--runs N] [--latency MS] [--idle-seconds S]
//                                    [--startup-runs N] [--only NAME]
//
//   --runs N           measured runs per operation (default 10)
//   --latency MS       the virtual controller's latency from the last byte of a request to the
//                      first byte of its reply; passed to the controller and used in the floor
//                      (default 0)
//   --idle-seconds S   how long the connected, idle tool is watched for CPU use (default 10)
//   --startup-runs N   launches of the start-up probe (default 10; 0 skips start-up figures)
//   --only NAME        run only the operations whose name contains NAME (Connect is always run)
//
// It drives the real main window (offscreen unless QT_QPA_PLATFORM says otherwise) against the
// virtual controller paced at 1200 baud 8N1, and times each operation from the button press to
// the end of the event dispatch in which the operation finished (its last message, or the
// enabled block buttons after Connect). Each median is set against the line floor: the fixed
// waits, the bytes on the wire in both directions at 10 bits a byte, the controller's latency
// and the quiet interval that ends each received chunk. The ratio measured / floor is what the
// program itself adds. Message boxes are answered at once, so no user time is counted.
//
// Then it watches the connected tool idle and reports its CPU time and wake-ups, and launches
// the start-up probe (the program's own main with an observing hook) to time process start to
// the start-up warning on screen and to read the resident memory.
//
// Benchmarks print figures; they do not fail on timings. Exit status 1 means an operation did
// not complete at all (no controller, a refused write, ...).
#include "ui/Main.h"
#include "ui/QtNotifyWindow.h"
#include "ui/Report.h"
#include "ui/Seam.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/Catalogue.h"

extern char** environ;

namespace zelbor {

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// ---- The line floor ----

constexpr double kBaud = 1200;
constexpr double kBitsPerByte = 10; // start bit, 8 data bits, stop bit
constexpr double kByteMs = 1000.0 * kBitsPerByte / kBaud;
constexpr double kQuietMs = 100; // a received chunk ends after this long without a byte

// Frame sizes the tool sends.
constexpr int kIdentifyRequestBytes = 5;
constexpr int kReadRequestBytes = 2;
constexpr int kWriteBasicBytes = 28, kWritePasBytes = 15, kWriteThrBytes = 10;
// Replies of the virtual controller: block code, count, the data, check byte; acknowledgements
// are block code and result. The bench checks these against the chunks the window receives.
constexpr int kIdentifyReplyBytes = 2 + 16 + 1;
constexpr int kReadBasicReplyBytes = 2 + 24 + 1, kReadPasReplyBytes = 2 + 11 + 1, kReadThrReplyBytes = 2 + 6 + 1;
constexpr int kAckBytes = 2;

// The fixed waits: before the identification request and after it (before the retry timer
// starts); before every read request and write frame.
constexpr double kIdentifyWaitMs = 80, kIdentifyAfterMs = 80, kSendWaitMs = 50;

// One request and its reply. The main thread waits `before` ms, hands the request over, then
// stays blocked for `after` ms; the reply chunk reaches it once the request and the reply have
// crossed the line, the controller's latency has passed and the line has been quiet long enough.
struct Exchange {
    const char* what;
    double before;
    double after;
    int requestBytes;
    int replyBytes;
};

struct Floor {
    double total = 0;
    std::string explanation;
};

Floor LineFloor(const std::vector<Exchange>& exchanges, double latencyMs)
{
    Floor f;
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(2);
    for (const Exchange& x : exchanges) {
        const double wire = (x.requestBytes + x.replyBytes) * kByteMs;
        const double line = wire + latencyMs + kQuietMs;
        const double step = x.before + std::max(x.after, line);
        f.total += step;
        out << "      " << x.what << ": wait " << x.before << " + max(blocked " << x.after << ", wire ("
            << x.requestBytes << " + " << x.replyBytes << ") B x " << kByteMs << " = " << wire << " + latency "
            << latencyMs << " + quiet " << kQuietMs << " = " << line << ") = " << step << " ms\n";
    }
    f.explanation = out.str();
    return f;
}

// ---- The application: notices the end of each serial event's dispatch ----

class BenchApp : public QApplication {
public:
    using QApplication::QApplication;

    // Set while an operation runs: checked after every dispatch of a serial notification.
    std::function<bool()> done;
    QEventLoop* loop = nullptr;
    std::optional<Clock::time_point> finished;

    bool notify(QObject* receiver, QEvent* event) override
    {
        const bool serial = event->type() == CommNotificationEvent::EventType();
        const bool result = QApplication::notify(receiver, event);
        if (serial && done && !finished && done()) {
            finished = Clock::now();
            if (loop)
                loop->quit();
        }
        return result;
    }
};

void PumpFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit); // a coarse timer may end 5 % early
    loop.exec();
}

// ---- The virtual controller ----

class Controller {
public:
    Controller(const QString& program, const QString& folder, int latencyMs)
    {
        process_.setProgram(program);
        process_.setArguments({"--folder", folder, "--baud", "1200", "--latency", QString::number(latencyMs)});
        process_.setStandardErrorFile(QProcess::nullDevice()); // its frame log is not needed here
        process_.start();
        if (!process_.waitForStarted(5000))
            return;
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (port_.isEmpty() && Clock::now() < until) {
            if (!process_.canReadLine())
                process_.waitForReadyRead(200);
            while (process_.canReadLine()) {
                const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                if (line.startsWith(QLatin1String("PORT ")))
                    port_ = line.mid(5);
            }
        }
    }
    ~Controller()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished(5000);
            }
        }
    }
    const QString& Port() const { return port_; }

private:
    QProcess process_;
    QString port_;
};

// ---- Operations ----

struct Operation {
    std::string name;
    QPushButton* button;
    std::function<bool()> done;
    std::vector<Exchange> exchanges;
    std::vector<int> replyBytes; // expected chunk lengths, in order
};

struct Recorded {
    std::vector<std::string> keys;
    std::vector<int> chunks;
    double handlingMs = 0; // inside the receive handler, summed over the operation's chunks
    bool Has(const std::string& key) const { return std::find(keys.begin(), keys.end(), key) != keys.end(); }
};

// Message boxes answered at once and recorded, no modal windows; the fixed waits are real.
class BenchSeam : public TSeam {
public:
    explicit BenchSeam(Recorded& rec) : rec_(rec) {}
    int ShowMessage(const MessageRequest& r) override
    {
        rec_.keys.push_back(r.key);
        return r.flags == zelbor::mbYesNo ? zelbor::idYes : zelbor::idOk;
    }
    void ShowStartupWarning(TMainForm&) override {}
    void ShowHelpTopic(const std::string&, const std::string&) override {}
    void ShowAboutWindow() override {}
    void OpenUrl(const QUrl&) override {}

private:
    Recorded& rec_;
};

double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

long Wakeups()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw + u.ru_nivcsw;
}
// This process's environment with Qt's offscreen platform, for a child started by posix_spawn.
struct OffscreenEnvironment {
    OffscreenEnvironment()
    {
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0)
                strings.emplace_back(*e);
        strings.emplace_back("QT_QPA_PLATFORM=offscreen");
        for (auto& s : strings)
            pointers.push_back(s.data());
        pointers.push_back(nullptr);
    }
    std::vector<std::string> strings;
    std::vector<char*> pointers;
};

// ---- Start-up probe ----

struct ProbeRun {
    bool ok = false;
    double qappMs = 0, shownMs = 0, paintedMs = 0, mainShownMs = 0;
    long rssWarning = 0, hwmWarning = 0, rssMain = 0, hwmMain = 0;
};

ProbeRun RunProbe(const char* program)
{
    ProbeRun run;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    OffscreenEnvironment environment;
    std::vector<char*>& envp = environment.pointers;
    char* argv[] = {const_cast<char*>(program), nullptr};

    const auto t0 = Clock::now();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return run;
    }
    std::string text;
    char buf[512];
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0)
            break; // the probe hangs: give up on it
        const ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    close(out[0]);
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    const long long base = std::chrono::duration_cast<std::chrono::nanoseconds>(t0.time_since_epoch()).count();
    std::istringstream lines(text);
    std::string word;
    int seen = 0;
    while (lines >> word) {
        long long a = 0, b = 0;
        if (word == "QAPP" && lines >> a)
            run.qappMs = double(a - base) / 1e6;
        else if (word == "WARNING_SHOWN" && lines >> a) {
            run.shownMs = double(a - base) / 1e6;
            ++seen;
        } else if (word == "WARNING_PAINTED" && lines >> a)
            run.paintedMs = double(a - base) / 1e6;
        else if (word == "MAIN_SHOWN" && lines >> a)
            run.mainShownMs = double(a - base) / 1e6;
        else if (word == "RSS_WARNING" && lines >> a >> b) {
            run.rssWarning = long(a);
            run.hwmWarning = long(b);
            ++seen;
        } else if (word == "RSS_MAIN" && lines >> a >> b) {
            run.rssMain = long(a);
            run.hwmMain = long(b);
            ++seen;
        }
    }
    run.ok = seen == 3;
    return run;
}

// Resident memory of the real executable while its start-up warning waits for the user.
std::optional<std::pair<long, long>> RealExecutableFootprint(const char* program, double& cpuMs)
{
    OffscreenEnvironment environment;
    std::vector<char*>& envp = environment.pointers;
    char* argv[] = {const_cast<char*>(program), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return std::nullopt;
    usleep(3'000'000); // start-up is long over; the modal warning is waiting for the user
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    long rss = -1, hwm = -1;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            rss = std::atol(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0)
            hwm = std::atol(line.c_str() + 6);
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = all.rfind(')');
    if (close != std::string::npos) {
        std::istringstream fields(all.substr(close + 2));
        std::string f;
        long ut = 0, st = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i) {
            if (i == 14)
                ut = std::atol(f.c_str());
            if (i == 15)
                st = std::atol(f.c_str());
        }
        cpuMs = double(ut + st) * 1000.0 / double(sysconf(_SC_CLK_TCK));
    }
    kill(pid, SIGKILL);
    int ws = 0;
    waitpid(pid, &ws, 0);
    if (rss < 0)
        return std::nullopt;
    return std::make_pair(rss, hwm);
}

int IntOption(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    return fallback;
}

const char* StringOption(int argc, char** argv, const char* name)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return argv[i + 1];
    return nullptr;
}

} // namespace

} // namespace zelbor

int main(int argc, char** argv)
{
    using namespace zelbor;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: transfer_bench [--runs N] [--latency MS] [--idle-seconds S] [--startup-runs N] "
                        "[--only NAME]\n");
            return 0;
        }
    }
    const int runs = std::max(1, IntOption(argc, argv, "--runs", 10));
    const int latencyMs = std::max(0, IntOption(argc, argv, "--latency", 0));
    const int idleSeconds = std::max(1, IntOption(argc, argv, "--idle-seconds", 10));
    const int startupRuns = std::max(0, IntOption(argc, argv, "--startup-runs", 10));
    const std::string only = StringOption(argc, argv, "--only") ? StringOption(argc, argv, "--only") : "";
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    BenchApp app(argc, argv);
    zelbor::SetExecutableFolder(ZELBOR_SHIP_DIR); // the shipping folder of this build
    Recorded rec;
    BenchSeam seam(rec);
    SetSeam(&seam);

    QTemporaryDir folder;
    Controller controller(QStringLiteral(ZELBOR_VIRTUAL_CONTROLLER), folder.filePath(QStringLiteral("ports")),
                          latencyMs);
    if (controller.Port().isEmpty()) {
        std::fprintf(stderr, "transfer_bench: the virtual controller did not announce a port\n");
        return 1;
    }

    TMainForm form;
    form.FormShow();
    form.show();
    const auto dispatch = form.CommPort.OnReceiveData;
    form.CommPort.OnReceiveData = [&](zelbor::TComm& sender, const std::uint8_t* buffer, std::uint16_t length) {
        rec.chunks.push_back(length);
        const auto entered = Clock::now();
        dispatch(sender, buffer, length);
        rec.handlingMs += Ms(Clock::now() - entered);
    };
    form.cbbPort->addItem(controller.Port());
    form.cbbPort->setCurrentIndex(form.cbbPort->count() - 1);

    const auto message = [&rec](const char* key) { return [&rec, key] { return rec.Has(key); }; };
    const Exchange identify{"identify", kIdentifyWaitMs, kIdentifyAfterMs, kIdentifyRequestBytes, kIdentifyReplyBytes};
    const Exchange readB{"read Basic", kSendWaitMs, 0, kReadRequestBytes, kReadBasicReplyBytes};
    const Exchange readP{"read Pedal Assist", kSendWaitMs, 0, kReadRequestBytes, kReadPasReplyBytes};
    const Exchange readT{"read Throttle", kSendWaitMs, 0, kReadRequestBytes, kReadThrReplyBytes};
    const Exchange writeB{"write Basic", kSendWaitMs, 0, kWriteBasicBytes, kAckBytes};
    const Exchange writeP{"write Pedal Assist", kSendWaitMs, 0, kWritePasBytes, kAckBytes};
    const Exchange writeT{"write Throttle", kSendWaitMs, 0, kWriteThrBytes, kAckBytes};

    std::vector<Operation> ops = {
        {"Connect to identified",
         form.btnPortConnect,
         [&form] { return form.btnBasRead->isEnabled(); },
         {identify},
         {kIdentifyReplyBytes}},
        {"READ Basic", form.btnBasRead, message("err7"), {readB}, {kReadBasicReplyBytes}},
        {"READ Pedal Assist", form.btnPASRead, message("err33"), {readP}, {kReadPasReplyBytes}},
        {"READ Throttle Handle", form.btnThrRead, message("err46"), {readT}, {kReadThrReplyBytes}},
        {"Read Flash",
         form.btnReadFlash,
         message("err47"),
         {readB, readP, readT},
         {kReadBasicReplyBytes, kReadPasReplyBytes, kReadThrReplyBytes}},
        {"WRITE Basic", form.btnBasWrite, message("err32"), {writeB}, {kAckBytes}},
        {"WRITE Pedal Assist", form.btnPASWrite, message("err45"), {writeP}, {kAckBytes}},
        {"WRITE Throttle Handle", form.btnThrWrite, message("err54"), {writeT}, {kAckBytes}},
        {"Write Flash",
         form.btnWriteFlash,
         message("err55"),
         {writeB, writeP, writeT},
         {kAckBytes, kAckBytes, kAckBytes}},
    };

    std::printf("Transfers: real main window, offscreen, virtual controller at 1200 baud 8N1 (%.4f ms a byte), "
                "latency %d ms, quiet interval %.0f ms, %d runs each\n\n",
                kByteMs, latencyMs, kQuietMs, runs);

    bool allOk = true;
    // Runs one operation once; returns the time from the press to the end of the finishing dispatch.
    auto runOnce = [&](const Operation& op, bool& ok) -> double {
        rec.keys.clear();
        rec.chunks.clear();
        rec.handlingMs = 0;
        QEventLoop loop;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        app.finished.reset();
        app.done = op.done;
        app.loop = &loop;
        const auto t0 = Clock::now();
        op.button->click(); // runs the handler, its fixed wait included
        if (!app.finished && !op.done()) {
            guard.start(10000);
            loop.exec();
        } else if (!app.finished) {
            app.finished = Clock::now();
        }
        app.done = nullptr;
        app.loop = nullptr;
        ok = app.finished.has_value() && rec.chunks == op.replyBytes;
        if (!app.finished)
            return -1;
        return Ms(*app.finished - t0);
    };

    bool connected = false;
    for (const Operation& op : ops) {
        const bool isConnect = op.button == form.btnPortConnect;
        if (!isConnect && !only.empty() && op.name.find(only) == std::string::npos)
            continue;
        std::vector<double> times, handling;
        std::vector<int> lastChunks;
        std::vector<std::string> lastKeys;
        bool ok = true;
        for (int i = 0; i < runs && ok; ++i) {
            if (isConnect && connected) {
                form.btnPortDisconnect->click();
                connected = false;
            }
            PumpFor(30); // the line settles; nothing is pending
            const double t = runOnce(op, ok);
            lastChunks = rec.chunks;
            lastKeys = rec.keys;
            if (t >= 0) {
                times.push_back(t);
                handling.push_back(rec.handlingMs);
            }
            if (isConnect)
                connected = ok;
        }
        if (!ok) {
            allOk = false;
            std::printf("%-22s did not complete as expected (messages:", op.name.c_str());
            for (auto& k : lastKeys)
                std::printf(" %s", k.c_str());
            std::printf("; chunk lengths:");
            for (int c : lastChunks)
                std::printf(" %d", c);
            std::printf(")\n");
            if (isConnect)
                break;
            continue;
        }
        const Floor floor = LineFloor(op.exchanges, latencyMs);
        const double median = Median(times);
        std::printf("%-22s median %8.2f ms  (min %8.2f, max %8.2f)  floor %8.2f ms  ratio %.4f  excess %+.2f ms\n",
                    op.name.c_str(), median, *std::min_element(times.begin(), times.end()),
                    *std::max_element(times.begin(), times.end()), floor.total, median / floor.total,
                    median - floor.total);
        std::printf("%s", floor.explanation.c_str());
        // In Read Flash and Write Flash the handlers send the next frame, its fixed wait included.
        const double waitsInHandlers = double(op.exchanges.size() - 1) * kSendWaitMs;
        std::printf(
            "      of the excess: inside the receive handler (decoding, widgets, reopening, messages%s) "
            "%.2f ms; outside it (the wake-ups of controller, port threads and GUI thread, timer overshoot) %.2f ms\n",
            waitsInHandlers > 0 ? ", less the fixed waits run there" : "", Median(handling) - waitsInHandlers,
            median - floor.total - (Median(handling) - waitsInHandlers));
        std::fflush(stdout);
    }

    // ---- Idle CPU of the connected tool ----
    if (connected) {
        PumpFor(300);
        const double cpu0 = CpuMs();
        const long wake0 = Wakeups();
        const auto t0 = Clock::now();
        PumpFor(idleSeconds * 1000);
        const double span = Ms(Clock::now() - t0);
        const double cpu = CpuMs() - cpu0;
        const long wakes = Wakeups() - wake0;
        std::printf("\nIdle, connected (port open, both worker threads waiting): CPU %.3f ms over %.1f s "
                    "(%.3f ms per 10 s), %ld context switches of the whole process\n",
                    cpu, span / 1000.0, cpu * 10000.0 / span, wakes);
    }
    form.btnPortDisconnect->click();

    // ---- Start-up and footprint ----
    if (startupRuns > 0) {
        std::vector<double> qapp, shown, painted, mainShown;
        long rssW = 0, hwmW = 0, rssM = 0, hwmM = 0;
        int good = 0;
        for (int i = 0; i < startupRuns; ++i) {
            const ProbeRun r = RunProbe(ZELBOR_STARTUP_PROBE);
            if (!r.ok)
                continue;
            ++good;
            qapp.push_back(r.qappMs);
            shown.push_back(r.shownMs);
            painted.push_back(r.paintedMs);
            mainShown.push_back(r.mainShownMs);
            rssW = std::max(rssW, r.rssWarning);
            hwmW = std::max(hwmW, r.hwmWarning);
            rssM = std::max(rssM, r.rssMain);
            hwmM = std::max(hwmM, r.hwmMain);
        }
        if (good == 0) {
            std::printf("\nStart-up: the probe reported nothing\n");
            allOk = false;
        } else {
            std::printf("\nStart-up over %d launches (process start to ..., median): QApplication built %.1f ms, "
                        "warning shown %.1f ms, warning painted %.1f ms; main window shown after the warning "
                        "closed %.1f ms\n",
                        good, Median(qapp), Median(shown), Median(painted), Median(mainShown));
            std::printf("Footprint (largest of the launches): with the warning on screen VmRSS %ld kB, VmHWM %ld kB; "
                        "with the main window shown VmRSS %ld kB, VmHWM %ld kB\n",
                        rssW, hwmW, rssM, hwmM);
        }
        double cpu = 0;
        if (const auto fp = RealExecutableFootprint(ZELBOR_EXECUTABLE, cpu))
            std::printf("Real executable, 3 s after launch with the warning waiting: VmRSS %ld kB, VmHWM %ld kB, "
                        "CPU used so far %.0f ms\n",
                        fp->first, fp->second, cpu);
    }
    return allOk ? 0 : 1;
}
