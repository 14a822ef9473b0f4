// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Seam.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QUrl>
#include <thread>
#include <utility>

#include "ui/About.h"
#include "ui/Help.h"
#include "ui/Report.h"
#include "ui/Warning.h"

namespace zelbor {

namespace {

TSeam* g_installed = nullptr;

} // namespace

void TSeam::Wait(std::chrono::milliseconds length) { std::this_thread::sleep_for(length); }

std::chrono::steady_clock::time_point TSeam::Now() { return std::chrono::steady_clock::now(); }

int TSeam::ShowMessage(const MessageRequest& request) { return ShowRealMessageBox(request); }

std::optional<QString> TSeam::RunFileDialog(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.selectedFiles().value(0);
}

int TSeam::RunDialog(QDialog& dialog) { return dialog.exec(); }

void TSeam::ShowStartupWarning(TMainForm& mainForm) { zelbor::ShowStartupWarning(mainForm); }

void TSeam::ShowHelpTopic(const std::string& topic, const std::string& section)
{
    zelbor::ShowHelpTopic(topic, section);
}

void TSeam::ShowAboutWindow() { zelbor::ShowAboutWindow(); }

void TSeam::OpenUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

TSeam& Seam()
{
    static TSeam real;
    return g_installed ? *g_installed : real;
}

TSeam* SetSeam(TSeam* seam) { return std::exchange(g_installed, seam); }

} // namespace zelbor
