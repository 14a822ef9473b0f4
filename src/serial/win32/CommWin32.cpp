// SPDX-License-Identifier: GPL-3.0-or-later
// TComm on Win32 serial communication ports: opening and closing the port, starting and stopping
// its worker threads, and posting blocks to the transmit thread (CommSessionWin32.h describes the
// threads).
#include "serial/Comm.h"
#include "serial/Doctor.h"
#include "serial/win32/CommSessionWin32.h"
#include "common/win32/SystemMessage.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

#include <windows.h>
#include <process.h>

namespace zelbor {

namespace {

bool IsComName(const std::string& name, std::size_t& digits)
{
    if (name.size() < 4)
        return false;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return false;
    digits = name.size() - 3;
    return std::all_of(name.begin() + 3, name.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// COM1..COM9 are reserved names that open as they stand; COM10 and above exist only in the
// device namespace and must be opened as \\.\COM10.
std::string DeviceName(const std::string& name)
{
    std::size_t digits = 0;
    if (IsComName(name, digits) && digits >= 2)
        return "\\\\.\\" + name;
    return name;
}

// The name of the per-session object that marks a port as held by this tool. CreateFile's
// share mode 0 already makes a second open fail on Windows; Wine does not enforce it for
// serial devices, so without this two components could read the same line and each see half
// of every reply.
std::string HoldName(const std::string& name)
{
    std::string key = name;
    if (key.rfind("\\\\.\\", 0) == 0)
        key = key.substr(4);
    for (char& c : key) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (c == '\\')
            c = '/'; // a backslash would name a sub-folder of the object namespace
    }
    return "Local\\ZelborSerialPort." + key;
}

std::string BusyDetail(const std::string& name)
{
    return DoctorText("busy_windows",
                      "%1 is held by another program: a second instance of this tool or another serial program has "
                      "it open. Close that program, or choose another port.",
                      {name});
}

std::string OpenFailureDetail(const std::string& name, DWORD err)
{
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_DEV_NOT_EXIST:
        return DoctorText("missing", "%1 has vanished or does not exist. Rescan the ports and choose again.", {name});
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return BusyDetail(name);
    default:
        return name + ": " + SystemMessage(err);
    }
}

struct ThreadStart {
    std::shared_ptr<Session> session;
    void (Session::*loop)();
};

unsigned __stdcall ThreadMain(void* arg)
{
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(arg));
    ((*start->session).*(start->loop))();
    return 0;
}

// Creates a worker suspended, so that its priority is set before it runs.
HANDLE CreateWorker(const std::shared_ptr<Session>& s, void (Session::*loop)(), int priority, unsigned* id)
{
    auto* start = new (std::nothrow) ThreadStart{s, loop};
    if (!start)
        return nullptr;
    const auto h = _beginthreadex(nullptr, 0, ThreadMain, start, CREATE_SUSPENDED, id);
    if (h == 0) {
        delete start;
        return nullptr;
    }
    SetThreadPriority(reinterpret_cast<HANDLE>(h), priority);
    return reinterpret_cast<HANDLE>(h);
}

// Waits for a signalled worker; one that does not end in time is left running on its own
// reference to the session.
void StopWorker(HANDLE& thread)
{
    if (!thread)
        return;
    WaitForSingleObject(thread, kThreadStopWaitMs);
    CloseHandle(thread);
    thread = nullptr;
}

} // namespace

void TComm::Impl::Close()
{
    if (!session)
        return;
    Session& s = *session;
    SetEvent(s.closeEvent);
    PurgeComm(s.port, PURGE_RXABORT | PURGE_RXCLEAR);
    StopWorker(s.reader);
    PurgeComm(s.port, PURGE_TXABORT | PURGE_TXCLEAR);
    StopWorker(s.writer);
    CloseHandle(s.closeEvent);
    CloseHandle(s.writerReady);
    CloseHandle(s.port);
    CloseHandle(s.hold);
    session.reset();
}

TComm::TComm(NotifyWindow& notifyWindow) : d(std::make_unique<Impl>(notifyWindow)) {}

TComm::~TComm() { d->Close(); }

void TComm::OpenPort()
{
    if (d->session)
        throw ECommsError("This serial port already opened");
    const std::string name = d->commName;
    if (name.empty())
        throw ECommsError("Error opening serial port", "No port name was given. Rescan the ports and choose one.");

    HANDLE hold = CreateMutexA(nullptr, FALSE, HoldName(name).c_str());
    const DWORD holdErr = GetLastError();
    if (!hold)
        throw ECommsError("Error opening serial port", OpenFailureDetail(name, holdErr));
    if (holdErr == ERROR_ALREADY_EXISTS) {
        CloseHandle(hold);
        throw ECommsError("Error opening serial port", BusyDetail(name));
    }

    HANDLE port = CreateFileA(DeviceName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        CloseHandle(hold);
        throw ECommsError("Error opening serial port", OpenFailureDetail(name, err));
    }
    auto fail = [&](const char* text, std::string detail) {
        CloseHandle(port);
        CloseHandle(hold);
        throw ECommsError(text, std::move(detail));
    };
    SetLastError(NO_ERROR);
    const DWORD type = GetFileType(port);
    const DWORD typeErr = GetLastError();
    // FILE_TYPE_UNKNOWN together with an error means the query failed: a name whose device is
    // gone (Wine keeps a placeholder for a configured port whose target has vanished).
    if (type == FILE_TYPE_UNKNOWN && typeErr != NO_ERROR)
        fail("Error opening serial port", OpenFailureDetail(name, ERROR_DEV_NOT_EXIST));
    if (type != FILE_TYPE_CHAR)
        fail("File handle is not a comm handle ", name + " is not a serial device.");
    if (!SetupComm(port, kInputQueue, kOutputQueue))
        fail("Cannot setup comm buffer", name + " refused driver queues of 2048 and 1024 bytes: " +
                                             SystemMessage(GetLastError()) + ". It is probably not a serial port.");

    auto s = std::make_shared<Session>(d->notify);
    s->port = port;
    s->hold = hold;
    d->session = s;
    PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    d->openParity = d->parity;
    d->ApplyTimeouts();
    d->ApplyLineSettings();

    auto failOpen = [&](const char* text) {
        if (s->closeEvent)
            CloseHandle(s->closeEvent);
        if (s->writerReady)
            CloseHandle(s->writerReady);
        d->session.reset();
        fail(text, {});
    };
    s->closeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    s->writerReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!s->closeEvent || !s->writerReady)
        failOpen("Unable to create event");

    s->reader = CreateWorker(s, &Session::ReadLoop, THREAD_PRIORITY_HIGHEST, nullptr);
    if (!s->reader)
        failOpen("Unable to create read thread");
    s->writer = CreateWorker(s, &Session::WriteLoop, THREAD_PRIORITY_ABOVE_NORMAL, &s->writerId);
    if (!s->writer) {
        SetEvent(s->closeEvent);
        ResumeThread(s->reader);
        StopWorker(s->reader);
        failOpen("Unable to create write thread");
    }
    ResumeThread(s->reader);
    ResumeThread(s->writer);
    HANDLE ready[2] = {s->writerReady, s->writer};
    WaitForMultipleObjects(2, ready, FALSE, kThreadStopWaitMs);
}

void TComm::ClosePort() { d->Close(); }

bool TComm::SendData(const void* buffer, std::uint16_t length)
{
    if (!d->session || length == 0 || buffer == nullptr)
        return false;
    Session& s = *d->session;
    // A transmit thread that ended after a failure no longer takes requests (and its id may
    // not be posted to).
    if (WaitForSingleObject(s.writer, 0) != WAIT_TIMEOUT)
        return false;
    auto* block = static_cast<std::uint8_t*>(LocalAlloc(LPTR, std::size_t(length) + 1));
    if (!block)
        return false;
    std::memcpy(block, buffer, length);
    if (!PostThreadMessageA(s.writerId, kTransmitMessage, length, reinterpret_cast<LPARAM>(block))) {
        LocalFree(block);
        return false;
    }
    return true;
}

std::intptr_t TComm::ComHandle() const { return d->session ? reinterpret_cast<std::intptr_t>(d->session->port) : 0; }

// The events and the properties are the same on every backend.
#include "serial/CommShared.inl"

} // namespace zelbor
