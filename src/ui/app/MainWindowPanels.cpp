// The main window's display of the keying: the target speed and the speed
// displays, the decoded characters in the upper panel, the red and green
// zones, the pattern strip and the panels' show/hide and clear commands.

#include "app/MainWindow.h"

#include "app/WindowCommands.h"
#include "controls/CWHighlightLabel.h"
#include "windows/AboutBox.h"
#include "windows/ParamWindow.h"
#include "windows/ShortcutsWindow.h"
#include "windows/TimingWindow.h"

#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace {

const char* const kSpeedWarning =
    "You are about to change your selected Target Speed.\r\n"
    "This may render all timing statistics and graphic displays invalid.\r"
    "Do you want to proceed?";

// Windows-1252 bytes to text for display (the characters the decoder and
// the generator use lie in the Latin-1 range).
QString FromBytes(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

}  // namespace

void TMainWindow::ChangeTargetSpeed(int delta) {
    if (upperPanel_->Length() > 0 && !speedChangeConfirmed_) {
        if (!boxes_->AskYesNo(QString::fromLatin1(kSpeedWarning)))
            return;
        speedChangeConfirmed_ = true;
    }
    session_->SetTargetSpeed(Generator().Speed() + delta);
    SpeedUpDown->SetPosition(Generator().Speed());
    TimingStats().UpdateDisplay();
    RedrawRedStrip();
}

void TMainWindow::TargetEntered(int speed) {
    // Only a real change can invalidate what was keyed, so only then ask.
    if (speed != Generator().Speed() && upperPanel_->Length() > 0 && !speedChangeConfirmed_) {
        if (!boxes_->AskYesNo(QString::fromLatin1(kSpeedWarning))) {
            ShowSpeed();
            ClearFocus();
            return;
        }
        speedChangeConfirmed_ = true;
    }
    session_->SetTargetSpeed(speed);
    ShowSpeed();
    TimingStats().UpdateDisplay();
    RedrawRedStrip();
    ClearFocus();
}

void TMainWindow::ShowSpeed() { speedBar_->ShowTarget(Generator().Speed()); }

// ---------------------------------------------------------------------------
// Decoded characters, panels and zones

void TMainWindow::CharacterDecoded(const std::string& decoded, bool wordEnd) {
    std::string text = decoded;
    const QString shown = FromBytes(text);
    lastCharLabel_->setText(Settings().AllCaps ? shown.toUpper() : shown);
    if (wordEnd)
        text += wordSpaceChar_;
    upperPanel_->AddDecodedText(text);
    RedrawRedStrip();
    commands_->UpdateScopeStatus();
    if (showForm_ && showForm_->AutoReset()) {
        autoResetTimer_->Stop();
        autoResetTimer_->SetInterval(uint32_t(showForm_->AutoResetSeconds()) * 1000u);
        autoResetTimer_->Start();
    }
}

void TMainWindow::AutoResetExpired() {
    TimingStats().ResetValues(0);
    // "Last Replay" shows "Close on Auto-Reset" off: its figures stay up.
    if (showForm_->AutoClose() && showForm_->ShownSet() == TTimingStats::kCurrentInput)
        showForm_->hide();
    autoResetTimer_->Stop();
}

void TMainWindow::ClearDecoded() {
    upperPanel_->Clear();
    session_->ClearDecoded();
}

void TMainWindow::DecodedCleared() {
    strip_->ClearRed();
    speedBar_->ShowActual(0);
    lastCharLabel_->clear();
    speedChangeConfirmed_ = false;
}

void TMainWindow::ClearTyped() {
    lowerPanel_->Clear();
    strip_->update();
}

void TMainWindow::ClearAll() {
    DropTypeAhead();
    ClearTyped();
    ClearDecoded();
}

void TMainWindow::ZoneMove(int which, int32_t delta) {
    const bool jump = delta == TAnalyser::kToOldest || delta == TAnalyser::kToNewest;
    if (which & 1) {
        const int32_t before = upperPanel_->RedStart();
        const int32_t after = upperPanel_->MoveRedStart(delta);
        if (delta == TAnalyser::kToOldest)
            Analyser().MoveCursor(TAnalyser::kToOldest);
        else if (delta == TAnalyser::kToNewest)
            Analyser().MoveCursor(TAnalyser::kToNewest);
        else if (after != before)
            Analyser().MoveCursor(delta);
        if (!jump || after != before)
            RedrawRedStrip();
        commands_->UpdateScopeStatus();
    }
    if (which & 2) {
        lowerPanel_->MoveGreenStart(delta);
        strip_->update();
    }
}

void TMainWindow::ShowHideDecodedChars() {
    decodedHidden_ = !decodedHidden_;
    lastCharLabel_->setVisible(!decodedHidden_);
    panels_->SetDecodedHidden(decodedHidden_);
}

void TMainWindow::ShowTyped(bool on) {
    TSettings s = Settings();
    s.ShTyped = on;
    session_->Apply(s);
    panels_->SetTypedShown(on);
}

void TMainWindow::ShowTiming() {
    if (showForm_->isMinimized())
        showForm_->showNormal();
    else
        showForm_->show();
    showForm_->raise();
}

void TMainWindow::ShowShortcuts() {
    if (shortCuts_->isMinimized())
        shortCuts_->showNormal();
    shortCuts_->show();
    shortCuts_->raise();
}

void TMainWindow::ShowAbout() {
    aboutBox_->Version()->setText(QStringLiteral("Version ") + versionText_);
    aboutBox_->ShowCentredOn(this);
}

void TMainWindow::ToggleParameters() { paramForm_->ToggleVisible(); }

// ---------------------------------------------------------------------------
// Pattern strip

void TMainWindow::RedrawRedStrip() {
    const TAnalyser& calc = Analyser();
    const int32_t oldest = calc.HistCount() > 0 && calc.Browsing() ? calc.CursorBack() : 0;
    const int count = calc.HistCount() > 0 ? oldest + 1 : 0;
    strip_->LayoutRed(
        count,
        [&](int i, CharRecord& rec) {
            calc.GetCharRecord(uint32_t(oldest - i), rec);
            if (i == 0) {
                // The zone's first character is the one the speed and the large
                // letter describe; measuring it leaves the analyser as it is.
                const CharSpeed speed = calc.MeasureRecord(rec);
                if (speed.timed)
                    speedBar_->ShowActual(speed.cpm);
                const QString t = FromBytes(Decoder().Decode(rec[0], false));
                lastCharLabel_->setText(Settings().AllCaps ? t.toUpper() : t);
            }
        },
        std::max(1, Generator().DotSamples()) / 8.0, calc.NominalWordSpace());
}

// ---------------------------------------------------------------------------
// Display settings

void TMainWindow::SpeedDisplayChanged() {
    speedBar_->SetWpM(Settings().WpM);
    auto* actual = speedBar_->findChild<QLineEdit*>(QStringLiteral("RecSpeed"));
    if (actual && !actual->text().isEmpty()) {
        speedBar_->ShowActual(uint32_t(std::max(0, Analyser().NewRecTempo())));
        speedBar_->ShowAverage(Analyser().AvgTempo());
    }
    if (showForm_)
        showForm_->UpdateDisplay();
}

void TMainWindow::SetCharSize(int points) {
    for (TCWHighlightLabel* l : {lowerPanel_, upperPanel_}) {
        QFont f = l->font();
        f.setPointSize(points);
        l->SetFont(f);
    }
}
