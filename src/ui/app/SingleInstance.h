#pragma once
// The per-user lock that keeps a second copy of the program out. It lives in
// the user's runtime folder and is held for the life of the process; a lock
// left behind by a crashed copy is taken over.

#include <QLockFile>
#include <QString>

#include <memory>

class TSingleInstance {
public:
    static constexpr const char* LockName = "OrvoTapmeterMutex";

    // folder: where the lock file lives; empty = the user's runtime folder.
    explicit TSingleInstance(const QString& folder = QString());
    ~TSingleInstance();

    // True when this process now holds the lock (or already held it).
    bool Acquire();
    bool Held() const { return held_; }
    QString LockPath() const { return path_; }

    static QString DefaultFolder();

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};
