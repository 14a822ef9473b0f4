// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The connection and transfer sequence: connecting and repeating the identification request until
// the controller answers, disconnecting, reading and writing one block or all three, and the
// handling of every received chunk by its first byte and the transfer mode. It owns no port and no
// window: it sends through a TTransferLink and shows everything through a TTransferHost, so that
// every front end runs the same sequence, and a test can run it against a recording host.
//
// Everything runs on one thread, the one that delivers the port's chunks to Receive. The host's
// message boxes may deliver further chunks while they are open; those wait (see Receive).
#include "protocol/Communication.h"
#include "protocol/Parameters.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace zelbor {

enum class LineDirection { Sent, Received };

enum TTransferMode { tmIdle = 0, tmReadBlock = 1, tmWriteBlock = 2, tmReadAll = 3, tmWriteAll = 4, tmConnect = 5 };

// The serial port as the sequence uses it.
class TTransferLink {
public:
    virtual ~TTransferLink() = default;
    // Opens the port; a failure throws the port's own error, which reaches the user as it is.
    virtual void Open(const std::string& name, std::uint32_t baudRate) = 0;
    virtual void Close() = 0; // does nothing when closed
    // True when the frame was queued for sending; false when the port is closed or refused it.
    virtual bool Send(std::span<const std::uint8_t> frame) = 0;
    // Closes the port and opens it again with the same name and speed; a failure throws.
    virtual void Reopen() = 0;
};

// The buttons as the connection leaves them.
enum class ConnectionState {
    Disconnected, // Connect enabled; Disconnect and the eight transfer buttons disabled
    Identifying,  // Disconnect enabled, Connect disabled; the transfer buttons as they were
    Connected,    // Disconnect and the eight transfer buttons enabled
};

// The front end as the sequence uses it.
class TTransferHost {
public:
    virtual ~TTransferHost() = default;
    // One of the fixed waits before and after sending. It blocks: no other handler may run meanwhile.
    virtual void Wait(std::chrono::milliseconds length) = 0;
    // A catalogue message with the style `flags` (MessageFlags.h), modal; the button that closed it.
    virtual int ShowMessage(const std::string& key, int flags) = 0;
    // An error that ended the handling of a chunk (the port did not open again, ...), shown as the
    // errors of the front end's own handlers are.
    virtual void ShowFailure(std::exception_ptr error) = 0;
    // After the refusal's message: shows the field's page and gives its control the focus.
    virtual void ShowRefusedField(const ParameterField& field) = 0;
    // The fields of `block` as a read reply gave them (the other blocks of `values` are defaults).
    virtual void ShowValues(std::uint8_t block, const ParameterValues& values) = 0;
    // The values to write, of which the fields of `block` are used; may throw EConvertError.
    virtual ParameterValues ValuesToWrite(std::uint8_t block) = 0;
    // The identification: the controller's details, the low-battery choices of its nominal voltage
    // and the current limit's upper bound (CurrentLimitMaximum).
    virtual void ShowIdentification(const ControllerInfo& info) = 0;
    virtual void ShowConnectionState(ConnectionState state) = 0;
    // The retry timer: once started, ConnectTimerElapsed is due kConnectRetryInterval later.
    virtual void StartConnectTimer() = 0;
    virtual void StopConnectTimer() = 0;
    // The controller accepted the write of `block`, whose frame carried `data`: what it holds
    // now. It only observes the sequence; the default does nothing.
    virtual void ShowWriteAccepted(std::uint8_t block, const Bytes& data)
    {
        (void)block;
        (void)data;
    }
};

class TTransferSequence {
public:
    static constexpr std::uint32_t kBaudRate = 1200;
    static constexpr std::chrono::milliseconds kIdentifyWait{80}; // before sending, and before the timer
    static constexpr std::chrono::milliseconds kReadWait{50};
    static constexpr std::chrono::milliseconds kWriteWait{50};
    static constexpr std::chrono::milliseconds kConnectRetryInterval{500};
    // Never more chunks than this wait while a message box is open: a peer that keeps streaming
    // cannot grow memory.
    static constexpr std::size_t kMaxPendingChunks = 8;

    TTransferSequence(TTransferLink& link, TTransferHost& host) : link_(link), host_(host) {}
    TTransferSequence(const TTransferSequence&) = delete;
    TTransferSequence& operator=(const TTransferSequence&) = delete;

    // ---- State ----
    TTransferMode TransferMode = tmIdle; // how the next reply is handled
    int ReopenCount = 0;                 // every ReopenPort call, successful or not
    std::array<std::uint8_t, kReceiveBufferSize> ReceiveBuffer{};
    // Told of every frame queued for sending and every chunk received, for the line monitor and
    // the status line; it only watches and must not call back into the sequence.
    std::function<void(LineDirection, std::span<const std::uint8_t>)> LineTap;

    // ---- What the buttons and the timer start ----
    // Opens the port at 1200 baud (a failure throws, and nothing else changes) and starts identifying.
    void Connect(const std::string& portName);
    void Disconnect();
    void ConnectTimerElapsed();
    void ReadBlock(std::uint8_t blockCode);  // a READ button
    void WriteBlock(std::uint8_t blockCode); // a WRITE button; may throw EConvertError, nothing sent
    void ReadAll();                          // Read Flash
    void WriteAll();                         // Write Flash; may throw EConvertError, nothing sent

    // ---- A chunk the port received ----
    // Cut to the receive buffer and dispatched by byte 0 and the transfer mode. A chunk that arrives
    // while the handling of another one waits in a message box waits in turn, and is dispatched
    // once that handling has ended. An error that ends a chunk's handling goes to the host.
    void Receive(std::span<const std::uint8_t> chunk);
    std::size_t PendingChunkCount() const { return pending_.size(); }

    // ---- The senders and the close-and-reopen ----
    void SendIdentifyRequest();
    void SendReadRequest(std::uint8_t blockCode);
    void SendWriteFrame(std::uint8_t blockCode);
    void ReopenPort();

private:
    bool SendFrame(std::span<const std::uint8_t> frame);
    void Dispatch(std::span<const std::uint8_t> chunk);
    void HandleInfoReply(std::span<const std::uint8_t> chunk);
    void HandleReadReply(std::uint8_t blockCode, std::span<const std::uint8_t> chunk);
    void HandleBasicWriteAck(std::span<const std::uint8_t> chunk);
    void HandlePedalAssistWriteAck(std::span<const std::uint8_t> chunk);
    void HandleThrottleWriteAck(std::span<const std::uint8_t> chunk);
    void ShowFieldRefused(const ParameterField& field);

    TTransferLink& link_;
    TTransferHost& host_;
    void WriteAccepted(std::uint8_t blockCode);
    std::array<Bytes, 3> sentData_{}; // the data bytes of each block's last write frame sent
    bool dispatching_ = false;
    std::deque<std::vector<std::uint8_t>> pending_;
};

} // namespace zelbor
