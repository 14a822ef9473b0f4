// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TfrmWarning: the start-up warning with the colour legend of the parameter labels and the
// language choice. Declared here so that the window tests can reach its controls.
#include <QDialog>
#include <functional>

class QComboBox;
class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zelbor {

class TMainForm;

class TfrmWarning : public QDialog {
    Q_OBJECT
public:
    // `mainForm` receives the language switch made in the dialog; it must outlive the dialog.
    explicit TfrmWarning(TMainForm& mainForm, QWidget* parent = nullptr);

    void FormCreate();
    void SetWarningLanguage();
    void cbbLanguageChange();

    QLabel* lblLine1 = nullptr;
    QPlainTextEdit* memWarning = nullptr;
    QLabel* lblRedParam = nullptr;
    QLabel* lblRedParamText = nullptr;
    QLabel* lblPurplepParam = nullptr;
    QLabel* lblPurpleParamText = nullptr;
    QLabel* lblBlackParam = nullptr;
    QLabel* lblBlackParamText = nullptr;
    QLabel* lblLanguage = nullptr;
    QComboBox* cbbLanguage = nullptr;
    QPushButton* btnCloseWarning = nullptr;

protected:
    // The only button has no cancel role: Esc must not end the dialog, the close box does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    TMainForm& mainForm_;
};

} // namespace zelbor
