// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: the buttons of the connection and the transfers, the window as the transfer
// sequence's host, and the parameter values to and from the controls.
#include "ui/Main.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <exception>

#include "common/Errors.h"
#include "ui/Report.h"
#include "ui/Seam.h"

namespace zelbor {

namespace {

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

ParameterValues TMainForm::ValuesToWrite(std::uint8_t block) { return ValuesFromControls(block); }

void TMainForm::ShowIdentification(const ControllerInfo& info)
{
    // The controller's bytes are single-byte characters.
    lbManuf->setText(Latin1(ManufacturerText(info)));
    lbModel->setText(Latin1(ModelText(info)));
    lbHWVer->setText(Latin1(HardwareVersionText(info)));
    lbFWVer->setText(Latin1(FirmwareVersionText(info)));
    const NominalVoltageRow& row = NominalVoltageRowForCode(info.nominalVoltageCode);
    ClearLowBatteryItems();
    lbNomVolt->setText(QString::fromLatin1(row.text));
    SetLowBatteryItems(row.lowVolts, row.highVolts);
    lbMaxCurr->setText(Latin1(MaxCurrentText(info)));
    // The shown value is left alone; the spin box itself clamps it into the new range. The lower
    // bound stays: a maximum below it would otherwise pull it down and allow a limit of 0 A, which
    // a later identification would not raise again. Such a maximum leaves the range as it was.
    if (const auto maximum = CurrentLimitMaximum(info))
        speBasCurrLim->setRange(kCurrentLimitMinimum, *maximum);
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
        btnPortDisconnect->setEnabled(false);
        btnPortConnect->setEnabled(true);
        SetTransferButtonsEnabled(false);
        break;
    }
}

void TMainForm::StartConnectTimer() { TimerConnect->start(); }

void TMainForm::StopConnectTimer() { TimerConnect->stop(); }

// ---- The low-battery choices ----

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

// ---- Values <-> controls ----

void TMainForm::RegisterParameterControl(const ParameterField& field, QWidget* control)
{
    const auto table = ParameterTable();
    parameterControls_.resize(table.size(), nullptr);
    parameterControls_[static_cast<std::size_t>(&field - table.data())] = control;
}

QWidget* TMainForm::ParameterControl(const ParameterField& field) const
{
    const auto i = static_cast<std::size_t>(&field - ParameterTable().data());
    return i < parameterControls_.size() ? parameterControls_[i] : nullptr;
}

void TMainForm::WatchKeptByteLists()
{
    for (const ParameterField& field : ParameterTable()) {
        if (field.kind != ControlKind::List)
            continue;
        auto* list = static_cast<QComboBox*>(ParameterControl(field));
        // The byte stands for what the list could not show: once the list shows something else, or
        // the user picks an item (even the one shown), that item is what goes out.
        connect(list, &QComboBox::currentIndexChanged, this, [this, list] { keptBytes_.erase(list); });
        connect(list, &QComboBox::activated, this, [this, list] { keptBytes_.erase(list); });
    }
}

void TMainForm::KeepByte(QComboBox* list, const KeptByte& byte)
{
    if (byte)
        keptBytes_[list] = *byte;
    else
        keptBytes_.erase(list);
}

KeptByte TMainForm::KeptByteOf(const QComboBox* list) const
{
    const auto it = keptBytes_.find(list);
    return it == keptBytes_.end() ? KeptByte{} : KeptByte{it->second};
}

ParameterValues TMainForm::ValuesFromControls(std::uint8_t block) const
{
    ParameterValues values;
    ReadControls(block, values);
    return values;
}

ParameterValues TMainForm::ValuesFromControls() const
{
    ParameterValues values;
    for (const BlockInfo& block : Blocks())
        ReadControls(block.code, values);
    return values;
}

void TMainForm::ReadControls(std::uint8_t block, ParameterValues& values) const
{
    for (const ParameterField& field : ParameterTable()) {
        if (field.block != block)
            continue;
        QWidget* control = ParameterControl(field);
        switch (field.kind) {
        case ControlKind::VoltsText:
            field.Value(values) = StrToInt(static_cast<QComboBox*>(control)->currentText().toStdString());
            break;
        case ControlKind::Spin:
            field.Value(values) = static_cast<QSpinBox*>(control)->value();
            break;
        case ControlKind::List: {
            auto* list = static_cast<QComboBox*>(control);
            field.Value(values) = list->currentIndex();
            *field.Kept(values) = KeptByteOf(list);
            break;
        }
        }
    }
}

void TMainForm::ShowValues(std::uint8_t block, const ParameterValues& values)
{
    if (block == bcBasic) {
        // The offered voltages follow the nominal voltage shown; an unknown text leaves the list empty.
        if (const auto* row = NominalVoltageRowForText(lbNomVolt->text().toStdString()))
            SetLowBatteryItems(row->lowVolts, row->highVolts);
        else
            ClearLowBatteryItems();
    }
    ShowBlock(block, values);
}

void TMainForm::ShowBlock(std::uint8_t block, const ParameterValues& values)
{
    for (const ParameterField& field : ParameterTable()) {
        if (field.block != block)
            continue;
        QWidget* control = ParameterControl(field);
        const int value = field.Value(values);
        switch (field.kind) {
        case ControlKind::VoltsText: {
            auto* box = static_cast<QComboBox*>(control);
            const QSignalBlocker blocker(box);
            const QString kept = box->currentText();
            const int index = box->findText(QString::number(value), Qt::MatchExactly);
            if (index >= 0) {
                box->setCurrentIndex(index);
                box->setEditText(box->itemText(index));
            } else {
                box->setCurrentIndex(-1);
                box->setEditText(kept);
            }
            break;
        }
        case ControlKind::Spin:
            static_cast<QSpinBox*>(control)->setValue(value); // limited to the control's range
            break;
        case ControlKind::List:
            SetListIndex(static_cast<QComboBox*>(control), value);
            break;
        }
    }
    // After the indexes: setting an index forgets the byte kept before. A profile keeps none.
    for (const ParameterField& field : ParameterTable())
        if (field.block == block && field.kind == ControlKind::List)
            KeepByte(static_cast<QComboBox*>(ParameterControl(field)), *field.Kept(values));
}

} // namespace zelbor
