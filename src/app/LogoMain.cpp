#include "app/LogoMain.h"
#include "app/ParamLink.h"

#include "app/KeyMapping.h"
#include "app/MenuBarKey.h"
#include "app/WindowCommands.h"
#include "controls/CWHighlightLabel.h"
#include "devices/QtClock.h"
#include "devices/SoundIn.h"
#include "devices/SoundOut.h"
#include "windows/About.h"
#include "windows/ParamUnit.h"
#include "windows/ScopeUnit.h"
#include "windows/Shorts.h"
#include "windows/ShowUnit.h"

#include <QAction>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kTopBarHeight = 41;

const char* const kSpeedWarning =
    "You are about to change your selected Target Speed.\r\n"
    "This may render all timing statistics and graphic displays invalid.\r"
    "Do you want to proceed?";

// Windows-1252 bytes to text for display (the characters the decoder and
// the generator use lie in the Latin-1 range).
QString FromBytes(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

// The sound devices used when none are injected: the system's default
// output and input.
std::unique_ptr<ISoundOut> CreateDefaultSoundOut() { return std::make_unique<TSoundOut>(); }
std::unique_ptr<ISoundIn> CreateDefaultSoundIn() { return std::make_unique<TSoundIn>(); }

}  // namespace

// ---------------------------------------------------------------------------

TLogoAppForm::TLogoAppForm(IClock* clock, ITimerFactory* timers, IMessageBoxes* boxes,
                           const QString& settingsFolder, ISoundOut* soundOut, ISoundIn* soundIn,
                           ISerialLines* serialLines, IFileDialogs* fileDialogs)
    : ownClock_(clock ? nullptr : std::make_unique<QtClock>()),
      ownTimers_(timers ? nullptr : std::make_unique<QtTimerFactory>()),
      ownBoxes_(boxes ? nullptr : std::make_unique<TQtMessageBoxes>(this)),
      ownSoundOut_(soundOut ? nullptr : CreateDefaultSoundOut()),
      ownSoundIn_(soundIn ? nullptr : CreateDefaultSoundIn()),
      soundOut_(soundOut ? soundOut : ownSoundOut_.get()),
      soundIn_(soundIn ? soundIn : ownSoundIn_.get()),
      clock_(clock ? clock : ownClock_.get()),
      timers_(timers ? timers : ownTimers_.get()),
      boxes_(boxes ? boxes : ownBoxes_.get()),
      fileDialogs_(fileDialogs),
      settingsFolder_(settingsFolder),
      injectedLines_(serialLines)
{
    setObjectName(QStringLiteral("LogoAppForm"));
    setWindowTitle(QStringLiteral("Vantor CW Tapmeter"));
    setMinimumSize(812, 582);
    resize(820, 582);
    setFocusPolicy(Qt::StrongFocus);

    BuildLayout();
    BuildMenus();

    ShowTimer = timers_->CreateTimer();
    ShowTimer->SetInterval(10000);
    ShowTimer->OnTimer = [this] { ShowTimerTimer(); };
    PaintBox1->SetFlashTimer(timers_->CreateTimer());

    FormCreate();

    // The auxiliary windows come after the main window and take their
    // positions from the settings it has just read. Creating the parameters
    // window applies the stored tones, levels, output and input mode.
    paramLink_ = std::make_unique<TParamLink>(*this);
    paramForm_ = new TParamForm(*paramLink_);
    paramLink_->Attach(paramForm_);
    showForm_ = new TShowForm();
    showForm_->setObjectName(QStringLiteral("ShowForm"));
    showForm_->ReferenceText = [this](bool average) {
        return (average ? speedBar_->AverageText() : speedBar_->TargetText()) + QLatin1Char(' ') +
               speedBar_->UnitText();
    };
    showForm_->OnAutoResetOff = [this] { ShowTimer->Stop(); };
    showForm_->OnAverageLengthChanged = [this](int) { calculat_->ResetAvgTempo(); };
    showForm_->OnForwardKeyDown = [this](QKeyEvent* e) { FormKeyDown(e); };
    showForm_->OnForwardKeyUp = [this](QKeyEvent* e) { keyReleaseEvent(e); };
    showForm_->SetStats(&stats_);
    showForm_->LoadFromSettings(settings_);
    aboutBox_ = new TAboutBox();
    aboutBox_->setObjectName(QStringLiteral("AboutBox"));
    shortCuts_ = new TShortCuts();
    shortCuts_->setObjectName(QStringLiteral("ShortCuts"));
    shortCuts_->LoadFromSettings(settings_);
    commands_->CreateScope();
}

TScopeForm* TLogoAppForm::ScopeForm() const { return commands_->Scope() ? commands_->Scope()->Form() : nullptr; }

TLogoAppForm::~TLogoAppForm()
{
    // An injected device may outlive the window: it must not call back.
    if (soundOut_) {
        if (!closed_)
            soundOut_->Stop();
        soundOut_->OnBufferPlayed = nullptr;
        soundOut_->OnStatus = nullptr;
    }
    if (soundIn_) {
        if (!closed_)
            soundIn_->Stop();
        soundIn_->OnBufferRecorded = nullptr;
        soundIn_->OnStatus = nullptr;
    }
    cwout_.OnSpeedChanged = nullptr;
    keyInput_->OnModeChanged = nullptr;
    keyInput_->OnPausedChanged = nullptr;
    delete paramForm_;
    delete showForm_;
    delete aboutBox_;
    delete shortCuts_;
}

void TLogoAppForm::BuildLayout()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Panel"));
    auto* col = new QVBoxLayout(central);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(0);

    // Top bar: the large letter and the speeds.
    speedBar_ = new TSpeedBar(central);
    speedBar_->setObjectName(QStringLiteral("TopBar"));
    speedBar_->setFixedHeight(kTopBarHeight);
    speedBar_->OnStep = [this](int delta, bool button) {
        ChangeTargetSpeed(delta);
        if (button)
            ClearFocus();
    };
    speedBar_->OnEntered = [this](int cpm) { TargetEntered(cpm); };
    speedBar_->OnForwardKey = [this](QKeyEvent* k) {
        ClearFocus();
        FormKeyDown(k);
    };
    DecCharLabel = speedBar_->DecCharLabel();
    SpeedUpDown = speedBar_->UpDown();
    col->addWidget(speedBar_);

    // The pattern strip and the two panels.
    panels_ = new TKeyingPanels(central);
    panels_->setObjectName(QStringLiteral("KeyingPanels"));
    panels_->OnMouseKey = [this](bool down, uint64_t ts) { keyInput_->KeyboardMouse().Key(down, ts); };
    panels_->OnRedrawRed = [this] { RedrawRedStrip(); };
    panels_->OnResetReplayStats = [this] {
        if (showForm_)
            showForm_->ResetValues(TTimingStats::kLastReplay);
        else
            stats_.ResetValues(TTimingStats::kLastReplay);
    };
    panels_->OnMessage = [this](const std::string& m) { boxes_->Message(QString::fromStdString(m)); };
    panels_->OnStatus = [this](const std::string& m) { ShowStatus(m); };
    PaintBox1 = panels_->Strip();
    CWLabel2 = panels_->Upper();
    CWLabel1 = panels_->Lower();
    PaintBox1->GreenPatterns = [this] {
        std::vector<uint16_t> codes;
        const std::string text = CWLabel1->GreenText();
        for (size_t i = 0; i < text.size(); ++i)
            codes.push_back(cwout_.PatternOf(sending_->PanelChar(text, i)));
        return codes;
    };
    col->addWidget(panels_, 1);

    setCentralWidget(central);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setSizeGripEnabled(true);
    // The sound line stays in the status bar; menu hints cover it only while shown.
    soundStatus_ = new QLabel(statusBar());
    soundStatus_->setObjectName(QStringLiteral("SoundStatus"));
    statusBar()->addWidget(soundStatus_, 1);
    statusMessage_ = new QLabel(statusBar());
    statusMessage_->setObjectName(QStringLiteral("StatusMessage"));
    statusBar()->addWidget(statusMessage_, 1);
}

void TLogoAppForm::BuildMenus()
{
    QMenuBar* bar = menuBar();
    auto menu = [&](const char* caption, const char* hint, const char* name) {
        QMenu* m = bar->addMenu(QString::fromLatin1(caption));
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setStatusTip(QString::fromLatin1(hint));
        m->setToolTipsVisible(true);
        return m;
    };
    auto item = [&](QMenu* m, const char* caption, const char* hint, const char* name,
                    QKeySequence key, auto handler) {
        QAction* a = m->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setStatusTip(QString::fromLatin1(hint));
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };

    QMenu* file = menu("&File", "File related commands", "File1");
    item(file, "&Save decoded text", "Save decoded text to a file", "Sa1", QKeySequence("Ctrl+S"),
         [this] { commands_->SaveDecodedText(CWLabel2->Text()); });
    item(file, "&Load text from file", "Load text from a file to the lower panel", "FileLoadItem",
         QKeySequence("Ctrl+L"), [this] {
             commands_->LoadTextFile(*CWLabel1, [this] {
                 std::string dropped = sending_->DropTypeAhead();
                 if (dropped.empty())
                     return;
                 if (dropped.size() > 40)
                     dropped = dropped.substr(0, 40) + "...";
                 std::replace(dropped.begin(), dropped.end(), '\r', ' ');
                 ShowStatus("Typed text not yet sent was dropped: " + dropped);
             });
             PaintBox1->update();
         });
    file->addSeparator();
    QAction* exit = item(file, "E&xit", "Exit application", "FileExit1", QKeySequence(),
                         [this] { close(); });
    exit->setToolTip(QStringLiteral("Exit"));

    QMenu* view = menu("View", "Show and Clear", "View1");
    item(view, "&Show Timing                          F3", "Show panel with timing values",
         "ShowTiming", QKeySequence(), [this] { ShowTimingClick(); });
    item(view, "Show/Hide &Decoded Chars  F4", "Show/Hide all decoded characters and patterns",
         "ShowHideDecoded1", QKeySequence(), [this] { ShowHideDecodedChars(); });
    item(view, "Show/Hide &Typed Panel        F8", "Show/Hide panel with typed characters",
         "ShowHideTyped1", QKeySequence(), [this] { ShowTyped(!settings_.ShTyped); });
    item(view, "&Clear all Panels", "Clear all Panels", "ClearPanels1", QKeySequence("Ctrl+Z"),
         [this] { ClearPanels1Click(); });

    QMenu* params = menu("&Parameters", "Set program parameters", "Parameters1");
    item(params, "&Set Parameters ", "Set Parameters", "SetParameters1", QKeySequence("F2"),
         [this] { SetParameters1Click(); });
    InputMixer1 = item(params, "&Input Mixer", "Show Input Mixer", "InputMixer1", QKeySequence(),
                       [this] { OpenMixer(true, *boxes_); });
    item(params, "&Output Mixer", "Show Output Mixer", "OutputMixer1", QKeySequence(),
         [this] { OpenMixer(false, *boxes_); });

    QMenu* help = menu("&Help", "Help topics", "Help1");
    item(help, "&Help", "Show Help in Browser", "Help2", QKeySequence("F1"), [this] {
        ClearFocus();
        commands_->ShowHelp();
    });
    item(help, "Short&Cuts", "Show page with shortcuts", "ShortCuts1", QKeySequence("Ctrl+F1"),
         [this] { ShortCuts1Click(); });
    item(help, "&Show Orvo homepage", "Show Orvo homepage in browser", "ShowHomepage", QKeySequence(),
         [this] { commands_->ShowHomepage(); });
    item(help, "&About...", "Show program information and version number", "HelpAbout1",
         QKeySequence(), [this] { HelpAbout1Execute(); });

    // Menu shortcuts work whether or not the bar has the focus.
    for (QAction* a : findChildren<QAction*>())
        a->setShortcutContext(Qt::WindowShortcut);
    new TMenuBarKey(this);
}

// ---------------------------------------------------------------------------
// Create and close

void TLogoAppForm::FormCreate()
{
    versionText_ = ::VersionText();
    DecCharLabel->clear();

    calculat_ = std::make_unique<TCalculat>(*timers_, this, &stats_);
    calculat_->OnNewPattern = [this](uint32_t d, bool bl, bool en) { Calculat1NewPatternFound(d, bl, en); };
    calculat_->OnNewTempo = [this](uint32_t t) { speedBar_->ShowActual(t); };
    calculat_->OnNewAvgTempo = [this](uint32_t t) { speedBar_->ShowAverage(t); };
    calculat_->SetBandwidthIndex(2);
    stats_.DotSamples = [this] { return double(cwout_.DotSamples()); };
    stats_.WordTimeout = [this] { return calculat_->WordTimeout(); };
    stats_.AverageSpeed = [this] { return calculat_->AvgTempo(); };

    cwout_.SetMinSpeed(20);
    cwout_.SetTimePttHold(100);
    cwout_.SetLogAmplitude(-10);
    cwout_.OnSpeedChanged = [this](int32_t) { ShowSpeed(); };

    sending_ = std::make_unique<TSending>(cwout_, *calculat_, soundOut_, settings_, *panels_);
    sending_->Wait = [this](int ms) { WaitEvents(ms); };
    keyInput_ = std::make_unique<TKeyInput>(*calculat_, cwout_, *sending_, settings_, *clock_);
    sending_->InputMode = [this] { return keyInput_->InputMode(); };
    sending_->InputPaused = [this] { return keyInput_->Paused(); };
    keyInput_->OnMessage = [this](const std::string& m) { boxes_->Message(QString::fromStdString(m)); };
    keyInput_->OnPausedChanged = [this](bool paused) {
        panels_->SetPausedNotice(paused);
        commands_->SetPaused(paused);
    };
    // The keyboard's Morse keys in every window of the program.
    keyMapping_ = std::make_unique<TKeyMapping>(*clock_, *timers_, keyInput_->KeyboardMouse());
    qApp->installEventFilter(keyMapping_.get());
    commands_ = std::make_unique<TWindowCommands>(this, *keyInput_, *calculat_, cwout_, settings_, *boxes_,
                                                  *timers_, soundIn_, fileDialogs_);
    calculat_->OnDataProcessed = [this](int l, const int32_t* e, const int32_t* t, const int32_t* k) {
        commands_->BlockProcessed(l, e, t, k);
    };

    // Settings.
    if (settingsFolder_.isEmpty())
        settingsFolder_ = QString::fromStdString(SettingsFolder());
    if (!settingsFolder_.isEmpty() && !settingsFolder_.endsWith(QLatin1Char('/')))
        settingsFolder_ += QLatin1Char('/');
    QSize screen(1024, 768);
    if (QScreen* s = QGuiApplication::primaryScreen())
        screen = s->size();
    std::string error;
    if (!LoadSettingsFile(settingsFolder_.toStdString(), settings_, screen.width(), screen.height(), error))
        boxes_->Message(QString::fromStdString(error));
    ApplySettings();
    std::vector<std::string> keyMessages;
    keyMapping_->Apply(settings_, cwout_.Speed(), &keyMessages);
    for (const std::string& m : keyMessages)
        ShowStatus(m);

    sending_->SetKeyVolume(settings_.Muted ? 0 : 65535);

    if (soundOut_)
        soundOut_->OnStatus = [this](const std::string& m) { SoundStatusChanged(QString::fromStdString(m)); };
    if (soundIn_) {
        soundIn_->OnStatus = [this](const std::string& m) { SoundStatusChanged(QString::fromStdString(m)); };
        soundIn_->SetBufferSamples(800);
        soundIn_->SetBufferTime(100);
        soundIn_->SetChannels(1);
    }
    // Without sound the program still keys and decodes; the status bar says why.
    const std::string soundOff = sending_->StartOutput();
    if (!soundOff.empty())
        SoundStatusChanged(QString::fromStdString(soundOff));

    serialInput_ = std::make_unique<TSerialInput>(injectedLines_, settings_, *keyInput_);

    speedChangeConfirmed_ = false;
    sending_->SetVolume(1);
    cwout_.SetBuffersize(10000);
    // The stored mode itself is entered by the parameters window; a WAV
    // file is asked for only once that window exists.
    if (settings_.RXInput == WavFile)
        SetInputMode(KeybdMouse);
    if (!settings_.ShTyped)
        ShowTyped(false);
    decodedHidden_ = false;
}

void TLogoAppForm::ApplySettings()
{
    const TSettings& s = settings_;
    SpeedUpDown->SetPosition(s.TargetSpeed);
    cwout_.SetSpeed(SpeedUpDown->Position());
    calculat_->SetTempo(cwout_.Speed());
    ShowSpeed();

    cwout_.SetFrequency2(s.TxFrequency2);
    cwout_.SetFrequency(s.Binaural ? s.TxFrequency : s.TxFrequency2);
    cwout_.SetExtraChars(s.TxExtended);
    cwout_.SetLogAmplitude(std::clamp(s.OutputLevel, -40, 0));
    cwout_.SetTimePttStart(s.PttStart);

    calculat_->SetCenterFreq(uint32_t(std::max(0, s.RxFrequency)));
    calculat_->SetProcessMode(s.Mode == 0 ? tProcessMode::broad : tProcessMode::narrow);
    calculat_->SetNoiseBlank(s.Bounce);
    calculat_->SetInputScaledB(std::clamp(s.InputLevel, -30, 12));

    cwdecode_.SetSpecialChars(s.RxExtended);
    cwdecode_.SetAring(s.Aring);
    cwdecode_.SetErrQm(s.ErrQM);
    cwdecode_.SetDisplay2Prosigns(s.DisplayPros);

    CWLabel1->SetAllCaps(s.AllCaps);
    CWLabel2->SetAllCaps(s.AllCaps);
    speedBar_->SetWpM(s.WpM);


    resize(std::max(s.Width, minimumWidth()), std::max(s.Height, minimumHeight()));
    move(s.Left, s.Top);
}

void TLogoAppForm::CollectSettings()
{
    TSettings& s = settings_;
    s.TargetSpeed = cwout_.Speed();
    s.TxExtended = cwout_.ExtraChars();
    s.OutputLevel = cwout_.LogAmplitude();
    s.Slope = cwout_.Slope();
    s.PttStart = cwout_.TimePttStart();
    s.RxFrequency = int32_t(calculat_->CenterFreq());
    s.Mode = calculat_->ProcessMode() == tProcessMode::broad ? 0 : 1;
    s.Bounce = calculat_->NoiseBlank();
    s.InputLevel = calculat_->InputScaledB();
    s.RxExtended = cwdecode_.SpecialChars();
    s.Aring = cwdecode_.Aring();
    s.ErrQM = cwdecode_.ErrQm();
    s.RXInput = std::max(0, keyInput_->InputMode());
    s.InitMax = isMaximized();
    if (!s.InitMax) {
        s.Top = y();
        s.Left = x();
        s.Width = width();
        s.Height = height();
    }
    paramForm_->SaveToSettings(s);
    showForm_->SaveToSettings(s);
    shortCuts_->SaveToSettings(s);
}

bool TLogoAppForm::FormCloseQuery()
{
    cwout_.ReleasePttNow();
    DropTypeAhead();
    if (settings_.AskEnd && !boxes_->AskOkCancel(QStringLiteral("Do you really want to exit Orvo Tapmeter?"))) {
        cwout_.Resume();
        return false;
    }
    if (soundOut_)
        soundOut_->Stop();
    if (soundIn_)
        soundIn_->Stop();
    keyInput_->CloseSource();
    return true;
}

void TLogoAppForm::FormClose()
{
    CollectSettings();
    TSettingsInfo info;
    info.name = "Orvo Tapmeter - Morse keying timing meter";
    info.version = versionText_.toStdString();
    std::string error;
    if (!SaveSettingsFile(settingsFolder_.toStdString(), settings_, info, error))
        boxes_->Message(QString::fromStdString(error));
    cwout_.Stop();
    if (soundOut_)
        soundOut_->Close();
    if (soundIn_)
        soundIn_->Close();
    paramForm_->hide();
    showForm_->hide();
    aboutBox_->hide();
    shortCuts_->hide();
    if (ScopeForm())
        ScopeForm()->ShowScope(false);
    calculat_->OnNewPattern = nullptr;
    calculat_->OnNewTempo = nullptr;
    calculat_->OnNewAvgTempo = nullptr;
}

void TLogoAppForm::closeEvent(QCloseEvent* e)
{
    if (closed_) {
        e->accept();
        return;
    }
    if (!FormCloseQuery()) {
        e->ignore();
        return;
    }
    FormClose();
    closed_ = true;
    e->accept();
    if (OnClosed)
        OnClosed();
}

// ---------------------------------------------------------------------------
// Target speed and speed displays

void TLogoAppForm::ChangeTargetSpeed(int delta)
{
    if (CWLabel2->Length() > 0 && !speedChangeConfirmed_) {
        if (!boxes_->AskYesNo(QString::fromLatin1(kSpeedWarning)))
            return;
        speedChangeConfirmed_ = true;
    }
    cwout_.SetSpeed(cwout_.Speed() + delta);
    SpeedUpDown->SetPosition(cwout_.Speed());
    calculat_->SetTempo(cwout_.Speed());
    stats_.UpdateDisplay();
    RedrawRedStrip();
}

void TLogoAppForm::TargetEntered(int speed)
{
    // Only a real change can invalidate what was keyed, so only then ask.
    if (speed != cwout_.Speed() && CWLabel2->Length() > 0 && !speedChangeConfirmed_) {
        if (!boxes_->AskYesNo(QString::fromLatin1(kSpeedWarning))) {
            ShowSpeed();
            ClearFocus();
            return;
        }
        speedChangeConfirmed_ = true;
    }
    cwout_.SetSpeed(speed);
    calculat_->SetTempo(cwout_.Speed());
    ShowSpeed();
    stats_.UpdateDisplay();
    RedrawRedStrip();
    ClearFocus();
}

void TLogoAppForm::ShowSpeed()
{
    speedBar_->ShowTarget(cwout_.Speed());
    // The keyer forms its elements at the target speed.
    if (keyMapping_)
        keyMapping_->Keyer().SetSpeed(cwout_.Speed());
}

int TLogoAppForm::AverageLength() const
{
    if (showForm_)
        return showForm_->AverageLength();
    static const int lengths[4] = {10, 20, 50, 100};
    return lengths[std::clamp(settings_.AvgCountIdx, 0, 3)];
}

// ---------------------------------------------------------------------------
// Decoded characters, panels and zones

void TLogoAppForm::Calculat1NewPatternFound(uint32_t data, bool bl, bool en)
{
    if (data == 256 && settings_.ErrErase) {
        ClearPanel2Click();
        return;
    }
    std::string text = cwdecode_.Decode(data, bl);
    QString shown = FromBytes(text);
    DecCharLabel->setText(settings_.AllCaps ? shown.toUpper() : shown);
    if (en)
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
    stats_.ResetValues(0);
    // "Last Replay" shows "Close on Auto-Reset" off: its figures stay up.
    if (showForm_->AutoClose() && showForm_->ShownSet() == TTimingStats::kCurrentInput)
        showForm_->hide();
    ShowTimer->Stop();
}

void TLogoAppForm::ClearPanel2Click()
{
    CWLabel2->Clear();
    calculat_->ClearHistory();
    PaintBox1->ClearRed();
    calculat_->ResetAvgTempo();
    speedBar_->ShowActual(0);
    stats_.ResetValues(2);
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
            calculat_->MoveCursor(TCalculat::kToOldest);
        else if (delta == TCalculat::kToNewest)
            calculat_->MoveCursor(TCalculat::kToNewest);
        else if (after != before)
            calculat_->MoveCursor(delta);
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
    settings_.ShTyped = on;
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
    const TCalculat& calc = *calculat_;
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
            const QString t = FromBytes(cwdecode_.Decode(rec[0], false));
            DecCharLabel->setText(settings_.AllCaps ? t.toUpper() : t);
        }
    }, std::max(1, cwout_.DotSamples()) / 8.0, calc.NominalWordSpace());
}

void TLogoAppForm::FlashKeyingDisplay() { PaintBox1->Flash(); }

void TLogoAppForm::MuteOutput() { sending_->SetVolume(0); }

// ---------------------------------------------------------------------------
// Sound

QString TLogoAppForm::SoundStatus() const { return soundStatus_->text(); }

void TLogoAppForm::SoundStatusChanged(const QString& message)
{
    soundStatus_->setText(message);
    sending_->SoundStateChanged();
}

QString TLogoAppForm::StatusMessage() const { return statusMessage_->text(); }

void TLogoAppForm::ShowStatus(const std::string& message)
{
    statusMessage_->setText(QString::fromStdString(message));
}

void TLogoAppForm::WaitEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
