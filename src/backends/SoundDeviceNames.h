#pragma once
// Names and order of the sound devices. Device number n is entry n of the
// ordered list (sorted by the sound server's device id, so the numbering
// survives restarts and devices coming and going elsewhere in the list);
// -1 is the system's default device. The parameters dialog shows the
// default device first, so list position n+1 stands for device n.

#include <QAudioDevice>
#include <QList>

#include <string>
#include <vector>

inline constexpr const char* kDefaultOutputDeviceName = "Default output device";
inline constexpr const char* kDefaultInputDeviceName = "Default input device";

QList<QAudioDevice> OrderedOutputDevices();
QList<QAudioDevice> OrderedInputDevices();

// The device for a device number: -1 the default device; a null device
// when there is no such device.
QAudioDevice OutputDeviceFor(int id);
QAudioDevice InputDeviceFor(int id);

// One full name per device, in device-number order.
std::vector<std::string> EnumOutputDeviceNames();
std::vector<std::string> EnumInputDeviceNames();

// The dialog's lists: the default device first, then EnumXxxDeviceNames.
std::vector<std::string> OutputDeviceChoices();
std::vector<std::string> InputDeviceChoices();
