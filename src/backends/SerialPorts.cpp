#include "backends/SerialPorts.h"

#include <QFileInfo>
#include <QMetaObject>

TSerialPorts::TSerialPorts(IPortEnumerator* enumerator, const QStringList& watchDirs, QObject* parent)
    : QObject(parent), enumerator_(enumerator), watchDirs_(watchDirs) {
    if (!enumerator_) {
        ownEnumerator_ = std::make_unique<TSysfsPortEnumerator>();
        enumerator_ = ownEnumerator_.get();
    }
    extras_ = portdetect::ExtraPortsFromEnvironment();
    settle_.setSingleShot(true);
    settle_.setInterval(300);
    connect(&settle_, &QTimer::timeout, this, [this] { DeviceChange(); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { settle_.start(); });
    Watch();
}

void TSerialPorts::Watch() {
    // A folder that did not exist (by-id before the first USB adapter) is
    // picked up at the next change.
    for (const QString& d : watchDirs_)
        if (!watcher_.directories().contains(d) && QFileInfo(d).isDir())
            watcher_.addPath(d);
}

bool TSerialPorts::Detect(int maxIndex) {
    ports_ = portdetect::NumberPorts(enumerator_->Enumerate(), extras_);
    return DetectPorts(ports_, list_, maxIndex);
}

std::string TSerialPorts::DevicePath(int n) const {
    if (n < 1 || size_t(n) > list_.size())
        return {};
    return list_[size_t(n - 1)].Device;
}

std::string TSerialPorts::Caption(int n) const {
    if (n < 1 || size_t(n) > list_.size())
        return "COM" + std::to_string(n);
    return portdetect::PortCaption(n, list_[size_t(n - 1)]);
}

void TSerialPorts::DeviceChange() {
    Watch();
    const auto before = list_;
    Detect(before.empty() ? 255 : int(before.size()) - 1);
    bool changed = before.size() != list_.size();
    for (size_t i = 0; !changed && i < list_.size(); ++i)
        changed = before[i].Name != list_[i].Name || before[i].Device != list_[i].Device;
    if (changed && OnPortsChanged)
        OnPortsChanged();
}

TSerialLines::PostFn TSerialPorts::Poster() {
    // The serial component joins its thread when it closes, so it must
    // close before this object goes; queued calls left then are dropped.
    return [this](std::function<void()> f) {
        QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
    };
}
