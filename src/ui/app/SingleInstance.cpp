#include "app/SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

QString TSingleInstance::DefaultFolder() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        // No runtime folder: a per-user name in the temporary folder.
        dir = QDir::tempPath() + QStringLiteral("/orvo-tapmeter-") + QString::number(getuid());
        QDir().mkpath(dir);
    }
    return dir;
}

TSingleInstance::TSingleInstance(const QString& folder) {
    const QString dir = folder.isEmpty() ? DefaultFolder() : folder;
    path_ = QDir(dir).filePath(QString::fromLatin1(LockName) + QStringLiteral(".lock"));
    lock_ = std::make_unique<QLockFile>(path_);
    // Never treat a live owner's lock as stale because of its age; only a
    // lock whose process is gone may be taken over.
    lock_->setStaleLockTime(0);
}

TSingleInstance::~TSingleInstance() {
    if (held_)
        lock_->unlock();
}

bool TSingleInstance::Acquire() {
    if (!held_)
        held_ = lock_->tryLock(0);
    return held_;
}
