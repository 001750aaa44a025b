// The main window's display of the keying: the target speed and the speed
// displays, the decoded characters in the upper panel, the red and green
// zones, the pattern strip and the panels' show/hide and clear commands.

#include "app/LogoMain.h"

#include "app/WindowCommands.h"
#include "controls/CWHighlightLabel.h"
#include "windows/About.h"
#include "windows/ParamUnit.h"
#include "windows/Shorts.h"
#include "windows/ShowUnit.h"

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

void TLogoAppForm::ChangeTargetSpeed(int delta)
{
    if (CWLabel2->Length() > 0 && !speedChangeConfirmed_) {
        if (!boxes_->AskYesNo(QString::fromLatin1(kSpeedWarning)))
            return;
        speedChangeConfirmed_ = true;
    }
    session_->SetTargetSpeed(CWout1().Speed() + delta);
    SpeedUpDown->SetPosition(CWout1().Speed());
    TimingStats().UpdateDisplay();
    RedrawRedStrip();
}

void TLogoAppForm::TargetEntered(int speed)
{
    // Only a real change can invalidate what was keyed, so only then ask.
    if (speed != CWout1().Speed() && CWLabel2->Length() > 0 && !speedChangeConfirmed_) {
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

void TLogoAppForm::ShowSpeed() { speedBar_->ShowTarget(CWout1().Speed()); }

// ---------------------------------------------------------------------------
// Decoded characters, panels and zones

void TLogoAppForm::CharacterDecoded(const std::string& decoded, bool wordEnd)
{
    std::string text = decoded;
    const QString shown = FromBytes(text);
    DecCharLabel->setText(Settings().AllCaps ? shown.toUpper() : shown);
    if (wordEnd)
        text += wordSpaceChar_;
    CWLabel2->AddDecodedText(text);
    RedrawRedStrip();
    commands_->UpdateScopeStatus();
    if (showForm_ && showForm_->AutoReset()) {
        ShowTimer->Stop();
        ShowTimer->SetInterval(uint32_t(showForm_->AutoResetSeconds()) * 1000u);
        ShowTimer->Start();
    }
}

void TLogoAppForm::ShowTimerTimer()
{
    TimingStats().ResetValues(0);
    // "Last Replay" shows "Close on Auto-Reset" off: its figures stay up.
    if (showForm_->AutoClose() && showForm_->ShownSet() == TTimingStats::kCurrentInput)
        showForm_->hide();
    ShowTimer->Stop();
}

void TLogoAppForm::ClearPanel2Click()
{
    CWLabel2->Clear();
    session_->ClearDecoded();
}

void TLogoAppForm::DecodedCleared()
{
    PaintBox1->ClearRed();
    speedBar_->ShowActual(0);
    DecCharLabel->clear();
    speedChangeConfirmed_ = false;
}

void TLogoAppForm::ClearPanel1Click()
{
    CWLabel1->Clear();
    PaintBox1->update();
}

void TLogoAppForm::ClearPanels1Click()
{
    DropTypeAhead();
    ClearPanel1Click();
    ClearPanel2Click();
}

void TLogoAppForm::ZoneMove(int which, int32_t delta)
{
    const bool jump = delta == TCalculat::kToOldest || delta == TCalculat::kToNewest;
    if (which & 1) {
        const int32_t before = CWLabel2->RedStart();
        const int32_t after = CWLabel2->MoveRedStart(delta);
        if (delta == TCalculat::kToOldest)
            Calculat1().MoveCursor(TCalculat::kToOldest);
        else if (delta == TCalculat::kToNewest)
            Calculat1().MoveCursor(TCalculat::kToNewest);
        else if (after != before)
            Calculat1().MoveCursor(delta);
        if (!jump || after != before)
            RedrawRedStrip();
        commands_->UpdateScopeStatus();
    }
    if (which & 2) {
        CWLabel1->MoveGreenStart(delta);
        PaintBox1->update();
    }
}

void TLogoAppForm::ShowHideDecodedChars()
{
    decodedHidden_ = !decodedHidden_;
    DecCharLabel->setVisible(!decodedHidden_);
    panels_->SetDecodedHidden(decodedHidden_);
}

void TLogoAppForm::ShowTyped(bool on)
{
    TSettings s = Settings();
    s.ShTyped = on;
    session_->Apply(s);
    panels_->SetTypedShown(on);
}

void TLogoAppForm::ShowTimingClick()
{
    if (showForm_->isMinimized())
        showForm_->showNormal();
    else
        showForm_->show();
    showForm_->raise();
}

void TLogoAppForm::ShortCuts1Click()
{
    if (shortCuts_->isMinimized())
        shortCuts_->showNormal();
    shortCuts_->show();
    shortCuts_->raise();
}

void TLogoAppForm::HelpAbout1Execute()
{
    aboutBox_->Version()->setText(QStringLiteral("Version ") + versionText_);
    aboutBox_->ShowCentredOn(this);
}

void TLogoAppForm::SetParameters1Click() { paramForm_->ToggleVisible(); }

// ---------------------------------------------------------------------------
// Pattern strip

void TLogoAppForm::RedrawRedStrip()
{
    const TCalculat& calc = Calculat1();
    const int32_t oldest = calc.HistCount() > 0 && calc.Browsing() ? calc.CursorBack() : 0;
    const int count = calc.HistCount() > 0 ? oldest + 1 : 0;
    PaintBox1->LayoutRed(count, [&](int i, CharRecord& rec) {
        calc.GetCharRecord(uint32_t(oldest - i), rec);
        if (i == 0) {
            // The zone's first character is the one the speed and the large
            // letter describe; measuring it leaves the analyser as it is.
            const CharSpeed speed = calc.MeasureRecord(rec);
            if (speed.timed)
                speedBar_->ShowActual(speed.cpm);
            const QString t = FromBytes(CWDecode1().Decode(rec[0], false));
            DecCharLabel->setText(Settings().AllCaps ? t.toUpper() : t);
        }
    }, std::max(1, CWout1().DotSamples()) / 8.0, calc.NominalWordSpace());
}

// ---------------------------------------------------------------------------
// Display settings

void TLogoAppForm::SpeedDisplayChanged()
{
    speedBar_->SetWpM(Settings().WpM);
    auto* actual = speedBar_->findChild<QLineEdit*>(QStringLiteral("RecSpeed"));
    if (actual && !actual->text().isEmpty()) {
        speedBar_->ShowActual(uint32_t(std::max(0, Calculat1().NewRecTempo())));
        speedBar_->ShowAverage(Calculat1().AvgTempo());
    }
    if (showForm_)
        showForm_->UpdateDisplay();
}

void TLogoAppForm::SetCharSize(int points)
{
    for (TCWHighlightLabel* l : {CWLabel1, CWLabel2}) {
        QFont f = l->font();
        f.setPointSize(points);
        l->SetFont(f);
    }
}
