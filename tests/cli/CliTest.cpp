#include "analysis/BatchAnalysis.h"
#include "cli/Cli.h"
#include "cli/CliError.h"
#include "cli/Json.h"
#include "morse/SendText.h"
#include "devices/TempDir.h"
#include "morse/CWout.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>

namespace orvo::cli {
namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun RunTool(const std::vector<std::string>& args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    int status = RunCli(args, in, out, err);
    return {status, out.str(), err.str()};
}

size_t Lines(const std::string& s) { return static_cast<size_t>(std::count(s.begin(), s.end(), '\n')); }

AnalysisResult Keys(const std::string& lines, const AnalysisOptions& opt = {}) {
    std::istringstream in(lines);
    return AnalyzeKeys(ParseKeyEvents(in), opt);
}

TEST(JsonTest, EscapesControlsAndConvertsWindows1252) {
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("x\r\n\t\x01"), "\"x\\u000d\\u000a\\u0009\\u0001\"");
    EXPECT_EQ(JsonString("\xE5\xF1"), "\"\xC3\xA5\xC3\xB1\"");                // å ñ
    EXPECT_EQ(JsonString("\x80\x81\x7F"), "\"\xE2\x82\xAC\\u0081\\u007f\"");  // € and two controls
    EXPECT_EQ(JsonString("<ar> "), "\"<ar> \"");
}

TEST(KeysInputTest, ParsesLinesAndNamesTheBadOne) {
    std::istringstream ok("# comment\n\n  0 down\r\n100\tup  \n100 down\n   # indented comment\n250 up");
    std::string got;
    for (const KeyEvent& e : ParseKeyEvents(ok))
        got += std::to_string(e.t) + (e.down ? "v " : "^ ");
    EXPECT_EQ(got, "0v 100^ 100v 250^ ");

    const std::vector<std::pair<std::string, std::string>> bad = {
        {"0 down\n10 sideways\n", "line 2:"},
        {"0 down\n\n-5 up\n", "line 3:"},
        {"0 down\n10 up extra\n", "line 2:"},
        {"10 down\n5 up\n", "line 2: time goes backwards"},
        {"99999999999999999999999 down\n", "line 1: time out of range"},
        {"0x10 down\n", "line 1:"},
        {"DOWN\n", "line 1:"},
    };
    for (const auto& [text, msg] : bad) {
        std::istringstream in(text);
        try {
            ParseKeyEvents(in);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const CliError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(msg, 0), 0u) << e.what();
        }
    }
}

// Key lines for text at exact timing: dot 1, dash 3, element space 1,
// character space 3, word space 7 units of dotMs; starts with a key-down at 0.
std::string KeyLines(const std::string& morseWords, uint64_t dotMs) {
    std::string out;
    uint64_t t = 0;
    for (char c : morseWords) {
        if (c == ' ' || c == '/') {
            t += (c == ' ' ? 2 : 6) * dotMs;  // with the element space: 3 or 7 units
            continue;
        }
        if (!out.empty())
            t += dotMs;  // element space
        out += std::to_string(t) + " down\n";
        t += (c == '.' ? 1 : 3) * dotMs;
        out += std::to_string(t) + " up\n";
    }
    return out;
}

TEST(KeysTest, ParisAtExactTimingDecodesWithIdealFigures) {
    // p a r i s at 100 CpM: dot 60 ms.
    const ToolRun r = RunTool({"keys", "-", "--speed", "100"}, KeyLines(".--. .- .-. .. ...", 60));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Lines(r.out), 1u);

    AnalysisOptions opt;
    opt.speed = 100;
    const AnalysisResult res = Keys(KeyLines(".--. .- .-. .. ...", 60), opt);
    EXPECT_EQ(res.text, "paris\r");
    ASSERT_EQ(res.characters.size(), 5u);
    EXPECT_EQ(res.characters[0].pattern, 22u);
    EXPECT_EQ(res.characters[0].elements, (std::vector<uint32_t>{60, 60, 180, 60, 180, 60, 60, 180}));
    EXPECT_EQ(res.characters[4].elements, (std::vector<uint32_t>{60, 60, 60, 60, 60, 10000}));
    EXPECT_TRUE(res.characters[4].timeout);
    for (const CharacterEntry& c : res.characters)
        EXPECT_EQ((std::array{c.cpm, c.avgCpm, uint32_t{c.wordSpace}}), (std::array{100u, 100u, 0u}))
            << c.text;
    // Percent of the target; a timeout is not reported as a word space.
    EXPECT_EQ((std::array{res.dot.avg, res.dot.count, res.dash.avg, res.elementSpace.avg, res.charSpace.avg,
                          res.charSpace.count, res.wordSpace.count, res.lastDashAvg, res.weight}),
              (std::array{100, 10, 300, 100, 300, 4, 0, 300, 50}));
    EXPECT_NE(r.out.find("\"text\": \"paris\\u000d\""), std::string::npos) << r.out;
}

TEST(KeysTest, GateIgnoresRepeatedStatesAndDurationsAreCapped) {
    // A second down neither transitions nor moves the previous time; a
    // leading up is ignored.
    AnalysisResult r = Keys("0 up\n0 down\n50 down\n100 up\n150 up\n200 down\n300 up\n");
    ASSERT_EQ(r.characters.size(), 1u);
    EXPECT_EQ(r.characters[0].text, "i");
    EXPECT_EQ(r.characters[0].elements, (std::vector<uint32_t>{100, 100, 100, 10000}));

    r = Keys("0 down\n5000000 up\n");
    ASSERT_EQ(r.characters.size(), 1u);
    EXPECT_EQ(r.characters[0].elements, (std::vector<uint32_t>{3600000, 10000}));

    // Word space measured, then the timeout ends the input.
    r = Keys(KeyLines("./.", 100));
    EXPECT_EQ(r.text, "e e\r");
    EXPECT_TRUE(r.characters[0].wordSpace);
    EXPECT_EQ(r.wordSpace.avg, 700);

    r = Keys("");
    EXPECT_TRUE(r.characters.empty());
    EXPECT_EQ(
        ToJson(r),
        "{\"text\": \"\", \"characters\": [], \"timing\": {\"dot\": {\"last\": 0, \"avg\": 0, \"count\": 0}, "
        "\"dash\": {\"last\": 0, \"avg\": 0, \"count\": 0}, \"element_space\": {\"last\": 0, \"avg\": 0, "
        "\"count\": 0}, "
        "\"char_space\": {\"last\": 0, \"avg\": 0, \"count\": 0}, \"word_space\": {\"last\": 0, \"avg\": 0, "
        "\"count\": 0}, "
        "\"last_dash\": {\"avg\": 0, \"count\": 0}, \"weight\": 0}}");
}

TEST(SendTest, ProsignsAndUnsendableCharacters) {
    using Strings = std::vector<std::string>;
    TCWout gen;
    auto prepare = [&](const std::string& text) {
        Strings skipped;
        const std::string sent = PrepareText(text, gen, skipped);
        return std::make_pair(sent, skipped);
    };
    EXPECT_EQ(prepare("<AR><sk> <Sos><ch>x~<xx>"),
              std::make_pair(std::string("+# {}xxx"), Strings{"~", "<", ">"}));
    // UTF-8 input reaches the generator as Windows-1252.
    EXPECT_EQ(prepare("\xC3\xA4\xC3\x84\xE2\x82\xAC"),
              std::make_pair(std::string("\xE4\xC4"), Strings{"\xE2\x82\xAC"}));
    gen.SetExtraChars(false);
    EXPECT_EQ(prepare("<ch>}"), std::make_pair(std::string("ch"), Strings{"<", ">", "}"}));
}

TEST(SendTest, OutputRunsUntilPttDropsInWholeBuffers) {
    SendOptions o;  // 60 CpM, lead 100 ms, hold 100 ms (2 dots)
    const std::vector<int16_t> e = SynthesizeMorse("e", o);
    ASSERT_EQ(e.size() % 800, 0u);
    // PTT on, rest of the first dot, 100 ms lead, the e (400 ms), two dots
    // of hold; PTT drops at the start of the next buffer, which is written.
    EXPECT_EQ(e.size(), 800u * 9);
    const auto loud = std::find_if(e.begin(), e.end(), [](int16_t s) { return std::abs(s) > 1000; });
    EXPECT_EQ(loud - e.begin() >= 1600 && loud - e.begin() < 1700, true);
    EXPECT_TRUE(SynthesizeMorse("", o).empty());

    o.stereo = true;
    const std::vector<int16_t> st = SynthesizeMorse("e", o);
    EXPECT_EQ(st.size(), 2 * e.size());
    // Left: the steady tone from the start; right: silence before the mark.
    EXPECT_NE(*std::max_element(st.begin(), st.begin() + 200), 0);
    for (size_t i = 1; i < 1600; i += 2)
        ASSERT_EQ(st[i], 0) << i;
}

class CliRunTest : public ::testing::Test {
protected:
    TempDir dir;
    void ExpectError(const ToolRun& r, const std::string& fragment) {
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Lines(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
    }
};

TEST_F(CliRunTest, HelpOnTheToolAndEachCommand) {
    for (const std::vector<std::string>& a :
         {std::vector<std::string>{"--help"}, {"analyze", "--help"}, {"keys", "--help"}, {"send", "-h"}}) {
        const ToolRun r = RunTool(a);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("Usage: orvo-tapmeter-cli", 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(CliRunTest, BadInputIsOneLineAndStatus2) {
    const std::string wav = dir.File("ok.wav");
    ASSERT_EQ(RunTool({"send", "e", "-o", wav}).status, 0);

    ExpectError(RunTool({}), "missing command");
    ExpectError(RunTool({"decode"}), "unknown command 'decode'");
    ExpectError(RunTool({"analyze", dir.File("missing.wav")}), "cannot open");
    ExpectError(RunTool({"analyze", dir.Path()}), "cannot open");
    TempDir::WriteBytes(dir.File("text.wav"), "hello, this is not a WAV file");
    ExpectError(RunTool({"analyze", dir.File("text.wav")}), "not a RIFF file");
    TempDir::WriteBytes(dir.File("avi.wav"), std::string("RIFF\x04\0\0\0AVI LIST", 16));
    ExpectError(RunTool({"analyze", dir.File("avi.wav")}), "not a WAVE file with a fmt chunk");
    ExpectError(RunTool({"analyze", wav, "--volume", "3"}), "unknown option --volume");
    ExpectError(RunTool({"analyze", wav, "--speed", "fast"}), "invalid value for --speed");
    ExpectError(RunTool({"analyze", wav, "--speed", "60x"}), "invalid value for --speed");
    ExpectError(RunTool({"analyze", wav, "--speed", "99999999999"}), "invalid value for --speed");
    ExpectError(RunTool({"analyze", wav, "--speed"}), "needs a value");
    ExpectError(RunTool({"analyze", wav, "--mode", "wide"}), "invalid value for --mode");
    ExpectError(RunTool({"analyze", wav, "--bandwidth", "4"}), "invalid value for --bandwidth");
    ExpectError(RunTool({"analyze", wav, "other.wav"}), "unexpected argument");
    ExpectError(RunTool({"keys", dir.File("missing.txt")}), "cannot open");
    ExpectError(RunTool({"keys", "-"}, "0 down\n100 up\nnonsense\n"), "line 3:");
    ExpectError(RunTool({"send", "e"}), "missing -o");
    ExpectError(RunTool({"send", "e", "-o", wav, "--stereo=yes"}), "unknown option");

    // Unwritable output: nothing left behind, an existing file untouched.
    ExpectError(RunTool({"send", "e", "-o", dir.File("no/dir/out.wav")}), "cannot write");
    ExpectError(RunTool({"send", "e", "-o", dir.Path()}), "cannot write");
    EXPECT_EQ(dir.Entries().size(), 3u);
}

TEST_F(CliRunTest, OptionsReachTheComponents) {
    const std::string wav = dir.File("t.wav");
    // Clamped speed: 5 becomes 20, so 20 CpM Morse decodes at target 5.
    ToolRun r = RunTool({"send", "test", "-o", wav, "--speed", "5", "--freq", "1000", "--level=-3"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunTool({"analyze", wav, "--speed", "5", "--center", "1000", "--gain", "+0"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"text\": \"test\\u000d\"", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"dot\": {\"last\": 10"), std::string::npos)
        << r.out;  // about 100 % of a 20 CpM dot
    // Broadband hears it whatever the centre.
    r = RunTool({"analyze", wav, "--speed", "20", "--mode", "broad", "--center", "800"});
    EXPECT_EQ(r.out.rfind("{\"text\": \"test\\u000d\"", 0), 0u) << r.out;
    // Standard set: ü is rendered as its elements.
    ASSERT_EQ(RunTool({"send", "\xC3\xBC", "-o", wav}).status, 0);
    r = RunTool({"analyze", wav, "--charset", "standard"});
    EXPECT_EQ(r.out.rfind("{\"text\": \"<?>\\u000d\"", 0), 0u) << r.out;
    r = RunTool({"analyze", wav});
    EXPECT_EQ(r.out.rfind("{\"text\": \"\xC3\xBC\\u000d\"", 0), 0u) << r.out;
}

// The real executable, for exit status and streams.
TEST_F(CliRunTest, ProcessExitStatusAndStreams) {
    const std::string wav = dir.File("p.wav");
    const std::string out = dir.File("out.txt");
    const std::string err = dir.File("err.txt");
    auto sh = [&](const std::string& args) {
        const std::string cmd =
            std::string("'") + ORVO_CLI_PATH + "' " + args + " >'" + out + "' 2>'" + err + "'";
        const int st = std::system(cmd.c_str());
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    };
    EXPECT_EQ(sh("send 'hi <ar>' -o '" + wav + "'"), 0);
    EXPECT_EQ(sh("analyze '" + wav + "'"), 0);
    EXPECT_EQ(TempDir::ReadBytes(out).rfind("{\"text\": \"hi <ar>\\u000d\"", 0), 0u);
    EXPECT_EQ(TempDir::ReadBytes(err), "");
    EXPECT_EQ(sh("analyze '" + dir.File("nope.wav") + "'"), 2);
    EXPECT_EQ(TempDir::ReadBytes(out), "");
    EXPECT_EQ(Lines(TempDir::ReadBytes(err)), 1u);
}

}  // namespace
}  // namespace orvo::cli
