#include "session/SessionRecorder.h"

TSessionRecorder::TSessionRecorder(KeyingSession& session, std::string folder, std::string program,
                                   std::chrono::system_clock::time_point start)
    : session_(session),
      record_(std::move(folder), start,
              {std::move(program), session.Settings().TargetSpeed, ModeName(session.InputMode())}),
      speed_(session.Settings().TargetSpeed) {
    record_.SetEnabled(session.Settings().Record);
    record_.OnError = [this](const std::string& m) {
        if (OnError)
            OnError(m);
    };
    session_.AddListener(this);
}

TSessionRecorder::~TSessionRecorder() { session_.RemoveListener(this); }

const char* TSessionRecorder::ModeName(int mode) {
    switch (mode) {
        case SoundInput:
            return "Sound Input";
        case ComPort:
            return "COM Port";
        case WavFile:
            return "File";
        default:
            return "Keybd/Mouse";
    }
}

void TSessionRecorder::InputModeEntered(int mode) { record_.InputMode(session_.ElapsedMs(), ModeName(mode)); }

void TSessionRecorder::TargetSpeedChanged(int cpm) {
    if (cpm == speed_)
        return;
    speed_ = cpm;
    record_.Speed(session_.ElapsedMs(), cpm);
}

void TSessionRecorder::SettingsApplied(const TSettings&, const TSettings& now) {
    record_.SetEnabled(now.Record);
    TargetSpeedChanged(now.TargetSpeed);
}
