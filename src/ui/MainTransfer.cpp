// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: the buttons of the connection and the transfers, and the window as the transfer
// sequence's host, which hands the values on to and from the editing state.
#include "ui/Main.h"
#include "ui/LineTools.h"

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
    Guarded([this] { transfer_.Connect(SelectedPortPath().toStdString()); });
}

void TMainForm::btnPortDisconnectClick()
{
    Guarded([this] { transfer_.Disconnect(); });
}

void TMainForm::TimerConnectTimer()
{
    Guarded([this] { transfer_.ConnectTimerElapsed(); });
}

void TMainForm::btnBasReadClick()
{
    Guarded([this] { transfer_.ReadBlock(bcBasic); });
}

void TMainForm::btnPASReadClick()
{
    Guarded([this] { transfer_.ReadBlock(bcPedalAssist); });
}

void TMainForm::btnThrReadClick()
{
    Guarded([this] { transfer_.ReadBlock(bcThrottle); });
}

void TMainForm::btnBasWriteClick()
{
    Guarded([this] { transfer_.WriteBlock(bcBasic); });
}

void TMainForm::btnPASWriteClick()
{
    Guarded([this] { transfer_.WriteBlock(bcPedalAssist); });
}

void TMainForm::btnThrWriteClick()
{
    Guarded([this] { transfer_.WriteBlock(bcThrottle); });
}

void TMainForm::btnReadFlashClick()
{
    Guarded([this] { transfer_.ReadAll(); });
}

void TMainForm::btnWriteFlashClick()
{
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

int TMainForm::ShowMessage(const std::string& key, int flags) { return ReportError(key, flags); }

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

void TMainForm::ShowValues(std::uint8_t block, const ParameterValues& values) { editing_.ApplyRead(block, values); }

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
}

void TMainForm::StartConnectTimer() { TimerConnect->start(); }

void TMainForm::StopConnectTimer() { TimerConnect->stop(); }

// ---- The values being edited ----

void TMainForm::ClearLowBatteryItems() { editing_.ClearOfferedVolts(); }

void TMainForm::SetLowBatteryItems(int firstVolts, int lastVolts) { editing_.SetOfferedVolts(firstVolts, lastVolts); }

QWidget* TMainForm::ParameterControl(const ParameterField& field) const { return fieldViews_.Control(field); }

} // namespace zelbor
