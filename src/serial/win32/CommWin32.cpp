// SPDX-License-Identifier: GPL-3.0-or-later
// TComm on Win32 serial communication ports.
//
// Threads of an open port:
//  - the receive thread keeps one overlapped ReadFile of up to 1024 bytes and one overlapped
//    WaitCommEvent pending and waits for CloseEvent or either completion. The driver cuts the
//    byte stream into chunks: with ReadIntervalTimeout set and both read totals 0, a read waits
//    for its first byte and completes when the line has been quiet for longer than the interval
//    or the buffer is full.
//  - the transmit thread takes blocks from its own thread message queue (message 1025 from
//    SendData) and writes each with one overlapped WriteFile.
// Both include CloseEvent in every wait. Before a thread ends it cancels what it still has
// pending and waits for the cancellation, because the kernel writes into the OVERLAPPED record
// and the buffer until the operation is over: PurgeComm alone does not end a pending read on
// every driver (Wine's, for one), CancelIoEx does.
//
// Line events are an extra, not the lifeline: devices without modem lines (some USB adapters,
// and Wine's ports on a pseudo-terminal) refuse WaitCommEvent. When the line-event watch fails,
// the receive thread stops watching and goes on reading; a device that is really gone makes the
// read fail, and that is reported.
#include "serial/Comm.h"
#include "serial/CommProperties.h"
#include "common/win32/SystemMessage.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

#include <windows.h>
#include <process.h>

namespace zelbor {

namespace {

constexpr DWORD kReadBufferSize = 1024;
constexpr DWORD kInputQueue = 2048;
constexpr DWORD kOutputQueue = 1024;
constexpr DWORD kLineEvents = EV_RLSD | EV_ERR | EV_RING; // 0x1A0
constexpr UINT kTransmitMessage = WM_USER + 1;            // 1025, as the notifications count
constexpr DWORD kThreadStopWaitMs = 10000;
// How long a thread waits for its own cancelled operation. A driver that ignores the cancel
// for longer makes the thread leave the record and buffer behind instead of freeing them.
constexpr DWORD kCancelWaitMs = 5000;
// A read that completes without bytes (possible only with total time-outs) is re-issued after
// this pause, so a configuration that returns at once cannot spin the thread.
constexpr DWORD kEmptyReadPauseMs = 10;

constexpr std::uint32_t kModemCarrier = 8;
constexpr std::uint32_t kModemRing = 4;

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
    return name + " is held by another program: a second instance of this tool or another serial "
                  "program has it open. Close that program, or choose another port.";
}

std::string OpenFailureDetail(const std::string& name, DWORD err)
{
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_DEV_NOT_EXIST:
        return name + " has vanished or does not exist. Rescan the ports and choose again.";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return BusyDetail(name);
    default:
        return name + ": " + SystemMessage(err);
    }
}

// The byte count of a completed operation. A read or write that ran into its total time-out is
// complete, not failed: Windows reports it as success with the bytes transferred so far, Wine as
// failure with ERROR_TIMEOUT and the same count, so both are taken as success here.
bool Completed(HANDLE port, OVERLAPPED& ov, DWORD& n, BOOL wait)
{
    n = 0;
    if (GetOverlappedResult(port, &ov, &n, wait))
        return true;
    return GetLastError() == ERROR_TIMEOUT;
}

// Waits for a cancelled (or otherwise ending) overlapped operation. False when the driver did
// not finish it in time: the record and its buffer must then stay allocated.
bool AwaitEnd(HANDLE port, OVERLAPPED& ov)
{
    CancelIoEx(port, &ov);
    if (WaitForSingleObject(ov.hEvent, kCancelWaitMs) != WAIT_OBJECT_0)
        return false;
    DWORD n = 0;
    (void)GetOverlappedResult(port, &ov, &n, FALSE);
    return true;
}

struct ReadIo {
    OVERLAPPED read{};
    OVERLAPPED event{};
    DWORD mask = 0;
    std::uint8_t buffer[kReadBufferSize];
};

struct WriteIo {
    OVERLAPPED write{};
};

} // namespace

// What the worker threads of one open period share with the owner. The threads hold it through
// shared_ptr, so a thread that outlives ClosePort's wait still finds valid memory.
struct Session {
    explicit Session(NotifyWindow& n) : notify(n) {}

    NotifyWindow& notify;
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE hold = nullptr;        // the per-session marker of HoldName
    HANDLE closeEvent = nullptr;  // manual reset, signalled once by ClosePort
    HANDLE writerReady = nullptr; // set once the transmit thread's message queue exists
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    unsigned writerId = 0;
    volatile LONG ignoreNull = 0;

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
    bool Closing() const { return WaitForSingleObject(closeEvent, 0) == WAIT_OBJECT_0; }
    // A failure the owner is told about, or one that a closing port produces.
    void Report(DWORD err)
    {
        if (err != ERROR_INVALID_HANDLE && !Closing())
            Hangup();
    }

    bool Deliver(const std::uint8_t* bytes, DWORD n);
    bool StartRead(ReadIo& io, bool& pending);
    enum class LineWatch { Pending, Off, Failed };
    LineWatch StartLineEventWait(ReadIo& io);
    LineWatch HandleLineEvent(ReadIo& io, bool overlapped);
    void ReadLoop();
    bool WriteBlock(WriteIo& io, const std::uint8_t* data, DWORD n, bool& abandoned);
    void WriteLoop();
};

bool Session::Deliver(const std::uint8_t* bytes, DWORD n)
{
    // The driver honours fNull on Windows; Wine's does not, so nulls are dropped here as well.
    std::uint8_t stripped[kReadBufferSize];
    if (ignoreNull && n > 0) {
        n = static_cast<DWORD>(std::remove_copy(bytes, bytes + n, stripped, std::uint8_t(0)) - stripped);
        bytes = stripped;
        if (n == 0)
            return true;
    }
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[n + 1]());
    if (!block) {
        Hangup();
        return false;
    }
    std::memcpy(block.get(), bytes, n);
    if (!Post(MsgReceiveData, n, 0, std::move(block))) {
        Hangup();
        return false;
    }
    return true;
}

bool Session::StartRead(ReadIo& io, bool& pending)
{
    pending = false;
    for (;;) {
        if (Closing())
            return false;
        ResetEvent(io.read.hEvent);
        if (ReadFile(port, io.buffer, kReadBufferSize, nullptr, &io.read)) {
            DWORD n = 0;
            if (!Completed(port, io.read, n, FALSE)) {
                Report(GetLastError());
                return false;
            }
            if (n == 0) {
                if (WaitForSingleObject(closeEvent, kEmptyReadPauseMs) == WAIT_OBJECT_0)
                    return false;
                continue;
            }
            if (!Deliver(io.buffer, n))
                return false;
            continue;
        }
        const DWORD err = GetLastError();
        if (err == ERROR_IO_PENDING) {
            pending = true;
            return true;
        }
        Report(err);
        return false;
    }
}

Session::LineWatch Session::StartLineEventWait(ReadIo& io)
{
    for (;;) {
        if (Closing())
            return LineWatch::Failed;
        ResetEvent(io.event.hEvent);
        io.mask = 0;
        if (WaitCommEvent(port, &io.mask, &io.event)) {
            const LineWatch h = HandleLineEvent(io, false);
            if (h != LineWatch::Pending)
                return h;
            continue;
        }
        const DWORD err = GetLastError();
        if (err == ERROR_IO_PENDING)
            return LineWatch::Pending;
        if (err == ERROR_INVALID_HANDLE || Closing())
            return LineWatch::Failed;
        return LineWatch::Off; // the device offers no line events
    }
}

// Pending: handled, watch on. Off: stop watching, keep reading. Failed: the thread ends.
Session::LineWatch Session::HandleLineEvent(ReadIo& io, bool overlapped)
{
    if (overlapped) {
        DWORD unused = 0;
        if (!GetOverlappedResult(port, &io.event, &unused, FALSE)) {
            const DWORD err = GetLastError();
            if (err == ERROR_INVALID_HANDLE || Closing())
                return LineWatch::Failed;
            return LineWatch::Off;
        }
    }
    const DWORD m = io.mask;
    bool handled = false;
    if (m & EV_ERR) {
        DWORD flags = 0;
        COMSTAT stat{};
        if (!ClearCommError(port, &flags, &stat)) {
            Report(GetLastError());
            return LineWatch::Failed;
        }
        if (!Post(MsgReceiveError, 0, flags)) {
            Hangup();
            return LineWatch::Failed;
        }
        handled = true;
    }
    std::uint32_t code = 0;
    if (m & EV_RLSD)
        code = kModemCarrier;
    if (m & EV_RING)
        code += kModemRing;
    if (code != 0) {
        if (!Post(MsgModemStateChange, 0, code)) {
            Hangup();
            return LineWatch::Failed;
        }
        handled = true;
    }
    // A completion without any watched event (some drivers report 0) says nothing about the
    // line; waiting again could spin, so the watch ends here.
    return handled ? LineWatch::Pending : LineWatch::Off;
}

void Session::ReadLoop()
{
    auto* io = new (std::nothrow) ReadIo;
    bool readPending = false;
    bool eventPending = false;
    if (!io) {
        Hangup();
        return;
    }
    io->read.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    io->event.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (!io->read.hEvent || !io->event.hEvent) {
        Hangup();
    } else {
        LineWatch watch = LineWatch::Off;
        if (SetCommMask(port, kLineEvents))
            watch = StartLineEventWait(*io);
        else if (GetLastError() == ERROR_INVALID_HANDLE)
            watch = LineWatch::Failed;
        eventPending = watch == LineWatch::Pending;
        if (watch != LineWatch::Failed && StartRead(*io, readPending)) {
            for (;;) {
                // The wait set: CloseEvent, the line-event completion (while watched), the read.
                HANDLE set[3] = {closeEvent, io->event.hEvent, io->read.hEvent};
                const DWORD count = eventPending ? 3 : 2;
                if (!eventPending)
                    set[1] = io->read.hEvent;
                const DWORD r = WaitForMultipleObjects(count, set, FALSE, INFINITE);
                const bool eventDone = eventPending && r == WAIT_OBJECT_0 + 1;
                const bool readDone = r == WAIT_OBJECT_0 + count - 1;
                if (r == WAIT_OBJECT_0)
                    break;
                if (eventDone) {
                    eventPending = false;
                    watch = HandleLineEvent(*io, true);
                    if (watch == LineWatch::Pending)
                        watch = StartLineEventWait(*io);
                    if (watch == LineWatch::Failed)
                        break;
                    eventPending = watch == LineWatch::Pending;
                    continue;
                }
                if (readDone) {
                    readPending = false;
                    DWORD n = 0;
                    const bool ok = Completed(port, io->read, n, FALSE);
                    const DWORD err = ok ? 0 : GetLastError();
                    // Bytes that arrived before a failure (the far end hanging up mid-reply)
                    // are handed over before the failure is reported.
                    if (n > 0 && !Deliver(io->buffer, n))
                        break;
                    if (!ok) {
                        Report(err);
                        break;
                    }
                    if (n == 0 && WaitForSingleObject(closeEvent, kEmptyReadPauseMs) == WAIT_OBJECT_0)
                        break;
                    if (!StartRead(*io, readPending))
                        break;
                    continue;
                }
                Hangup();
                break;
            }
        }
    }
    PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR);
    bool ended = true;
    if (readPending)
        ended = AwaitEnd(port, io->read) && ended;
    if (eventPending)
        ended = AwaitEnd(port, io->event) && ended;
    if (!ended)
        return; // the driver still owns the records: leave them allocated
    if (io->read.hEvent)
        CloseHandle(io->read.hEvent);
    if (io->event.hEvent)
        CloseHandle(io->event.hEvent);
    delete io;
}

bool Session::WriteBlock(WriteIo& io, const std::uint8_t* data, DWORD n, bool& abandoned)
{
    abandoned = false;
    ResetEvent(io.write.hEvent);
    DWORD written = 0;
    if (WriteFile(port, data, n, nullptr, &io.write)) {
        if (Completed(port, io.write, written, FALSE) && written == n)
            return true;
        Hangup();
        return false;
    }
    DWORD err = GetLastError();
    if (err != ERROR_IO_PENDING) {
        Report(err);
        return false;
    }
    HANDLE set[2] = {closeEvent, io.write.hEvent};
    const DWORD r = WaitForMultipleObjects(2, set, FALSE, INFINITE);
    if (r != WAIT_OBJECT_0 + 1) {
        // Closing abandons the write; a failed wait is reported. Either way it is cancelled.
        if (r != WAIT_OBJECT_0)
            Hangup();
        abandoned = !AwaitEnd(port, io.write);
        return false;
    }
    if (!Completed(port, io.write, written, TRUE)) {
        Report(GetLastError());
        return false;
    }
    if (written < n) {
        Hangup();
        return false;
    }
    return true;
}

void Session::WriteLoop()
{
    MSG msg;
    // The first call to a message function creates the thread's queue; OpenPort waits for it so
    // that SendData can post from the moment OpenPort returns.
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(writerReady);

    auto* io = new (std::nothrow) WriteIo;
    bool abandoned = false;
    if (io)
        io->write.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (!io || !io->write.hEvent) {
        Hangup();
    } else {
        bool notifyEmpty = true;
        for (;;) {
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.hwnd == nullptr && msg.message == kTransmitMessage) {
                    auto* block = reinterpret_cast<std::uint8_t*>(msg.lParam);
                    if (Closing()) {
                        LocalFree(block);
                        break;
                    }
                    const bool ok = WriteBlock(*io, block, static_cast<DWORD>(msg.wParam), abandoned);
                    if (!abandoned)
                        LocalFree(block);
                    if (!ok)
                        break;
                    notifyEmpty = true;
                    continue;
                }
                if (Closing())
                    break;
                if (msg.hwnd != nullptr) {
                    TranslateMessage(&msg);
                    DispatchMessageA(&msg);
                }
                continue; // other thread messages are ignored
            }
            if (notifyEmpty) {
                if (!Post(MsgSendDataEmpty)) {
                    Hangup();
                    break;
                }
                notifyEmpty = false;
            }
            const DWORD r = MsgWaitForMultipleObjectsEx(1, &closeEvent, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (r == WAIT_OBJECT_0)
                break;
            if (r == WAIT_OBJECT_0 + 1)
                continue;
            Hangup();
            break;
        }
    }
    PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR);
    // Discarded output: the blocks still queued belong to this thread.
    while (PeekMessageA(&msg, nullptr, kTransmitMessage, kTransmitMessage, PM_REMOVE))
        if (msg.hwnd == nullptr)
            LocalFree(reinterpret_cast<HLOCAL>(msg.lParam));
    if (io && !abandoned) {
        if (io->write.hEvent)
            CloseHandle(io->write.hEvent);
        delete io;
    }
}

namespace {

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

struct TComm::Impl : CommProperties {
    explicit Impl(NotifyWindow& n) : notify(n) {}

    NotifyWindow& notify;
    std::shared_ptr<Session> session;

    // Parity in effect on the line: taken at OpenPort only.
    TParity openParity = TParity::None;

    void ApplyLineSettings();
    void ApplyTimeouts();
    void Close();
};

void TComm::Impl::ApplyLineSettings()
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(session->port, &dcb))
        return;
    dcb.BaudRate = baudRate;
    dcb.fBinary = TRUE;
    dcb.fParity = parityCheck;
    dcb.fOutxCtsFlow = outxCtsFlow;
    dcb.fOutxDsrFlow = outxDsrFlow;
    switch (dtrControl) {
    case TDtrControl::DtrEnable:
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        break;
    case TDtrControl::DtrDisable:
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        break;
    case TDtrControl::DtrHandshake:
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        break;
    }
    dcb.fDsrSensitivity = dsrSensitivity;
    dcb.fTXContinueOnXoff = txContinueOnXoff;
    dcb.fOutX = outxXonXoffFlow;
    dcb.fInX = inxXonXoffFlow;
    dcb.fErrorChar = replaceWhenParityError;
    dcb.fNull = ignoreNullChar;
    switch (rtsControl) {
    case TRtsControl::RtsEnable:
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        break;
    case TRtsControl::RtsDisable:
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        break;
    case TRtsControl::RtsHandshake:
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        break;
    case TRtsControl::RtsTransmissionAvailable:
        dcb.fRtsControl = RTS_CONTROL_TOGGLE;
        break;
    }
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = xonLimit;
    dcb.XoffLim = xoffLimit;
    dcb.ByteSize = static_cast<BYTE>(static_cast<int>(byteSize) + 5);
    dcb.Parity = static_cast<BYTE>(openParity);
    dcb.StopBits = static_cast<BYTE>(stopBits);
    dcb.XonChar = xonChar;
    dcb.XoffChar = xoffChar;
    dcb.ErrorChar = replacedChar;
    (void)SetCommState(session->port, &dcb); // a refusal goes unnoticed, as on every port
    InterlockedExchange(&session->ignoreNull, ignoreNullChar ? 1 : 0);
}

void TComm::Impl::ApplyTimeouts()
{
    COMMTIMEOUTS t{};
    if (!GetCommTimeouts(session->port, &t))
        return;
    t.ReadIntervalTimeout = readIntervalTimeout;
    t.ReadTotalTimeoutMultiplier = readTotalTimeoutMultiplier;
    t.ReadTotalTimeoutConstant = readTotalTimeoutConstant;
    t.WriteTotalTimeoutMultiplier = writeTotalTimeoutMultiplier;
    t.WriteTotalTimeoutConstant = writeTotalTimeoutConstant;
    (void)SetCommTimeouts(session->port, &t);
}

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
