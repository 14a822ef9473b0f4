// SPDX-License-Identifier: GPL-3.0-or-later
// TComm on Win32: the receive thread, with its pending read and its watch of the line events
// (CommSessionWin32.h describes it).
#include "serial/win32/CommSessionWin32.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zelbor {

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

} // namespace zelbor
