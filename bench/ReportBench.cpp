// `report` over 100 practice sessions of 10 minutes each: the sessions are
// written as session records (speeds 60..120 CpM, spread 5..20 %, one a
// day), then the whole command runs on them, with and without a plot.
// Prints the seconds taken.

#include "analysis/PlantedKeying.h"
#include "cli/Cli.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "orvo-report-bench";
    fs::create_directories(dir);
    const std::string words = "the quick brown fox jumps over the lazy dog paris cq de test ";
    std::vector<std::string> args = {"report"};
    size_t lines = 0;
    for (int s = 0; s < 100; ++s) {
        PlantedTiming p;
        p.dotMs = 6000.0 / (60 + (s * 7) % 61);
        p.spread.fill(0.05 + 0.15 * ((s * 13) % 100) / 100.0);
        p.seed = static_cast<uint32_t>(s + 1);
        std::string text;
        while (text.size() * p.dotMs * 10 < 600000)
            text += words;
        const std::vector<orvo::KeyEvent> ev = PlantedKeys(text, p);
        char name[64];
        std::snprintf(name, sizeof name, "2026-%02d-%02d_20-00-00.keys", 1 + s / 28, 1 + s % 28);
        char started[64];
        std::snprintf(started, sizeof started, "2026-%02d-%02dT20:00:00+01:00", 1 + s / 28, 1 + s % 28);
        std::ofstream f(dir / name);
        f << "# orvo-tapmeter bench\n# started: " << started
          << "\n# speed: " << static_cast<int>(6000 / p.dotMs) << "\n# input: Keybd/Mouse\n"
          << KeyListText(ev);
        lines += ev.size();
        args.push_back((dir / name).string());
    }
    std::printf("100 sessions of %.0f s each, %zu key lines in all\n", 600.0, lines);
    for (bool plot : {false, true}) {
        std::vector<std::string> a = args;
        if (plot)
            a.insert(a.end(), {"--plot", (dir / "progress.png").string()});
        std::ostringstream out, err;
        std::istringstream in;
        const auto t0 = std::chrono::steady_clock::now();
        const int code = orvo::cli::RunCli(a, in, out, err);
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (code != 0) {
            std::fprintf(stderr, "%s", err.str().c_str());
            return 1;
        }
        std::printf("report over 100 sessions%s: %.2f s\n", plot ? " with --plot PNG" : "", secs);
    }
    if (argc <= 1)
        fs::remove_all(dir);
    return 0;
}
