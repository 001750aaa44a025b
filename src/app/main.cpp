// Program entry: one copy per user, then the main window until it closes.

#include "app/LogoMain.h"
#include "app/SingleInstance.h"

#include "windows/About.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: orvo-tapmeter [OPTIONS]\n"
    "\n"
    "Measures the timing of hand-keyed Morse code: key with the Right-arrow key,\n"
    "the left mouse button, a straight key on a serial port, a keyed tone on the\n"
    "sound input or a WAV file. F1 in the program opens its help page.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Qt's standard options (such as -platform NAME) are accepted as well.\n"
    "Settings: ~/.config/OrvoTapmeter/OrvoTapmeter.ini\n";

// Answers --help and --version before Qt starts, so both work without a display.
bool AnswerInfoOption(int argc, char** argv, int& status)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            status = 0;
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::printf("orvo-tapmeter %s\n", VersionText().toUtf8().constData());
            status = 0;
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    int status = 0;
    if (AnswerInfoOption(argc, argv, status))
        return status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvo Tapmeter"));
    // Ties the windows to the installed orvo-tapmeter.desktop (Wayland app id)
    // and gives them the installed icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("orvo-tapmeter"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("orvo-tapmeter")));

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
