// SPDX-License-Identifier: GPL-3.0-or-later
// The program: one main window, shown after its start-up sequence has run.
#include <QApplication>

#include "ui/Application.h"
#include "ui/Main.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    zelbor::SetUpApplication();

    zelbor::TMainForm mainForm;
    mainForm.FormShow(); // ends with the start-up warning, on screen alone
    mainForm.CenterOnScreen();
    mainForm.show();
    return app.exec();
}
