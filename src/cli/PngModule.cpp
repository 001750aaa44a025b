// The PNG plots' painter, built as a module the command-line tool loads only
// when a PNG is asked for: linked into the tool, Qt's libraries would cost
// every run several milliseconds of start-up.

#include "cli/PngModule.h"
#include "controls/ChartPainter.h"

#include <QGuiApplication>

#include <cstdio>
#include <memory>

extern "C" __attribute__((visibility("default"))) bool orvo_save_chart_png(const char* path, int width,
                                                                           int height, OrvoChartDraw draw,
                                                                           void* context,
                                                                           std::string* error) {
    // Painting text needs a GUI application; the offscreen platform needs
    // no display.
    std::unique_ptr<QGuiApplication> app;
    if (!QGuiApplication::instance()) {
        // The platform's notes (a missing runtime folder and the like) are
        // no business of the tool's output.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
            if (type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", qPrintable(msg));
        });
        static int argc = 3;
        static char arg0[] = "orvo-tapmeter-cli", arg1[] = "-platform", arg2[] = "offscreen";
        static char* argv[] = {arg0, arg1, arg2, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    return SaveChartPng(
        path, width, height, [&](IChartCanvas& c) { draw(c, context); }, *error);
}
