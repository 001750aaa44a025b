// Program entry: one copy per user, then the main window until it closes.

#include "app/MainWindow.h"
#include "app/SingleInstance.h"

#include "windows/AboutBox.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
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

const char* const kLicence =
    "Copyright 2026 the Orvo Tapmeter developers\n"
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

// Answers --help and --version before Qt starts, so both work without a display.
bool AnswerInfoOption(int argc, char** argv, int& status) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            status = 0;
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::printf("orvo-tapmeter %s\n%s", VersionText().toUtf8().constData(), kLicence);
            status = 0;
            return true;
        }
    }
    return false;
}

bool IsSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

// Without a display Qt would abort with a core dump. A platform chosen
// explicitly (offscreen, a framebuffer) is the user's call and is tried.
bool NoDisplay(int argc, char** argv) {
    if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM"))
        return false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    if (AnswerInfoOption(argc, argv, status))
        return status;
    if (NoDisplay(argc, argv)) {
        std::fputs(
            "orvo-tapmeter: no display found; this program needs a desktop session "
            "(for the command line use orvo-tapmeter-cli)\n",
            stderr);
        return 1;
    }

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
    TMainWindow form;
    form.OnClosed = [] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); };
    if (form.Settings().InitMax)
        form.showMaximized();
    else
        form.show();
    return app.exec();
}
