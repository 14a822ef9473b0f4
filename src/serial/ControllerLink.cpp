// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ControllerLink.h"

#include "serial/CommPortSettings.h"

#include <limits>

namespace zelbor {

TControllerLink::TControllerLink(TComm& comm) : comm_(comm)
{
    ApplyCommPortSettings(comm_);
    comm_.SetCommName("COM1");
    comm_.SetBaudRate(9600);
}

void TControllerLink::DeliverTo(TTransferSequence& sequence)
{
    comm_.OnReceiveData = [&sequence](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        if (buffer)
            sequence.Receive(std::span<const std::uint8_t>(buffer, length));
    };
}

void TControllerLink::Open(const std::string& name, std::uint32_t baudRate)
{
    comm_.SetCommName(name);
    comm_.SetBaudRate(baudRate);
    comm_.OpenPort();
}

void TControllerLink::Close() { comm_.ClosePort(); }

bool TControllerLink::Send(std::span<const std::uint8_t> frame)
{
    if (frame.size() > std::numeric_limits<std::uint16_t>::max())
        return false;
    return comm_.SendData(frame.data(), static_cast<std::uint16_t>(frame.size()));
}

void TControllerLink::Reopen()
{
    comm_.ClosePort();
    comm_.OpenPort(); // the unchanged name and speed
}

} // namespace zelbor
