// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line settings of the main window's port: 1200 baud, 8N1, DTR and RTS held on, no
// hardware flow control, no software flow control. The controller speaks a binary protocol
// in which 0x11 and 0x13 are ordinary byte values (0x11 is even the read command), so
// XON/XOFF flow control would swallow them and stall the transmitter; it stays off.
#include "serial/Comm.h"

namespace zelbor {

inline void ApplyCommPortSettings(TComm& comm)
{
    comm.SetBaudRate(1200);
    comm.SetParityCheck(false);
    comm.SetOutx_CtsFlow(false);
    comm.SetOutx_DsrFlow(false);
    comm.SetDtrControl(TDtrControl::DtrEnable);
    comm.SetDsrSensitivity(false);
    comm.SetTxContinueOnXoff(true);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    comm.SetReplaceWhenParityError(false);
    comm.SetIgnoreNullChar(false);
    comm.SetRtsControl(TRtsControl::RtsEnable);
    comm.SetXonLimit(500);
    comm.SetXoffLimit(500);
    comm.SetByteSize(TByteSize::_8);
    comm.SetParity(TParity::None);
    comm.SetStopBits(TStopBits::_1);
    comm.SetXonChar(0x11);
    comm.SetXoffChar(0x13);
    comm.SetReplacedChar(0x00);
    comm.SetReadIntervalTimeout(100);
    comm.SetReadTotalTimeoutMultiplier(0);
    comm.SetReadTotalTimeoutConstant(0);
    comm.SetWriteTotalTimeoutMultiplier(0);
    comm.SetWriteTotalTimeoutConstant(0);
}

} // namespace zelbor
