// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One connection to a controller for the command line: the serial component, the controller link
// and the transfer sequence the window runs, driven by a loop of this thread instead of a window's
// event loop. It answers the sequence as the window would, except that nothing is shown: the
// messages become the outcome of each step. Like the window, it hands the identification and the
// values read to the editing state and writes what that state holds, so that the command line
// applies the window's rules of what a value becomes, not a copy of them.
#include "editing/EditingState.h"
#include "protocol/Transfer.h"
#include "serial/Comm.h"
#include "serial/ControllerLink.h"
#include "serial/NotifyQueue.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace zelbor::cli {

// The exit statuses of the command line.
enum class Status : int {
    Ok = 0,
    Differences = 1, // diff found fields that differ
    Usage = 2,
    PortOpen = 3,   // the port cannot be opened
    NoAnswer = 4,   // the controller did not answer in time
    Refused = 5,    // the controller refused a field
    Mismatch = 6,   // a field read back other than written
    File = 7,       // a profile or output file
    Lost = 8,       // the line failed during a transfer
    Unexpected = 9, // an error no step expects
    Interrupted = 130,
};

class Failure : public std::runtime_error {
public:
    Failure(Status status, const std::string& message) : std::runtime_error(message), status_(status) {}
    Status status() const { return status_; }

private:
    Status status_;
};

// Ctrl+C: may be called from a signal handler. Every step of a session ends at its next chance,
// before anything further is sent.
void RequestStop();
bool StopRequested();

class Session : private TTransferHost {
public:
    // `timeout`: the longest wait for any answer. `progress` hears a line after each block.
    // `blockName` names a block in the messages (a time-out names the block it waited for).
    Session(std::chrono::milliseconds timeout, std::function<void(std::uint8_t block, bool written)> progress,
            std::function<std::string(std::uint8_t block)> blockName);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Hears every frame sent and every chunk received (--trace, the connection check).
    void SetLineTap(std::function<void(LineDirection, std::span<const std::uint8_t>)> tap)
    {
        sequence_.LineTap = std::move(tap);
    }
    // Opens the port and repeats the identification until the controller answers; the
    // identification then bounds the state's current limit and sets its low-battery choices.
    void Connect(const std::string& port);
    const ControllerInfo& Info() const { return *editing_.Identification(); }

    // The values being edited and what the controller last reported of each block.
    TEditingState& State() { return editing_; }
    const TEditingState& State() const { return editing_; }

    // Reads one block, or all three (nullopt) as Read Flash does, into the state. Returns the
    // values of the blocks read as the controller sent them: spin values unlimited, list bytes
    // without an item kept (the other blocks hold defaults).
    ParameterValues Read(std::optional<std::uint8_t> block);

    // Writes what the state holds of one block, or of all three as Write Flash does. Throws
    // Failure(Refused) naming the field's message when the controller refuses one; nothing
    // further is sent then.
    void Write(std::optional<std::uint8_t> block);
    const ParameterField* RefusedField() const { return refused_; }
    // What the last Write left on the controller, also when it stopped part-way: the blocks it
    // acknowledged, in order, and the block whose frame went out without an answer (the
    // controller may hold it or not). A refused block is neither.
    const std::vector<std::uint8_t>& Acknowledged() const { return acknowledged_; }
    std::optional<std::uint8_t> Unacknowledged() const;

    void Close();

private:
    // ---- The sequence's host ----
    void Wait(std::chrono::milliseconds length) override;
    int ShowMessage(const std::string& key, int flags) override;
    void ShowFailure(std::exception_ptr error) override;
    void ShowRefusedField(const ParameterField& field) override;
    void ShowValues(std::uint8_t block, const ParameterValues& values) override;
    ParameterValues ValuesToWrite(std::uint8_t block) override;
    void ShowIdentification(const ControllerInfo& info) override;
    void ShowConnectionState(ConnectionState state) override;
    void StartConnectTimer() override;
    void StopConnectTimer() override;

    // The port as the sequence sends through it: each frame that went out is noted, so that the
    // session knows what it waits for and which block a write has reached.
    class NotingLink : public TTransferLink {
    public:
        NotingLink(TTransferLink& link, Session& session) : link_(link), session_(session) {}
        void Open(const std::string& name, std::uint32_t baudRate) override { link_.Open(name, baudRate); }
        void Close() override { link_.Close(); }
        bool Send(std::span<const std::uint8_t> frame) override;
        void Reopen() override { link_.Reopen(); }

    private:
        TTransferLink& link_;
        Session& session_;
    };

    // Runs the port's chunks through the sequence until `done` holds. Throws Failure when the
    // line fails, nothing arrives for the timeout, or a stop was requested.
    void RunUntil(const std::function<bool()>& done);
    // What the session waits for, as the message of a time-out names it.
    std::string Awaited() const;
    void Begin();
    void Start(const std::function<void()>& step);
    bool Finished(const char* key) const;
    void ThrowIfFailed();

    std::chrono::milliseconds timeout_;
    std::function<void(std::uint8_t, bool)> progress_;
    std::function<std::string(std::uint8_t)> blockName_;
    NotifyQueue queue_;
    TComm comm_;
    TControllerLink link_;
    NotingLink noting_;
    TTransferSequence sequence_;
    std::string port_;

    TEditingState editing_;
    ConnectionState state_ = ConnectionState::Disconnected;
    std::optional<std::chrono::steady_clock::time_point> timerSince_;
    std::chrono::steady_clock::time_point lastActivity_;
    std::vector<std::string> finished_;    // keys of the messages that end a transfer
    std::optional<std::string> lineError_; // why the line failed
    const ParameterField* refused_ = nullptr;
    std::string refusedKey_;
    std::optional<std::uint8_t> writing_;    // the block whose frame the sequence asked for last
    Bytes lastSent_;                         // the frame that went out last
    std::optional<std::uint8_t> sentWrite_;  // the block whose write frame went out last
    std::vector<std::uint8_t> acknowledged_; // the blocks the controller accepted, in order
};

} // namespace zelbor::cli
