// TMainForm: connection, transfers, the receive dispatcher and the window side of the decoders.
#include "ui/Main.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>

#include "common/Errors.h"
#include "ui/Report.h"

using namespace std::chrono_literals;

namespace {

// Fixed waits before sending; they block the GUI thread without dispatching events, so a chunk
// that arrives meanwhile is handled only after the running handler has returned.
constexpr auto kIdentifyWait = 80ms;
constexpr auto kReadWait = 50ms;
constexpr auto kWriteWait = 50ms;

// A list index outside the list leaves the list without a selection.
void SetListIndex(QComboBox* list, int index)
{
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

QString Latin1(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

// ---- Buttons ----

void TMainForm::btnPortConnectClick()
{
    Guarded([this] {
        CommPort.SetCommName(SelectedPortPath().toStdString());
        CommPort.SetBaudRate(1200);
        CommPort.OpenPort(); // a failure ends the handler here
        TimerConnect->stop();
        btnPortDisconnect->setEnabled(true);
        btnPortConnect->setEnabled(false);
        TransferMode = tmConnect;
        SendIdentifyRequest();
    });
}

void TMainForm::btnPortDisconnectClick()
{
    Guarded([this] {
        TimerConnect->stop();
        CommPort.ClosePort();
        btnPortDisconnect->setEnabled(false);
        btnPortConnect->setEnabled(true);
        SetTransferButtonsEnabled(false);
    });
}

void TMainForm::TimerConnectTimer()
{
    Guarded([this] {
        TimerConnect->stop();
        SendIdentifyRequest();
    });
}

void TMainForm::SetTransferButtonsEnabled(bool enabled)
{
    for (QPushButton* b : {btnThrWrite, btnThrRead, btnPASWrite, btnPASRead, btnBasWrite, btnBasRead, btnWriteFlash,
                           btnReadFlash})
        b->setEnabled(enabled);
}

void TMainForm::btnBasReadClick()
{
    Guarded([this] { TransferMode = tmReadBlock; SendReadRequest(zelbor::bcBasic); });
}

void TMainForm::btnPASReadClick()
{
    Guarded([this] { TransferMode = tmReadBlock; SendReadRequest(zelbor::bcPedalAssist); });
}

void TMainForm::btnThrReadClick()
{
    Guarded([this] { TransferMode = tmReadBlock; SendReadRequest(zelbor::bcThrottle); });
}

void TMainForm::btnBasWriteClick()
{
    Guarded([this] { TransferMode = tmWriteBlock; SendWriteFrame(zelbor::bcBasic); });
}

void TMainForm::btnPASWriteClick()
{
    Guarded([this] { TransferMode = tmWriteBlock; SendWriteFrame(zelbor::bcPedalAssist); });
}

void TMainForm::btnThrWriteClick()
{
    Guarded([this] { TransferMode = tmWriteBlock; SendWriteFrame(zelbor::bcThrottle); });
}

void TMainForm::btnReadFlashClick()
{
    Guarded([this] { TransferMode = tmReadAll; SendReadRequest(zelbor::bcBasic); });
}

void TMainForm::btnWriteFlashClick()
{
    Guarded([this] { TransferMode = tmWriteAll; SendWriteFrame(zelbor::bcBasic); });
}

// ---- Senders ----

void TMainForm::SendIdentifyRequest()
{
    const zelbor::Bytes frame = zelbor::IdentifyRequest();
    std::this_thread::sleep_for(kIdentifyWait);
    if (CommPort.SendData(frame.data(), static_cast<std::uint16_t>(frame.size()))) {
        std::this_thread::sleep_for(kIdentifyWait);
        TimerConnect->start();
    } else {
        ReportError("err4", zelbor::mbIconError);
    }
}

void TMainForm::SendReadRequest(std::uint8_t blockCode)
{
    const zelbor::Bytes frame = zelbor::ReadRequest(blockCode);
    std::this_thread::sleep_for(kReadWait);
    if (!CommPort.SendData(frame.data(), static_cast<std::uint16_t>(frame.size())))
        ReportError("err5", zelbor::mbIconError);
}

void TMainForm::SendWriteFrame(std::uint8_t blockCode)
{
    // Encoding first: a low-battery text that is no number stops here, before anything is sent.
    zelbor::Bytes frame;
    switch (blockCode) {
    case zelbor::bcBasic: {
        const auto data = zelbor::EncodeBasic(BasicFromControls());
        frame = zelbor::WriteFrame(blockCode, data);
        break;
    }
    case zelbor::bcPedalAssist: {
        const auto data = zelbor::EncodePedalAssist(PedalAssistFromControls());
        frame = zelbor::WriteFrame(blockCode, data);
        break;
    }
    case zelbor::bcThrottle: {
        const auto data = zelbor::EncodeThrottle(ThrottleFromControls());
        frame = zelbor::WriteFrame(blockCode, data);
        break;
    }
    default:
        return;
    }
    std::this_thread::sleep_for(kWriteWait);
    if (!CommPort.SendData(frame.data(), static_cast<std::uint16_t>(frame.size())))
        ReportError("err6", zelbor::mbIconError);
}

void TMainForm::ReopenPort()
{
    ++ReopenCount;
    CommPort.ClosePort();
    CommPort.OpenPort(); // a failure propagates: the caller's remaining steps do not run
}

// ---- Receive dispatcher ----

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

void TMainForm::CommPortReceiveData(zelbor::TComm&, const std::uint8_t* buffer, std::uint16_t length)
{
    // Chunks beyond the receive buffer's length are cut to it, whether handled now or later.
    const std::size_t n = std::min<std::size_t>(length, ReceiveBuffer.size());
    if (n == 0 || buffer == nullptr)
        return;
    if (dispatching_) {
        // A handler is waiting in a message box, whose event loop delivered this chunk. Handling it
        // here would run a second handler inside the first one, and every further reply would open
        // one more box inside the last. It waits until the running handler has returned; the
        // transfer mode then decides about it as it would about any chunk.
        Guarded([&] {
            if (pendingChunks_.size() < kMaxPendingChunks)
                pendingChunks_.emplace_back(buffer, buffer + n);
        });
        return;
    }
    const DispatchScope scope(dispatching_, pendingChunks_);
    DispatchChunk(buffer, n);
    while (!pendingChunks_.empty()) {
        const std::vector<std::uint8_t> next = std::move(pendingChunks_.front());
        pendingChunks_.pop_front();
        DispatchChunk(next.data(), next.size());
    }
}

void TMainForm::DispatchChunk(const std::uint8_t* buffer, std::size_t n)
{
    Guarded([&] {
        std::copy_n(buffer, n, ReceiveBuffer.begin());
        const std::span<const std::uint8_t> chunk(ReceiveBuffer.data(), n);

        const bool reading = TransferMode == tmReadBlock || TransferMode == tmReadAll;
        const bool writing = TransferMode == tmWriteBlock || TransferMode == tmWriteAll;
        switch (chunk[0]) {
        case zelbor::bcIdentify:
            if (TransferMode == tmConnect)
                HandleInfoReply(chunk);
            break;
        case zelbor::bcBasic:
            if (reading)
                HandleBasicReadReply(chunk);
            else if (writing)
                HandleBasicWriteAck(chunk);
            break;
        case zelbor::bcPedalAssist:
            if (reading)
                HandlePedalAssistReadReply(chunk);
            else if (writing)
                HandlePedalAssistWriteAck(chunk);
            break;
        case zelbor::bcThrottle:
            if (reading)
                HandleThrottleReadReply(chunk);
            else if (writing)
                HandleThrottleWriteAck(chunk);
            break;
        default:
            break; // dropped
        }
    });
}

// ---- Identification ----

void TMainForm::HandleInfoReply(std::span<const std::uint8_t> chunk)
{
    const auto info = zelbor::DecodeInfoReply(chunk);
    if (!info)
        return; // too short to hold an identification: dropped
    TimerConnect->stop();
    // The controller's bytes are single-byte characters.
    lbManuf->setText(Latin1(zelbor::ManufacturerText(*info)));
    lbModel->setText(Latin1(zelbor::ModelText(*info)));
    lbHWVer->setText(Latin1(zelbor::HardwareVersionText(*info)));
    lbFWVer->setText(Latin1(zelbor::FirmwareVersionText(*info)));
    const zelbor::NominalVoltageRow& row = zelbor::NominalVoltageRowForCode(info->nominalVoltageCode);
    ClearLowBatteryItems();
    lbNomVolt->setText(QString::fromLatin1(row.text));
    SetLowBatteryItems(row.lowVolts, row.highVolts);
    lbMaxCurr->setText(Latin1(zelbor::MaxCurrentText(*info)));
    // The shown value is left alone; the spin box itself clamps it into the new range. The lower
    // bound stays: a maximum below it would otherwise pull it down and allow a limit of 0 A, which
    // a later identification would not raise again. Such a maximum leaves the range as it was.
    if (const auto maximum = zelbor::CurrentLimitMaximum(*info))
        speBasCurrLim->setRange(zelbor::kCurrentLimitMinimum, *maximum);
    for (QPushButton* b : {btnPortDisconnect, btnThrWrite, btnThrRead, btnPASWrite, btnPASRead, btnBasWrite,
                           btnBasRead, btnWriteFlash, btnReadFlash})
        b->setEnabled(true);
    TransferMode = tmIdle;
    ReopenPort();
}

void TMainForm::ClearLowBatteryItems()
{
    const QSignalBlocker blocker(cbbBasLowBat);
    const QString text = cbbBasLowBat->currentText();
    cbbBasLowBat->clear();
    cbbBasLowBat->setEditText(text);
}

void TMainForm::SetLowBatteryItems(int firstVolts, int lastVolts)
{
    const QSignalBlocker blocker(cbbBasLowBat);
    const QString text = cbbBasLowBat->currentText();
    cbbBasLowBat->clear();
    for (int v = firstVolts; v <= lastVolts; ++v)
        cbbBasLowBat->addItem(QString::number(v));
    cbbBasLowBat->setCurrentIndex(-1);
    cbbBasLowBat->setEditText(text);
}

// ---- Records <-> controls ----

void TMainForm::WatchKeptByteLists()
{
    for (QComboBox* list : {cbbBasWheelDiam, cbbBasSpdMtrType, cbbPASPedalSensType, cbbPASDesigAssist, cbbPASSpdLim,
                            cbbPASSlowStartMode, cbbPASWorkMode, cbbThrMode, cbbThrAssistLvl, edThrSpeedLim}) {
        // The byte stands for what the list could not show: once the list shows something else, or
        // the user picks an item (even the one shown), that item is what goes out.
        connect(list, &QComboBox::currentIndexChanged, this, [this, list] { keptBytes_.erase(list); });
        connect(list, &QComboBox::activated, this, [this, list] { keptBytes_.erase(list); });
    }
}

void TMainForm::KeepByte(QComboBox* list, const zelbor::KeptByte& byte)
{
    if (byte)
        keptBytes_[list] = *byte;
    else
        keptBytes_.erase(list);
}

zelbor::KeptByte TMainForm::KeptByteOf(const QComboBox* list) const
{
    const auto it = keptBytes_.find(list);
    return it == keptBytes_.end() ? zelbor::KeptByte{} : zelbor::KeptByte{it->second};
}

zelbor::BasicSettings TMainForm::BasicFromControls() const
{
    zelbor::BasicSettings s;
    s.cbbBasLowBat = zelbor::StrToInt(cbbBasLowBat->currentText().toStdString());
    s.speBasCurrLim = speBasCurrLim->value();
    for (int i = 0; i < 10; ++i) {
        s.speBasAssistCurrLim[i] = speBasAssistCurrLim[i]->value();
        s.speBasAssistSpdLim[i] = speBasAssistSpdLim[i]->value();
    }
    s.cbbBasWheelDiam = cbbBasWheelDiam->currentIndex();
    s.cbbBasSpdMtrType = cbbBasSpdMtrType->currentIndex();
    s.speBasSpdMtrSig = speBasSpdMtrSig->value();
    s.kept.cbbBasWheelDiam = KeptByteOf(cbbBasWheelDiam);
    s.kept.cbbBasSpdMtrType = KeptByteOf(cbbBasSpdMtrType);
    return s;
}

zelbor::PedalAssistSettings TMainForm::PedalAssistFromControls() const
{
    zelbor::PedalAssistSettings s;
    s.cbbPASPedalSensType = cbbPASPedalSensType->currentIndex();
    s.cbbPASDesigAssist = cbbPASDesigAssist->currentIndex();
    s.cbbPASSpdLim = cbbPASSpdLim->currentIndex();
    s.spePASStartCurr = spePASStartCurr->value();
    s.cbbPASSlowStartMode = cbbPASSlowStartMode->currentIndex();
    s.spePASStartDeg = spePASStartDeg->value();
    s.cbbPASWorkMode = cbbPASWorkMode->currentIndex();
    s.spePASStopDelay = spePASStopDelay->value();
    s.spePASCurrDecay = spePASCurrDecay->value();
    s.spePASStopDecay = spePASStopDecay->value();
    s.spePASKeepCurr = spePASKeepCurr->value();
    s.kept.cbbPASPedalSensType = KeptByteOf(cbbPASPedalSensType);
    s.kept.cbbPASDesigAssist = KeptByteOf(cbbPASDesigAssist);
    s.kept.cbbPASSpdLim = KeptByteOf(cbbPASSpdLim);
    s.kept.cbbPASSlowStartMode = KeptByteOf(cbbPASSlowStartMode);
    s.kept.cbbPASWorkMode = KeptByteOf(cbbPASWorkMode);
    return s;
}

zelbor::ThrottleSettings TMainForm::ThrottleFromControls() const
{
    zelbor::ThrottleSettings s;
    s.speThrStartVolt = speThrStartVolt->value();
    s.speThrEndVolt = speThrEndVolt->value();
    s.cbbThrMode = cbbThrMode->currentIndex();
    s.cbbThrAssistLvl = cbbThrAssistLvl->currentIndex();
    s.edThrSpeedLim = edThrSpeedLim->currentIndex();
    s.speThrStartCurr = speThrStartCurr->value();
    s.kept.cbbThrMode = KeptByteOf(cbbThrMode);
    s.kept.cbbThrAssistLvl = KeptByteOf(cbbThrAssistLvl);
    s.kept.edThrSpeedLim = KeptByteOf(edThrSpeedLim);
    return s;
}

void TMainForm::ShowBasic(const zelbor::BasicSettings& s)
{
    {
        const QSignalBlocker blocker(cbbBasLowBat);
        const QString kept = cbbBasLowBat->currentText();
        const int index = cbbBasLowBat->findText(QString::number(s.cbbBasLowBat), Qt::MatchExactly);
        if (index >= 0) {
            cbbBasLowBat->setCurrentIndex(index);
            cbbBasLowBat->setEditText(cbbBasLowBat->itemText(index));
        } else {
            cbbBasLowBat->setCurrentIndex(-1);
            cbbBasLowBat->setEditText(kept);
        }
    }
    speBasCurrLim->setValue(s.speBasCurrLim);
    for (int i = 0; i < 10; ++i)
        speBasAssistCurrLim[i]->setValue(s.speBasAssistCurrLim[i]);
    for (int i = 0; i < 10; ++i)
        speBasAssistSpdLim[i]->setValue(s.speBasAssistSpdLim[i]);
    SetListIndex(cbbBasWheelDiam, s.cbbBasWheelDiam);
    SetListIndex(cbbBasSpdMtrType, s.cbbBasSpdMtrType);
    speBasSpdMtrSig->setValue(s.speBasSpdMtrSig);
    // After the indexes: setting an index forgets the byte kept before. A profile keeps none.
    KeepByte(cbbBasWheelDiam, s.kept.cbbBasWheelDiam);
    KeepByte(cbbBasSpdMtrType, s.kept.cbbBasSpdMtrType);
}

void TMainForm::ShowPedalAssist(const zelbor::PedalAssistSettings& s)
{
    SetListIndex(cbbPASPedalSensType, s.cbbPASPedalSensType);
    SetListIndex(cbbPASDesigAssist, s.cbbPASDesigAssist);
    SetListIndex(cbbPASSpdLim, s.cbbPASSpdLim);
    spePASStartCurr->setValue(s.spePASStartCurr);
    SetListIndex(cbbPASSlowStartMode, s.cbbPASSlowStartMode);
    spePASStartDeg->setValue(s.spePASStartDeg);
    SetListIndex(cbbPASWorkMode, s.cbbPASWorkMode);
    spePASStopDelay->setValue(s.spePASStopDelay);
    spePASCurrDecay->setValue(s.spePASCurrDecay);
    spePASStopDecay->setValue(s.spePASStopDecay);
    spePASKeepCurr->setValue(s.spePASKeepCurr);
    KeepByte(cbbPASPedalSensType, s.kept.cbbPASPedalSensType);
    KeepByte(cbbPASDesigAssist, s.kept.cbbPASDesigAssist);
    KeepByte(cbbPASSpdLim, s.kept.cbbPASSpdLim);
    KeepByte(cbbPASSlowStartMode, s.kept.cbbPASSlowStartMode);
    KeepByte(cbbPASWorkMode, s.kept.cbbPASWorkMode);
}

void TMainForm::ShowThrottle(const zelbor::ThrottleSettings& s)
{
    speThrStartVolt->setValue(s.speThrStartVolt);
    speThrEndVolt->setValue(s.speThrEndVolt);
    SetListIndex(cbbThrMode, s.cbbThrMode);
    SetListIndex(cbbThrAssistLvl, s.cbbThrAssistLvl);
    SetListIndex(edThrSpeedLim, s.edThrSpeedLim);
    speThrStartCurr->setValue(s.speThrStartCurr);
    KeepByte(cbbThrMode, s.kept.cbbThrMode);
    KeepByte(cbbThrAssistLvl, s.kept.cbbThrAssistLvl);
    KeepByte(edThrSpeedLim, s.kept.edThrSpeedLim);
}

// ---- Read replies ----

void TMainForm::HandleBasicReadReply(std::span<const std::uint8_t> chunk)
{
    const auto settings = zelbor::DecodeBasic(chunk);
    if (!settings)
        return;
    // The offered voltages follow the nominal voltage shown; an unknown text leaves the list empty.
    if (const auto* row = zelbor::NominalVoltageRowForText(lbNomVolt->text().toStdString()))
        SetLowBatteryItems(row->lowVolts, row->highVolts);
    else
        ClearLowBatteryItems();
    ShowBasic(*settings);

    ReopenPort();
    if (TransferMode == tmReadBlock) {
        TransferMode = tmIdle;
        ReportError("err7", zelbor::mbIconInformation);
    } else if (TransferMode == tmReadAll) {
        SendReadRequest(zelbor::bcPedalAssist);
    }
}

void TMainForm::HandlePedalAssistReadReply(std::span<const std::uint8_t> chunk)
{
    const auto settings = zelbor::DecodePedalAssist(chunk);
    if (!settings)
        return;
    ShowPedalAssist(*settings);

    ReopenPort();
    if (TransferMode == tmReadBlock) {
        TransferMode = tmIdle;
        ReportError("err33", zelbor::mbIconInformation);
    } else if (TransferMode == tmReadAll) {
        SendReadRequest(zelbor::bcThrottle);
    }
}

void TMainForm::HandleThrottleReadReply(std::span<const std::uint8_t> chunk)
{
    const auto settings = zelbor::DecodeThrottle(chunk);
    if (!settings)
        return;
    ShowThrottle(*settings);

    ReopenPort();
    ReportError(TransferMode == tmReadBlock ? "err46" : "err47", zelbor::mbIconInformation);
    TransferMode = tmIdle;
}

// ---- Write acknowledgements ----

void TMainForm::ShowFieldRejected(const zelbor::AckField& field)
{
    ReportError(field.key, zelbor::mbIconWarning);
    pctrlProfile->setCurrentIndex(field.page);
    if (auto* control = findChild<QWidget*>(QLatin1String(field.control)))
        control->setFocus(Qt::OtherFocusReason);
}

void TMainForm::HandleBasicWriteAck(std::span<const std::uint8_t> chunk)
{
    const auto result = zelbor::WriteAckResult(chunk);
    if (!result)
        return; // only the block code arrived: no result to act on
    const auto table = zelbor::AckTable(zelbor::bcBasic);
    if (*result < table.size()) {
        ShowFieldRejected(table[*result]);
    } else if (*result == table.size()) {
        if (TransferMode == tmWriteAll) {
            ReopenPort();
            SendWriteFrame(zelbor::bcPedalAssist);
        } else {
            ReportError("err32", zelbor::mbIconInformation);
        }
    }
    if (TransferMode == tmWriteBlock) {
        TransferMode = tmIdle;
        ReopenPort();
    }
}

void TMainForm::HandlePedalAssistWriteAck(std::span<const std::uint8_t> chunk)
{
    const auto result = zelbor::WriteAckResult(chunk);
    if (!result)
        return;
    const auto table = zelbor::AckTable(zelbor::bcPedalAssist);
    if (*result < table.size()) {
        ShowFieldRejected(table[*result]);
    } else if (*result == table.size()) {
        if (TransferMode == tmWriteAll) {
            ReopenPort();
            SendWriteFrame(zelbor::bcThrottle);
        }
    }
    if (TransferMode == tmWriteBlock) {
        TransferMode = tmIdle;
        ReopenPort();
        ReportError("err45", zelbor::mbIconInformation);
    }
}

void TMainForm::HandleThrottleWriteAck(std::span<const std::uint8_t> chunk)
{
    const auto result = zelbor::WriteAckResult(chunk);
    if (!result)
        return;
    const auto table = zelbor::AckTable(zelbor::bcThrottle);
    if (*result < table.size()) {
        ShowFieldRejected(table[*result]); // mode and port stay as they are
    } else if (*result == table.size()) {
        ReopenPort();
        ReportError(TransferMode == tmWriteBlock ? "err54" : "err55", zelbor::mbIconInformation);
        TransferMode = tmIdle;
    }
}
