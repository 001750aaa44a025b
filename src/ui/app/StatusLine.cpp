#include "app/StatusLine.h"

#include <QAccessible>
#include <QLabel>
#include <QStatusBar>

TStatusLine::TStatusLine(KeyingSession& session, QStatusBar& bar)
    : session_(session), sound_(new QLabel(&bar)), message_(new QLabel(&bar)) {
    // The sound line stays in the status bar; menu hints cover it only while shown.
    sound_->setObjectName(QStringLiteral("SoundStatus"));
    sound_->setAccessibleDescription(QStringLiteral("Status line: the sound devices"));
    bar.addWidget(sound_, 1);
    message_->setObjectName(QStringLiteral("StatusMessage"));
    message_->setAccessibleDescription(QStringLiteral("Status line: what the last command did"));
    bar.addWidget(message_, 1);
    session_.AddListener(this);
}

TStatusLine::~TStatusLine() { session_.RemoveListener(this); }

QString TStatusLine::Sound() const { return sound_->text(); }
QString TStatusLine::Message() const { return message_->text(); }

void TStatusLine::ShowMessage(const std::string& text) { Show(message_, text); }
void TStatusLine::SoundStatus(const std::string& text) { Show(sound_, text); }

void TStatusLine::Show(QLabel* label, const std::string& text) {
    // A label's accessible name is its text: Qt tells of a new one; the same
    // message again is told here (AT-SPI passes on a name change, not an alert).
    const QString shown = QString::fromStdString(text);
    if (label->text() != shown) {
        label->setText(shown);
    } else if (!shown.isEmpty() && QAccessible::isActive()) {
        QAccessibleEvent renamed(label, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
    }
}
