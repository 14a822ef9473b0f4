// SPDX-License-Identifier: GPL-3.0-or-later
// TComm on Win32: the line settings (the device control block) and time-outs of the open port.
#include "serial/win32/CommSessionWin32.h"

namespace zelbor {

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

} // namespace zelbor
