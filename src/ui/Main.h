#pragma once
// TMainForm: the one editing window. Its controls are the only store of the parameter values:
// the reply decoders write into them, the write path and the profile writer read from them.
#include "protocol/Communication.h"
#include "serial/Comm.h"

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
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
class QUrl;
class QWidget;

namespace zelbor { class IniFile; }


class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    enum TTransferMode { tmIdle = 0, tmReadBlock = 1, tmWriteBlock = 2, tmReadAll = 3, tmWriteAll = 4, tmConnect = 5 };

    // The modal windows and shell calls the window starts. Tests replace them so that the
    // start-up sequence and the handlers run without blocking.
    struct ModalHooks {
        std::function<void(TMainForm&)> startupWarning;
        std::function<void(const std::string& topic, const std::string& section)> helpTopic;
        std::function<void()> about;
        std::function<void(const QUrl&)> openUrl;
        // Shows a file dialog; the accepted file name, or nullopt when it was cancelled.
        std::function<std::optional<QString>(QFileDialog&)> runFileDialog;
    };
    static ModalHooks& Hooks();          // the hooks in use
    static ModalHooks DefaultHooks();    // the real windows

    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // ---- State ----
    TTransferMode TransferMode = tmIdle;
    QString ProfileFileName;
    QTimer* TimerConnect = nullptr;
    int ReopenCount = 0; // every ReopenPort call, successful or not
    std::array<std::uint8_t, zelbor::kReceiveBufferSize> ReceiveBuffer{};

private:
    QtNotifyWindow notifyWindow_; // must outlive CommPort
public:
    zelbor::TComm CommPort;

    // ---- Start-up ----
    void FormShow();
    void CenterOnScreen();

    // ---- Connection and transfers ----
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
    void CommPortReceiveData(zelbor::TComm& sender, const std::uint8_t* buffer, std::uint16_t length);

    // A chunk that arrives while a message box raised by the dispatcher is open waits here, and is
    // dispatched in order once that box has closed and the handler that raised it has returned.
    // Never more than kMaxPendingChunks wait: a peer that keeps streaming cannot grow memory.
    static constexpr std::size_t kMaxPendingChunks = 8;
    std::size_t PendingChunkCount() const { return pendingChunks_.size(); }

    void SendIdentifyRequest();
    void SendReadRequest(std::uint8_t blockCode);
    void SendWriteFrame(std::uint8_t blockCode);
    void ReopenPort();

    // Decoders and acknowledgement handlers; each takes the received chunk (cut to the buffer).
    void HandleInfoReply(std::span<const std::uint8_t> chunk);
    void HandleBasicReadReply(std::span<const std::uint8_t> chunk);
    void HandlePedalAssistReadReply(std::span<const std::uint8_t> chunk);
    void HandleThrottleReadReply(std::span<const std::uint8_t> chunk);
    void HandleBasicWriteAck(std::span<const std::uint8_t> chunk);
    void HandlePedalAssistWriteAck(std::span<const std::uint8_t> chunk);
    void HandleThrottleWriteAck(std::span<const std::uint8_t> chunk);

    // The records as the controls hold them (the low-battery text converted: may throw EConvertError).
    zelbor::BasicSettings BasicFromControls() const;
    zelbor::PedalAssistSettings PedalAssistFromControls() const;
    zelbor::ThrottleSettings ThrottleFromControls() const;
    void ShowBasic(const zelbor::BasicSettings& s);        // low battery: selects the matching item
    void ShowPedalAssist(const zelbor::PedalAssistSettings& s);
    void ShowThrottle(const zelbor::ThrottleSettings& s);
    void SetLowBatteryItems(int firstVolts, int lastVolts); // keeps the box's text
    void ClearLowBatteryItems();                            // keeps the box's text

    // ---- Low-battery field ----
    bool cbbBasLowBatKeyPress(QChar key); // true: the character reaches the field
    void cbbBasLowBatChange();            // range adjustment after a change by the user

    // ---- Languages ----
    void LoadLanguageList(const std::filesystem::path& path);
    bool CommitLanguageChoice();          // false when languages.ini could not be written (reported)
    bool cbbLanguageChange();             // false when the switch stopped at a file error (reported)
    void SetMainLanguage();
    void SetMainMenuLanguage(const zelbor::IniFile& ini);
    void SetMainTabLanguage(const zelbor::IniFile& ini);
    void SetMainOtherLanguage(const zelbor::IniFile& ini);
    void SetMainCommLanguage(const zelbor::IniFile& ini);
    void SetMainControllerInfosLanguage(const zelbor::IniFile& ini);
    bool LoadInfos();                     // memInfos <- Infos.txt; false when it could not be opened (reported)

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

    QFileDialog* LoadFileDialog = nullptr;
    QFileDialog* SaveFileDialog = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenu();
    QWidget* BuildBasicPage();
    QWidget* BuildPedalAssistPage();
    QWidget* BuildThrottlePage();
    QWidget* BuildInfosPage();
    QWidget* BuildRightPanel();
    void BuildFileDialogs();
    void BuildTabChain();
    QToolButton* HelpButton(const char* name, void (TMainForm::*handler)(QObject*));
    // A row of label, help button and field; the label becomes the field's buddy.
    void AddFieldRow(QGridLayout* grid, int& row, int page, QLabel* label, QToolButton* help, QWidget* field);
    void FillPortList();
    QString SelectedPortPath() const; // the path of the port that Connect opens
    void ShowSelectedPortPath();      // as the port list's tooltip and description
    void SetTransferButtonsEnabled(bool enabled); // Disconnect's order when disabling
    void SetCaptionForProfile();
    void ShowFieldRejected(const zelbor::AckField& field);
    void DispatchChunk(const std::uint8_t* buffer, std::size_t length);

    bool dispatching_ = false; // a chunk's handler is running (and may be waiting in a message box)
    std::deque<std::vector<std::uint8_t>> pendingChunks_;

    // The list bytes of the controller's last reply that their lists cannot show (see
    // zelbor::KeptByte), held with the list until it gets a selection or is set again.
    std::map<const QComboBox*, std::uint8_t> keptBytes_;
    void WatchKeptByteLists(); // a list forgets its byte as soon as its selection changes or is picked
    void KeepByte(QComboBox* list, const zelbor::KeptByte& byte);
    zelbor::KeptByte KeptByteOf(const QComboBox* list) const;

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
};
