// SPDX-License-Identifier: GPL-3.0-or-later
// TComm on Win32: the transmit thread, which takes the blocks SendData posted to its message queue
// and writes each with one overlapped write (CommSessionWin32.h describes it).
#include "serial/win32/CommSessionWin32.h"

#include <new>

namespace zelbor {

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

} // namespace zelbor
