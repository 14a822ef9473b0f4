// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The properties of TComm with their creation values, shared by the backends: each backend's
// TComm::Impl derives from this record and applies it to its port.
#include <cstdint>
#include <string>

#include "serial/Comm.h"

namespace zelbor {

struct CommProperties {
    std::string commName = "COM2";
    std::uint32_t baudRate = 9600;
    bool parityCheck = false;
    bool outxCtsFlow = true;
    bool outxDsrFlow = true;
    TDtrControl dtrControl = TDtrControl::DtrEnable;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = true;
    bool outxXonXoffFlow = false;
    bool inxXonXoffFlow = false;
    bool replaceWhenParityError = false;
    bool ignoreNullChar = false;
    TRtsControl rtsControl = TRtsControl::RtsEnable;
    std::uint16_t xonLimit = 10;
    std::uint16_t xoffLimit = 10;
    TByteSize byteSize = TByteSize::_8;
    TParity parity = TParity::None;
    TStopBits stopBits = TStopBits::_1;
    char xonChar = 0x11;
    char xoffChar = 0x13;
    char replacedChar = 0x00;
    std::uint32_t readIntervalTimeout = 10;
    std::uint32_t readTotalTimeoutMultiplier = 0;
    std::uint32_t readTotalTimeoutConstant = 0;
    std::uint32_t writeTotalTimeoutMultiplier = 0;
    std::uint32_t writeTotalTimeoutConstant = 0;
};

} // namespace zelbor
