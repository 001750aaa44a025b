#include "devices/NullSound.h"

#include <cstdint>

namespace {
constexpr const char* kNoDevice = "No sound device available";
}

uint32_t TNullSoundOut::BufferBytes() const {
    return static_cast<uint32_t>(int64_t(sampleRate_) * 2 * channels_ * bufferTime_ / 1000);
}

bool TNullSoundOut::DeviceName(int id, std::string& /*name*/) {
    lastError_ = "Waveform output device #" + std::to_string(id) + " not available";
    return false;
}

bool TNullSoundOut::SetDevice(int id) {
    deviceId_ = id < -1 ? -1 : id;
    return true;
}

bool TNullSoundOut::Open() {
    lastError_ = kNoDevice;
    return false;
}

bool TNullSoundOut::Start() {
    lastError_ = std::string("Wave device not open: ") + kNoDevice;
    return false;
}

void TNullSoundIn::SizeFromTime() {
    bufferBytes_ = static_cast<uint32_t>(int64_t(sampleRate_) * 2 * channels_ * bufferTime_ / 1000);
}

void TNullSoundIn::SetSampleRate(int hz) {
    if (hz <= 0) return;
    sampleRate_ = hz;
    SizeFromTime();
}

void TNullSoundIn::SetBufferSamples(int n) {
    if (n <= 0) return;
    bufferSamples_ = n;
    bufferBytes_ = static_cast<uint32_t>(channels_ * 2 * n);
}

void TNullSoundIn::SetBufferTime(int ms) {
    if (ms <= 0) return;
    bufferTime_ = ms;
    SizeFromTime();
}

void TNullSoundIn::SetChannels(int n) {
    channels_ = n < 2 ? 1 : 2;
    SizeFromTime();
}

bool TNullSoundIn::DeviceName(int id, std::string& /*name*/) {
    lastError_ = "Waveform input device #" + std::to_string(id) + " not available";
    return false;
}

bool TNullSoundIn::SetDevice(int id) {
    deviceId_ = id < -1 ? -1 : id;
    return true;
}

bool TNullSoundIn::Open() {
    lastError_ = kNoDevice;
    return false;
}

bool TNullSoundIn::Start() {
    lastError_ = std::string("Wave input device not open: ") + kNoDevice;
    return false;
}
