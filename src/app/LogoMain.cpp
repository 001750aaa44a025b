#include "app/LogoMain.h"

#include "controls/CWHighlightLabel.h"
#include "devices/QtClock.h"
#include "devices/SoundIn.h"
#include "devices/SoundOut.h"
#include "windows/About.h"
#include "windows/Shorts.h"
#include "windows/ShowUnit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kStripHeight = 136;
constexpr int kTopBarHeight = 41;
constexpr int kBottomHeight = 166;
constexpr int kTypedShownHeight = 164;
constexpr int kPixelsPerDot = 30;
constexpr int32_t kZoneToLast = 0x7FFFFFFF;
constexpr int32_t kZoneToFirst = -0x7FFFFFFF;
const QColor kDarkGreen(0, 128, 0);

const char* const kSpeedWarning =
    "You are about to change your selected Target Speed.\r\n"
    "This may render all timing statistics and graphic displays invalid.\r"
    "Do you want to proceed?";

QFont FixedFont(int pixels, bool bold)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// Windows-1252 bytes to text for display (the characters the decoder and
// the generator use lie in the Latin-1 range).
QString FromBytes(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

Qt::KeyboardModifiers Mods(const QKeyEvent* e)
{
    return e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

// The sound devices used when none are injected: the system's default
// output and input.
std::unique_ptr<ISoundOut> CreateDefaultSoundOut() { return std::make_unique<TSoundOut>(); }
std::unique_ptr<ISoundIn> CreateDefaultSoundIn() { return std::make_unique<TSoundIn>(); }

constexpr const char* kTypeAheadFull = "Warning: Type-ahead buffer is full: ";

}  // namespace

// ---------------------------------------------------------------------------

void TPatternStrip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (OnPaint)
        OnPaint(p);
}

TSpeedUpDown::TSpeedUpDown(QWidget* parent) : QWidget(parent)
{
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(17, 13);
        b->setAutoRepeat(true);
        lay->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, [this] { if (OnClick) OnClick(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { if (OnClick) OnClick(-1); });
}

// ---------------------------------------------------------------------------

TLogoAppForm::TLogoAppForm(IClock* clock, ITimerFactory* timers, IMessageBoxes* boxes,
                           const QString& settingsFolder, ISoundOut* soundOut, ISoundIn* soundIn)
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
      settingsFolder_(settingsFolder),
      keyTiming_(*clock_)
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
    flashTimer_ = timers_->CreateTimer();
    flashTimer_->SetInterval(50);
    flashTimer_->OnTimer = [this] {
        flashTimer_->Stop();
        flashing_ = false;
        PaintBox1->update();
    };

    FormCreate();

    // The auxiliary windows come after the main window and take their
    // positions from the settings it has just read.
    showForm_ = new TShowForm();
    showForm_->setObjectName(QStringLiteral("ShowForm"));
    showForm_->ReferenceText = [this](bool average) {
        return (average ? AvgSpeed->text() : CWSpeed->text()) + QLatin1Char(' ') + WpMCpMText->text();
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
}

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
    cwout_.OnCharStart = nullptr;
    cwout_.OnCharSent = nullptr;
    cwout_.OnLastChar = nullptr;
    cwout_.OnPttChanged = nullptr;
    cwout_.OnPatternStart = nullptr;
    cwout_.OnPatternLastSpace = nullptr;
    cwout_.OnPatternEnd = nullptr;
    cwout_.OnSpeedChanged = nullptr;
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

    // Top bar.
    auto* top = new QWidget(central);
    top->setObjectName(QStringLiteral("TopBar"));
    top->setFixedHeight(kTopBarHeight);
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(6);

    DecCharLabel = new QLabel(top);
    DecCharLabel->setObjectName(QStringLiteral("DecCharLabel"));
    DecCharLabel->setFont(FixedFont(36, true));
    DecCharLabel->setStyleSheet(QStringLiteral("color: red;"));
    DecCharLabel->setMinimumWidth(170);
    QSizePolicy keep = DecCharLabel->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    DecCharLabel->setSizePolicy(keep);
    row->addWidget(DecCharLabel);
    row->addStretch(1);

    auto addCaption = [&](const char* text, const char* name) {
        auto* l = new QLabel(QString::fromLatin1(text), top);
        if (name)
            l->setObjectName(QString::fromLatin1(name));
        row->addWidget(l);
        return l;
    };
    auto addSpeedBox = [&](const char* name, bool readOnly) {
        auto* e = new QLineEdit(top);
        e->setObjectName(QString::fromLatin1(name));
        e->setFixedWidth(52);
        e->setAlignment(Qt::AlignRight);
        e->setReadOnly(readOnly);
        e->setFocusPolicy(readOnly ? Qt::NoFocus : Qt::ClickFocus);
        row->addWidget(e);
        return e;
    };

    addCaption("Target Speed", nullptr);
    CWSpeed = addSpeedBox("CWSpeed", false);
    CWSpeed->setMaxLength(4);
    CWSpeed->setText(QStringLiteral("60"));
    CWSpeed->installEventFilter(this);
    SpeedUpDown = new TSpeedUpDown(top);
    SpeedUpDown->setObjectName(QStringLiteral("SpeedUpDown"));
    SpeedUpDown->SetRange(20, 300);
    SpeedUpDown->SetPosition(60);
    SpeedUpDown->setToolTip(QStringLiteral("Change target speed"));
    SpeedUpDown->setStatusTip(QStringLiteral("Change target speed"));
    SpeedUpDown->OnClick = [this](int d) { SpeedUpDownClick(d); };
    row->addWidget(SpeedUpDown);
    WpMCpMText = addCaption("CpM", "WpMCpMText");
    row->addSpacing(16);
    addCaption("Actual Speed", nullptr);
    RecSpeed = addSpeedBox("RecSpeed", true);
    WpMCpMText2 = addCaption("CpM", "WpMCpMText2");
    row->addSpacing(16);
    addCaption("Avg Speed", nullptr);
    AvgSpeed = addSpeedBox("AvgSpeed", true);
    WpmCpmText3 = addCaption("CpM", "WpmCpmText3");
    col->addWidget(top);

    // Pattern strip with its two notices over it.
    auto* strip = new QWidget(central);
    strip->setObjectName(QStringLiteral("StripArea"));
    strip->setFixedHeight(kStripHeight);
    auto* grid = new QGridLayout(strip);
    grid->setContentsMargins(0, 0, 0, 0);
    PaintBox1 = new TPatternStrip(strip);
    PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
    PaintBox1->OnPaint = [this](QPainter& p) { PaintPatternStrip(p); };
    PaintBox1->installEventFilter(this);
    grid->addWidget(PaintBox1, 0, 0);
    auto notice = [&](const char* text, const char* name) {
        auto* l = new QLabel(QString::fromLatin1(text), strip);
        l->setObjectName(QString::fromLatin1(name));
        QFont f = l->font();
        f.setBold(true);
        f.setPixelSize(16);
        l->setFont(f);
        l->setStyleSheet(QStringLiteral("color: red;"));
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        l->hide();
        grid->addWidget(l, 0, 0, Qt::AlignCenter);
        return l;
    };
    SoundPausedText = notice("Sound Input Paused (F7)", "SoundPausedText");
    HiddenText = notice("All Decoded Characters Are Hidden (F4)", "HiddenText");
    col->addWidget(strip);

    // A text panel in its own container; both route their mouse buttons here.
    auto panel = [this, central](QWidget*& box, const char* boxName, const char* name, int fontPx,
                                 const QColor& bold, int topMargin) {
        box = new QWidget(central);
        box->setObjectName(QLatin1String(boxName));
        auto* lay = new QVBoxLayout(box);
        lay->setContentsMargins(0, topMargin, 0, 0);
        auto* label = new TCWHighlightLabel(box);
        label->setObjectName(QLatin1String(name));
        label->setFont(FixedFont(fontPx, false));
        label->SetColorRxText(Qt::black);
        label->SetColorRxBold(bold);
        label->installEventFilter(this);
        lay->addWidget(label);
        return label;
    };
    // Decoded characters.
    CWLabel2 = panel(middle_, "Middle", "CWLabel2", 60, Qt::red, 0);
    middle_->installEventFilter(this);
    col->addWidget(middle_, 1);

    // Typed characters.
    CWLabel1 = panel(bottom_, "Bottom", "CWLabel1", 16, kDarkGreen, 2);
    bottom_->setFixedHeight(kBottomHeight);
    CWLabel1->setMaximumHeight(160);
    col->addWidget(bottom_);

    setCentralWidget(central);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setSizeGripEnabled(true);
    // The sound line stays in the status bar; menu hints cover it only while shown.
    soundStatus_ = new QLabel(statusBar());
    soundStatus_->setObjectName(QStringLiteral("SoundStatus"));
    statusBar()->addWidget(soundStatus_, 1);
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
         [] {});
    item(file, "&Load text from file", "Load text from a file to the lower panel", "FileLoadItem",
         QKeySequence("Ctrl+L"), [] {});
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
    InputMixer1 = item(params, "&Input Mixer", "Show Input Mixer", "InputMixer1", QKeySequence(), [] {});
    item(params, "&Output Mixer", "Show Output Mixer", "OutputMixer1", QKeySequence(), [] {});

    QMenu* help = menu("&Help", "Help topics", "Help1");
    item(help, "&Help", "Show Help in Browser", "Help2", QKeySequence("F1"), [this] {
        ClearFocus();
        const QString page = QCoreApplication::applicationDirPath() + QStringLiteral("/help/helporvotapmtr.htm");
        QDesktopServices::openUrl(QUrl::fromLocalFile(page));
    });
    item(help, "Short&Cuts", "Show page with shortcuts", "ShortCuts1", QKeySequence("Ctrl+F1"),
         [this] { ShortCuts1Click(); });
    item(help, "&Show Orvo homepage", "Show Orvo homepage in browser", "ShowHomepage", QKeySequence(), [] {});
    item(help, "&About...", "Show program information and version number", "HelpAbout1",
         QKeySequence(), [this] { HelpAbout1Execute(); });

    // Menu shortcuts work whether or not the bar has the focus.
    for (QAction* a : findChildren<QAction*>())
        a->setShortcutContext(Qt::WindowShortcut);
}

QAction* TLogoAppForm::Action(const char* objectName) const
{
    return findChild<QAction*>(QString::fromLatin1(objectName));
}

// ---------------------------------------------------------------------------
// Create and close

void TLogoAppForm::FormCreate()
{
    CWSpeed->setReadOnly(false);
    versionText_ = ::VersionText();
    DecCharLabel->clear();

    calculat_ = std::make_unique<TCalculat>(*timers_, this, &stats_);
    calculat_->OnNewPattern = [this](uint32_t d, bool bl, bool en) { Calculat1NewPatternFound(d, bl, en); };
    calculat_->OnNewTempo = [this](uint32_t t) { DisplayNewTempo(t); };
    calculat_->OnNewAvgTempo = [this](uint32_t t) { DisplayNewAvgTempo(t); };
    calculat_->SetBandwidthIndex(2);
    stats_.DotSamples = [this] { return double(cwout_.DotSamples()); };
    stats_.WordTimeout = [this] { return calculat_->WordTimeout(); };
    stats_.AverageSpeed = [this] { return calculat_->AvgTempo(); };

    cwout_.SetMinSpeed(20);
    cwout_.SetTimePttHold(100);
    cwout_.SetLogAmplitude(-10);
    cwout_.OnSpeedChanged = [this](int32_t s) { CWout1SpeedChanged(s); };
    cwout_.OnPttChanged = [this](bool on) { CWout1PttChanged(on); };
    cwout_.OnCharStart = [this](char ch) { CWout1CharStart(ch); };
    cwout_.OnCharSent = [this](char ch) { CWout1CharSent(ch); };
    cwout_.OnLastChar = [this] { CWout1LastChar(); };
    cwout_.OnPatternStart = [this](char) { CWout1PatternStart(); };
    cwout_.OnPatternLastSpace = [this] { CWout1PatternLastSpace(); };
    cwout_.OnPatternEnd = [this] { CWout1PatternEnd(); };

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

    keyVolume_ = settings_.Muted ? 0 : 65535;
    keyTiming_.Reset();

    // Output to the sound card: two buffers of 100 ms at 8000 Hz, one
    // channel, or two for binaural output. The generator refills each
    // played buffer, so it must run before the output starts.
    if (soundOut_) {
        soundOut_->OnBufferPlayed = [this](int16_t* pb, uint32_t bytes) { SoundOut1BufferPlayed(pb, bytes); };
        soundOut_->OnStatus = [this](const std::string& m) { SoundStatusChanged(QString::fromStdString(m)); };
        soundOut_->SetSampleRate(8000);
        soundOut_->SetBufferTime(100);
        soundOut_->SetChannels(settings_.Binaural ? 2 : 1);
        // Gate closed before the first buffers: in stereo the left channel
        // carries the steady sidetone from the first sample on.
        soundOut_->SetVolume(0);
    }
    if (soundIn_) {
        soundIn_->OnStatus = [this](const std::string& m) { SoundStatusChanged(QString::fromStdString(m)); };
        soundIn_->SetBufferSamples(800);
        soundIn_->SetBufferTime(100);
        soundIn_->SetChannels(1);
    }
    cwout_.SetStereo(soundOut_ ? soundOut_->Channels() == 2 : settings_.Binaural);
    cwout_.Start();
    // Without sound the program still keys and decodes; the status bar says why.
    if (!soundOut_)
        SoundStatusChanged(QStringLiteral("Sound output is off: no sound output device"));
    else if (!soundOut_->Start())
        SoundStatusChanged(QStringLiteral("Sound output is off: ") + QString::fromStdString(soundOut_->LastError()));

    inputMode_ = -1;
    keyIsDown_ = false;
    replaying_ = sendingTyped_ = firstOnly_ = false;
    replayPending_ = sendingBusy_ = false;
    prosignState_ = 0;
    speedChangeConfirmed_ = false;
    SetVolume(1);
    cwout_.SetBuffersize(10000);
    // Without a parameters window the stored mode is applied here; modes
    // this build cannot run end in Keybd/Mouse.
    if (settings_.RXInput == WavFile)
        SetInputMode(KeybdMouse);
    SetInputMode(settings_.RXInput);
    if (!settings_.ShTyped)
        ShowTyped(false);
    decodedHidden_ = false;
}

void TLogoAppForm::ApplySettings()
{
    const TSettings& s = settings_;
    SpeedUpDown->SetPosition(s.TargetSpeed);
    CWSpeed->setText(QString::number(SpeedUpDown->Position()));
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
    UpdateUnitCaptions();


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
    s.RXInput = inputMode_ < 0 ? 0 : inputMode_;
    s.InitMax = isMaximized();
    if (!s.InitMax) {
        s.Top = y();
        s.Left = x();
        s.Width = width();
        s.Height = height();
    }
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
    showForm_->hide();
    aboutBox_->hide();
    shortCuts_->hide();
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
// Input mode and key input

bool TLogoAppForm::SetInputMode(int newMode)
{
    keyIsDown_ = false;
    bool result = true;
    if (newMode < 0 || newMode > 3)
        newMode = KeybdMouse;
    if (newMode == inputMode_)
        return true;

    switch (inputMode_) {
    case KeybdMouse:
    case ComPort:
        // The buffers already queued still hold the sidetone: let them
        // play behind the closed gate before opening it.
        cwout_.KeyTone = false;
        WaitOutput(2 * (soundOut_ ? soundOut_->BufferTime() : 0));
        SetVolume(keyVolume_);
        break;
    default:
        break;
    }

    int mode = newMode;
    switch (newMode) {
    case SoundInput:
        // No sound input device in this build: it does not start.
        result = false;
        break;
    case ComPort:
        boxes_->Message(QStringLiteral("Error: cannot open ComPort COM") + QString::number(settings_.RXComPort));
        result = false;
        break;
    case WavFile:
        // No WAV reader in this build: as if the file choice was cancelled.
        result = false;
        break;
    default:
        break;
    }
    if (!result || newMode == KeybdMouse) {
        mode = KeybdMouse;
        SetVolume(0);
        cwout_.KeyTone = true;
    }

    inputMode_ = mode;
    calculat_->ResetElements();
    calculat_->SetPaused(false);
    SoundPausedText->hide();
    return result;
}

void TLogoAppForm::MorseKey(bool down, uint64_t timestamp)
{
    if (replaying_ || replayPending_ || (pttActive_ && !settings_.Binaural))
        return;
    if (down) {
        if (!settings_.KeyMuted) {
            if (settings_.Binaural)
                SetVolumeLeft(keyVolume_);
            else
                SetVolume(keyVolume_);
        }
        if (!keyIsDown_) {
            calculat_->KeyTransition(keyTiming_.Transition(timestamp), true);
            keyIsDown_ = true;
        }
    } else {
        if (settings_.Binaural)
            SetVolumeLeft(0);
        else
            SetVolume(0);
        if (keyIsDown_) {
            calculat_->KeyTransition(keyTiming_.Transition(timestamp), false);
            keyIsDown_ = false;
        }
    }
}

void TLogoAppForm::keyPressEvent(QKeyEvent* e)
{
    FormKeyDown(e);
    // Then the character the key types, as the window system delivers it.
    switch (e->key()) {
    case Qt::Key_Escape:
        FormKeyPress(27);
        return;
    case Qt::Key_Backspace:
        FormKeyPress(8);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        FormKeyPress(13);
        return;
    case Qt::Key_Delete:
    case Qt::Key_Tab:
        return;
    default:
        break;
    }
    // Alt combinations are menu accelerators, not text.
    if (Mods(e) & Qt::AltModifier && !(Mods(e) & Qt::ControlModifier))
        return;
    const QString text = e->text();
    if (text.size() != 1)
        return;
    const char16_t u = text.at(0).unicode();
    // The generator's character set is Windows-1252; Latin-1 covers every
    // character it can send.
    if (u == 0 || u > 0xFF || u == 0x7F)
        return;
    FormKeyPress(static_cast<unsigned char>(u));
}

void TLogoAppForm::keyReleaseEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Right) {
        // The window system repeats a held key as release/press pairs
        // marked auto-repeat; only the real release ends the mark.
        if (inputMode_ == KeybdMouse && !e->isAutoRepeat())
            MorseKey(false, e->timestamp());
        return;
    }
    QMainWindow::keyReleaseEvent(e);
}

void TLogoAppForm::FormKeyDown(QKeyEvent* e)
{
    const int key = e->key();
    const Qt::KeyboardModifiers mods = Mods(e);
    const bool none = mods == Qt::NoModifier;
    const bool ctrl = mods == Qt::ControlModifier;
    const bool shift = mods == Qt::ShiftModifier;
    const bool shiftCtrl = mods == (Qt::ShiftModifier | Qt::ControlModifier);

    if (key == Qt::Key_Right) {
        if (inputMode_ == KeybdMouse)
            MorseKey(true, e->timestamp());
        return;
    }
    if (replaying_ || replayPending_ || sendingTyped_)
        return;

    switch (key) {
    case Qt::Key_F3:
        if (none)
            ShowTimingClick();
        break;
    case Qt::Key_F4:
        ShowHideDecodedChars();
        break;
    case Qt::Key_F5:
        if (none && showForm_->isVisible())
            showForm_->ResetValues(showForm_->ShownSet());
        break;
    case Qt::Key_F7:
    case Qt::Key_Pause:
        // Pausing applies to Sound Input only, which this build cannot run.
        break;
    case Qt::Key_F8:
        if (none)
            ShowTyped(!settings_.ShTyped);
        break;
    case Qt::Key_Delete:
        if (none)
            ClearPanel2Click();
        else if (ctrl) {
            DropTypeAhead();
            ClearPanel1Click();
        }
        break;
    case Qt::Key_Up:
    case Qt::Key_Down: {
        int step = 0;
        if (none || ctrl)
            step = 1;
        else if (shift)
            step = 10;
        else if (shiftCtrl)
            step = 100;
        if (step)
            ChangeTargetSpeed(key == Qt::Key_Up ? step : -step);
        ClearFocus();
        e->accept();
        break;
    }
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const int32_t d = key == Qt::Key_PageUp ? -1 : 1;
        if (none)
            ZoneMove(1, d);
        else if (ctrl)
            ZoneMove(2, d);
        else if (shift)
            ZoneMove(3, d);
        break;
    }
    case Qt::Key_Home:
    case Qt::Key_End: {
        const int32_t d = key == Qt::Key_Home ? kZoneToFirst : kZoneToLast;
        if (none)
            ZoneMove(1, d);
        else if (ctrl)
            ZoneMove(2, d);
        break;
    }
    case Qt::Key_F9:
        if (none || shift)
            ReplayRed(shift);
        else if (ctrl || shiftCtrl)
            ReplayGreen(shiftCtrl);
        break;
    default:
        QMainWindow::keyPressEvent(e);
        break;
    }
}

bool TLogoAppForm::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == CWSpeed) {
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            const Qt::KeyboardModifiers mods = Mods(k);
            switch (k->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Escape:
                CWSpeedKeyPress(k->key());
                return true;
            case Qt::Key_Up:
            case Qt::Key_Down: {
                int step = 1;
                if (mods == (Qt::ShiftModifier | Qt::ControlModifier))
                    step = 100;
                else if (mods == Qt::ShiftModifier)
                    step = 10;
                ChangeTargetSpeed(k->key() == Qt::Key_Up ? step : -step);
                return true;
            }
            case Qt::Key_F2:
            case Qt::Key_F3:
            case Qt::Key_F5:
            case Qt::Key_F8:
                ClearFocus();
                FormKeyDown(k);
                return true;
            case Qt::Key_Delete:
                if (CWSpeed->cursorPosition() == CWSpeed->text().size()) {
                    ClearFocus();
                    FormKeyDown(k);
                    return true;
                }
                break;
            default:
                break;
            }
        } else if (e->type() == QEvent::FocusIn) {
            CWSpeed->end(false);
        } else if (e->type() == QEvent::FocusOut) {
            if (CWSpeed->isModified())
                CWSpeedKeyPress(Qt::Key_Return);
        }
        return false;
    }

    if (watched == PaintBox1 || watched == CWLabel1 || watched == CWLabel2 || watched == middle_) {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {  // a quick second press arrives as a double click
            auto* m = static_cast<QMouseEvent*>(e);
            if (m->button() == Qt::LeftButton) {
                if (inputMode_ == KeybdMouse)
                    MorseKey(true, m->timestamp());
                return true;
            }
            break;
        }
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (m->button() == Qt::LeftButton) {
                if (inputMode_ == KeybdMouse)
                    MorseKey(false, m->timestamp());
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void TLogoAppForm::ClearFocus()
{
    if (QWidget* f = focusWidget())
        f->clearFocus();
    setFocus(Qt::OtherFocusReason);
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

void TLogoAppForm::SpeedUpDownClick(int direction)
{
    const Qt::KeyboardModifiers mods =
        QGuiApplication::queryKeyboardModifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    int step = direction;
    if (mods == (Qt::ShiftModifier | Qt::ControlModifier))
        step *= 100;
    else if (mods == Qt::ShiftModifier)
        step *= 10;
    ChangeTargetSpeed(step);
    ClearFocus();
}

void TLogoAppForm::CWSpeedKeyPress(int /*key*/)
{
    const QString text = CWSpeed->text().trimmed();
    int speed = cwout_.Speed();
    bool ok = false;
    if (settings_.WpM) {
        const double wpm = QLocale::c().toDouble(text, &ok);
        if (ok && std::isfinite(wpm) && std::fabs(wpm) < 1e6)
            speed = int(std::lround(wpm * 5.0));
    } else {
        const int v = QLocale::c().toInt(text, &ok);
        if (ok)
            speed = v;
    }
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
    SpeedUpDown->SetPosition(cwout_.Speed());
    calculat_->SetTempo(cwout_.Speed());
    ShowSpeed();
    stats_.UpdateDisplay();
    RedrawRedStrip();
    CWSpeed->setModified(false);
    ClearFocus();
}

void TLogoAppForm::ShowSpeed()
{
    const int speed = cwout_.Speed();
    SpeedUpDown->SetPosition(speed);
    CWSpeed->setText(settings_.WpM ? QString::number(speed / 5.0, 'f', 1) : QString::number(speed));
    CWSpeed->end(false);
    CWSpeed->setModified(false);
}

void TLogoAppForm::CWout1SpeedChanged(int /*speed*/) { ShowSpeed(); }

QString TLogoAppForm::FormatSpeed(uint32_t cpm) const
{
    // QString::number never uses the locale: the decimal point is always ".".
    return settings_.WpM ? QString::number(cpm / 5.0, 'f', 1) : QString::number(cpm);
}

void TLogoAppForm::UpdateUnitCaptions()
{
    const QString unit = settings_.WpM ? QStringLiteral("WpM") : QStringLiteral("CpM");
    WpMCpMText->setText(unit);
    WpMCpMText2->setText(unit);
    WpmCpmText3->setText(unit);
}

void TLogoAppForm::DisplayNewTempo(uint32_t cpm)
{
    if (cpm == 0) {
        RecSpeed->clear();
        AvgSpeed->clear();
        return;
    }
    RecSpeed->setText(FormatSpeed(cpm));
}

void TLogoAppForm::DisplayNewAvgTempo(uint32_t cpm)
{
    if (cpm == 0)
        AvgSpeed->clear();
    else
        AvgSpeed->setText(FormatSpeed(cpm));
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
    if (showForm_ && showForm_->AutoReset()) {
        ShowTimer->Stop();
        ShowTimer->SetInterval(uint32_t(showForm_->AutoResetSeconds()) * 1000u);
        ShowTimer->Start();
    }
}

void TLogoAppForm::ShowTimerTimer()
{
    stats_.ResetValues(0);
    if (showForm_->AutoClose())
        showForm_->hide();
    ShowTimer->Stop();
}

void TLogoAppForm::ClearPanel2Click()
{
    CWLabel2->Clear();
    calculat_->ClearHistory();
    redBars_.clear();
    timeoutMarks_.clear();
    PaintBox1->update();
    RecSpeed->clear();
    calculat_->ResetAvgTempo();
    AvgSpeed->clear();
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

void TLogoAppForm::DropTypeAhead()
{
    for (;;) {
        const char c = cwout_.DeleteLastChar();
        if (c == '\0')
            break;
        CWLabel1->DeleteLast(int(PanelText(c).size()));
    }
}

void TLogoAppForm::ZoneMove(int which, int32_t delta)
{
    const bool jump = delta == kZoneToFirst || delta == kZoneToLast;
    if (which & 1) {
        const int32_t before = CWLabel2->RedStart();
        const int32_t after = CWLabel2->MoveRedStart(delta);
        if (delta == kZoneToFirst)
            calculat_->MoveCursor(TCalculat::kToOldest);
        else if (delta == kZoneToLast)
            calculat_->MoveCursor(TCalculat::kToNewest);
        else if (after != before)
            calculat_->MoveCursor(delta);
        if (!jump || after != before)
            RedrawRedStrip();
    }
    if (which & 2) {
        CWLabel1->MoveGreenStart(delta);
        PaintBox1->update();
    }
}

void TLogoAppForm::ShowHideDecodedChars()
{
    decodedHidden_ = !decodedHidden_;
    PaintBox1->setVisible(!decodedHidden_);
    DecCharLabel->setVisible(!decodedHidden_);
    CWLabel2->SetTextHidden(decodedHidden_);
    HiddenText->setVisible(decodedHidden_);
}

void TLogoAppForm::ShowTyped(bool on)
{
    settings_.ShTyped = on;
    bottom_->setFixedHeight(on ? kTypedShownHeight : 1);
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

void TLogoAppForm::SetParameters1Click()
{
    // The parameters window is not part of this build yet.
}

// ---------------------------------------------------------------------------
// Pattern strip

void TLogoAppForm::RedrawRedStrip()
{
    redBars_.clear();
    timeoutMarks_.clear();
    TCalculat& calc = *calculat_;
    calc.ClearTimingSums();
    if (calc.HistCount() > 0) {
        const int w = PaintBox1->width();
        const double dotMs = std::max(1, cwout_.DotSamples()) / 8.0;
        const int32_t wordSpace = calc.NominalWordSpace();
        double total = 0;
        int x = kPixelsPerDot;
        auto advance = [&](double ms) {
            total += ms;
            x = std::max(x + 1, kPixelsPerDot + int(std::lround(total * kPixelsPerDot / dotMs)));
        };
        const int32_t oldest = calc.Browsing() ? calc.CursorBack() : 0;
        CharRecord rec{};
        for (int32_t back = oldest; back >= 0 && x < w; --back) {
            calc.GetCharRecord(uint32_t(back), rec);
            if (back == oldest) {
                calc.AccumulateRecord(rec);
                const QString t = FromBytes(cwdecode_.Decode(rec[0], false));
                DecCharLabel->setText(settings_.AllCaps ? t.toUpper() : t);
            }
            const uint32_t n = std::min<uint32_t>(rec[1], kMaxRecordElements);
            for (uint32_t k = 1; k <= n && x < w; ++k) {
                const uint32_t v = rec[1 + k];
                if (k & 1) {
                    const int x0 = x;
                    advance(v);
                    redBars_.emplace_back(x0, std::min(x, w));
                } else if (v >= kTimeoutMarker) {
                    advance(wordSpace / 2);
                    timeoutMarks_.push_back(x);
                    advance(wordSpace - wordSpace / 2);
                } else {
                    advance(v);
                }
            }
        }
    }
    PaintBox1->update();
}

void TLogoAppForm::FlashKeyingDisplay()
{
    flashing_ = true;
    PaintBox1->repaint();
    flashTimer_->Start();
}

void TLogoAppForm::PaintPatternStrip(QPainter& p)
{
    const int w = PaintBox1->width();
    const int h = PaintBox1->height();
    p.fillRect(0, 0, w, h, Qt::white);
    DrawGrid(p, w, h);
    DrawGreenStrip(p, w, h);
    DrawRedStrip(p, w, h);
}

void TLogoAppForm::DrawGrid(QPainter& p, int w, int h)
{
    p.setPen(QPen(Qt::red, 1));
    p.drawLine(kPixelsPerDot, h - 1, w, h - 1);
    p.drawLine(0, h / 2, w, h / 2);
    for (int x = kPixelsPerDot; x < w; x += kPixelsPerDot)
        p.drawLine(x, h * 9 / 10, x, h);
}

void TLogoAppForm::DrawRedStrip(QPainter& p, int w, int h)
{
    const int top = h / 2 - 3 * h / 10;
    const int bottom = h / 2 + 3 * h / 10;
    if (flashing_) {
        p.fillRect(0, top, w, bottom - top + 1, Qt::black);
        return;
    }
    p.fillRect(0, top, w, bottom - top + 1, Qt::white);
    p.setPen(QPen(Qt::red, 1));
    p.drawLine(0, h / 2, w, h / 2);
    for (const auto& [x0, x1] : redBars_)
        p.fillRect(x0, top, x1 - x0, bottom - top + 1, Qt::red);
    for (int x : timeoutMarks_) {
        p.drawLine(x - 2, h / 2 - 7, x - 2, h / 2 + 7);
        p.drawLine(x + 2, h / 2 - 7, x + 2, h / 2 + 7);
    }
}

std::vector<std::pair<int, int>> TLogoAppForm::GreenBars() const
{
    std::vector<std::pair<int, int>> bars;
    if (!settings_.ShPatt)
        return bars;
    const int w = PaintBox1->width();
    const std::string text = CWLabel1->GreenText();
    int x = kPixelsPerDot;
    for (size_t i = 0; i < text.size() && x < w; ++i) {
        const char ch = PanelChar(text, i);
        const uint16_t code = cwout_.PatternOf(ch);
        if (code == 0)
            break;  // nothing the generator could send: the strip ends here
        if (code == 1) {
            x += 4 * kPixelsPerDot;
            continue;
        }
        int top = 15;
        while (top > 0 && !(code & (1u << top)))
            --top;
        for (int b = top - 1; b >= 0 && x < w; --b) {
            const int len = (code & (1u << b)) ? 3 * kPixelsPerDot : kPixelsPerDot;
            bars.emplace_back(x, std::min(x + len, w));
            x += len + kPixelsPerDot;
        }
        x += 2 * kPixelsPerDot;
    }
    return bars;
}

void TLogoAppForm::DrawGreenStrip(QPainter& p, int w, int h)
{
    if (!settings_.ShPatt)
        return;
    const int top = 2;
    const int bottom = h * 2 / 10 - 1;
    p.fillRect(0, top, w, bottom - top + 1, Qt::white);
    for (const auto& [x0, x1] : GreenBars())
        p.fillRect(x0, top, x1 - x0, bottom - top + 1, kDarkGreen);
}

// ---------------------------------------------------------------------------
// Output volume. There is no sound device yet; the value is kept so that the
// gate can be applied once one exists.

void TLogoAppForm::SetVolume(uint16_t v)
{
    outputVolume_ = uint32_t(v) | (uint32_t(v) << 16);
    if (soundOut_)
        soundOut_->SetVolume(outputVolume_);
}

void TLogoAppForm::SetVolumeLeft(uint16_t v)
{
    // The device's own value is the current one: read it first.
    if (soundOut_)
        outputVolume_ = soundOut_->Volume();
    outputVolume_ = (outputVolume_ & 0xFFFF0000u) | v;
    if (soundOut_)
        soundOut_->SetVolume(outputVolume_);
}

void TLogoAppForm::SetVolumeRight(uint16_t v)
{
    if (soundOut_)
        outputVolume_ = soundOut_->Volume();
    outputVolume_ = (outputVolume_ & 0xFFFFu) | (uint32_t(v) << 16);
    if (soundOut_)
        soundOut_->SetVolume(outputVolume_);
}

void TLogoAppForm::MuteOutput() { SetVolume(0); }

// ---------------------------------------------------------------------------
// Typing into the lower panel

std::string TLogoAppForm::PanelText(char ch) const
{
    const int32_t idx = TCWout::ProsignIndexOfChar(ch);
    if (idx > 0 && !(settings_.DisplayPros && idx < 3))
        return TCWout::ProsignText(idx);
    return std::string(1, ch);
}

void TLogoAppForm::FormKeyPress(unsigned char ch)
{
    if (ch == 27) {
        if (replaying_) {
            cwout_.AbortPattern();
            // Without a running output no buffer would ever end the replay.
            if (!SoundRunning())
                CWout1PatternEnd();
        } else if (replayPending_) {
            replayPending_ = false;
            firstOnly_ = false;
        } else if (sendingTyped_) {
            cwout_.ClearBuffer();
            cwout_.AbortPattern();
            CWout1LastChar();
            sendingTyped_ = false;
        } else {
            DropTypeAhead();
        }
        return;
    }
    if (replaying_ || replayPending_ || sendingTyped_)
        return;
    if (ch == 8) {
        TypeBackspace();
        return;
    }
    if (ch == 223)  // sharp s: the "?" key on German keyboards
        ch = '?';
    if (settings_.EqKeyOpt) {
        if (ch == '-')
            ch = '=';
        else if (ch == '_')
            ch = '-';
    }
    TypeChar(ch);
}

void TLogoAppForm::TypeChar(unsigned char uch)
{
    const char ch = char(uch);
    const QString full = QString::fromLatin1(kTypeAheadFull) + QString::number(cwout_.Buffersize());
    switch (prosignState_) {
    case 0:
        if (ch == '<') {
            CWLabel1->AddTypedText("<");
            prosignBuf_ = "<";
            prosignState_ = 1;
            return;
        }
        if (!cwout_.IsSendable(ch))
            return;
        if (cwout_.PutChar(ch))
            CWLabel1->AddTypedText(PanelText(ch));
        else
            boxes_->Message(full);
        return;
    case 1:
        CWLabel1->AddTypedText(std::string(1, ch));
        prosignBuf_ += ch;
        prosignState_ = 2;
        if (ch == '?' || ch == '>' || ch == '<') {
            CWLabel1->DeleteLast(2);
            prosignState_ = 0;
            prosignBuf_.clear();
        }
        return;
    default: {
        if ((prosignBuf_ == "<s" || prosignBuf_ == "<S") && (ch == 'o' || ch == 'O'))
            prosignBuf_ += ch == 'o' ? "os>" : "OS>";
        else
            prosignBuf_ += std::string(1, ch) + ">";
        const int32_t idx = cwout_.ProsignIndexOfText(prosignBuf_);
        if (!(settings_.DisplayPros && idx < 3)) {
            // The bracket is completed even when it names no prosign.
            CWLabel1->AddTypedText(prosignBuf_.substr(2));
            if (idx > 0 && !cwout_.PutChar(TCWout::ProsignChar(idx))) {
                // Neither queued nor shown.
                CWLabel1->DeleteLast(int(prosignBuf_.size()));
                boxes_->Message(full);
            }
        } else {
            CWLabel1->DeleteLast(2);
            if (idx > 0) {
                const char p = TCWout::ProsignChar(idx);
                if (cwout_.PutChar(p))
                    CWLabel1->AddTypedText(std::string(1, p));
                else
                    boxes_->Message(full);
            }
        }
        prosignState_ = 0;
        prosignBuf_.clear();
        return;
    }
    }
}

void TLogoAppForm::TypeBackspace()
{
    if (prosignState_ != 0) {
        // The unfinished bracket: "<" or "<" and one letter.
        CWLabel1->DeleteLast(prosignState_);
        prosignState_ = 0;
        prosignBuf_.clear();
        return;
    }
    const char c = cwout_.DeleteLastChar();
    if (c == '\0')
        return;  // everything typed is sent already
    if (c == '\r') {
        cwout_.PutChar('\r');  // a line break stays
        return;
    }
    if (c == ' ') {
        const std::string t = CWLabel1->Text();
        if (!t.empty() && t.back() == ' ') {
            CWLabel1->DeleteLast(1);
        } else if (!t.empty() && t.back() == '>') {
            CWLabel1->DeleteLast(1);
            if (t.size() >= 2 && t[t.size() - 2] == '?') {
                CWLabel1->DeleteLast(2);
                cwout_.DeleteLastChar();
                cwout_.DeleteLastChar();
            }
        }
        return;
    }
    CWLabel1->DeleteLast(int(PanelText(c).size()));
}

// ---------------------------------------------------------------------------
// Sound output loop and the generator's events

bool TLogoAppForm::SoundRunning() const { return soundOut_ && soundOut_->IsActive(); }

QString TLogoAppForm::SoundStatus() const { return soundStatus_->text(); }

void TLogoAppForm::SoundOut1BufferPlayed(int16_t* pb, uint32_t bytes)
{
    if (replaying_)
        cwout_.FillPatternSamples(pb, bytes);
    else
        cwout_.FillTextSamples(pb, bytes);
    // F9 waits for the character on the air to finish.
    if (replayPending_ && !sendingBusy_)
        StartRedReplay();
}

void TLogoAppForm::SoundStatusChanged(const QString& message)
{
    soundStatus_->setText(message);
    if (SoundRunning())
        return;
    // No more buffers will come: nothing may wait for one.
    sendingBusy_ = false;
    if (replayPending_)
        StartRedReplay();
    if (replaying_)
        CWout1PatternEnd();
    if (sendingTyped_) {
        cwout_.ClearBuffer();
        CWout1LastChar();
    }
}

void TLogoAppForm::WaitOutput(int ms)
{
    if (!SoundRunning() || ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void TLogoAppForm::RestoreKeyTone()
{
    // The steady idle tone is the sidetone of the key modes only; in the
    // sample modes it would sound whenever the gate is open for sending.
    cwout_.KeyTone = inputMode_ == KeybdMouse || inputMode_ == ComPort;
}

void TLogoAppForm::SetBinaural(bool on)
{
    SetVolume(0);
    settings_.Binaural = on;
    // The generator's layout first: changing the channels refills the buffers.
    cwout_.SetStereo(on);
    if (soundOut_)
        soundOut_->SetChannels(on ? 2 : 1);
    cwout_.SetFrequency(on ? settings_.TxFrequency : settings_.TxFrequency2);
    cwout_.SetFrequency2(settings_.TxFrequency2);
}

void TLogoAppForm::CWout1CharStart(char ch)
{
    if (settings_.Binaural)
        SetVolumeRight(keyVolume_);
    else
        SetVolume(keyVolume_);
    if (!replaying_ && !sendingTyped_) {
        sendingBusy_ = true;
        CWLabel1->MarkSent(PanelText(ch));
        PaintBox1->update();
    }
}

void TLogoAppForm::CWout1CharSent(char ch)
{
    sendingBusy_ = false;
    if (sendingTyped_ && ch != ' ' && ch != '\r' && ch != '\0') {
        CWLabel1->MoveGreenStart(1);
        PaintBox1->update();
    }
}

void TLogoAppForm::CWout1LastChar()
{
    if (!sendingTyped_)
        return;
    // Back to the zone as it was before the replay.
    for (int guard = 0; guard < 100000 && CWLabel1->GreenStart() > greenStartSaved_; ++guard) {
        const int32_t before = CWLabel1->GreenStart();
        if (CWLabel1->MoveGreenStart(-1) == before)
            break;
    }
    PaintBox1->update();
    CWLabel1->update();
    sendingTyped_ = false;
    firstOnly_ = false;
    calculat_->SetPaused(false);
}

void TLogoAppForm::CWout1PttChanged(bool on)
{
    if (on) {
        if (!cwout_.Stereo())
            pttActive_ = true;
        cwout_.KeyTone = false;
    } else {
        if (inputMode_ != SoundInput) {
            if (settings_.Binaural)
                SetVolumeRight(0);
            else
                SetVolume(0);
            RestoreKeyTone();
        }
        pttActive_ = false;
    }
}

void TLogoAppForm::ReplayRed(bool firstOnly)
{
    if (replaying_ || replayPending_ || sendingTyped_)
        return;
    DropTypeAhead();
    firstOnly_ = firstOnly;
    if (sendingBusy_ && SoundRunning()) {
        // Starts from the buffer loop once the character has been sent.
        replayPending_ = true;
        return;
    }
    sendingBusy_ = false;
    StartRedReplay();
}

void TLogoAppForm::StartRedReplay()
{
    replayPending_ = false;
    cwout_.KeyTone = false;
    if (showForm_)
        showForm_->ResetValues(TTimingStats::kLastReplay);
    else
        stats_.ResetValues(TTimingStats::kLastReplay);
    redStartSaved_ = CWLabel2->RedStart();
    TCalculat& calc = *calculat_;
    replayCount_ = replayTotal_ = calc.Browsing() ? calc.CursorBack() % TCalculat::kHistorySize : 0;
    // Without a running output nothing would play or end the replay.
    if (!SoundRunning() || !LoadReplayRecord()) {
        RestoreKeyTone();
        firstOnly_ = false;
    }
}

bool TLogoAppForm::LoadReplayRecord()
{
    calculat_->GetReplayRecord(uint32_t(replayCount_), replayRec_);
    if (replayRec_[1] == 0)
        return false;
    cwout_.LoadPattern(replayRec_);
    replaying_ = true;
    calculat_->ClearTimingSums();
    calculat_->AccumulateRecord(replayRec_);
    calculat_->SetPaused(true);
    return true;
}

void TLogoAppForm::CWout1PatternStart()
{
    if (settings_.Binaural)
        SetVolumeLeft(keyVolume_);
    else
        SetVolume(keyVolume_);
}

void TLogoAppForm::CWout1PatternLastSpace()
{
    CharRecord rec{};
    calculat_->GetCharRecord(uint32_t(replayCount_), rec);
    calculat_->ShowRecordTiming(rec);
    if (firstOnly_)
        return;
    if (--replayCount_ >= 0) {
        // The next character follows with exactly the space that was keyed.
        LoadReplayRecord();
        CWLabel2->MoveRedStart(1);
        calculat_->MoveCursor(1);
        RedrawRedStrip();
    }
}

void TLogoAppForm::RestoreRedStart()
{
    for (int guard = 0; guard < 100000 && CWLabel2->RedStart() > redStartSaved_; ++guard) {
        const int32_t before = CWLabel2->RedStart();
        if (CWLabel2->MoveRedStart(-1) == before)
            break;
    }
    CWLabel2->update();
}

void TLogoAppForm::CWout1PatternEnd()
{
    replaying_ = false;
    SetVolume(0);
    RestoreKeyTone();
    calculat_->SetPaused(false);
    RestoreRedStart();
    if (!firstOnly_) {
        calculat_->MoveCursor(TCalculat::kToNewest);
        if (replayTotal_ > 0)
            calculat_->MoveCursor(-replayTotal_);
        RedrawRedStrip();
    }
    firstOnly_ = false;
}

void TLogoAppForm::ReplayGreen(bool firstOnly)
{
    if (replaying_ || replayPending_ || sendingTyped_)
        return;
    // Typed text still going out would be sent unmarked among the replay.
    if (sendingBusy_ || cwout_.HasChars() || !SoundRunning())
        return;
    const std::string text = CWLabel1->GreenText();
    if (text.empty())
        return;
    greenStartSaved_ = CWLabel1->GreenStart();
    bool queued = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = PanelChar(text, i);
        queued = cwout_.PutChar(ch) || queued;
        if (firstOnly)
            break;
    }
    if (!queued)
        return;
    firstOnly_ = firstOnly;
    sendingTyped_ = true;
    calculat_->SetPaused(true);
}

// The character at text[i] as the generator takes it: a bracketed prosign
// ("<sos>") becomes its prosign character and i moves to its ">".
char TLogoAppForm::PanelChar(const std::string& text, size_t& i) const
{
    if (text[i] == '<') {
        const size_t close = text.find('>', i + 1);
        if (close != std::string::npos && close - i <= 5) {
            const int32_t idx = cwout_.ProsignIndexOfText(text.substr(i, close - i + 1));
            if (idx > 0) {
                i = close;
                return TCWout::ProsignChar(idx);
            }
        }
    }
    return text[i];
}
