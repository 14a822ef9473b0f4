// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerLine.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace zelbor::vc {

namespace {

volatile std::sig_atomic_t gStop = 0;
int gSignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    gStop = 1;
    const char c = 's';
    (void)!write(gSignalPipe[1], &c, 1);
}

std::string Stamp()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t{};
    localtime_r(&ts.tv_sec, &t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03ld", t.tm_hour, t.tm_min, t.tm_sec, ts.tv_nsec / 1000000);
    return buf;
}

// Sleeps on the monotonic clock; returns false as soon as a stop signal arrived.
bool SleepUntil(std::chrono::steady_clock::time_point when)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (!gStop) {
        const int r = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        if (r == 0)
            return true;
        if (r != EINTR)
            return true;
    }
    return false;
}

bool SleepMs(int ms) { return SleepUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)); }

} // namespace

void Log(const std::string& what) { std::fprintf(stderr, "[%s] %s\n", Stamp().c_str(), what.c_str()); }

bool InstallStopSignals()
{
    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

bool TPseudoTerminal::Open()
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        Log(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
        return false;
    }
    device_ = name;
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B1200);
    cfsetospeed(&t, B1200);
    tcsetattr(slave_, TCSANOW, &t);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    return true;
}

bool TPseudoTerminal::Register()
{
    if (mkdir(o_.folder.c_str(), 0700) != 0 && errno != EEXIST) {
        Log("cannot create " + o_.folder + ": " + std::strerror(errno));
        return false;
    }
    // The folder must be a private folder of this user, not something planted by another.
    struct stat st {};
    if (lstat(o_.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 077) != 0) {
        Log(o_.folder + " is not a private folder of this user; not registering there");
        return false;
    }
    link_ = o_.folder + "/" + o_.name;
    struct stat target {};
    if (lstat(link_.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode) && stat(link_.c_str(), &target) != 0) {
            unlink(link_.c_str()); // a dangling link left by a controller that died
        } else {
            Log(link_ + " is in use");
            link_.clear();
            return false;
        }
    }
    if (symlink(device_.c_str(), link_.c_str()) != 0) {
        Log("cannot create " + link_ + ": " + std::strerror(errno));
        link_.clear();
        return false;
    }
    return true;
}

void TPseudoTerminal::Unregister()
{
    if (!link_.empty())
        unlink(link_.c_str());
    link_.clear();
}

void TPseudoTerminal::HangUp()
{
    if (master_ >= 0)
        close(master_);
    if (slave_ >= 0)
        close(slave_);
    master_ = slave_ = -1;
}

bool TPseudoTerminal::Send(const Bytes& bytes)
{
    auto next = std::chrono::steady_clock::now();
    bool due = o_.byteTimeUs == 0;
    for (std::size_t i = 0; i < bytes.size();) {
        if (gStop)
            return false;
        if (!due) {
            next += std::chrono::microseconds(o_.byteTimeUs);
            if (!SleepUntil(next))
                return false;
            due = true;
        }
        const std::size_t n = o_.byteTimeUs > 0 ? 1 : bytes.size() - i;
        const ssize_t w = write(master_, bytes.data() + i, n);
        if (w < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 100);
                continue;
            }
            Log(std::string("write failed: ") + std::strerror(errno));
            return false;
        }
        i += static_cast<std::size_t>(w);
        due = o_.byteTimeUs == 0;
    }
    return true;
}

void Serve(TPseudoTerminal& port, const TLineOptions& o, TControllerModel& model)
{
    TFrameParser parser{std::chrono::microseconds(o.byteTimeUs), Log};
    bool hungUp = false;

    while (!gStop) {
        pollfd fds[2] = {{gSignalPipe[0], POLLIN, 0}, {hungUp ? -1 : port.Master(), POLLIN, 0}};
        const int r = poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (!(fds[1].revents & POLLIN))
            continue;
        std::uint8_t buf[512];
        const ssize_t got = read(port.Master(), buf, sizeof buf);
        if (got <= 0)
            continue; // the slave we hold keeps the master alive; nothing to do
        parser.Add(buf, static_cast<std::size_t>(got), std::chrono::steady_clock::now());

        // A step that cannot be played (a stop signal, a failed write) ends the answers to what
        // this read brought.
        bool played = true;
        while (played && !hungUp) {
            const auto frame = parser.Next();
            if (!frame)
                break;
            const std::vector<TReplyStep> steps = model.Answer(*frame);
            if (steps.empty())
                continue;
            if (!SleepUntil(parser.FrameArrived() + std::chrono::milliseconds(o.latencyMs)))
                break;
            for (const TReplyStep& step : steps) {
                if (step.hangUp) {
                    SleepMs(static_cast<int>(step.pause.count()));
                    port.HangUp();
                    port.Unregister();
                    hungUp = true;
                    Log(step.note);
                    break;
                }
                if (step.pause.count() > 0 && !SleepMs(static_cast<int>(step.pause.count()))) {
                    played = false;
                    break;
                }
                Log(step.note);
                if (!port.Send(step.bytes)) {
                    played = false;
                    break;
                }
            }
        }
        if (hungUp && !o.hangupStay)
            break;
    }
}

} // namespace zelbor::vc
