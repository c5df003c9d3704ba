// main.cpp: KRVRepair, the desktop front end of Corvessa.
#include "frontend/app/MainFrm.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TMainForm form;
    form.show();
    // The command line runs once the event loop is up, so that its repair can end the
    // program (switch E) and its boxes have a loop to run in.
    const QStringList arguments = app.arguments().mid(1);
    QTimer::singleShot(0, &form, [&form, arguments] { form.ProcessCommandLine(arguments); });
    return app.exec();
}
