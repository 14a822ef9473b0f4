// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TfrmHelp: the modal window of one help topic. Declared here so that the window tests can
// reach its controls.
#include <QDialog>
#include <functional>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace zelbor {

class IniFile;

class TfrmHelp : public QDialog {
    Q_OBJECT
public:
    explicit TfrmHelp(QWidget* parent = nullptr);

    QPlainTextEdit* memHelp = nullptr;
    QPushButton* btnHelpClose = nullptr;

public slots:
    void reject() override;
};

// The text of the help box for one section of a topic file: for each of the "nbLine" lines a line
// break followed by the line, so it begins with an empty line.
QString HelpTopicText(const IniFile& topicFile, const std::string& section);

} // namespace zelbor
