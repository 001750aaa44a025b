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

    TLogoAppForm form;
    if (form.Settings().InitMax)
        form.showMaximized();
    else
        form.show();
    return app.exec();
}
