// Practice records and their report: the session file as the program writes
// it, read back by `keys` and `report`, and the report's plots.

#include "analysis/PlantedKeying.h"
#include "analysis/SessionInput.h"
#include "CliRun.h"
#include "cli/Cli.h"
#include "devices/SessionRecord.h"
#include "devices/TempDir.h"
#include "devices/WavWriter.h"
#include "morse/SendText.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace orvo {
namespace {

using Clock = std::chrono::system_clock;

std::string JsonText(const std::string& json) {
    const size_t b = json.find("\"text\": \"") + 9;
    return json.substr(b, json.find('"', b) - b);
}

// Keys `text` into a record at `cpm`, with the first transition at 1 s.
void KeyInto(TSessionRecord& rec, const std::string& text, int32_t cpm) {
    PlantedTiming p;
    p.dotMs = 6000.0 / cpm;
    for (const KeyEvent& e : PlantedKeys(text, p))
        rec.Key(e.t, e.down);
}

TEST(SessionRecord, FolderNameAndHeaderAndKeysDecodesTheText) {
    EXPECT_EQ(TSessionRecord::FolderFrom("/data/", "/home/u"), "/data/orvo-tapmeter/sessions/");
    EXPECT_EQ(TSessionRecord::FolderFrom("relative", "/home/u"),
              "/home/u/.local/share/orvo-tapmeter/sessions/");
    EXPECT_EQ(TSessionRecord::FolderFrom(nullptr, nullptr), "");

    TempDir dir;
    const std::string folder = dir.File("a/b/sessions");
    const Clock::time_point start = Clock::now();
    {
        TSessionRecord rec(folder, start, {"orvo-tapmeter 1.2.3", 60, "Keybd/Mouse"});
        rec.InputMode(0, "COM Port");
        rec.Speed(10, 100);  // before any keying: the header's values
        EXPECT_EQ(rec.Path(), "");
        KeyInto(rec, "paris paris", 100);
        rec.InputMode(20000, "Sound Input");
        EXPECT_FALSE(rec.Failed());
        EXPECT_EQ(rec.Path(), folder + "/" + TSessionRecord::FileStem(start) + ".keys");
    }
    const std::string stem = TSessionRecord::FileStem(start);
    EXPECT_EQ(stem.size(), 19u);  // 2026-12-06_21-04-33
    const std::string file = folder + "/" + stem + ".keys";
    const std::string text = TempDir::ReadBytes(file);
    EXPECT_EQ(text.rfind("# orvo-tapmeter 1.2.3\n# started: " + TSessionRecord::IsoTime(start) +
                             "\n# speed: 100\n# input: COM Port\n1000 down\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("\n# input: Sound Input, from 20000 ms\n"), std::string::npos);
    const std::string iso = TSessionRecord::IsoTime(start);
    EXPECT_EQ(iso.substr(0, 11), stem.substr(0, 10) + "T");
    EXPECT_EQ(iso[iso.size() - 3], ':');  // +01:00

    // Judged at the header's speed (100 CpM; at 60 the dashes would be dots).
    const CliRun keys = Cli({"keys", file});
    ASSERT_EQ(keys.code, 0) << keys.err;
    EXPECT_EQ(JsonText(keys.out), "paris paris\\u000d");

    // A second run started in the same second sorts after the first. A '#'
    // line stamped by a clock ahead of the keys' own does not hold back the
    // keys that follow it.
    TSessionRecord again(folder, start, {"orvo-tapmeter 1.2.3", 60, "Keybd/Mouse"});
    again.Key(5, true);
    EXPECT_EQ(again.Path(), folder + "/" + stem + "_2.keys");
    EXPECT_LT(file, again.Path());
    again.Speed(900, 70);
    again.Key(800, false);
    again.Key(700, true);
    EXPECT_EQ(TempDir::ReadBytes(again.Path()).substr(TempDir::ReadBytes(again.Path()).find("5 down")),
              "5 down\n# speed: 70, from 900 ms\n800 up\n800 down\n");
}

TEST(SessionRecord, NothingKeyedOrRecordOffLeavesNoFile) {
    TempDir dir;
    {
        TSessionRecord rec(dir.Path(), Clock::now(), {"p", 60, "Keybd/Mouse"});
        rec.InputMode(100, "Sound Input");
        rec.Speed(200, 90);
    }
    {
        TSessionRecord rec(dir.Path(), Clock::now(), {"p", 60, "Keybd/Mouse"});
        rec.SetEnabled(false);
        KeyInto(rec, "e", 60);
    }
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(SessionRecord, UnwritableFolderIsReportedOnceAndKeyingGoesOn) {
    TempDir dir;
    TempDir::WriteBytes(dir.File("plain"), "x");
    TSessionRecord rec(dir.File("plain/sessions"), Clock::now(), {"p", 60, "Keybd/Mouse"});
    std::vector<std::string> messages;
    rec.OnError = [&](const std::string& m) { messages.push_back(m); };
    KeyInto(rec, "paris", 60);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Error: cannot record the session in " + dir.File("plain/sessions/"), 0), 0u)
        << messages[0];
    EXPECT_TRUE(rec.Failed());
    EXPECT_EQ(rec.Path(), "");
}

TEST(SessionRecord, AKilledProgramLeavesWhatWasKeyed) {
    TempDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TSessionRecord rec(dir.Path(), Clock::now(), {"p", 60, "Keybd/Mouse"});
        KeyInto(rec, "paris", 60);
        for (;;)
            pause();
    }
    // Wait for the four header lines and the 14 marks of "paris", then kill.
    std::string file, text;
    for (int i = 0; i < 500 && std::count(text.begin(), text.end(), '\n') < 4 + 2 * 14; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto names = dir.Entries();
        if (!names.empty())
            text = TempDir::ReadBytes(file = dir.File(names[0]));
    }
    kill(child, SIGKILL);
    int st = 0;
    waitpid(child, &st, 0);
    EXPECT_TRUE(WIFSIGNALED(st));
    const CliRun keys = Cli({"keys", file});
    ASSERT_EQ(keys.code, 0) << keys.err;
    EXPECT_EQ(JsonText(keys.out), "paris\\u000d");
}

TEST(ReportCommand, SessionsAndRecordingsInOrderWithPlots) {
    TempDir dir;
    const Clock::time_point start = Clock::now();
    {
        TSessionRecord rec(dir.Path(), start, {"p", 100, "Keybd/Mouse"});
        KeyInto(rec, "paris paris", 100);
    }
    const std::string session = dir.File(TSessionRecord::FileStem(start) + ".keys");
    // A recording under a name that says nothing: told by its content.
    const std::string wav = dir.File("take.dat");
    {
        WavWriter w;
        ASSERT_TRUE(w.Open(wav, 1));
        const std::vector<int16_t> s = SynthesizeMorse("test", {.speed = 100});
        ASSERT_TRUE(w.Write(s.data(), s.size()) && w.Commit());
    }
    const std::string keyList = dir.File("list.dat");
    TempDir::WriteBytes(keyList, "0 down\n100 up\n");
    EXPECT_TRUE(IsKeyList(session) && IsKeyList(keyList));
    EXPECT_FALSE(IsKeyList(wav));

    const CliRun r =
        Cli({"report", session, wav, keyList, "--speed", "100", "--plot", dir.File("progress.svg")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    const size_t a = r.out.find("{\"input\": \"" + session + "\", \"started\": \"" +
                                TSessionRecord::IsoTime(start) + "\", \"characters\": 10, \"unknown\": 0");
    const size_t b = r.out.find("{\"input\": \"" + wav + "\", \"started\": null, \"characters\": 4, ");
    const size_t c = r.out.find("{\"input\": \"" + keyList + "\", \"started\": null, \"characters\": 1, ");
    EXPECT_EQ(a, 14u) << r.out;
    EXPECT_TRUE(a < b && b < c && c != std::string::npos) << r.out;
    for (const char* key :
         {"\"speed_cpm\": {\"mean\": 100.0, \"sd\": 0.0}", "\"dash\": {\"count\": 8, \"mean_ms\": 180.0",
          "\"dash_dot_ratio\": 3.00", "\"weight_pct\": 50.0", "\"score\": 100.0",
          "\"characters_by_score\": [{\"char\": \"a\", \"count\": 2, \"score\": 100.0}"})
        EXPECT_NE(r.out.find(key), std::string::npos) << key;
    const std::string svg = TempDir::ReadBytes(dir.File("progress.svg"));
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find(">Score<"), std::string::npos);

    // One session: its histograms, as PNG drawn without a display.
    const CliRun one = Cli({"report", session, "--plot", dir.File("one.png")});
    ASSERT_EQ(one.code, 0) << one.err;
    EXPECT_EQ(one.err, "");
    EXPECT_EQ(TempDir::ReadBytes(dir.File("one.png")).substr(0, 4), "\x89PNG");
}

TEST(ReportCommand, BadInputsGiveOneLineNamingTheFile) {
    TempDir dir;
    const std::string good = dir.File("good.keys"), bad = dir.File("bad.keys");
    TempDir::WriteBytes(good, "0 down\n100 up\n");
    TempDir::WriteBytes(bad, "0 down\n100 sideways\n");
    TempDir::WriteBytes(dir.File("noise.wav"), "RIFFjunk");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"report", good, bad},
                                                 {"report", good, dir.File("missing.keys")},
                                                 {"report", dir.File("noise.wav")},
                                                 {"report", dir.Path()},
                                                 {"report"},
                                                 {"report", good, "--plot", dir.File("x.jpg")},
                                                 {"report", good, "--speed", "fast"}}) {
        const CliRun r = Cli(args);
        EXPECT_EQ(r.code, 2) << args.back();
        EXPECT_EQ(r.out, "") << args.back();
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        if (args.size() > 1 && args.back()[0] == '/') {
            EXPECT_NE(r.err.find(args.back()), std::string::npos) << r.err;
        }
    }
    EXPECT_NE(Cli({"report", good, bad}).err.find(bad + ": line 2:"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.jpg")));
}

}  // namespace
}  // namespace orvo
