#include "cli/Cli.h"

#include "analysis/BatchAnalysis.h"
#include "cli/CliError.h"
#include "cli/Json.h"
#include "cli/Plot.h"
#include "cli/ReportJson.h"
#include "analysis/SessionInput.h"
#include "devices/SessionRecord.h"
#include "morse/SendText.h"
#include "devices/WavWriter.h"
#include "morse/CWout.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

namespace orvo::cli {

namespace {

const char* const kToolUsage =
    "Usage: orvo-tapmeter-cli COMMAND [ARGS]\n"
    "\n"
    "Measures the timing of hand-keyed Morse and generates ideal Morse.\n"
    "\n"
    "Commands:\n"
    "  analyze FILE       decode keyed Morse from a recording and report its timing\n"
    "  keys FILE|-        decode timed key transitions and report their timing\n"
    "  report FILE...     spread, score and weakest characters of practice sessions\n"
    "  send TEXT -o OUT.wav  write TEXT as Morse to a WAV file\n"
    "\n"
    "Run 'orvo-tapmeter-cli COMMAND --help' for the options of a command,\n"
    "'orvo-tapmeter-cli --version' for the version.\n"
    "Exit status: 0 on success, 2 on any error (reported on one line on stderr).\n";

const char* const kAnalyzeUsage =
    "Usage: orvo-tapmeter-cli analyze FILE [OPTIONS]\n"
    "\n"
    "Reads a recording (WAV of any encoding, rate and channel count, FLAC, Ogg\n"
    "Vorbis/Opus, MP3, ...) as mono at 8000 Hz, detects the keyed tone, decodes\n"
    "it and prints one JSON object: the decoded text, one entry per character\n"
    "(pattern, text, element durations in ms, word space, timeout, speed and\n"
    "average speed in CpM), the timing statistics in percent of a dot at the\n"
    "target speed, and what was read (input).\n"
    "\n"
    "Options:\n"
    "  --speed CPM|auto           target speed in characters per minute, 20..300,\n"
    "                             or auto: follow the operator's own speed (60)\n"
    "  --mode narrow|broad        band-pass detector or broadband rectifier (narrow)\n"
    "  --center HZ|auto           band-pass centre frequency, 100..4000, or auto:\n"
    "                             the recording's tone, 200..3000 (800)\n"
    "  --detector standard|robust the analyser's own detector, or one for noisy\n"
    "                             recordings: noise floor with squelch, filter\n"
    "                             matched to the speed, edges between samples;\n"
    "                             --mode, --gain and --bandwidth do not apply (standard)\n"
    "  --gain DB                  input gain, -30..12 (-10)\n"
    "  --bandwidth 0-3            band-pass width: 25, 50, 125 or 250 Hz (2)\n"
    "  --bounce on|off            contact-bounce filter (on)\n"
    "  --charset standard|extended  character set (extended)\n";

const char* const kKeysUsage =
    "Usage: orvo-tapmeter-cli keys FILE|- [OPTIONS]\n"
    "\n"
    "Reads key transitions, one per line as '<t_ms> down' or '<t_ms> up' with\n"
    "non-decreasing millisecond times from 0 (blank lines and lines starting\n"
    "with # are ignored), from FILE or standard input (-), decodes them as keyed\n"
    "with a key and prints the same JSON object as 'analyze'. A session record\n"
    "is judged at the target speed its header names unless --speed is given.\n"
    "\n"
    "Options:\n"
    "  --speed CPM|auto           target speed in characters per minute, 20..300,\n"
    "                             or auto: follow the operator's own speed (60)\n"
    "  --bounce on|off            contact-bounce filter (on)\n"
    "  --charset standard|extended  character set (extended)\n";

const char* const kReportUsage =
    "Usage: orvo-tapmeter-cli report FILE... [OPTIONS]\n"
    "\n"
    "Reads practice sessions: session records and other key lists (as 'keys'),\n"
    "or recordings (as 'analyze'), told apart by extension or content, and\n"
    "prints one JSON object {\"sessions\": [...]}, one entry per FILE in order:\n"
    "characters, speed, the count, mean, sd and cv of every element kind, the\n"
    "dash : dot, character space : dot and word space : dot ratios, the weight,\n"
    "a score of 0..100 and the characters by score, worst first.\n"
    "\n"
    "Options:\n"
    "  --speed CPM|auto           target speed in characters per minute, 20..300,\n"
    "                             or auto (a session record's own, else 60)\n"
    "  --plot OUT.png|OUT.svg     draw the element-length histograms of one\n"
    "                             session, or score, speed and spread by date\n"
    "                             of several\n"
    "  --detector, --center, --mode, --gain, --bandwidth  for recordings, as 'analyze'\n"
    "  --bounce on|off            contact-bounce filter (on)\n"
    "  --charset standard|extended  character set (extended)\n";

const char* const kSendUsage =
    "Usage: orvo-tapmeter-cli send TEXT -o OUT.wav [OPTIONS]\n"
    "\n"
    "Generates TEXT as Morse and writes it as an 8000 Hz 16-bit WAV file.\n"
    "Prosigns may be written <ar> <bt> <ka> <sk> <as> <ve> <hh> <du> <sos> <ch>.\n"
    "Characters that cannot be sent are reported and skipped.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT.wav       the file to write (required)\n"
    "  --speed CPM                characters per minute, 20..300 (60)\n"
    "  --freq HZ                  tone frequency, 100..2000 (800)\n"
    "  --weight PCT               dot mark : element space in percent, 30..300 (100)\n"
    "  --ratio PCT                dash length in percent of a dot, 150..600 (300)\n"
    "  --slope N                  ramp length in samples, 0..500 (20)\n"
    "  --level DB                 output level, 0 or below (-10)\n"
    "  --stereo                   two channels: steady tone left, Morse right\n"
    "  --ptt-start MS             lead time before the first character (100)\n"
    "  --ptt-hold MS              hold time after the last character (100)\n";

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    bool help = false;
};

std::string HelpHint(const std::string& command) {
    return std::string(" (see '") + kProgram + " " + command + " --help')";
}

Args ParseArgs(const std::vector<std::string>& args, const std::string& command,
               const std::set<std::string>& valueOptions, const std::set<std::string>& flagOptions,
               const std::map<std::string, std::string>& aliases = {}) {
    Args a;
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            a.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            a.help = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        if (auto al = aliases.find(arg); al != aliases.end())
            arg = al->second;
        if (valueOptions.count(arg)) {
            if (!inlineValue) {
                if (i + 1 >= args.size())
                    throw CliError("option " + arg + " needs a value" + HelpHint(command));
                value = args[++i];
            }
            a.values[arg] = value;
        } else if (flagOptions.count(arg) && !inlineValue) {
            a.flags.insert(arg);
        } else {
            throw CliError("unknown option " + args[i] + HelpHint(command));
        }
    }
    return a;
}

int32_t IntOption(const Args& a, const std::string& name, int32_t def) {
    auto it = a.values.find(name);
    if (it == a.values.end())
        return def;
    const std::string& v = it->second;
    int32_t n = 0;
    const char* b = v.data();
    const char* e = v.data() + v.size();
    if (b != e && *b == '+')
        ++b;
    auto [p, ec] = std::from_chars(b, e, n);
    if (v.empty() || ec != std::errc() || p != e)
        throw CliError("invalid value for " + name + ": '" + v + "' is not a whole number");
    return n;
}

std::string ChoiceOption(const Args& a, const std::string& name, const std::string& def,
                         const std::set<std::string>& choices) {
    auto it = a.values.find(name);
    if (it == a.values.end())
        return def;
    if (!choices.count(it->second)) {
        std::string list;
        for (const auto& c : choices)
            list += (list.empty() ? "" : "|") + c;
        throw CliError("invalid value for " + name + ": '" + it->second + "' (expected " + list + ")");
    }
    return it->second;
}

std::string OnePositional(const Args& a, const std::string& command, const std::string& what) {
    if (a.positional.empty())
        throw CliError("missing " + what + HelpHint(command));
    if (a.positional.size() > 1)
        throw CliError("unexpected argument '" + a.positional[1] + "'" + HelpHint(command));
    return a.positional[0];
}

AnalysisOptions CommonAnalysis(const Args& a) {
    AnalysisOptions o;
    auto speed = a.values.find("--speed");
    o.autoSpeed = speed != a.values.end() && speed->second == "auto";
    if (!o.autoSpeed)
        o.speed = IntOption(a, "--speed", o.speed);
    o.bounce = ChoiceOption(a, "--bounce", "on", {"on", "off"}) == "on";
    o.extended = ChoiceOption(a, "--charset", "extended", {"standard", "extended"}) == "extended";
    return o;
}

void PrintJson(const AnalysisResult& r, std::ostream& out) {
    out << ToJson(r) << '\n';
    out.flush();
    if (!out)
        throw CliError("cannot write the result to standard output");
}

AnalysisOptions RecordingOptions(const Args& a) {
    AnalysisOptions o = CommonAnalysis(a);
    o.mode = ChoiceOption(a, "--mode", "narrow", {"narrow", "broad"}) == "broad" ? tProcessMode::broad
                                                                                 : tProcessMode::narrow;
    o.robust = ChoiceOption(a, "--detector", "standard", {"standard", "robust"}) == "robust";
    auto center = a.values.find("--center");
    o.autoCenter = center != a.values.end() && center->second == "auto";
    if (!o.autoCenter)
        o.center = IntOption(a, "--center", o.center);
    // The gain slider's range; beyond it the detector's fixed hysteresis
    // loses its meaning.
    o.gain = std::clamp(IntOption(a, "--gain", o.gain), -30, 12);
    o.bandwidth = IntOption(a, "--bandwidth", o.bandwidth);
    if (o.bandwidth < 0 || o.bandwidth > 3)
        throw CliError("invalid value for --bandwidth: '" + a.values.at("--bandwidth") +
                       "' (expected 0, 1, 2 or 3)");
    return o;
}

int Analyze(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Args a = ParseArgs(
        args, "analyze",
        {"--speed", "--mode", "--center", "--gain", "--bandwidth", "--bounce", "--charset", "--detector"},
        {});
    if (a.help) {
        out << kAnalyzeUsage;
        return 0;
    }
    const std::string file = OnePositional(a, "analyze", "FILE");
    const AnalysisOptions o = RecordingOptions(a);
    const AnalysisResult r = AnalyzeFile(file, o);
    if (r.truncated)
        err << kProgram << ": warning: " << file
            << " ends before the length its header declares (truncated?); analysed what is there\n";
    PrintJson(r, out);
    return 0;
}

int Keys(const std::vector<std::string>& args, std::istream& in, std::ostream& out) {
    const Args a = ParseArgs(args, "keys", {"--speed", "--bounce", "--charset"}, {});
    if (a.help) {
        out << kKeysUsage;
        return 0;
    }
    const std::string file = OnePositional(a, "keys", "FILE (or - for standard input)");
    AnalysisOptions o = CommonAnalysis(a);
    std::vector<KeyEvent> events;
    if (file == "-") {
        std::stringstream text;
        text << in.rdbuf();
        if (const SessionHeader h = ReadSessionHeader(text); h.speed > 0 && !a.values.count("--speed"))
            o.speed = h.speed;
        events = ParseKeyEvents(text);
    } else {
        struct stat st {};
        std::ifstream f;
        if (stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            throw CliError("cannot open " + file + ": " + std::strerror(EISDIR));
        f.open(file, std::ios::binary);
        if (!f)
            throw CliError("cannot open " + file + ": " + std::strerror(errno));
        if (const SessionHeader h = ReadSessionHeader(f); h.speed > 0 && !a.values.count("--speed"))
            o.speed = h.speed;
        try {
            events = ParseKeyEvents(f);
        } catch (const CliError& e) {
            throw CliError(file + ": " + e.what());
        }
    }
    PrintJson(AnalyzeKeys(events, o), out);
    return 0;
}

int Report(const std::vector<std::string>& args, std::istream& in, std::ostream& out) {
    const Args a = ParseArgs(args, "report",
                             {"--speed", "--mode", "--center", "--gain", "--bandwidth", "--bounce",
                              "--charset", "--detector", "--plot"},
                             {});
    if (a.help) {
        out << kReportUsage;
        return 0;
    }
    if (a.positional.empty())
        throw CliError("missing FILE" + HelpHint("report"));
    const AnalysisOptions o = RecordingOptions(a);
    const bool speedGiven = a.values.count("--speed") > 0;
    auto plot = a.values.find("--plot");
    if (plot != a.values.end())
        CheckPlotName(plot->second);
    std::vector<SessionInput> sessions;
    for (const std::string& file : a.positional)
        sessions.push_back(file == "-" ? ReadSessionKeys(in, "-", o, speedGiven)
                                       : ReadSessionInput(file, o, speedGiven));
    if (plot != a.values.end())
        WritePlot(plot->second, sessions);
    out << ReportJson(sessions) << '\n';
    out.flush();
    if (!out)
        throw CliError("cannot write the result to standard output");
    return 0;
}

int Send(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Args a = ParseArgs(args, "send",
                             {"--output", "--speed", "--freq", "--weight", "--ratio", "--slope", "--level",
                              "--ptt-start", "--ptt-hold"},
                             {"--stereo"}, {{"-o", "--output"}});
    if (a.help) {
        out << kSendUsage;
        return 0;
    }
    const std::string text = OnePositional(a, "send", "TEXT");
    auto outIt = a.values.find("--output");
    if (outIt == a.values.end() || outIt->second.empty())
        throw CliError("missing -o OUT.wav" + HelpHint("send"));
    const std::string path = outIt->second;

    SendOptions o;
    o.speed = IntOption(a, "--speed", o.speed);
    o.freq = IntOption(a, "--freq", o.freq);
    o.weight = IntOption(a, "--weight", o.weight);
    o.ratio = IntOption(a, "--ratio", o.ratio);
    o.slope = IntOption(a, "--slope", o.slope);
    o.level = IntOption(a, "--level", o.level);
    o.pttStart = IntOption(a, "--ptt-start", o.pttStart);
    o.pttHold = IntOption(a, "--ptt-hold", o.pttHold);
    o.stereo = a.flags.count("--stereo") > 0;

    TCWout gen;
    ConfigureGenerator(gen, o);
    std::vector<std::string> skipped;
    const std::string prepared = PrepareText(text, gen, skipped);

    WavWriter writer;
    if (!writer.Open(path, o.stereo ? 2 : 1))
        throw CliError(writer.LastError());
    const bool ok =
        GenerateMorse(prepared, o, [&](const int16_t* s, size_t n) { return writer.Write(s, n); });
    if (!ok || !writer.Commit())
        throw CliError(writer.LastError());
    if (!skipped.empty()) {
        std::string list;
        for (const std::string& s : skipped)
            list += (list.empty() ? "'" : ", '") + s + "'";
        err << kProgram << ": skipped characters that cannot be sent: " << list << '\n';
    }
    return 0;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    try {
        if (args.empty())
            throw CliError("missing command (see '" + std::string(kProgram) + " --help')");
        const std::string& cmd = args[0];
        if (cmd == "--help" || cmd == "-h" || cmd == "help") {
            out << kToolUsage;
            return 0;
        }
        if (cmd == "analyze")
            return Analyze(args, out, err);
        if (cmd == "keys")
            return Keys(args, in, out);
        if (cmd == "report")
            return Report(args, in, out);
        if (cmd == "send")
            return Send(args, out, err);
        if (!cmd.empty() && cmd[0] == '-')
            throw CliError("unknown option " + cmd + " (see '" + std::string(kProgram) + " --help')");
        throw CliError("unknown command '" + cmd + "' (see '" + std::string(kProgram) + " --help')");
    } catch (const CliError& e) {
        err << kProgram << ": " << e.what() << '\n';
    } catch (const std::exception& e) {
        err << kProgram << ": error: " << e.what() << '\n';
    }
    return 2;
}

}  // namespace orvo::cli
