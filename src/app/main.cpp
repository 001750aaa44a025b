// Program entry: one copy per user, then the main window until it closes.

#include "app/LogoMain.h"
#include "app/SingleInstance.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvo Tapmeter"));

    TSingleInstance instance;
    if (!instance.Acquire()) {
        QMessageBox::critical(nullptr, QStringLiteral("Orvo Tapmeter"),
                              QStringLiteral("Another instance of Orvo Tapmeter is already running."));
        return 1;
    }

    // The program ends when the main window closes, whatever other window
    // Qt may still count as open at that moment.
    QApplication::setQuitOnLastWindowClosed(false);
    TLogoAppForm form;
    form.OnClosed = [] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); };
    if (form.Settings().InitMax)
        form.showMaximized();
    else
        form.show();
    return app.exec();
}
