// SPDX-License-Identifier: GPL-3.0-or-later
// TComm on POSIX termios.
//
// Threads of an open port:
//  - the receive thread polls the device and the stop eventfd. It cuts the byte stream into
//    chunks by the inter-byte interval, which it times itself on the monotonic clock (the
//    device runs with VMIN=0/VTIME=0 and O_NONBLOCK): a chunk ends when the line has been
//    quiet for longer than ReadIntervalTimeout ms or when it holds 1024 bytes. While no
//    chunk is pending it polls without time-out, so an idle port costs no CPU.
//  - the transmit thread waits on the stop eventfd and a wake-up eventfd that SendData
//    signals after queueing a block.
//  - a modem-line thread, only for devices that keep interrupt counters (real UARTs and
//    USB adapters; not pseudo-terminals), waits in TIOCMIWAIT for carrier-detect and ring
//    changes. That ioctl cannot include an eventfd, so ClosePort interrupts it with a
//    signal whose handler does nothing and which is installed without SA_RESTART.
// Line errors are taken from the kernel's interrupt counters (TIOCGICOUNT: framing, parity,
// overrun, buffer overrun, break) whenever the receive thread wakes for input: an error
// always arrives together with a received byte, so no extra wait or polling is needed.
#include "serial/Comm.h"
#include "serial/AccessAdvice.h"
#include "serial/CommProperties.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace zelbor {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadBufferSize = 1024;

// Line-error flags as the owner's code knows them (receive queue overflow, hardware overrun,
// parity error, framing error, break).
constexpr std::uint32_t kErrRxOver = 0x0001;
constexpr std::uint32_t kErrOverrun = 0x0002;
constexpr std::uint32_t kErrParity = 0x0004;
constexpr std::uint32_t kErrFrame = 0x0008;
constexpr std::uint32_t kErrBreak = 0x0010;

constexpr std::uint32_t kModemCarrier = 8;
constexpr std::uint32_t kModemRing = 4;

int InterruptSignal() { return SIGRTMIN + 4; }

void InstallInterruptHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0; // no SA_RESTART: the blocked ioctl must return EINTR
        sigaction(InterruptSignal(), &sa, nullptr);
    });
}

// Worker threads ask for a higher priority; an unprivileged process may not raise it, which
// is harmless, so failure is ignored.
void RaisePriority(int niceDelta)
{
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    if (errno == 0)
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), current - niceDelta);
}

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

std::string OpenFailureDetail(const std::string& name, int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return AccessDeniedDetail(name);
    case EBUSY:
    case EWOULDBLOCK:
        return name + " is held by another program: a second instance of this tool, a modem manager "
                      "(ModemManager) or a braille daemon (brltty) may have grabbed the adapter.";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return name + " has vanished or does not exist. Rescan the ports and choose again.";
    default:
        return name + ": " + std::strerror(err);
    }
}

struct TxBlock {
    std::unique_ptr<std::uint8_t[]> data; // length + 1 bytes, zero-filled
    std::uint16_t length = 0;
};

} // namespace

// Everything the worker threads of one open period share with the owner.
struct Session {
    NotifyWindow& notify;
    int fd = -1;
    int stopFd = -1; // signalled once by ClosePort and left signalled (manual reset)
    int wakeFd = -1; // signalled by SendData
    std::atomic<bool> stopping{false};

    std::atomic<std::uint32_t> readInterval{0};
    std::atomic<std::uint32_t> readTotalMultiplier{0};
    std::atomic<std::uint32_t> readTotalConstant{0};
    std::atomic<std::uint32_t> writeTotalMultiplier{0};
    std::atomic<std::uint32_t> writeTotalConstant{0};
    std::atomic<bool> ignoreNull{false};

    std::mutex txMutex;
    std::deque<TxBlock> txQueue;
    std::atomic<bool> writerAlive{false};

    bool haveCounters = false;
    serial_icounter_struct counters{};

    std::thread reader;
    std::thread writer;
    std::thread modem;
    std::atomic<bool> modemDone{true};

    explicit Session(NotifyWindow& n) : notify(n) {}

    bool Post(int code, std::uint32_t w = 0, std::uint32_t l = 0, std::unique_ptr<std::uint8_t[]> block = nullptr)
    {
        CommNotification n;
        n.code = code;
        n.wParam = w;
        n.lParam = l;
        n.block = std::move(block);
        return notify.PostNotification(std::move(n));
    }
    void Hangup() { Post(MsgRequestHangup); }

    bool Deliver(const std::uint8_t* bytes, std::size_t n)
    {
        if (n == 0)
            return true; // nothing to hand over (every byte was a discarded null)
        std::unique_ptr<std::uint8_t[]> block;
        try {
            block.reset(new std::uint8_t[n + 1]());
        } catch (const std::bad_alloc&) {
            Hangup();
            return false;
        }
        std::memcpy(block.get(), bytes, n);
        if (!Post(MsgReceiveData, static_cast<std::uint32_t>(n), 0, std::move(block))) {
            Hangup();
            return false;
        }
        return true;
    }

    // Compares the kernel's error counters with the last ones seen and reports new errors.
    bool CheckLineErrors()
    {
        if (!haveCounters)
            return true;
        serial_icounter_struct now{};
        if (ioctl(fd, TIOCGICOUNT, &now) != 0)
            return true;
        std::uint32_t flags = 0;
        if (now.buf_overrun != counters.buf_overrun)
            flags |= kErrRxOver;
        if (now.overrun != counters.overrun)
            flags |= kErrOverrun;
        if (now.parity != counters.parity)
            flags |= kErrParity;
        if (now.frame != counters.frame)
            flags |= kErrFrame;
        if (now.brk != counters.brk)
            flags |= kErrBreak;
        counters.buf_overrun = now.buf_overrun;
        counters.overrun = now.overrun;
        counters.parity = now.parity;
        counters.frame = now.frame;
        counters.brk = now.brk;
        if (flags != 0 && !Post(MsgReceiveError, 0, flags)) {
            Hangup();
            return false;
        }
        return true;
    }

    void ReadLoop();
    void WriteLoop();
    void ModemLoop();
    bool WriteBlock(const std::uint8_t* data, std::size_t n);
};

void Session::ReadLoop()
{
    RaisePriority(2);
    std::uint8_t buffer[kReadBufferSize];
    std::size_t count = 0;
    Clock::time_point first{}, last{};

    for (;;) {
        timespec ts{};
        timespec* timeout = nullptr;
        if (count > 0) {
            // A pending chunk ends after a quiet line longer than the interval, or when the
            // total limit (counted from its first byte) has passed.
            Clock::time_point deadline =
                last + std::chrono::milliseconds(readInterval.load()) + std::chrono::microseconds(1);
            const std::uint64_t total =
                std::uint64_t(readTotalMultiplier.load()) * kReadBufferSize + readTotalConstant.load();
            if (total > 0)
                deadline = std::min(deadline, first + std::chrono::milliseconds(total));
            const auto now = Clock::now();
            if (now >= deadline) {
                if (!Deliver(buffer, count))
                    break;
                count = 0;
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
            ts.tv_sec = static_cast<time_t>(left / 1000000000);
            ts.tv_nsec = static_cast<long>(left % 1000000000);
            timeout = &ts;
        }

        pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, POLLIN, 0}};
        const int r = ppoll(fds, 2, timeout, nullptr);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            Hangup();
            break;
        }
        if (fds[0].revents != 0 || stopping.load())
            break; // closing: pending bytes are purged with the input queue
        if (r == 0)
            continue; // the chunk's deadline: handled at the top

        bool gone = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            // Take what the driver holds now, chunk by chunk.
            for (;;) {
                const ssize_t got = read(fd, buffer + count, kReadBufferSize - count);
                if (got > 0) {
                    std::size_t kept = static_cast<std::size_t>(got);
                    if (ignoreNull.load()) {
                        auto* begin = buffer + count;
                        kept = static_cast<std::size_t>(std::remove(begin, begin + got, 0) - begin);
                    }
                    const auto now = Clock::now();
                    if (count == 0)
                        first = now;
                    if (kept > 0 || count > 0)
                        last = now;
                    count += kept;
                    if (count == kReadBufferSize || readInterval.load() == 0) {
                        if (!Deliver(buffer, count))
                            goto failed;
                        count = 0;
                    }
                    continue;
                }
                if (got == 0)
                    break; // with VMIN=0/VTIME=0 an empty read means "nothing more now"; a hang-up shows as POLLHUP
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    gone = true; // EIO: the device went away
                break;
            }
        }
        if (!CheckLineErrors())
            break;
        if (gone) {
            // Hand over what arrived before the far end went away, then stop this thread.
            if (count > 0 && !Deliver(buffer, count))
                break;
            count = 0;
            if (!stopping.load())
                Hangup();
            break;
        }
    }
failed:
    tcflush(fd, TCIFLUSH);
}

bool Session::WriteBlock(const std::uint8_t* data, std::size_t n)
{
    const std::uint64_t limit = std::uint64_t(writeTotalMultiplier.load()) * n + writeTotalConstant.load();
    const auto deadline = Clock::now() + std::chrono::milliseconds(limit);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = write(fd, data + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (errno != EBADF)
                Hangup();
            return false;
        }
        // The output queue is full (or flow control holds it): wait for room or the stop.
        int ms = -1;
        if (limit > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                Hangup(); // time-out: fewer bytes than asked were written
                return false;
            }
            ms = static_cast<int>(std::min<long long>(left + 1, 1 << 30));
        }
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, POLLOUT, 0}};
        const int r = poll(fds, 2, ms);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            Hangup();
            return false;
        }
        if (fds[0].revents != 0)
            return false; // closing
        if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            Hangup();
            return false;
        }
    }
    return true;
}

void Session::WriteLoop()
{
    RaisePriority(1);
    bool notifyEmpty = true;
    for (;;) {
        TxBlock block;
        bool have = false;
        {
            std::lock_guard<std::mutex> lock(txMutex);
            if (!txQueue.empty()) {
                block = std::move(txQueue.front());
                txQueue.pop_front();
                have = true;
            }
        }
        if (!have) {
            if (notifyEmpty) {
                if (!Post(MsgSendDataEmpty)) {
                    Hangup();
                    break;
                }
                notifyEmpty = false;
            }
            pollfd fds[2] = {{stopFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            const int r = poll(fds, 2, -1);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                Hangup();
                break;
            }
            if (fds[0].revents != 0)
                break;
            if (fds[1].revents != 0) {
                std::uint64_t v;
                (void)!read(wakeFd, &v, sizeof v);
            }
            continue;
        }
        if (stopping.load())
            break;
        if (!WriteBlock(block.data.get(), block.length))
            break;
        notifyEmpty = true;
    }
    writerAlive.store(false);
    tcflush(fd, TCOFLUSH);
}

void Session::ModemLoop()
{
    serial_icounter_struct before = counters;
    while (!stopping.load()) {
        if (ioctl(fd, TIOCMIWAIT, TIOCM_CD | TIOCM_RNG) != 0) {
            if (errno == EINTR)
                continue;
            break; // the device offers no such wait, or went away (the receive thread reports that)
        }
        serial_icounter_struct now{};
        if (ioctl(fd, TIOCGICOUNT, &now) != 0)
            break;
        std::uint32_t code = 0;
        if (now.dcd != before.dcd)
            code |= kModemCarrier;
        if (now.rng != before.rng)
            code |= kModemRing;
        before = now;
        if (code != 0 && !Post(MsgModemStateChange, 0, code)) {
            Hangup();
            break;
        }
    }
    modemDone.store(true);
}

struct TComm::Impl : CommProperties {
    explicit Impl(NotifyWindow& n) : notify(n) {}

    NotifyWindow& notify;
    std::unique_ptr<Session> session;

    // Parity in effect on the line: taken at OpenPort only.
    TParity openParity = TParity::None;

    void ApplyLineSettings();
    void ApplyTimeouts();
    void Close();
};

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

void TComm::Impl::Close()
{
    if (!session)
        return;
    Session& s = *session;
    s.stopping.store(true);
    const std::uint64_t one = 1;
    (void)!write(s.stopFd, &one, sizeof one);

    tcflush(s.fd, TCIFLUSH);
    if (s.reader.joinable())
        s.reader.join();
    tcflush(s.fd, TCOFLUSH);
    if (s.writer.joinable())
        s.writer.join();
    if (s.modem.joinable()) {
        // TIOCMIWAIT cannot watch the eventfd: interrupt it until the thread has seen the stop.
        while (!s.modemDone.load()) {
            pthread_kill(s.modem.native_handle(), InterruptSignal());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        s.modem.join();
    }
    (void)ioctl(s.fd, TIOCNXCL); // a pseudo-terminal kept open elsewhere would stay exclusive
    close(s.fd);
    close(s.stopFd);
    close(s.wakeFd);
    session.reset();
}

TComm::TComm(NotifyWindow& notifyWindow) : d(std::make_unique<Impl>(notifyWindow)) {}

TComm::~TComm() { d->Close(); }

void TComm::OpenPort()
{
    if (d->session)
        throw ECommsError("This serial port already opened");
    const std::string& name = d->commName;
    if (name.empty())
        throw ECommsError("Error opening serial port", "No port name was given. Rescan the ports and choose one.");

    int fd = open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw ECommsError("Error opening serial port", OpenFailureDetail(name, err));
    }
    if (fd < 3) {
        // Keep 0 free: ComHandle 0 means closed.
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        close(fd);
        if (moved < 0) {
            const int err = errno;
            throw ECommsError("Error opening serial port", OpenFailureDetail(name, err));
        }
        fd = moved;
    }
    termios probe{};
    if (!isatty(fd) || tcgetattr(fd, &probe) != 0) {
        close(fd);
        throw ECommsError("File handle is not a comm handle ", name + " is not a serial device (not a terminal).");
    }
    // Exclusive use: the advisory lock also holds against privileged processes, which
    // TIOCEXCL lets through.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        throw ECommsError("Error opening serial port", OpenFailureDetail(name, err == EWOULDBLOCK ? EBUSY : err));
    }
    (void)ioctl(fd, TIOCEXCL);

    auto session = std::make_unique<Session>(d->notify);
    session->fd = fd;
    tcflush(fd, TCIOFLUSH);
    d->session = std::move(session);
    d->openParity = d->parity;
    d->ApplyTimeouts();
    d->ApplyLineSettings();

    Session& s = *d->session;
    auto fail = [&](const char* text) {
        (void)ioctl(fd, TIOCNXCL);
        close(fd);
        if (s.stopFd >= 0)
            close(s.stopFd);
        if (s.wakeFd >= 0)
            close(s.wakeFd);
        d->session.reset();
        throw ECommsError(text);
    };
    s.stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    s.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s.stopFd < 0 || s.wakeFd < 0)
        fail("Unable to create event");

    s.haveCounters = ioctl(fd, TIOCGICOUNT, &s.counters) == 0;
    try {
        s.reader = std::thread([&s] { s.ReadLoop(); });
    } catch (const std::system_error&) {
        fail("Unable to create read thread");
    }
    try {
        s.writerAlive.store(true);
        s.writer = std::thread([&s] { s.WriteLoop(); });
    } catch (const std::system_error&) {
        s.writerAlive.store(false);
        s.stopping.store(true);
        const std::uint64_t one = 1;
        (void)!write(s.stopFd, &one, sizeof one);
        s.reader.join();
        fail("Unable to create write thread");
    }
    if (s.haveCounters) {
        InstallInterruptHandler();
        try {
            s.modemDone.store(false);
            s.modem = std::thread([&s] { s.ModemLoop(); });
        } catch (const std::system_error&) {
            s.modemDone.store(true); // modem-line events are a convenience; the port works without
        }
    }
}

void TComm::ClosePort() { d->Close(); }

bool TComm::SendData(const void* buffer, std::uint16_t length)
{
    if (!d->session || length == 0 || buffer == nullptr)
        return false;
    Session& s = *d->session;
    if (!s.writerAlive.load())
        return false;
    TxBlock block;
    try {
        block.data.reset(new std::uint8_t[std::size_t(length) + 1]());
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::memcpy(block.data.get(), buffer, length);
    block.length = length;
    {
        std::lock_guard<std::mutex> lock(s.txMutex);
        s.txQueue.push_back(std::move(block));
    }
    const std::uint64_t one = 1;
    return write(s.wakeFd, &one, sizeof one) == sizeof one;
}

std::intptr_t TComm::ComHandle() const { return d->session ? d->session->fd : 0; }

// The events and the properties are the same on every backend.
#include "serial/CommShared.inl"

} // namespace zelbor
