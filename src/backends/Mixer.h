#pragma once
// Opens the desktop's own sound settings for the input or output devices:
// pavucontrol when it is installed, else the settings program of the GNOME
// or KDE desktop. When none is found, or it does not start, the caller gets
// a message saying what to install; a mixer request never goes unanswered.

#include <functional>
#include <string>
#include <vector>

struct TMixerCommand {
    std::string program;  // empty: none found
    std::vector<std::string> arguments;
};

// The first candidate whose program `installed` finds.
TMixerCommand ChooseMixer(bool input, const std::function<bool(const std::string&)>& installed);

// Message shown when no sound settings program is installed.
std::string NoMixerMessage();

// Finds and starts the program (detached). Empty on success, else the
// message for the user.
std::string LaunchMixer(bool input);
