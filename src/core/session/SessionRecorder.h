#pragma once
// Keeps the record of the keying session: one more listener of the session
// that hands its key transitions, speed changes and input-mode changes to a
// session record file. The [Practice] Record setting switches it; a folder
// that cannot be written to is reported once and keying goes on.

#include "devices/SessionRecord.h"
#include "session/KeyingSession.h"

#include <chrono>
#include <functional>
#include <string>

class TSessionRecorder : public ISessionListener {
public:
    // folder: where the record goes; program: the header's program line.
    TSessionRecorder(KeyingSession& session, std::string folder, std::string program,
                     std::chrono::system_clock::time_point start = std::chrono::system_clock::now());
    ~TSessionRecorder() override;
    TSessionRecorder(const TSessionRecorder&) = delete;
    TSessionRecorder& operator=(const TSessionRecorder&) = delete;

    const TSessionRecord& Record() const { return record_; }
    // The input mode's caption, as the header names it.
    static const char* ModeName(int mode);

    // Why the record stopped, once.
    std::function<void(const std::string&)> OnError;

    // ISessionListener
    void KeyTransition(uint64_t ms, bool down) override { record_.Key(ms, down); }
    void InputModeEntered(int mode) override;
    void TargetSpeedChanged(int cpm) override;
    void SettingsApplied(const TSettings& before, const TSettings& now) override;

private:
    KeyingSession& session_;
    TSessionRecord record_;
    int speed_;
};
