// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: the buttons of the connection and the transfers, and the window as the transfer
// sequence's host, which hands the values on to and from the editing state.
#include "ui/Main.h"
#include "ui/LineTools.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <exception>

#include "ui/Report.h"
#include "ui/Seam.h"

namespace zelbor {

namespace {

QString Latin1(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

// ---- Buttons ----

void TMainForm::btnPortConnectClick()
{
    EndCompare(); // another transfer takes over
    Guarded([this] { transfer_.Connect(SelectedPortPath().toStdString()); });
}

void TMainForm::btnPortDisconnectClick()
{
    EndCompare(); // another transfer takes over
    Guarded([this] { transfer_.Disconnect(); });
}

void TMainForm::TimerConnectTimer()
{
    Guarded([this] { transfer_.ConnectTimerElapsed(); });
}

void TMainForm::btnBasReadClick()
{
    EndCompare(); // another transfer takes over
    Guarded([this] { transfer_.ReadBlock(bcBasic); });
}

void TMainForm::btnPASReadClick()
{
    EndCompare(); // another transfer takes over
    Guarded([this] { transfer_.ReadBlock(bcPedalAssist); });
}

void TMainForm::btnThrReadClick()
{
    EndCompare(); // another transfer takes over
    Guarded([this] { transfer_.ReadBlock(bcThrottle); });
}

void TMainForm::btnBasWriteClick()
{
    EndCompare(); // another transfer takes over
    Guarded([this] { transfer_.WriteBlock(bcBasic); });
}

void TMainForm::btnPASWriteClick()
{
    EndCompare(); // another transfer takes over
    Guarded([this] { transfer_.WriteBlock(bcPedalAssist); });
}

void TMainForm::btnThrWriteClick()
{
    EndCompare(); // another transfer takes over
    Guarded([this] { transfer_.WriteBlock(bcThrottle); });
}

void TMainForm::btnReadFlashClick()
{
    EndCompare(); // another transfer takes over
    Guarded([this] { transfer_.ReadAll(); });
}

void TMainForm::btnWriteFlashClick()
{
    EndCompare(); // another transfer takes over
    Guarded([this] { transfer_.WriteAll(); });
}

void TMainForm::CommPortReceiveData(TComm&, const std::uint8_t* buffer, std::uint16_t length)
{
    if (buffer)
        transfer_.Receive(std::span<const std::uint8_t>(buffer, length));
}

void TMainForm::SetTransferButtonsEnabled(bool enabled)
{
    for (QPushButton* b :
         {btnThrWrite, btnThrRead, btnPASWrite, btnPASRead, btnBasWrite, btnBasRead, btnWriteFlash, btnReadFlash})
        b->setEnabled(enabled);
}

// ---- The transfer sequence's host ----

void TMainForm::Wait(std::chrono::milliseconds length) { Seam().Wait(length); }

int TMainForm::ShowMessage(const std::string& key, int flags)
{
    if (comparing_ && key == "err47") { // the comparison's reads are complete: its list instead
        comparing_ = false;
        ShowComparison();
        return idOk;
    }
    if (comparing_ && flags == mbIconError)
        comparing_ = false; // a failed send ends the comparison as it ends Read Flash
    return ReportError(key, flags);
}

void TMainForm::ShowFailure(std::exception_ptr error)
{
    Guarded([&] { std::rethrow_exception(error); });
}

void TMainForm::ShowRefusedField(const ParameterField& field)
{
    pctrlProfile->setCurrentIndex(field.Page());
    if (QWidget* control = ParameterControl(field))
        control->setFocus(Qt::OtherFocusReason);
}

ParameterValues TMainForm::ValuesToWrite(std::uint8_t block) { return editing_.Values(block); }

void TMainForm::ShowValues(std::uint8_t block, const ParameterValues& values)
{
    if (comparing_ && TransferMode == tmReadAll)
        editing_.SetReported(block, values); // the controller's side only
    else
        editing_.ApplyRead(block, values);
    NoteBlockRead(block);
}

void TMainForm::ShowIdentification(const ControllerInfo& info)
{
    editing_.Identify(info); // the low-battery choices and the current limit's bound
    ShowControllerInfo();
}

void TMainForm::ShowControllerInfo()
{
    const auto& info = editing_.Identification();
    if (!info)
        return;
    // The controller's bytes are single-byte characters.
    lbManuf->setText(Latin1(ManufacturerText(*info)));
    lbModel->setText(Latin1(ModelText(*info)));
    lbHWVer->setText(Latin1(HardwareVersionText(*info)));
    lbFWVer->setText(Latin1(FirmwareVersionText(*info)));
    lbNomVolt->setText(Latin1(NominalVoltageText(*info)));
    lbMaxCurr->setText(Latin1(MaxCurrentText(*info)));
}

void TMainForm::ShowConnectionState(ConnectionState state)
{
    switch (state) {
    case ConnectionState::Identifying:
        StartSnapshotConnection();
        btnPortDisconnect->setEnabled(true);
        btnPortConnect->setEnabled(false);
        break;
    case ConnectionState::Connected:
        for (QPushButton* b : {btnPortDisconnect, btnThrWrite, btnThrRead, btnPASWrite, btnPASRead, btnBasWrite,
                               btnBasRead, btnWriteFlash, btnReadFlash})
            b->setEnabled(true);
        break;
    case ConnectionState::Disconnected:
        LineTools->Stop();
        btnPortDisconnect->setEnabled(false);
        btnPortConnect->setEnabled(true);
        SetTransferButtonsEnabled(false);
        break;
    }
    if (mnCompare)
        mnCompare->setEnabled(btnReadFlash->isEnabled()); // a comparison is a transfer too
}

void TMainForm::ShowWriteAccepted(std::uint8_t block, const Bytes& data) { editing_.AcceptWritten(block, data); }

void TMainForm::StartConnectTimer() { TimerConnect->start(); }

void TMainForm::StopConnectTimer() { TimerConnect->stop(); }

// ---- The values being edited ----

void TMainForm::ClearLowBatteryItems() { editing_.ClearOfferedVolts(); }

void TMainForm::SetLowBatteryItems(int firstVolts, int lastVolts) { editing_.SetOfferedVolts(firstVolts, lastVolts); }

QWidget* TMainForm::ParameterControl(const ParameterField& field) const { return fieldViews_.Control(field); }

} // namespace zelbor
