// SPDX-License-Identifier: GPL-3.0-or-later
// Included once by each backend of TComm, after its TComm::Impl (derived from CommProperties, with
// `session`, ApplyLineSettings() and ApplyTimeouts()): the raising of the events for a
// notification and the property accessors, which are the same on every platform. A line setting
// or a time-out changed while the port is open is applied to it at once.

void TComm::HandleNotification(CommNotification n)
{
    switch (n.code) {
    case MsgReceiveData:
        if (OnReceiveData)
            OnReceiveData(*this, n.block.get(), static_cast<std::uint16_t>(n.wParam));
        break;
    case MsgReceiveError:
        if (OnReceiveError)
            OnReceiveError(*this, n.lParam);
        break;
    case MsgRequestHangup:
        if (OnRequestHangup)
            OnRequestHangup(*this);
        break;
    case MsgModemStateChange:
        if (OnModemStateChange)
            OnModemStateChange(*this, n.lParam);
        break;
    case MsgSendDataEmpty:
        if (OnSendDataEmpty)
            OnSendDataEmpty(*this);
        break;
    default:
        break;
    }
    // The block, if any, is freed here, also when no handler is assigned.
}

namespace {
template <class T>
bool Change(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
} // namespace

#define ZELBOR_LINE_PROPERTY(Type, Name, field)                                                                        \
    Type TComm::Name() const { return d->field; }                                                                      \
    void TComm::Set##Name(Type v)                                                                                      \
    {                                                                                                                  \
        if (Change(d->field, v) && d->session)                                                                         \
            d->ApplyLineSettings();                                                                                    \
    }
#define ZELBOR_TIMEOUT_PROPERTY(Type, Name, field)                                                                     \
    Type TComm::Name() const { return d->field; }                                                                      \
    void TComm::Set##Name(Type v)                                                                                      \
    {                                                                                                                  \
        if (Change(d->field, v) && d->session)                                                                         \
            d->ApplyTimeouts();                                                                                        \
    }

const std::string& TComm::CommName() const { return d->commName; }
void TComm::SetCommName(const std::string& v) { d->commName = v; }
TParity TComm::Parity() const { return d->parity; }
void TComm::SetParity(TParity v) { d->parity = v; }

ZELBOR_LINE_PROPERTY(std::uint32_t, BaudRate, baudRate)
ZELBOR_LINE_PROPERTY(bool, ParityCheck, parityCheck)
ZELBOR_LINE_PROPERTY(bool, Outx_CtsFlow, outxCtsFlow)
ZELBOR_LINE_PROPERTY(bool, Outx_DsrFlow, outxDsrFlow)
ZELBOR_LINE_PROPERTY(TDtrControl, DtrControl, dtrControl)
ZELBOR_LINE_PROPERTY(bool, DsrSensitivity, dsrSensitivity)
ZELBOR_LINE_PROPERTY(bool, TxContinueOnXoff, txContinueOnXoff)
ZELBOR_LINE_PROPERTY(bool, Outx_XonXoffFlow, outxXonXoffFlow)
ZELBOR_LINE_PROPERTY(bool, Inx_XonXoffFlow, inxXonXoffFlow)
ZELBOR_LINE_PROPERTY(bool, ReplaceWhenParityError, replaceWhenParityError)
ZELBOR_LINE_PROPERTY(bool, IgnoreNullChar, ignoreNullChar)
ZELBOR_LINE_PROPERTY(TRtsControl, RtsControl, rtsControl)
ZELBOR_LINE_PROPERTY(std::uint16_t, XonLimit, xonLimit)
ZELBOR_LINE_PROPERTY(std::uint16_t, XoffLimit, xoffLimit)
ZELBOR_LINE_PROPERTY(TByteSize, ByteSize, byteSize)
ZELBOR_LINE_PROPERTY(TStopBits, StopBits, stopBits)
ZELBOR_LINE_PROPERTY(char, XonChar, xonChar)
ZELBOR_LINE_PROPERTY(char, XoffChar, xoffChar)
ZELBOR_LINE_PROPERTY(char, ReplacedChar, replacedChar)
ZELBOR_TIMEOUT_PROPERTY(std::uint32_t, ReadIntervalTimeout, readIntervalTimeout)
ZELBOR_TIMEOUT_PROPERTY(std::uint32_t, ReadTotalTimeoutMultiplier, readTotalTimeoutMultiplier)
ZELBOR_TIMEOUT_PROPERTY(std::uint32_t, ReadTotalTimeoutConstant, readTotalTimeoutConstant)
ZELBOR_TIMEOUT_PROPERTY(std::uint32_t, WriteTotalTimeoutMultiplier, writeTotalTimeoutMultiplier)
ZELBOR_TIMEOUT_PROPERTY(std::uint32_t, WriteTotalTimeoutConstant, writeTotalTimeoutConstant)

#undef ZELBOR_LINE_PROPERTY
#undef ZELBOR_TIMEOUT_PROPERTY
