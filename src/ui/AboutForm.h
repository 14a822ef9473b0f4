// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TAboutForm: program name, version and credits with their web links. Declared here so that the
// window tests can reach its controls.
#include <QDialog>
#include <QLabel>
#include <QUrl>
#include <functional>

#include "ui/Access.h"

class QFrame;
class QLabel;
class QPushButton;

namespace zelbor {

// A label that opens a web address when clicked, or with Space or Enter while it has the focus.
class TLinkLabel : public TClickLabel {
    Q_OBJECT
public:
    TLinkLabel(const QString& caption, const QUrl& target, QWidget* parent = nullptr);
    QUrl Target() const { return target_; }

private:
    QUrl target_;
};

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // Reads section "ABOUT" of main.ini of the current language and sets the five texts.
    void SetAboutLanguage();
    bool btnCloseKeyPress(int key); // true when the key closed the window

    QLabel* lbAppName = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblUpgradedBy = nullptr;
    QLabel* lbAuthor = nullptr;
    TLinkLabel* lblAuthorLink = nullptr;
    QLabel* Label2 = nullptr;
    TLinkLabel* lblUpgraderLink = nullptr;
    QLabel* lblHelpTips = nullptr;
    QLabel* Label3 = nullptr;
    TLinkLabel* lblTipsLink = nullptr;
    QLabel* lbOriginalInfo = nullptr;
    QLabel* lbOriginalAuthor = nullptr;
    QLabel* Label1 = nullptr;
    TLinkLabel* lblMakerLink = nullptr;
    QFrame* Bevel1 = nullptr;
    QFrame* Bevel2 = nullptr;
    QPushButton* btnClose = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace zelbor
