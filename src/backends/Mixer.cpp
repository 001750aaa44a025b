#include "backends/Mixer.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

TMixerCommand ChooseMixer(bool input, const std::function<bool(const std::string&)>& installed) {
    // pavucontrol's tabs: 3 output devices, 4 input devices.
    const std::vector<TMixerCommand> candidates = {
        {"pavucontrol", {input ? "--tab=4" : "--tab=3"}},
        {"gnome-control-center", {"sound"}},
        {"systemsettings", {"kcm_pulseaudio"}},
        {"systemsettings5", {"kcm_pulseaudio"}},
    };
    for (const TMixerCommand& c : candidates)
        if (installed(c.program))
            return c;
    return {};
}

std::string NoMixerMessage() {
    return "No sound settings program found: install the package pavucontrol "
           "(or open the sound settings of your desktop)";
}

std::string LaunchMixer(bool input) {
    const TMixerCommand c = ChooseMixer(input, [](const std::string& program) {
        return !QStandardPaths::findExecutable(QString::fromStdString(program)).isEmpty();
    });
    if (c.program.empty())
        return NoMixerMessage();
    QStringList args;
    for (const std::string& a : c.arguments)
        args << QString::fromStdString(a);
    if (!QProcess::startDetached(QString::fromStdString(c.program), args))
        return "Error: cannot start " + c.program;
    return {};
}
