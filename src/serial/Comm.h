// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TComm: a non-visual component that owns one serial port, on POSIX termios (Comm.cpp) or on
// Win32 communication ports (win32/CommWin32.cpp), chosen at build time. Two worker threads
// (TReadThread receives chunks and line events, TWriteThread transmits queued blocks) post
// notifications to the owner's thread through a NotifyWindow; the owner raises the events there.
// No Qt.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zelbor {

// Raised by OpenPort. what() is one of the fixed texts ("Error opening serial port", ...);
// Detail() carries the operating system's reason and what the user can do about it
// (e.g. the group that owns the device, a program holding the port, a vanished device).
class ECommsError : public std::runtime_error {
public:
    ECommsError(const std::string& text, std::string detail = {}) : std::runtime_error(text), detail_(std::move(detail))
    {}
    const std::string& Detail() const noexcept { return detail_; }

private:
    std::string detail_;
};

enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
enum class TByteSize { _5, _6, _7, _8 }; // data bits = ordinal + 5
enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };

// Notification codes (the window system's first user message number 1024 plus 1 to 5).
inline constexpr int MsgReceiveData = 1025;
inline constexpr int MsgReceiveError = 1026;
inline constexpr int MsgRequestHangup = 1027;
inline constexpr int MsgModemStateChange = 1028;
inline constexpr int MsgSendDataEmpty = 1029;

// One posted notification. For MsgReceiveData, wParam is the byte count n and block holds
// n + 1 bytes (the data, then one zero byte); ownership of the block travels with the notification.
struct CommNotification {
    int code = 0;
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;
    std::unique_ptr<std::uint8_t[]> block;
};

class TComm;

// The owner's side of the notification path. PostNotification is called from worker threads;
// it must queue the notification for the owner's thread, preserving posting order, where the
// owner later calls TComm::HandleNotification with it. Returns false when posting failed.
class NotifyWindow {
public:
    virtual ~NotifyWindow() = default;
    virtual bool PostNotification(CommNotification notification) = 0;
};

class TComm {
public:
    using TReceiveDataEvent = std::function<void(TComm& sender, const std::uint8_t* buffer, std::uint16_t length)>;
    using TReceiveErrorEvent = std::function<void(TComm& sender, std::uint32_t eventMask)>;
    using TModemStateChangeEvent = std::function<void(TComm& sender, std::uint32_t modemEvent)>;
    using TNotifyEvent = std::function<void(TComm& sender)>;
    using TSendDataEmptyEvent = std::function<void(TComm& sender)>;

    // `notifyWindow` must outlive the component.
    explicit TComm(NotifyWindow& notifyWindow);
    ~TComm(); // closes an open port first: no worker thread outlives the component
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    void OpenPort();  // throws ECommsError
    void ClosePort(); // does nothing when closed
    bool SendData(const void* buffer, std::uint16_t length);

    // Raises the event for a notification on the owner's thread; frees the block afterwards.
    void HandleNotification(CommNotification notification);

    // Properties (creation values in brackets). Setting the value already held does nothing.
    // The open port's file descriptor (POSIX) or handle value (Win32); 0 while closed.
    std::intptr_t ComHandle() const;
    const std::string& CommName() const;
    void SetCommName(const std::string& v); // ["COM2"] stored
    std::uint32_t BaudRate() const;
    void SetBaudRate(std::uint32_t v); // [9600] line
    bool ParityCheck() const;
    void SetParityCheck(bool v); // [false] line
    bool Outx_CtsFlow() const;
    void SetOutx_CtsFlow(bool v); // [true] line
    bool Outx_DsrFlow() const;
    void SetOutx_DsrFlow(bool v); // [true] line
    TDtrControl DtrControl() const;
    void SetDtrControl(TDtrControl v); // [DtrEnable] line
    bool DsrSensitivity() const;
    void SetDsrSensitivity(bool v); // [false] line
    bool TxContinueOnXoff() const;
    void SetTxContinueOnXoff(bool v); // [true] line
    bool Outx_XonXoffFlow() const;
    void SetOutx_XonXoffFlow(bool v); // [false] line
    bool Inx_XonXoffFlow() const;
    void SetInx_XonXoffFlow(bool v); // [false] line
    bool ReplaceWhenParityError() const;
    void SetReplaceWhenParityError(bool v); // [false] line
    bool IgnoreNullChar() const;
    void SetIgnoreNullChar(bool v); // [false] line
    TRtsControl RtsControl() const;
    void SetRtsControl(TRtsControl v); // [RtsEnable] line
    std::uint16_t XonLimit() const;
    void SetXonLimit(std::uint16_t v); // [10] line
    std::uint16_t XoffLimit() const;
    void SetXoffLimit(std::uint16_t v); // [10] line
    TByteSize ByteSize() const;
    void SetByteSize(TByteSize v); // [_8] line
    TParity Parity() const;
    void SetParity(TParity v); // [None] stored
    TStopBits StopBits() const;
    void SetStopBits(TStopBits v); // [_1] line
    char XonChar() const;
    void SetXonChar(char v); // [0x11] line
    char XoffChar() const;
    void SetXoffChar(char v); // [0x13] line
    char ReplacedChar() const;
    void SetReplacedChar(char v); // [0x00] line
    std::uint32_t ReadIntervalTimeout() const;
    void SetReadIntervalTimeout(std::uint32_t v); // [10] time-outs
    std::uint32_t ReadTotalTimeoutMultiplier() const;
    void SetReadTotalTimeoutMultiplier(std::uint32_t v); // [0]
    std::uint32_t ReadTotalTimeoutConstant() const;
    void SetReadTotalTimeoutConstant(std::uint32_t v); // [0]
    std::uint32_t WriteTotalTimeoutMultiplier() const;
    void SetWriteTotalTimeoutMultiplier(std::uint32_t v); // [0]
    std::uint32_t WriteTotalTimeoutConstant() const;
    void SetWriteTotalTimeoutConstant(std::uint32_t v); // [0]

    TReceiveDataEvent OnReceiveData;
    TReceiveErrorEvent OnReceiveError;
    TModemStateChangeEvent OnModemStateChange;
    TNotifyEvent OnRequestHangup;
    TSendDataEmptyEvent OnSendDataEmpty;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The ports present, as names that CommName accepts. POSIX: device paths in a stable order, the
// serial devices that sysfs lists with real hardware behind them, then the links of the per-user
// virtual-port folder whose target exists. Win32: the port names of the registry's serial-device
// map (COM3), in the order the registry enumerates them.
std::vector<std::string> ListSerialPorts();

// The per-user folder in which a virtual serial port announces itself with a link to its device
// (empty on Win32, where virtual ports are drivers in the serial-device map).
std::string VirtualPortFolder();

// A port as a list shows it to the user. The path of a virtual port begins with the long per-user
// folder, so every such port would look alike: it shows its link's own name. Any other port shows
// its name as it is.
std::string PortShownName(const std::string& port);

} // namespace zelbor
