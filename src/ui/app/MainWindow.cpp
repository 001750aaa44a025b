#include "app/MainWindow.h"
#include "app/ParamLink.h"
#include "app/PracticeLink.h"

#include "app/KeyMapping.h"
#include "app/StatusLine.h"
#include "app/WindowCommands.h"
#include "controls/CWHighlightLabel.h"
#include "backends/QtClock.h"
#include "devices/SessionRecord.h"
#include "backends/SoundIn.h"
#include "backends/SoundOut.h"
#include "windows/AboutBox.h"
#include "windows/ParamLogic.h"
#include "windows/ParamWindow.h"
#include "windows/PracticeWindow.h"
#include "windows/ScopeWindow.h"
#include "windows/ShortcutsWindow.h"
#include "windows/TimingWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kTopBarHeight = 41;

// The sound devices used when none are injected: the system's default
// output and input.
std::unique_ptr<ISoundOut> CreateDefaultSoundOut() { return std::make_unique<TSoundOut>(); }
std::unique_ptr<ISoundIn> CreateDefaultSoundIn() { return std::make_unique<TSoundIn>(); }

}  // namespace

// ---------------------------------------------------------------------------

TMainWindow::TMainWindow(IClock* clock, ITimerFactory* timers, IMessageBoxes* boxes,
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
      injectedLines_(serialLines) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Vantor CW Tapmeter"));
    setMinimumSize(812, 582);
    resize(820, 582);
    setFocusPolicy(Qt::StrongFocus);

    BuildLayout();
    BuildMenus();

    autoResetTimer_ = timers_->CreateTimer();
    autoResetTimer_->SetInterval(10000);
    autoResetTimer_->OnTimer = [this] { AutoResetExpired(); };
    strip_->SetFlashTimer(timers_->CreateTimer());

    FormCreate();

    // The auxiliary windows come after the main window and take their
    // positions from the settings it has just read. The stored input mode
    // is entered once they follow the session (a WAV file is asked for then).
    paramLink_ = std::make_unique<TParamLink>(*session_, *this, *boxes_);
    paramForm_ = new TParamWindow(*paramLink_);
    paramLink_->Attach(paramForm_);
    showForm_ = new TTimingWindow();
    showForm_->setObjectName(QStringLiteral("TimingWindow"));
    showForm_->ReferenceText = [this](bool average) {
        return (average ? speedBar_->AverageText() : speedBar_->TargetText()) + QLatin1Char(' ') +
               speedBar_->UnitText();
    };
    showForm_->OnAutoResetOff = [this] { autoResetTimer_->Stop(); };
    showForm_->OnOptionsChanged = [this] {
        TSettings s = Settings();
        showForm_->SaveOptions(s);
        session_->Apply(s);
    };
    showForm_->OnForwardKeyDown = [this](QKeyEvent* e) { FormKeyDown(e); };
    showForm_->OnForwardKeyUp = [this](QKeyEvent* e) { keyReleaseEvent(e); };
    showForm_->SetStats(&TimingStats());
    showForm_->LoadFromSettings(Settings());
    aboutBox_ = new TAboutBox();
    aboutBox_->setObjectName(QStringLiteral("AboutBox"));
    shortCuts_ = new TShortcutsWindow();
    shortCuts_->setObjectName(QStringLiteral("ShortCuts"));
    shortCuts_->LoadFromSettings(Settings());
    practiceForm_ = new TPracticeWindow();
    practiceForm_->OnForwardKeyDown = [this](QKeyEvent* e) { FormKeyDown(e); };
    practiceForm_->OnForwardKeyUp = [this](QKeyEvent* e) { keyReleaseEvent(e); };
    practiceLink_ =
        std::make_unique<TPracticeLink>(*session_, *practiceForm_, *timers_, TSessionRecord::DefaultFolder());
    practiceLink_->OpenUrl = [this](const std::string& url) { return commands_->UrlOpener().OpenUrl(url); };
    practiceLink_->OnStatus = [this](const std::string& m) { ShowStatus(m); };
    commands_->CreateScope();
    session_->EnterInputMode();
}

TScopeWindow* TMainWindow::ScopeWindow() const {
    return commands_->Scope() ? commands_->Scope()->Form() : nullptr;
}

TMainWindow::~TMainWindow() {
    // An injected device may outlive the window: it must not call back.
    if (soundOut_ && !closed_)
        soundOut_->Stop();
    if (soundIn_) {
        if (!closed_)
            soundIn_->Stop();
        soundIn_->OnBufferRecorded = nullptr;
        soundIn_->OnStatus = nullptr;
    }
    session_->RemoveListener(this);
    recorder_.reset();
    SerialPorts().OnPortsChanged = nullptr;
    paramLink_.reset();
    practiceLink_.reset();
    delete practiceForm_;
    delete paramForm_;
    delete showForm_;
    delete aboutBox_;
    delete shortCuts_;
}

void TMainWindow::BuildLayout() {
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
    lastCharLabel_ = speedBar_->lastCharLabel_();
    SpeedUpDown = speedBar_->UpDown();
    col->addWidget(speedBar_);

    // The pattern strip and the two panels.
    panels_ = new TKeyingPanels(central);
    panels_->setObjectName(QStringLiteral("KeyingPanels"));
    panels_->OnMouseKey = [this](bool down, uint64_t ts) { KeyInput().KeyboardMouse().Key(down, ts); };
    panels_->OnRedrawRed = [this] { RedrawRedStrip(); };
    panels_->OnResetReplayStats = [this] {
        if (showForm_)
            showForm_->ResetValues(TTimingStats::kLastReplay);
        else
            TimingStats().ResetValues(TTimingStats::kLastReplay);
    };
    panels_->OnMessage = [this](const std::string& m) { boxes_->Message(QString::fromStdString(m)); };
    panels_->OnStatus = [this](const std::string& m) { ShowStatus(m); };
    strip_ = panels_->Strip();
    upperPanel_ = panels_->Upper();
    lowerPanel_ = panels_->Lower();
    strip_->GreenPatterns = [this] {
        std::vector<uint16_t> codes;
        const std::string text = lowerPanel_->GreenText();
        for (size_t i = 0; i < text.size(); ++i)
            codes.push_back(Generator().PatternOf(Sending().PanelChar(text, i)));
        return codes;
    };
    col->addWidget(panels_, 1);

    setCentralWidget(central);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setSizeGripEnabled(true);
}

// ---------------------------------------------------------------------------
// Create and close

void TMainWindow::FormCreate() {
    versionText_ = ::VersionText();
    lastCharLabel_->clear();

    session_ = std::make_unique<KeyingSession>(*clock_, *timers_, soundOut_, panels_);
    session_->AddListener(this);
    statusLine_ = std::make_unique<TStatusLine>(*session_, *statusBar());
    // Every run's keying is kept; without a writable folder the status line
    // says so once and keying goes on.
    recorder_ = std::make_unique<TSessionRecorder>(*session_, TSessionRecord::DefaultFolder(),
                                                   "orvo-tapmeter " + versionText_.toStdString());
    recorder_->OnError = [this](const std::string& m) { ShowStatus(m); };
    Sending().Wait = [this](int ms) { WaitEvents(ms); };
    commands_ = std::make_unique<TWindowCommands>(this, *session_, *boxes_, soundIn_, fileDialogs_);
    // The keyboard's Morse keys in every window of the program.
    keyMapping_ = std::make_unique<TKeyMapping>(KeyInput().KeyboardMouse(), this);
    qApp->installEventFilter(keyMapping_.get());

    // Settings.
    if (settingsFolder_.isEmpty())
        settingsFolder_ = QString::fromStdString(SettingsFolder());
    if (!settingsFolder_.isEmpty() && !settingsFolder_.endsWith(QLatin1Char('/')))
        settingsFolder_ += QLatin1Char('/');
    QSize screen(1024, 768);
    if (QScreen* s = QGuiApplication::primaryScreen())
        screen = s->size();
    TSettings stored;
    std::string error;
    if (!LoadSettingsFile(settingsFolder_.toStdString(), stored, screen.width(), screen.height(), error))
        boxes_->Message(QString::fromStdString(error));

    if (soundIn_) {
        soundIn_->OnStatus = [this](const std::string& m) { session_->SoundStatusChanged(m); };
        soundIn_->SetBufferSamples(800);
        soundIn_->SetBufferTime(100);
        soundIn_->SetChannels(1);
    }
    // The stored settings take effect once, through the session.
    const std::string soundOff = session_->Start(stored);
    std::vector<std::string> keyMessages;
    keyMapping_->Apply(Settings(), &keyMessages);
    for (const std::string& m : keyMessages)
        ShowStatus(m);
    SpeedUpDown->SetPosition(Settings().TargetSpeed);
    ShowSpeed();
    lowerPanel_->SetAllCaps(Settings().AllCaps);
    upperPanel_->SetAllCaps(Settings().AllCaps);
    speedBar_->SetWpM(Settings().WpM);
    strip_->SetShowGreen(Settings().ShPatt);
    SetCharSize(CharSizePoints(Settings().CharSizeItem));
    resize(std::max(stored.Width, minimumWidth()), std::max(stored.Height, minimumHeight()));
    move(stored.Left, stored.Top);
    if (!soundOff.empty())
        session_->SoundStatusChanged(soundOff);

    serialInput_ = std::make_unique<TSerialInput>(injectedLines_, *session_);
    // Ports detected again: a vanished port in use ends COM mode, then the
    // parameters window's list follows.
    SerialPorts().OnPortsChanged = [this] {
        serialInput_->PortsChanged();
        if (paramForm_)
            paramForm_->RefillComPorts();
    };

    speedChangeConfirmed_ = false;
    if (!Settings().ShTyped)
        ShowTyped(false);
    decodedHidden_ = false;
}

TSettings TMainWindow::SettingsToSave() const {
    // The session's settings: every choice was handed to it when made; only
    // the windows' places are read now.
    TSettings s = Settings();
    s.InitMax = isMaximized();
    if (!s.InitMax) {
        s.Top = y();
        s.Left = x();
        s.Width = width();
        s.Height = height();
    }
    paramForm_->SaveToSettings(s);
    showForm_->SavePlacement(s);
    shortCuts_->SaveToSettings(s);
    return s;
}

bool TMainWindow::FormCloseQuery() {
    Generator().ReleasePttNow();
    DropTypeAhead();
    if (Settings().AskEnd &&
        !boxes_->AskOkCancel(QStringLiteral("Do you really want to exit Orvo Tapmeter?"))) {
        Generator().Resume();
        return false;
    }
    session_->Stop();
    if (soundIn_)
        soundIn_->Stop();
    return true;
}

void TMainWindow::FormClose() {
    TSettingsInfo info;
    info.name = "Orvo Tapmeter - Morse keying timing meter";
    info.version = versionText_.toStdString();
    std::string error;
    if (!SaveSettingsFile(settingsFolder_.toStdString(), SettingsToSave(), info, error))
        boxes_->Message(QString::fromStdString(error));
    Generator().Stop();
    if (soundOut_)
        soundOut_->Close();
    if (soundIn_)
        soundIn_->Close();
    paramForm_->hide();
    showForm_->hide();
    aboutBox_->hide();
    shortCuts_->hide();
    practiceForm_->hide();
    if (ScopeWindow())
        ScopeWindow()->ShowScope(false);
    session_->RemoveListener(this);
}

void TMainWindow::closeEvent(QCloseEvent* e) {
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
// Session events

void TMainWindow::ActualSpeed(uint32_t cpm) { speedBar_->ShowActual(cpm); }
void TMainWindow::AverageSpeed(uint32_t cpm) { speedBar_->ShowAverage(cpm); }

void TMainWindow::PausedChanged(bool paused) {
    panels_->SetPausedNotice(paused);
    commands_->SetPaused(paused);
}

void TMainWindow::Message(const std::string& text) { boxes_->Message(QString::fromStdString(text)); }
void TMainWindow::FlashKeying() { strip_->Flash(); }

void TMainWindow::BlockProcessed(int l, const int32_t* env, const int32_t* thr, const int32_t* key) {
    commands_->BlockProcessed(l, env, thr, key);
}

void TMainWindow::SettingsApplied(const TSettings& before, const TSettings& now) {
    if (before.TargetSpeed != now.TargetSpeed) {
        SpeedUpDown->SetPosition(now.TargetSpeed);
        ShowSpeed();
    }
    if (before.AllCaps != now.AllCaps) {
        strip_->update();
        for (TCWHighlightLabel* l : {lowerPanel_, upperPanel_})
            l->SetAllCaps(now.AllCaps);
    }
    if (before.WpM != now.WpM)
        SpeedDisplayChanged();
    if (before.ShPatt != now.ShPatt)
        strip_->SetShowGreen(now.ShPatt);
    if (keyMapping_ && (before.Keyer != now.Keyer || before.StraightKey != now.StraightKey ||
                        before.PaddleDit != now.PaddleDit || before.PaddleDah != now.PaddleDah)) {
        std::vector<std::string> keyMessages;
        keyMapping_->Apply(now, &keyMessages);
        for (const std::string& m : keyMessages)
            ShowStatus(m);
    }
    if (before.CharSizeItem != now.CharSizeItem)
        SetCharSize(CharSizePoints(now.CharSizeItem));
}

void TMainWindow::ShowPracticeClick() { practiceLink_->Toggle(); }

void TMainWindow::SetBinaural(bool on) {
    TSettings s = Settings();
    s.Binaural = on;
    session_->Apply(s);
}

void TMainWindow::ForwardKeyDown(int qtKey, bool shift) {
    QKeyEvent e(QEvent::KeyPress, qtKey, shift ? Qt::ShiftModifier : Qt::NoModifier);
    FormKeyDown(&e);
}

// ---------------------------------------------------------------------------
// Sound

QString TMainWindow::SoundStatus() const { return statusLine_->Sound(); }

QString TMainWindow::StatusMessage() const { return statusLine_->Message(); }

void TMainWindow::ShowStatus(const std::string& message) { statusLine_->ShowMessage(message); }

void TMainWindow::WaitEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
