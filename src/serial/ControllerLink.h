// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A TComm as the controller's line of a transfer sequence: the port with the controller's line
// settings, opened, closed, reopened and written to on the sequence's behalf, and every chunk it
// receives handed to the sequence. The window and any other front end share it.
#include "protocol/Transfer.h"
#include "serial/Comm.h"

namespace zelbor {

class TControllerLink : public TTransferLink {
public:
    // Gives `comm` the line settings of the controller's port (CommPortSettings.h), under the
    // name "COM1" at 9600 baud until the first Open names the port and sets 1200 baud.
    explicit TControllerLink(TComm& comm);

    // From now on every chunk `comm` receives goes to `sequence`, which must outlive `comm`'s events.
    void DeliverTo(TTransferSequence& sequence);

    void Open(const std::string& name, std::uint32_t baudRate) override; // throws ECommsError
    void Close() override;
    bool Send(std::span<const std::uint8_t> frame) override;
    void Reopen() override; // throws ECommsError

    TComm& Comm() { return comm_; }

private:
    TComm& comm_;
};

} // namespace zelbor
