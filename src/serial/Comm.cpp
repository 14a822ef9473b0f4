// SPDX-License-Identifier: GPL-3.0-or-later
// TComm on POSIX termios: opening and closing the port, starting and stopping its worker threads,
// and queueing blocks for the transmit thread (CommSession.h describes the threads).
#include "serial/Comm.h"
#include "serial/AccessAdvice.h"
#include "serial/CommSession.h"
#include "serial/Doctor.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace zelbor {

namespace fs = std::filesystem;

namespace {

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

std::string OpenFailureDetail(const std::string& name, int err)
{
    std::string detail;
    switch (err) {
    case EACCES:
    case EPERM:
        return AccessDeniedDetail(name);
    case EBUSY:
    case EWOULDBLOCK:
        detail = DoctorText("busy",
                            "%1 is held by another program: a second instance of this tool, a modem manager "
                            "(ModemManager) or a braille daemon (brltty) may have grabbed the adapter.",
                            {name});
        break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        detail = DoctorText("missing", "%1 has vanished or does not exist. Rescan the ports and choose again.", {name});
        break;
    default:
        return name + ": " + std::strerror(err);
    }
    // Then what this computer tells about it: who holds it, which service takes such adapters.
    // The node's absence is already said above.
    std::error_code ec;
    if (fs::exists(name, ec)) {
        if (const std::string findings = OpenFailureFindings(name); !findings.empty())
            detail += "\n" + findings;
    }
    return detail;
}

} // namespace

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
