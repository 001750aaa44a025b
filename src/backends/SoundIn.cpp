#include "backends/SoundIn.h"

#include "backends/SoundDeviceNames.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QDateTime>
#include <QIODevice>
#include <QMediaDevices>

#include <algorithm>

TSoundIn::TSoundIn(QObject* parent) : QObject(parent) {
    devices_ = new QMediaDevices(this);
    connect(devices_, &QMediaDevices::audioInputsChanged, this, [this] { DevicesChanged(); });
}

TSoundIn::~TSoundIn() {
    wanted_ = false;
    Close();
}

void TSoundIn::SetSampleRate(int hz) {
    if (fmt_.SetSampleRate(hz) && isOpen_)
        Reopen();
}

void TSoundIn::SetBufferSamples(int n) {
    if (fmt_.SetBufferSamples(n) && isOpen_)
        Reopen();
}

void TSoundIn::SetBufferTime(int ms) {
    if (fmt_.SetBufferTime(ms) && isOpen_)
        Reopen();
}

void TSoundIn::SetChannels(int n) {
    if (fmt_.SetChannels(n) && isOpen_)
        Reopen();
}

bool TSoundIn::DeviceAvailable() const { return !QMediaDevices::audioInputs().isEmpty(); }
int TSoundIn::DeviceCount() const { return static_cast<int>(QMediaDevices::audioInputs().size()); }

bool TSoundIn::DeviceName(int id, std::string& name) {
    if (id == -1) {
        name = kDefaultInputDeviceName;
        return true;
    }
    const std::vector<std::string> names = EnumInputDeviceNames();
    if (id < -1 || id >= static_cast<int>(names.size())) {
        lastError_ = sound_format::DeviceMissingText(TSoundDirection::Input, id);
        return false;
    }
    name = names[static_cast<size_t>(id)];
    return true;
}

bool TSoundIn::SetDevice(int id) {
    deviceId_ = sound_format::ClampDeviceId(id);
    if (!isOpen_)
        return true;
    Reopen();
    return isOpen_;
}

bool TSoundIn::Open() {
    if (isOpen_) {
        lastError_ = sound_format::AlreadyOpenText(TSoundDirection::Input);
        return false;
    }
    if (!DeviceAvailable()) {
        lastError_ = sound_format::kNoDevice;
        return false;
    }
    const QAudioDevice dev = InputDeviceFor(deviceId_);
    QAudioFormat fmt;
    fmt.setSampleRate(fmt_.SampleRate());
    fmt.setChannelCount(fmt_.Channels());
    fmt.setSampleFormat(QAudioFormat::Int16);
    if (dev.isNull() || !dev.isFormatSupported(fmt)) {
        lastError_ = sound_format::OpenFailedText(TSoundDirection::Input, deviceId_);
        return false;
    }
    const size_t samples = fmt_.BufferAllocSamples();
    if (samples == 0) {
        lastError_ = sound_format::kNoBufferMemory;
        return false;
    }
    for (auto& b : buf_)
        b.assign(samples, 0);
    source_ = new QAudioSource(dev, fmt, this);
    // Half a buffer per read keeps the delivery steady without adding delay.
    source_->setBufferSize(static_cast<qsizetype>(std::max<uint32_t>(fmt_.BufferBytes() / 2, 64)));
    connect(source_, &QAudioSource::stateChanged, this, [this] { StateChanged(); });
    openedDeviceId_ = dev.id();
    openedDeviceName_ = dev.description();
    isOpen_ = true;
    return true;
}

bool TSoundIn::Start() {
    if (!isOpen_ && !Open()) {
        lastError_ = sound_format::NotOpenText(TSoundDirection::Input, lastError_);
        return false;
    }
    if (isActive_)
        return false;
    fillIndex_ = 0;
    fillBytes_ = 0;
    failing_ = false;
    io_ = source_->start();
    if (!io_ || source_->error() != QAudio::NoError) {
        io_ = nullptr;
        source_->stop();
        const std::string text = "the sound server refused the recording";
        lastError_ = lastError_.empty() ? text : lastError_ + " " + text;
        return false;
    }
    connect(io_, &QIODevice::readyRead, this, [this] { ReadAvailable(); });
    isActive_ = true;
    wanted_ = true;
    return true;
}

bool TSoundIn::Stop() {
    if (isActive_) {
        if (io_)
            io_->disconnect(this);
        io_ = nullptr;
        source_->reset();
        source_->stop();
        isActive_ = false;
    }
    wanted_ = false;
    return true;
}

bool TSoundIn::Close() {
    if (isOpen_) {
        Stop();
        delete source_;
        source_ = nullptr;
        for (auto& b : buf_)
            std::vector<int16_t>().swap(b);
        isOpen_ = false;
    }
    wanted_ = false;
    return true;
}

void TSoundIn::Reopen() {
    const bool wasActive = isActive_;
    Close();
    if (Open() && wasActive)
        Start();
}

void TSoundIn::ReadAvailable() {
    if (!io_ || !isActive_)
        return;
    for (;;) {
        // Read afresh each turn: the owner may have resized us in its callback.
        const uint32_t bufferBytes = fmt_.BufferBytes();
        char* dst = reinterpret_cast<char*>(buf_[fillIndex_].data()) + fillBytes_;
        const qint64 n = io_->read(dst, static_cast<qint64>(bufferBytes - fillBytes_));
        if (n <= 0)
            return;
        fillBytes_ += static_cast<uint32_t>(n);
        if (fillBytes_ < bufferBytes)
            continue;
        const int done = fillIndex_;
        fillIndex_ ^= 1;
        fillBytes_ = 0;
        if (OnBufferRecorded)
            OnBufferRecorded(buf_[done].data(), static_cast<uint32_t>(fmt_.BufferSamples()), bufferBytes);
        if (!io_ || !isActive_)
            return;  // the owner stopped us
    }
}

void TSoundIn::StateChanged() {
    if (!source_ || !isActive_ || failing_)
        return;
    const QAudio::Error e = source_->error();
    if (e != QAudio::FatalError && e != QAudio::OpenError && e != QAudio::IOError)
        return;
    failing_ = true;
    // Not from inside the source's own signal: it is deleted on the way.
    QMetaObject::invokeMethod(
        this, [this] { Recover("the recording device or server went away"); }, Qt::QueuedConnection);
}

void TSoundIn::Recover(const std::string& why) {
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    const bool tooSoon = lastRecoverMs_ >= 0 && now - lastRecoverMs_ < 2000;
    lastRecoverMs_ = now;
    const bool wasActive = isActive_ || wanted_;
    Close();
    wanted_ = wasActive;
    if (tooSoon) {
        lastError_ = "Sound input failed: " + why;
        if (OnStatus)
            OnStatus("Sound input is off: " + why);
        return;
    }
    if (Open() && (!wasActive || Start())) {
        if (OnStatus)
            OnStatus("Sound input reopened on " + openedDeviceName_.toStdString() + " (" + why + ")");
    } else {
        wanted_ = wasActive;
        if (OnStatus)
            OnStatus("Sound input is off: " + why);
    }
}

void TSoundIn::DevicesChanged() {
    if (isOpen_) {
        const QAudioDevice now = InputDeviceFor(deviceId_);
        if (!now.isNull() && now.id() == openedDeviceId_)
            return;
        Recover(now.isNull() ? std::string("the recording device went away")
                             : "the recording device changed to " + now.description().toStdString());
        return;
    }
    if (wanted_ && DeviceAvailable()) {
        lastRecoverMs_ = -1;
        Recover("a recording device appeared");
    }
}
