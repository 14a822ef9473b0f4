// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/Transfer.h"

#include "protocol/MessageFlags.h"

#include <algorithm>

namespace zelbor {

// ---------------------------------------------------------------- buttons and timer

void TTransferSequence::Connect(const std::string& portName)
{
    link_.Open(portName, kBaudRate); // a failure ends the connect here
    host_.StopConnectTimer();
    host_.ShowConnectionState(ConnectionState::Identifying);
    TransferMode = tmConnect;
    SendIdentifyRequest();
}

void TTransferSequence::Disconnect()
{
    // The mode and the controller's details stay as they are.
    host_.StopConnectTimer();
    link_.Close();
    host_.ShowConnectionState(ConnectionState::Disconnected);
}

void TTransferSequence::ConnectTimerElapsed()
{
    host_.StopConnectTimer();
    SendIdentifyRequest();
}

// Each sets the mode first, then sends; nothing checks for a transfer still under way.
void TTransferSequence::ReadBlock(std::uint8_t blockCode)
{
    TransferMode = tmReadBlock;
    SendReadRequest(blockCode);
}

void TTransferSequence::WriteBlock(std::uint8_t blockCode)
{
    TransferMode = tmWriteBlock;
    SendWriteFrame(blockCode);
}

void TTransferSequence::ReadAll()
{
    TransferMode = tmReadAll;
    SendReadRequest(bcBasic);
}

void TTransferSequence::WriteAll()
{
    TransferMode = tmWriteAll;
    SendWriteFrame(bcBasic);
}

// ---------------------------------------------------------------- senders

bool TTransferSequence::SendFrame(std::span<const std::uint8_t> frame)
{
    const bool queued = link_.Send(frame);
    if (queued && LineTap)
        LineTap(LineDirection::Sent, frame);
    return queued;
}

void TTransferSequence::SendIdentifyRequest()
{
    const Bytes frame = IdentifyRequest();
    host_.Wait(kIdentifyWait);
    if (SendFrame(frame)) {
        host_.Wait(kIdentifyWait);
        host_.StartConnectTimer();
    } else {
        host_.ShowMessage("err4", mbIconError); // no timer: no further request
    }
}

void TTransferSequence::SendReadRequest(std::uint8_t blockCode)
{
    const Bytes frame = ReadRequest(blockCode);
    host_.Wait(kReadWait);
    if (!SendFrame(frame))
        host_.ShowMessage("err5", mbIconError);
}

void TTransferSequence::SendWriteFrame(std::uint8_t blockCode)
{
    if (!FindBlock(blockCode))
        return;
    // Encoding first: a value that is no number stops here, before anything is sent.
    const Bytes frame = WriteFrame(blockCode, EncodeBlock(blockCode, host_.ValuesToWrite(blockCode)));
    host_.Wait(kWriteWait);
    if (!SendFrame(frame)) {
        host_.ShowMessage("err6", mbIconError);
        return;
    }
    sentData_[static_cast<std::size_t>(FindBlock(blockCode) - Blocks().data())] =
        Bytes(frame.begin() + 3, frame.end() - 1);
}

void TTransferSequence::WriteAccepted(std::uint8_t blockCode)
{
    host_.ShowWriteAccepted(blockCode, sentData_[static_cast<std::size_t>(FindBlock(blockCode) - Blocks().data())]);
}

void TTransferSequence::ReopenPort()
{
    ++ReopenCount;
    link_.Reopen(); // a failure propagates: the caller's remaining steps do not run
}

// ---------------------------------------------------------------- receiving

namespace {

// Marks the dispatcher as running for as long as it is, however it is left.
class DispatchScope {
public:
    DispatchScope(bool& running, std::deque<std::vector<std::uint8_t>>& pending) : running_(running), pending_(pending)
    {
        running_ = true;
    }
    ~DispatchScope()
    {
        running_ = false;
        pending_.clear();
    }
    DispatchScope(const DispatchScope&) = delete;
    DispatchScope& operator=(const DispatchScope&) = delete;

private:
    bool& running_;
    std::deque<std::vector<std::uint8_t>>& pending_;
};

} // namespace

void TTransferSequence::Receive(std::span<const std::uint8_t> chunk)
{
    if (LineTap && !chunk.empty())
        LineTap(LineDirection::Received, chunk); // as it came, before any cut
    // Chunks beyond the receive buffer's length are cut to it, whether handled now or later.
    chunk = chunk.first(std::min(chunk.size(), ReceiveBuffer.size()));
    if (chunk.empty())
        return;
    if (dispatching_) {
        // A handler is waiting in a message box, whose event loop delivered this chunk. Handling it
        // here would run a second handler inside the first one, and every further reply would open
        // one more box inside the last. It waits until the running handler has returned; the
        // transfer mode then decides about it as it would about any chunk.
        if (pending_.size() < kMaxPendingChunks)
            pending_.emplace_back(chunk.begin(), chunk.end());
        return;
    }
    const DispatchScope scope(dispatching_, pending_);
    Dispatch(chunk);
    while (!pending_.empty()) {
        const std::vector<std::uint8_t> next = std::move(pending_.front());
        pending_.pop_front();
        Dispatch(next);
    }
}

void TTransferSequence::Dispatch(std::span<const std::uint8_t> received)
{
    try {
        std::copy(received.begin(), received.end(), ReceiveBuffer.begin());
        const std::span<const std::uint8_t> chunk(ReceiveBuffer.data(), received.size());

        const bool reading = TransferMode == tmReadBlock || TransferMode == tmReadAll;
        const bool writing = TransferMode == tmWriteBlock || TransferMode == tmWriteAll;
        switch (chunk[0]) {
        case bcIdentify:
            if (TransferMode == tmConnect)
                HandleInfoReply(chunk);
            break;
        case bcBasic:
        case bcPedalAssist:
        case bcThrottle:
            if (reading)
                HandleReadReply(chunk[0], chunk);
            else if (chunk[0] == bcBasic && writing)
                HandleBasicWriteAck(chunk);
            else if (chunk[0] == bcPedalAssist && writing)
                HandlePedalAssistWriteAck(chunk);
            else if (writing)
                HandleThrottleWriteAck(chunk);
            break;
        default:
            break; // dropped
        }
    } catch (...) {
        host_.ShowFailure(std::current_exception());
    }
}

// ---------------------------------------------------------------- identification

void TTransferSequence::HandleInfoReply(std::span<const std::uint8_t> chunk)
{
    const auto info = DecodeInfoReply(chunk);
    if (!info)
        return; // too short to hold an identification: dropped
    host_.StopConnectTimer();
    host_.ShowIdentification(*info);
    host_.ShowConnectionState(ConnectionState::Connected);
    TransferMode = tmIdle;
    ReopenPort();
}

// ---------------------------------------------------------------- read replies

void TTransferSequence::HandleReadReply(std::uint8_t blockCode, std::span<const std::uint8_t> chunk)
{
    ParameterValues values;
    if (!DecodeBlock(blockCode, chunk, values))
        return; // too short for the block: nothing of it is shown
    host_.ShowValues(blockCode, values);

    ReopenPort();
    switch (blockCode) {
    case bcBasic:
        if (TransferMode == tmReadBlock) {
            TransferMode = tmIdle;
            host_.ShowMessage("err7", mbIconInformation);
        } else if (TransferMode == tmReadAll) {
            SendReadRequest(bcPedalAssist);
        }
        break;
    case bcPedalAssist:
        if (TransferMode == tmReadBlock) {
            TransferMode = tmIdle;
            host_.ShowMessage("err33", mbIconInformation);
        } else if (TransferMode == tmReadAll) {
            SendReadRequest(bcThrottle);
        }
        break;
    default: // the last block of both reads: the message comes before the mode changes
        host_.ShowMessage(TransferMode == tmReadBlock ? "err46" : "err47", mbIconInformation);
        TransferMode = tmIdle;
        break;
    }
}

// ---------------------------------------------------------------- write acknowledgements

void TTransferSequence::ShowFieldRefused(const ParameterField& field)
{
    host_.ShowMessage(field.ackKey, mbIconWarning); // modal: the field is shown after it closed
    host_.ShowRefusedField(field);
}

void TTransferSequence::HandleBasicWriteAck(std::span<const std::uint8_t> chunk)
{
    const auto result = WriteAckResult(chunk);
    if (!result)
        return; // only the block code arrived: no result to act on
    if (const ParameterField* refused = RefusedField(bcBasic, *result)) {
        ShowFieldRefused(*refused);
    } else if (*result == kBasicDataBytes) {
        WriteAccepted(bcBasic);
        if (TransferMode == tmWriteAll) {
            ReopenPort();
            SendWriteFrame(bcPedalAssist);
        } else {
            host_.ShowMessage("err32", mbIconInformation);
        }
    }
    if (TransferMode == tmWriteBlock) {
        TransferMode = tmIdle;
        ReopenPort();
    }
}

void TTransferSequence::HandlePedalAssistWriteAck(std::span<const std::uint8_t> chunk)
{
    const auto result = WriteAckResult(chunk);
    if (!result)
        return;
    if (const ParameterField* refused = RefusedField(bcPedalAssist, *result)) {
        ShowFieldRefused(*refused);
    } else if (*result == kPedalAssistDataBytes) {
        WriteAccepted(bcPedalAssist);
        if (TransferMode == tmWriteAll) {
            ReopenPort();
            SendWriteFrame(bcThrottle);
        }
    }
    // A single write always ends with its message, after a refusal too.
    if (TransferMode == tmWriteBlock) {
        TransferMode = tmIdle;
        ReopenPort();
        host_.ShowMessage("err45", mbIconInformation);
    }
}

void TTransferSequence::HandleThrottleWriteAck(std::span<const std::uint8_t> chunk)
{
    const auto result = WriteAckResult(chunk);
    if (!result)
        return;
    if (const ParameterField* refused = RefusedField(bcThrottle, *result)) {
        ShowFieldRefused(*refused); // mode and port stay as they are
    } else if (*result == kThrottleDataBytes) {
        WriteAccepted(bcThrottle);
        ReopenPort();
        host_.ShowMessage(TransferMode == tmWriteBlock ? "err54" : "err55", mbIconInformation);
        TransferMode = tmIdle;
    }
}

} // namespace zelbor
