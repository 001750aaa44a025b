#include "backends/SoundDeviceNames.h"

#include <QMediaDevices>

#include <algorithm>

namespace {

QList<QAudioDevice> Ordered(QList<QAudioDevice> list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const QAudioDevice& a, const QAudioDevice& b) { return a.id() < b.id(); });
    return list;
}

// Found by id: the default flag of input devices is not reliable.
QAudioDevice DeviceFor(int id, const QList<QAudioDevice>& list, const QAudioDevice& def) {
    if (list.isEmpty())
        return {};
    if (id >= 0)
        return id < list.size() ? list[id] : QAudioDevice();
    if (!def.isNull()) {
        for (const QAudioDevice& d : list)
            if (d.id() == def.id())
                return d;
    }
    return list.front();
}

std::vector<std::string> Names(const QList<QAudioDevice>& list) {
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(list.size()));
    for (const QAudioDevice& d : list) {
        QString n = d.description().trimmed();
        if (n.isEmpty())
            n = QString::fromUtf8(d.id());
        names.push_back(n.toStdString());
    }
    return names;
}

}  // namespace

QList<QAudioDevice> OrderedOutputDevices() { return Ordered(QMediaDevices::audioOutputs()); }
QList<QAudioDevice> OrderedInputDevices() { return Ordered(QMediaDevices::audioInputs()); }

QAudioDevice OutputDeviceFor(int id) {
    return DeviceFor(id, OrderedOutputDevices(), QMediaDevices::defaultAudioOutput());
}

QAudioDevice InputDeviceFor(int id) {
    return DeviceFor(id, OrderedInputDevices(), QMediaDevices::defaultAudioInput());
}

std::vector<std::string> EnumOutputDeviceNames() { return Names(OrderedOutputDevices()); }
std::vector<std::string> EnumInputDeviceNames() { return Names(OrderedInputDevices()); }

std::vector<std::string> OutputDeviceChoices() {
    std::vector<std::string> list{kDefaultOutputDeviceName};
    for (std::string& n : EnumOutputDeviceNames())
        list.push_back(std::move(n));
    return list;
}

std::vector<std::string> InputDeviceChoices() {
    std::vector<std::string> list{kDefaultInputDeviceName};
    for (std::string& n : EnumInputDeviceNames())
        list.push_back(std::move(n));
    return list;
}
