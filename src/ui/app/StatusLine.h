#pragma once
// The main window's status line: the state of the sound devices (what the
// session reports) and what the last command did instead of what was
// asked. Every message shown is announced to assistive technology, one
// shown again unchanged too, so that a screen reader hears each refusal.

#include "session/KeyingSession.h"

#include <QString>

#include <string>

class QLabel;
class QStatusBar;

class TStatusLine : public ISessionListener {
public:
    TStatusLine(KeyingSession& session, QStatusBar& bar);
    ~TStatusLine() override;
    TStatusLine(const TStatusLine&) = delete;
    TStatusLine& operator=(const TStatusLine&) = delete;

    // The sound line: empty while sound works.
    QString Sound() const;
    // The message of the last command.
    QString Message() const;
    void ShowMessage(const std::string& text);

    // ISessionListener
    void SoundStatus(const std::string& text) override;

private:
    void Show(QLabel* label, const std::string& text);

    KeyingSession& session_;
    QLabel* sound_;
    QLabel* message_;
};
