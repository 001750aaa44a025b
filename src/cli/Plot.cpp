#include "cli/Plot.h"

#include "analysis/PracticeChart.h"
#include "cli/CliError.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#ifdef ORVO_CLI_PNG
#include "controls/ChartPainter.h"

#include <QGuiApplication>

#include <cstdio>
#include <memory>
#endif

namespace orvo::cli {

namespace {

constexpr int kWidth = 900;
constexpr int kHeight = 620;

std::string Ending(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return {};
    std::string e = path.substr(dot + 1);
    for (char& c : e)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

void Draw(IChartCanvas& c, const std::vector<SessionInput>& sessions) {
    if (sessions.size() == 1) {
        DrawHistograms(c, *sessions[0].stats, 0, 0, kWidth, kHeight);
        return;
    }
    std::vector<ProgressPoint> points;
    for (size_t i = 0; i < sessions.size(); ++i)
        points.push_back(
            MakeProgressPoint(sessions[i].stats->Report(), sessions[i].started, static_cast<int>(i)));
    DrawProgress(c, points, 0, 0, kWidth, kHeight);
}

}  // namespace

void CheckPlotName(const std::string& path) {
    const std::string e = Ending(path);
    if (e != "svg" && e != "png")
        throw CliError("invalid value for --plot: '" + path + "' (expected a .png or .svg file name)");
#ifndef ORVO_CLI_PNG
    if (e == "png")
        throw CliError("--plot: this build writes SVG plots only");
#endif
}

void WritePlot(const std::string& path, const std::vector<SessionInput>& sessions) {
    CheckPlotName(path);
    if (Ending(path) == "svg") {
        SvgCanvas svg(kWidth, kHeight);
        Draw(svg, sessions);
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f << svg.Document();
        f.close();
        if (!f)
            throw CliError("cannot write " + path + ": " + std::strerror(errno));
        return;
    }
#ifdef ORVO_CLI_PNG
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
    std::string error;
    if (!SaveChartPng(
            path, kWidth, kHeight, [&](IChartCanvas& c) { Draw(c, sessions); }, error))
        throw CliError(error);
#endif
}

}  // namespace orvo::cli
