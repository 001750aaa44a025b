#include "cli/Plot.h"

#include "analysis/PracticeChart.h"
#include "cli/CliError.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#ifdef ORVO_CLI_PNG
#include "cli/PngModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
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

#ifdef ORVO_CLI_PNG
// The module lies at the same place relative to the program in the build
// tree and once installed. It stays loaded for the rest of the run.
OrvoSaveChartPng LoadPngModule() {
    char exe[PATH_MAX];
    const ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = len > 0 ? std::string(exe, static_cast<size_t>(len)) : std::string();
    dir = dir.substr(0, dir.rfind('/') + 1);
    const std::string module = dir + ORVO_PNG_MODULE;
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* entry = handle ? dlsym(handle, kOrvoSaveChartPng) : nullptr;
    if (!entry) {
        const char* why = dlerror();
        throw CliError(std::string("--plot: PNG plots need the program's painter module: ") +
                       (why ? why : module + " not found") + "; SVG plots need nothing more");
    }
    return reinterpret_cast<OrvoSaveChartPng>(entry);
}
#endif

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
    const OrvoSaveChartPng save = LoadPngModule();
    std::string error;
    auto draw = [](IChartCanvas& c, void* context) {
        Draw(c, *static_cast<const std::vector<SessionInput>*>(context));
    };
    if (!save(path.c_str(), kWidth, kHeight, draw, const_cast<std::vector<SessionInput>*>(&sessions), &error))
        throw CliError(error);
#endif
}

}  // namespace orvo::cli
