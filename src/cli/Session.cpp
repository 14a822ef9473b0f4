// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Session.h"

#include "common/Catalogue.h"
#include "protocol/MessageFlags.h"

#include <algorithm>
#include <csignal>
#include <thread>

namespace zelbor::cli {

namespace {

volatile std::sig_atomic_t gStop = 0;

// Thrown out of a fixed wait when a stop was requested: the frame the wait comes before is not sent.
struct Stopped {};

std::string ErrorText(const std::exception& e)
{
    if (const auto* comms = dynamic_cast<const ECommsError*>(&e); comms && !comms->Detail().empty())
        return std::string(e.what()) + ": " + comms->Detail();
    return e.what();
}

// The message with which the window ends each transfer.
const char* EndingMessage(std::optional<std::uint8_t> block, bool write)
{
    if (!block)
        return write ? "err55" : "err47";
    switch (*block) {
    case bcBasic:
        return write ? "err32" : "err7";
    case bcPedalAssist:
        return write ? "err45" : "err33";
    default:
        return write ? "err54" : "err46";
    }
}

} // namespace

void RequestStop() { gStop = 1; }
bool StopRequested() { return gStop != 0; }

Session::Session(std::chrono::milliseconds timeout, std::function<void(std::uint8_t, bool)> progress,
                 std::function<std::string(std::uint8_t)> blockName)
    : timeout_(timeout), progress_(std::move(progress)), blockName_(std::move(blockName)), comm_(queue_), link_(comm_),
      noting_(link_, *this), sequence_(noting_, *this)
{
    link_.DeliverTo(sequence_);
    // The window waits on after a hang-up until the user disconnects; unattended, it ends the step.
    comm_.OnRequestHangup = [this](TComm&) {
        if (!lineError_)
            lineError_ = port_ + ": the line was hung up (the cable or the adapter unplugged, or the controller gone)";
    };
}

Session::~Session() { Close(); }

void Session::Close()
{
    comm_.OnReceiveData = nullptr;
    comm_.OnRequestHangup = nullptr;
    comm_.ClosePort();
}

// ---------------------------------------------------------------- steps

void Session::Begin()
{
    finished_.clear();
    lineError_.reset();
    refused_ = nullptr;
    refusedKey_.clear();
    writing_.reset();
    lastSent_.clear();
    lastActivity_ = std::chrono::steady_clock::now();
}

void Session::ThrowIfFailed()
{
    if (StopRequested())
        throw Failure(Status::Interrupted, "interrupted");
    if (lineError_)
        throw Failure(Status::Lost, *lineError_);
}

// Starts a step of the sequence. Its waits may end it early on Ctrl+C, before the frame they precede.
void Session::Start(const std::function<void()>& step)
{
    try {
        step();
    } catch (const Stopped&) {
        throw Failure(Status::Interrupted, "interrupted");
    } catch (const EConvertError& e) {
        throw Failure(Status::File, e.what());
    }
}

bool Session::Finished(const char* key) const
{
    return std::find(finished_.begin(), finished_.end(), key) != finished_.end();
}

void Session::Connect(const std::string& port)
{
    Begin();
    port_ = port;
    try {
        Start([&] { sequence_.Connect(port); });
    } catch (const ECommsError& e) {
        throw Failure(Status::PortOpen, port + ": " + ErrorText(e));
    }
    RunUntil([this] { return state_ == ConnectionState::Connected; });
}

ParameterValues Session::Read(std::optional<std::uint8_t> block)
{
    Begin();
    Start([&] { block ? sequence_.ReadBlock(*block) : sequence_.ReadAll(); });
    RunUntil([&] { return Finished(EndingMessage(block, false)); });
    ParameterValues read;
    for (const BlockInfo& b : Blocks()) {
        if (block && *block != b.code)
            continue;
        const std::optional<ParameterValues>& reported = editing_.Reported(b.code);
        if (!reported) // the sequence ends a read only after the block's values
            throw Failure(Status::Unexpected, "no values of the " + std::string(b.section) + " block were read");
        for (const ParameterField* f : BlockFields(b.code)) {
            f->Value(read) = f->Value(*reported);
            if (const KeptByte* kept = f->Kept(*reported))
                *f->Kept(read) = *kept;
        }
    }
    return read;
}

void Session::Write(std::optional<std::uint8_t> block)
{
    Begin();
    acknowledged_.clear();
    sentWrite_.reset();
    Start([&] { block ? sequence_.WriteBlock(*block) : sequence_.WriteAll(); });
    RunUntil([&] { return refused_ || Finished(EndingMessage(block, true)); });
    if (refused_)
        throw Failure(Status::Refused, GetErrorMessage(refusedKey_));
    if (writing_) {
        acknowledged_.push_back(*writing_);
        if (progress_)
            progress_(*writing_, true);
    }
}

std::optional<std::uint8_t> Session::Unacknowledged() const
{
    if (!sentWrite_ || refused_ ||
        std::find(acknowledged_.begin(), acknowledged_.end(), *sentWrite_) != acknowledged_.end())
        return std::nullopt;
    return sentWrite_;
}

bool Session::NotingLink::Send(std::span<const std::uint8_t> frame)
{
    const bool sent = link_.Send(frame);
    if (sent) {
        session_.lastSent_.assign(frame.begin(), frame.end());
        if (frame.size() >= 2 && frame[0] == kCmdWrite)
            session_.sentWrite_ = frame[1];
    }
    return sent;
}

std::string Session::Awaited() const
{
    if (lastSent_.size() < 2)
        return "an answer";
    const std::uint8_t code = lastSent_[1];
    if (code == bcIdentify)
        return "the identification";
    if (!FindBlock(code))
        return "an answer";
    const std::string block = "the " + (blockName_ ? blockName_(code) : FindBlock(code)->section) + " block";
    return lastSent_[0] == kCmdWrite ? "the acknowledgement of " + block : "the values of " + block;
}

void Session::RunUntil(const std::function<bool()>& done)
{
    using clock = std::chrono::steady_clock;
    auto timerDue = [this] {
        return timerSince_ && clock::now() - *timerSince_ >= TTransferSequence::kConnectRetryInterval;
    };
    while (true) {
        ThrowIfFailed();
        if (done())
            return;
        if (clock::now() - lastActivity_ > timeout_)
            throw Failure(Status::NoAnswer, "no answer from the controller on " + port_ + " within " +
                                                std::to_string(timeout_.count()) + " ms (waiting for " + Awaited() +
                                                ")");
        queue_.PumpUntil(
            comm_, [&] { return done() || lineError_ || refused_ || timerDue() || StopRequested(); },
            std::chrono::milliseconds(20));
        if (timerDue() && !StopRequested())
            sequence_.ConnectTimerElapsed();
    }
}

// ---------------------------------------------------------------- the sequence's host

void Session::Wait(std::chrono::milliseconds length)
{
    // In short steps, so that Ctrl+C is not held up, and never past a stop: the wait comes before
    // a frame, which must then stay unsent.
    const auto end = std::chrono::steady_clock::now() + length;
    while (std::chrono::steady_clock::now() < end) {
        if (StopRequested())
            throw Stopped{};
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(10), end - std::chrono::steady_clock::now()));
    }
    if (StopRequested())
        throw Stopped{};
}

int Session::ShowMessage(const std::string& key, int flags)
{
    const int icon = flags & 0xF0;
    if (icon == mbIconError) // err4, err5, err6: a request could not be sent
        lineError_ = GetErrorMessage(key);
    else if (icon == mbIconWarning) // a refused field, named next
        refusedKey_ = key;
    else
        finished_.push_back(key);
    return idOk;
}

void Session::ShowFailure(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Stopped&) {
        // the stop itself is the outcome
    } catch (const ECommsError& e) {
        lineError_ = port_ + " could not be opened again: " + ErrorText(e);
    } catch (const std::exception& e) {
        lineError_ = e.what();
    } catch (...) {
        lineError_ = "unexpected error";
    }
}

void Session::ShowRefusedField(const ParameterField& field) { refused_ = &field; }

void Session::ShowValues(std::uint8_t block, const ParameterValues& values)
{
    editing_.ApplyRead(block, values);
    lastActivity_ = std::chrono::steady_clock::now();
    if (progress_)
        progress_(block, false);
}

ParameterValues Session::ValuesToWrite(std::uint8_t block)
{
    // Write Flash asks for the next block once the one before has been accepted.
    if (writing_ && *writing_ != block && sequence_.TransferMode == tmWriteAll) {
        acknowledged_.push_back(*writing_);
        if (progress_)
            progress_(*writing_, true);
    }
    writing_ = block;
    lastActivity_ = std::chrono::steady_clock::now();
    return editing_.Values(block);
}

void Session::ShowIdentification(const ControllerInfo& info)
{
    editing_.Identify(info);
    lastActivity_ = std::chrono::steady_clock::now();
}

void Session::ShowConnectionState(ConnectionState state) { state_ = state; }

void Session::StartConnectTimer() { timerSince_ = std::chrono::steady_clock::now(); }

void Session::StopConnectTimer() { timerSince_.reset(); }

} // namespace zelbor::cli
