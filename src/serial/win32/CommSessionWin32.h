// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the parts of TComm on Win32 communication ports share: the state of one open period
// (Session), which the worker threads hold, and the component's private side (TComm::Impl).
// CommWin32.cpp opens, closes and queues; CommLineWin32.cpp applies the line settings;
// CommReceiveWin32.cpp and CommTransmitWin32.cpp are the worker threads.
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

#include <cstdint>
#include <memory>

#include <windows.h>

namespace zelbor {

inline constexpr DWORD kReadBufferSize = 1024;
inline constexpr DWORD kInputQueue = 2048;
inline constexpr DWORD kOutputQueue = 1024;
inline constexpr DWORD kLineEvents = EV_RLSD | EV_ERR | EV_RING; // 0x1A0
inline constexpr UINT kTransmitMessage = WM_USER + 1;            // 1025, as the notifications count
inline constexpr DWORD kThreadStopWaitMs = 10000;
// How long a thread waits for its own cancelled operation. A driver that ignores the cancel
// for longer makes the thread leave the record and buffer behind instead of freeing them.
inline constexpr DWORD kCancelWaitMs = 5000;
// A read that completes without bytes (possible only with total time-outs) is re-issued after
// this pause, so a configuration that returns at once cannot spin the thread.
inline constexpr DWORD kEmptyReadPauseMs = 10;

inline constexpr std::uint32_t kModemCarrier = 8;
inline constexpr std::uint32_t kModemRing = 4;

// The byte count of a completed operation. A read or write that ran into its total time-out is
// complete, not failed: Windows reports it as success with the bytes transferred so far, Wine as
// failure with ERROR_TIMEOUT and the same count, so both are taken as success here.
inline bool Completed(HANDLE port, OVERLAPPED& ov, DWORD& n, BOOL wait)
{
    n = 0;
    if (GetOverlappedResult(port, &ov, &n, wait))
        return true;
    return GetLastError() == ERROR_TIMEOUT;
}

// Waits for a cancelled (or otherwise ending) overlapped operation. False when the driver did
// not finish it in time: the record and its buffer must then stay allocated.
inline bool AwaitEnd(HANDLE port, OVERLAPPED& ov)
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

    // The receive side (CommReceiveWin32.cpp).
    bool Deliver(const std::uint8_t* bytes, DWORD n);
    bool StartRead(ReadIo& io, bool& pending);
    enum class LineWatch { Pending, Off, Failed };
    LineWatch StartLineEventWait(ReadIo& io);
    LineWatch HandleLineEvent(ReadIo& io, bool overlapped);
    void ReadLoop();
    // The transmit side (CommTransmitWin32.cpp).
    bool WriteBlock(WriteIo& io, const std::uint8_t* data, DWORD n, bool& abandoned);
    void WriteLoop();
};

struct TComm::Impl : CommProperties {
    explicit Impl(NotifyWindow& n) : notify(n) {}

    NotifyWindow& notify;
    std::shared_ptr<Session> session;

    // Parity in effect on the line: taken at OpenPort only.
    TParity openParity = TParity::None;

    void ApplyLineSettings(); // CommLineWin32.cpp
    void ApplyTimeouts();     // CommLineWin32.cpp
    void Close();
};

} // namespace zelbor
