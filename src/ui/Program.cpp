// The program: one main window, shown after its start-up sequence has run.
#include <QApplication>

#include "ui/Main.h"
#include "ui/Report.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QApplication::setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));

    TMainForm mainForm;
    mainForm.FormShow(); // ends with the start-up warning, on screen alone
    mainForm.CenterOnScreen();
    mainForm.show();
    return app.exec();
}
