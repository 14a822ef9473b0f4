// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Report.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "common/Catalogue.h"
#include "common/Errors.h"
#include "serial/Comm.h"
#include "ui/Seam.h"

namespace zelbor {

namespace {

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

} // namespace

int ShowMessageBox(const MessageRequest& request) { return Seam().ShowMessage(request); }

int ShowRealMessageBox(const MessageRequest& request)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(request.caption);
    box.setText(request.text);
    if (request.flags == mbYesNo) {
        box.setIcon(QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        // Esc gives the answer that changes nothing (a question such as "overwrite?" is declined).
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::No ? idNo : idYes;
    }
    switch (request.flags) {
    case mbIconError:
        box.setIcon(QMessageBox::Critical);
        break;
    case mbIconWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case mbIconInformation:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    box.setStandardButtons(QMessageBox::Ok); // Enter and Esc both close it
    box.exec();
    return idOk;
}

int ReportError(const std::string& key, int flags)
{
    MessageRequest request;
    request.key = key;
    request.caption = FromUtf8(GetErrorCaption(key));
    request.text = FromUtf8(GetErrorMessage(key));
    request.flags = flags;
    return ShowMessageBox(request);
}

void ShowErrorText(const QString& text)
{
    MessageRequest request;
    request.text = text;
    request.caption = QString::fromLatin1(kApplicationTitle);
    request.flags = mbIconError;
    ShowMessageBox(request);
}

bool Guarded(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (const ECommsError& e) {
        QString text = FromUtf8(e.what());
        if (!e.Detail().empty())
            text += QLatin1Char('\n') + FromUtf8(e.Detail());
        ShowErrorText(text);
    } catch (const EConvertError& e) {
        ShowErrorText(FromUtf8(e.what()));
    } catch (const EFileError& e) {
        ShowErrorText(FromUtf8(e.what()));
    } catch (const std::exception& e) {
        ShowErrorText(FromUtf8(e.what()));
    } catch (...) {
        ShowErrorText(QStringLiteral("Unexpected error"));
    }
    return false;
}

} // namespace zelbor
