// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TMainForm: the one editing window. Its parameter controls show the editing state
// (editing/EditingState.h) and hand it what the user does: the transfer sequence gives the state
// what the controller sent and takes what it writes from it, and so do the profile reader and
// writer. The controls are made from the parameter table (protocol/Parameters.h); the window runs
// the protocol's transfer sequence as its host.
#include "editing/EditingState.h"
#include "protocol/Parameters.h"
#include "protocol/Transfer.h"
#include "serial/Comm.h"
#include "serial/ControllerLink.h"
#include "ui/FieldViews.h"

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>
#include "ui/QtNotifyWindow.h"

class QAction;
class QComboBox;
class QFileDialog;
class QGridLayout;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class QToolButton;
class QWidget;

namespace zelbor {

class TLineTools;

class IniFile;
class TAssistChart;

class TMainForm : public QMainWindow, private TTransferHost {
    Q_OBJECT
public:
    using TTransferMode = zelbor::TTransferMode;
    using enum zelbor::TTransferMode; // TMainForm::tmIdle ...

    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

private:
    QtNotifyWindow notifyWindow_; // must outlive CommPort
public:
    TComm CommPort;

private:
    TControllerLink link_; // CommPort as the controller's line
    TTransferSequence transfer_;
    TEditingState editing_;
    TFieldViews fieldViews_{editing_}; // the parameter controls, as views of editing_

public:
    // ---- State ----
    TTransferMode& TransferMode; // the transfer sequence's: how the next reply is handled
    int& ReopenCount;            // every close-and-reopen of the port, successful or not
    QString ProfileFileName;
    QTimer* TimerConnect = nullptr;

    // ---- Start-up ----
    void FormShow();
    void CenterOnScreen();

    // ---- Connection and transfers (each runs a step of the transfer sequence) ----
    void btnPortConnectClick();
    void btnPortDisconnectClick();
    void TimerConnectTimer();
    void btnBasReadClick();
    void btnPASReadClick();
    void btnThrReadClick();
    void btnBasWriteClick();
    void btnPASWriteClick();
    void btnThrWriteClick();
    void btnReadFlashClick();
    void btnWriteFlashClick();
    void imgSearchPortsClick();
    // What CommPort delivered: handed to the transfer sequence.
    void CommPortReceiveData(TComm& sender, const std::uint8_t* buffer, std::uint16_t length);

    // A chunk that arrives while a message box raised by the dispatcher is open waits, and is
    // dispatched in order once that box has closed (TTransferSequence::Receive).
    static constexpr std::size_t kMaxPendingChunks = TTransferSequence::kMaxPendingChunks;
    std::size_t PendingChunkCount() const { return transfer_.PendingChunkCount(); }

    // ---- The values being edited ----
    // What the controls show, what a write sends and a profile stores, and what the controller
    // last reported.
    TEditingState& EditingState() { return editing_; }
    const TEditingState& EditingState() const { return editing_; }
    void SetLowBatteryItems(int firstVolts, int lastVolts); // keeps the box's text
    void ClearLowBatteryItems();                            // keeps the box's text
    // The control of a parameter (the table's field of that name).
    QWidget* ParameterControl(const ParameterField& field) const;

    // ---- Low-battery field ----
    bool cbbBasLowBatKeyPress(QChar key); // true: the character reaches the field
    void cbbBasLowBatChange();            // range adjustment after a change by the user

    // ---- Languages ----
    void LoadLanguageList(const std::filesystem::path& path);
    bool CommitLanguageChoice(); // false when languages.ini could not be written (reported)
    bool cbbLanguageChange();    // false when the switch stopped at a file error (reported)
    void SetMainLanguage();
    void SetMainMenuLanguage(const IniFile& ini);
    void SetMainTabLanguage(const IniFile& ini);
    void SetMainOtherLanguage(const IniFile& ini);
    void SetMainCommLanguage(const IniFile& ini);
    void SetMainControllerInfosLanguage(const IniFile& ini);
    bool LoadInfos(); // memInfos <- Infos.txt; false when it could not be opened (reported)

    // ---- Keyboard and screen-reader access ----
    // Access letters of the parameter labels and accessible names of every control, from the texts
    // the window shows now: run after the window texts change.
    void UpdateAccessibility();

    // ---- Profiles ----
    void LoadProfile(const QString& fileName);
    void SaveProfile(const QString& fileName); // throws EConvertError / EFileError
    void mnSaveClick();
    void mnSaveAsClick();
    void mnLoadClick();
    void LoadFileDialogCanClose(const QString& fileName);
    void SaveFileDialogCanClose(const QString& fileName);

    // ---- Help, about, exit ----
    void btnHelp_BasicClick(QObject* sender);
    void btnHelp_PedalAssistClick(QObject* sender);
    void btnHelp_ThrottleClick(QObject* sender);
    void mnHelpFileClick();
    void mnAboutClick();
    void imgInfoClick();
    void mnExitClick();

    // ---- As-found snapshots (MainSnapshots.cpp) ----
    // The first time after each Connect that all three blocks have been read, what the
    // controller reported is stored in the per-user snapshots folder. It only observes: a failure
    // is shown once per run, as a warning naming the folder, after the transfer step has ended.
    std::filesystem::path LastSnapshotPath; // the snapshot written last, empty before one
    int SnapshotWarnings = 0;               // warnings shown about snapshots that failed

    // ---- Marks on what differs from the controller (MainMarks.cpp) ----
    // Once a block has been read, each control whose value would write other than the controller
    // last reported carries a mark (a bar at its left edge, a colour the labels do not use) and
    // says in its accessible description what the controller holds. The line under the pages
    // counts them and names their pages.
    QLabel* lblDifferences = nullptr;
    // The assist levels' current and speed limits drawn as curves, under Controller Info.
    TAssistChart* imgAssistChart = nullptr;
    bool FieldMarked(const ParameterField& field) const;
    void UpdateDifferenceMarks();

    // ---- Compare with the controller (MainCompare.cpp) ----
    // Reads the three blocks again as Read Flash does, into the controller's side only, then
    // lists the fields that differ (the comparison of the command line's diff). The values being
    // edited stay; the list takes the place of Read Flash's closing message.
    QAction* mnCompare = nullptr;
    QAction* mnSnapshots = nullptr;
    void mnCompareClick();
    void mnSnapshotsClick(); // the Snapshots window (SnapshotsForm.cpp)
    bool Comparing() const { return comparing_; }
    struct TComparedField {
        const ParameterField* field;
        QString page, name, controller, window;
    };
    std::vector<TComparedField> CompareWithController() const; // the differences now

    // ---- Controls (each also carries its name as objectName) ----
    QTabWidget* pctrlProfile = nullptr;
    QWidget* tabGeneral = nullptr;
    QWidget* tabPedalAssist = nullptr;
    QWidget* tabThrottleHandle = nullptr;
    QWidget* TabInfos = nullptr;
    QWidget* pGeneral = nullptr;

    QComboBox* cbbBasLowBat = nullptr;
    QSpinBox* speBasCurrLim = nullptr;
    std::array<QSpinBox*, 10> speBasAssistCurrLim{};
    std::array<QSpinBox*, 10> speBasAssistSpdLim{};
    QComboBox* cbbBasSpdMtrType = nullptr;
    QSpinBox* speBasSpdMtrSig = nullptr;
    QComboBox* cbbBasWheelDiam = nullptr;
    QPushButton* btnBasRead = nullptr;
    QPushButton* btnBasWrite = nullptr;

    QComboBox* cbbPASPedalSensType = nullptr;
    QComboBox* cbbPASDesigAssist = nullptr;
    QComboBox* cbbPASSpdLim = nullptr;
    QSpinBox* spePASStartCurr = nullptr;
    QComboBox* cbbPASSlowStartMode = nullptr;
    QSpinBox* spePASStartDeg = nullptr;
    QComboBox* cbbPASWorkMode = nullptr;
    QSpinBox* spePASStopDelay = nullptr;
    QSpinBox* spePASCurrDecay = nullptr;
    QSpinBox* spePASStopDecay = nullptr;
    QSpinBox* spePASKeepCurr = nullptr;
    QLabel* imgPAS = nullptr;
    QPushButton* btnPASRead = nullptr;
    QPushButton* btnPASWrite = nullptr;

    QSpinBox* speThrStartVolt = nullptr;
    QSpinBox* speThrEndVolt = nullptr;
    QComboBox* cbbThrMode = nullptr;
    QComboBox* cbbThrAssistLvl = nullptr;
    QComboBox* edThrSpeedLim = nullptr;
    QSpinBox* speThrStartCurr = nullptr;
    QPushButton* btnThrRead = nullptr;
    QPushButton* btnThrWrite = nullptr;

    QPlainTextEdit* memInfos = nullptr;

    QLabel* lbSoftwareName = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* imgInfo = nullptr;
    QLabel* lblLanguage = nullptr;
    QComboBox* cbbLanguage = nullptr;
    QGroupBox* gbCommIF = nullptr;
    QLabel* lbCOMPort = nullptr;
    QComboBox* cbbPort = nullptr;
    QLabel* imgSearchPorts = nullptr;
    QPushButton* btnPortConnect = nullptr;
    QPushButton* btnPortDisconnect = nullptr;
    QGroupBox* gbControllerInfo = nullptr;
    QLabel* lbManufTitle = nullptr;
    QLabel* lbModelTitle = nullptr;
    QLabel* lbHWVerTitle = nullptr;
    QLabel* lbFWVerTitle = nullptr;
    QLabel* lbNomVoltTitle = nullptr;
    QLabel* lbMaxCurrTitle = nullptr;
    QLabel* lbManuf = nullptr;
    QLabel* lbModel = nullptr;
    QLabel* lbHWVer = nullptr;
    QLabel* lbFWVer = nullptr;
    QLabel* lbNomVolt = nullptr;
    QLabel* lbMaxCurr = nullptr;
    QPushButton* btnReadFlash = nullptr;
    QPushButton* btnWriteFlash = nullptr;

    QMenu* mnFileMenu = nullptr;
    QMenu* mnHelpMenu = nullptr;
    QAction* mnFile = nullptr;
    QAction* mnSave = nullptr;
    QAction* mnSaveAs = nullptr;
    QAction* mnLoad = nullptr;
    QAction* mnExit = nullptr;
    QAction* mnHelp = nullptr;
    QAction* mnHelpFile = nullptr;
    QAction* mnAbout = nullptr;

    TLineTools* LineTools = nullptr; // the status line and the line monitor

    QFileDialog* LoadFileDialog = nullptr;
    QFileDialog* SaveFileDialog = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- The transfer sequence's host ----
    void Wait(std::chrono::milliseconds length) override;
    int ShowMessage(const std::string& key, int flags) override;
    void ShowFailure(std::exception_ptr error) override;
    void ShowRefusedField(const ParameterField& field) override;
    void ShowValues(std::uint8_t block, const ParameterValues& values) override; // a read reply
    ParameterValues ValuesToWrite(std::uint8_t block) override;
    void ShowIdentification(const ControllerInfo& info) override;
    void ShowConnectionState(ConnectionState state) override;
    void StartConnectTimer() override;
    void StopConnectTimer() override;
    void ShowWriteAccepted(std::uint8_t block, const Bytes& data) override; // the controller's side

    // ---- Building (MainPages.cpp) ----
    void BuildMenu();
    QWidget* BuildBasicPage();
    QWidget* BuildPedalAssistPage();
    QWidget* BuildThrottlePage();
    QWidget* BuildInfosPage();
    QWidget* BuildRightPanel();
    void BuildFileDialogs();
    void BuildTabChain();
    // The control of the table's field `control`, with its range or items.
    QSpinBox* MakeParameterSpin(const char* control);
    QComboBox* MakeParameterList(const char* control, int width, bool filled = true);
    QComboBox* MakeLowBatteryBox(const char* control);
    void FillList(QComboBox* list); // its table items
    // The "?" button of the table's help button `name`.
    QToolButton* HelpButton(const std::string& name);
    // A row of label, help button and field; the label becomes the field's buddy.
    void AddFieldRow(QGridLayout* grid, int& row, int page, QLabel* label, QToolButton* help, QWidget* field);
    void FillPortList();
    QString SelectedPortPath() const;             // the path of the port that Connect opens
    void ShowSelectedPortPath();                  // as the port list's tooltip and description
    void SetTransferButtonsEnabled(bool enabled); // Disconnect's order when disabling
    void SetCaptionForProfile();
    void ShowControllerInfo(); // the identification's labels

    // A row of a parameter page as keyboard and screen-reader access see it, in the order shown.
    struct AccessRow {
        int page = 0;                    // index in pctrlProfile
        QLabel* label = nullptr;         // names the row
        QLabel* note = nullptr;          // a second label, read after the first
        QWidget* help = nullptr;         // its "?" button, if any
        std::vector<QWidget*> fields;    // left to right
        std::vector<QString> fieldNames; // own names where the label names the row, not the field
    };
    std::vector<AccessRow> accessRows_;

    // ---- As-found snapshots ----
    void StartSnapshotConnection();         // a new Connect: the next complete read is stored
    void NoteBlockRead(std::uint8_t block); // after a read reply has reached the editing state
    void WarnSnapshotFailed(const QString& folder, const QString& reason);
    std::array<bool, 3> snapshotRead_{}; // blocks read since Connect
    bool snapshotDue_ = false;           // no snapshot stored since Connect

    // ---- Compare ----
    void BuildExtraMenu();
    void ShowComparison();
    void EndCompare() { comparing_ = false; }
    bool comparing_ = false;

    // ---- Marks ----
    void BuildDifferenceMarks();
    void SetMainExtrasLanguage(const IniFile& ini);
    std::vector<QWidget*> differenceMarks_; // by the field's place in ParameterTable()
    QString marksOne_, marksMany_, marksNone_, marksController_;
};

} // namespace zelbor
