// The parameters window's behaviour: wiring the controls, setting them from
// the settings at creation, and the handlers that hand edited settings back
// to the target (the controls themselves are built in ParamLayout.cpp).
#include "windows/ParamWindow.h"
#include "windows/ParamKeys.h"

#include "controls/BarGauge.h"
#include "controls/NumEdit.h"
#include "controls/RadioGroup.h"
#include "backends/Mixer.h"
#include "devices/SoundDevices.h"
#include "settings/Settings.h"
#include "windows/ParamLogic.h"
#include "windows/ParamTarget.h"
#include "windows/WorkArea.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

TParamWindow::TParamWindow(IParamTarget& target, QWidget* parent)
    : QWidget(parent, Qt::Window), target_(target) {
    setObjectName(QStringLiteral("ParamWindow"));
    setWindowTitle(QStringLiteral("Set Orvo Tapmeter Parameters"));
    setFixedWidth(740);
    setMinimumHeight(150);
    // Room for the "Key" group below the others.
    setMaximumHeight(775);
    resize(740, 775);
    levelTimer_ = new QTimer(this);
    levelTimer_->setInterval(50);
    connect(levelTimer_, &QTimer::timeout, this, [this] { LevelTimerTick(); });
    BuildLayout();
    Wire();
    FormCreate();
}

TParamWindow::~TParamWindow() = default;

void TParamWindow::Wire() {
    IParamTarget& t = target_;
    RXInputGroup_->OnClick = [this] { RXInputGroupClick(); };
    RXFiltGroup_->OnClick = [this] { RXFiltGroupClick(); };
    TXOutputGroup_->OnClick = [this] { TXOutputGroupClick(); };
    RXCharGroup_->OnClick = [this] { Store(&TSettings::RxExtended, RXCharGroup_->ItemIndex() != 0); };
    TXCharGroup_->OnClick = [this] { Store(&TSettings::TxExtended, TXCharGroup_->ItemIndex() != 0); };
    BounceGroup_->OnClick = [this] { Store(&TSettings::Bounce, BounceGroup_->ItemIndex() != 0); };
    InputInvertedGroup_->OnClick = [this] {
        Store(&TSettings::Invert, InputInvertedGroup_->ItemIndex() != 0);
    };
    SpeedDisplayGroup_->OnClick = [this] { Store(&TSettings::WpM, SpeedDisplayGroup_->ItemIndex() != 0); };

    // The tones sounding follow from the settings (mono sounds the key
    // tone on both).
    KeyFreq_->Target = [&t] { return t.Settings().TxFrequency2; };
    KeyFreq_->SetTarget = [this](int v) { Store(&TSettings::TxFrequency2, v); };
    KeyFreq_->EnterNeedsEnabled = true;
    TXFreq_->Target = [&t] { return t.Settings().TxFrequency; };
    TXFreq_->SetTarget = [this](int v) { Store(&TSettings::TxFrequency, v); };
    TXFreq_->EnterNeedsEnabled = true;
    RXFreq_->Target = [&t] { return t.Settings().RxFrequency; };
    RXFreq_->SetTarget = [this](int v) { Store(&TSettings::RxFrequency, v); };
    TXSlope_->Target = [&t] { return t.Settings().Slope; };
    TXSlope_->SetTarget = [this](int v) { Store(&TSettings::Slope, v); };
    TXSlope_->PlainClick = true;

    connect(LevelBar_, &QScrollBar::valueChanged, this, [this] { LevelBarChange(); });
    connect(InpLevelBar_, &QScrollBar::valueChanged, this, [this] { InpLevelBarChange(); });

    connect(MuteBox_, &QCheckBox::toggled, this, [this] { MuteBoxClick(); });
    connect(KeyMuteBox_, &QCheckBox::toggled, this, [this](bool on) { Store(&TSettings::KeyMuted, on); });
    connect(CheckBoxEqkey_, &QCheckBox::toggled, this, [this](bool on) { Store(&TSettings::EqKeyOpt, on); });
    connect(CheckBoxPrepend_, &QCheckBox::toggled, this, [this](bool on) { Store(&TSettings::Prepend, on); });
    connect(HHCheckBox_, &QCheckBox::toggled, this, [this](bool on) { Store(&TSettings::ErrErase, on); });
    connect(ProsCheckBox_, &QCheckBox::toggled, this,
            [this](bool on) { Store(&TSettings::DisplayPros, on); });
    connect(FlashCheckBox_, &QCheckBox::toggled, this, [this] { FlashCheckBoxClick(); });
    connect(AllCapsCheckBox_, &QCheckBox::toggled, this, [this](bool on) { Store(&TSettings::AllCaps, on); });
    connect(CheckBoxPattern_, &QCheckBox::toggled, this, [this](bool on) { Store(&TSettings::ShPatt, on); });

    // Lists act on the user's choice only; the program calls their
    // handlers itself where a refill needs them.
    connect(ComPortBox_, &QComboBox::activated, this, [this] { ComPortBoxChange(); });
    connect(DTRBox_, &QComboBox::activated, this, [this] { DTRBoxChange(); });
    connect(RTSBox_, &QComboBox::activated, this, [this] { RTSBoxChange(); });
    connect(InputLineBox_, &QComboBox::activated, this, [this] { InputLineBoxChange(); });
    connect(CharSizeBox_, &QComboBox::activated, this, [this] { CharSizeBoxChange(); });
    connect(DetectorBox_, &QComboBox::activated, this,
            [this](int index) { Store(&TSettings::Detector, index == 1 ? 1 : 0); });
    connect(WavInBox_, &QComboBox::activated, this, [this] { WavInBoxChange(); });
    connect(WavOutBox_, &QComboBox::activated, this, [this] { WavOutBoxChange(); });

    connect(inputMixerButton_, &QPushButton::clicked, this, [this] { LaunchMixer(true); });
    connect(outputMixerButton_, &QPushButton::clicked, this, [this] { LaunchMixer(false); });

    // The window sees every key first, wherever the focus is: each control
    // that can hold the focus reports its keys here. A key a control passes
    // on climbs to the window itself, which then leaves it alone.
    for (QWidget* w : findChildren<QWidget*>())
        if (w->focusPolicy() != Qt::NoFocus)
            w->installEventFilter(this);
}

void TParamWindow::FormCreate() {
    const TSettings& s = target_.Settings();
    PlaceOnWorkArea(this, s.ParamTop, s.ParamLeft);

    TXFreq_->ShowValue(s.TxFrequency);
    KeyFreq_->ShowValue(s.TxFrequency2);
    TXSlope_->ShowValue(s.Slope);
    RXFreq_->ShowValue(s.RxFrequency);

    RXCharGroup_->SetItemIndex(s.RxExtended ? 1 : 0);
    TXCharGroup_->SetItemIndex(s.TxExtended ? 1 : 0);
    RXFiltGroup_->SetItemIndex(s.Mode != 0 ? 1 : 0);
    DetectorBox_->setCurrentIndex(s.Detector == 1 ? 1 : 0);
    BounceGroup_->SetItemIndex(s.Bounce ? 1 : 0);
    SpeedDisplayGroup_->SetItemIndex(s.WpM ? 1 : 0);

    LevelBar_->setValue(-s.OutputLevel);
    MuteBox_->setChecked(s.Muted);
    KeyMuteBox_->setChecked(s.KeyMuted);
    InpLevelBar_->setValue(-s.InputLevel);

    CheckBoxEqkey_->setChecked(s.EqKeyOpt);
    CheckBoxPrepend_->setChecked(s.Prepend);
    CheckBoxPattern_->setChecked(s.ShPatt);
    AllCapsCheckBox_->setChecked(s.AllCaps);
    HHCheckBox_->setChecked(s.ErrErase);
    FlashCheckBox_->setChecked(s.WordSpaceFlash);
    ProsCheckBox_->setChecked(s.DisplayPros);

    CharSizeBox_->setCurrentIndex(s.CharSizeItem);
    CharSizeBoxChange();

    levelTimer_->stop();

    RefillInputDevices();
    RefillOutputDevices();
    RefillComPorts();

    // The mode in force is shown; the session enters the stored one once
    // the windows follow it. A stored WAV mode offers "File".
    if (s.RXInput == 3) {
        RXInputGroup_->AddItem(QStringLiteral("File"));
        RXInputGroup_->SetColumns(4);
        RXInputGroup_->Button(3)->installEventFilter(this);  // built after the others
    }
    showingMode_ = true;
    RXInputGroup_->SetItemIndex(std::max(0, target_.InputMode()));
    showingMode_ = false;

    TXOutputGroup_->SetItemIndex(s.Binaural ? 1 : 0);
    DTRBox_->setCurrentIndex(s.DTR ? 1 : 0);
    RTSBox_->setCurrentIndex(s.RTS ? 1 : 0);
    InputInvertedGroup_->SetItemIndex(s.Invert ? 1 : 0);
    InputLineBox_->setCurrentIndex(s.Event >= 0 && s.Event <= 2 ? s.Event : 0);

    InputLineBoxChange();
    InpLevelBarChange();
    LevelBarChange();
    PausedText_->hide();
}

// ---------------------------------------------------------------------------
// Input

void TParamWindow::RXInputGroupClick() {
    int mode = RXInputGroup_->ItemIndex();
    if (mode < 0)
        return;
    if (!showingMode_) {
        if (!target_.SetInputMode(mode)) {
            RXInputGroup_->SetItemIndex(0);
            if (isVisible())
                RXInputGroup_->Button(0)->setFocus();
        }
        // Another choice made while the switch waited may have followed it.
        mode = target_.InputMode();
    }
    const bool samples = mode == 1 || mode == 3;
    if (samples) {
        levelTimer_->start();
        FlashCheckBox_->setEnabled(false);  // first, so the setting stays as it was
        FlashCheckBox_->setChecked(false);
        RXFiltGroup_->setEnabled(true);
        DetectorBox_->setEnabled(true);
        SetLabelGrey(detectorCaption_, false);
        InpLevelBar_->setEnabled(true);
        levelText_->show();
        for (QLabel* l : {gainText_, levelCaption_, gainCaption_})
            SetLabelGrey(l, false);
        SetBandpassControls(RXFiltGroup_->ItemIndex() == 1);
    } else {
        levelTimer_->stop();
        FlashCheckBox_->setEnabled(true);
        FlashCheckBox_->setChecked(target_.Settings().WordSpaceFlash);
        target_.ResetInputLevel();
        levelGauge_->SetPosition(levelGauge_->Min());
        RXFiltGroup_->setEnabled(false);
        DetectorBox_->setEnabled(false);
        SetLabelGrey(detectorCaption_, true);
        RXFreq_->setEnabled(false);
        InpLevelBar_->setEnabled(false);
        for (QLabel* l : {gainText_, levelCaption_, gainCaption_, rxFreqCaption_, rxFreqHz_})
            SetLabelGrey(l, true);
        levelText_->hide();
    }
    const bool com = mode == 2;
    DTRBox_->setEnabled(com);
    RTSBox_->setEnabled(com);
    InputLineBox_->setEnabled(com);
    InputInvertedGroup_->setEnabled(com);
}

void TParamWindow::RXFiltGroupClick() {
    const int sel = RXFiltGroup_->ItemIndex();
    Store(&TSettings::Mode, sel == 1 ? 1 : 0);
    SetBandpassControls(sel == 1);
}

void TParamWindow::SetBandpassControls(bool on) {
    SetLabelGrey(rxFreqCaption_, !on);
    SetLabelGrey(rxFreqHz_, !on);
    RXFreq_->setEnabled(on);
}

void TParamWindow::SetLabelGrey(QLabel* label, bool grey) {
    label->setStyleSheet(grey ? QStringLiteral("color: rgb(128,128,128)") : QString());
}

void TParamWindow::InpLevelBarChange() {
    const int db = -InpLevelBar_->value();
    Store(&TSettings::InputLevel, db);
    gainText_->setText(QString::fromStdString(FormatDb(db)));
}

void TParamWindow::LevelTimerTick() {
    const TLevelReading r = LevelReading(target_.InputLevel(), levelGauge_->Min(), levelGauge_->Max());
    levelText_->setText(QString::fromStdString(FormatDb(r.db)));
    levelGauge_->SetPosition(r.gauge);
}

bool TParamWindow::Timer1Active() const { return levelTimer_->isActive(); }

void TParamWindow::SetPaused(bool paused) { PausedText_->setVisible(paused); }

// ---------------------------------------------------------------------------
// Output

void TParamWindow::TXOutputGroupClick() {
    const bool binaural = TXOutputGroup_->ItemIndex() == 1;
    Store(&TSettings::Binaural, binaural);
    for (QWidget* w : {static_cast<QWidget*>(TXFreq_), static_cast<QWidget*>(kbdHzText_),
                       static_cast<QWidget*>(kbdCaption_)}) {
        w->setEnabled(binaural);
        w->setVisible(binaural);
    }
}

void TParamWindow::LevelBarChange() {
    const int db = -LevelBar_->value();
    Store(&TSettings::OutputLevel, db);
    outputLevelText_->setText(QString::fromStdString(FormatDb(db)));
}

void TParamWindow::MuteBoxClick() {
    const bool muted = MuteBox_->isChecked();
    Store(&TSettings::Muted, muted);
    outputLevelText_->setEnabled(!muted);
    KeyMuteBox_->setEnabled(!muted);
}

void TParamWindow::FlashCheckBoxClick() {
    // Unticked by the sample modes while disabled: the setting stays.
    if (FlashCheckBox_->isEnabled())
        Store(&TSettings::WordSpaceFlash, FlashCheckBox_->isChecked());
}

void TParamWindow::LaunchMixer(bool input) {
    const std::string error = ::LaunchMixer(input);
    if (!error.empty())
        target_.Message(error);
}

// ---------------------------------------------------------------------------
// Sound devices

int TParamWindow::RefillDevices(QComboBox* box, const std::vector<std::string>& choices, int stored,
                                bool& filled, const char* what) {
    // The device chosen before, by name: device numbers move when devices
    // come and go elsewhere in the list.
    const QString before = filled && box->currentIndex() > 0 ? box->currentText() : QString();
    box->clear();
    if (choices.empty())
        return -1;
    for (const std::string& c : choices)
        box->addItem(QString::fromStdString(c));
    int index = 0;
    if (!filled) {
        index = stored >= 0 && stored < box->count() ? stored : 0;
    } else if (!before.isEmpty()) {
        index = box->findText(before, Qt::MatchExactly);
        if (index < 0) {
            index = 0;
            target_.StatusMessage(std::string("Sound ") + what + " device " + before.toStdString() +
                                  " is gone: using the default device");
        }
    }
    filled = true;
    box->setCurrentIndex(index);
    return index;
}

void TParamWindow::RefillInputDevices() {
    const TSettings& s = target_.Settings();
    const int index =
        RefillDevices(WavInBox_, target_.InputDeviceChoices(), s.RXDevice, inputFilled_, "input");
    if (index < 0)
        return;
    Store(&TSettings::RXDevice, index);
    WavInBoxChange();
}

void TParamWindow::RefillOutputDevices() {
    const TSettings& s = target_.Settings();
    const int index =
        RefillDevices(WavOutBox_, target_.OutputDeviceChoices(), s.TXDevice, outputFilled_, "output");
    if (index < 0)
        return;
    Store(&TSettings::TXDevice, index);
    WavOutBoxChange();
}

void TParamWindow::WavInBoxChange() {
    const int item = WavInBox_->currentIndex();
    if (item >= 0)
        Store(&TSettings::RXDevice, item);
    ISoundIn* in = target_.SoundIn1();
    if (!in)
        return;
    const int device = item <= 0 ? -1 : item - 1;
    if (in->DeviceId() == device && in->IsActive())
        return;
    const bool wasActive = in->IsActive();
    in->SetDevice(device);
    // Sound Input mode needs the input running even when the old device
    // went away under it.
    const bool wanted = wasActive || target_.InputMode() == 1;
    if (wanted && !in->IsActive())
        in->Start();
    if (wanted)
        ReportSwitch(WavInBox_, "input", in->IsActive(), in->LastError(), inputOffShown_);
}

void TParamWindow::WavOutBoxChange() {
    const int item = WavOutBox_->currentIndex();
    if (item >= 0)
        Store(&TSettings::TXDevice, item);
    ISoundOut* out = target_.SoundOut1();
    if (!out)
        return;
    const int device = item <= 0 ? -1 : item - 1;
    if (out->DeviceId() == device && out->IsActive())
        return;
    out->SetDevice(device);
    // The output always runs (sidetone and sending); a device that went
    // away under it must not leave it silent.
    if (!out->IsActive())
        out->Start();
    ReportSwitch(WavOutBox_, "output", out->IsActive(), out->LastError(), outputOffShown_);
}

void TParamWindow::ReportSwitch(QComboBox* box, const char* what, bool running, const std::string& error,
                                bool& reported) {
    if (!running) {
        target_.StatusMessage(std::string("Sound ") + what + " is off: " +
                              (error.empty() ? std::string("the device did not start") : error));
        reported = true;
    } else if (reported) {
        // The reason shown is out of date.
        target_.StatusMessage(std::string("Sound ") + what + " is on: " + box->currentText().toStdString());
        reported = false;
    }
}

// ---------------------------------------------------------------------------
// Serial port

void TParamWindow::RefillComPorts() {
    ComPortBox_->clear();
    for (int n : ListedPortNumbers(target_.DetectedPorts()))
        ComPortBox_->addItem(QString::fromStdString(target_.PortCaption(n)));
    if (ComPortBox_->count() > 0) {
        ComPortBox_->setCurrentIndex(ComIndexOf(target_.Settings().RXComPort, 0));
        // The port in use stays open untouched (its lines may feed the key);
        // one no longer listed gives way to the first, which the session
        // opens in its place or gives up with a message.
        Store(&TSettings::RXComPort, PortNumberOf(ComPortBox_->currentText().toStdString()));
        RXInputGroup_->Button(2)->setEnabled(true);
        ComPortBox_->view()->setMinimumWidth(ComPortBox_->view()->sizeHintForColumn(0) + 8);
        // COM mode without its port open falls back to Keybd/Mouse; so does
        // its choice shown when the session gave the port up.
        const bool com = target_.InputMode() == 2;
        if ((com && !target_.ComIsOpen()) || (!com && RXInputGroup_->ItemIndex() == 2))
            RXInputGroup_->SetItemIndex(0);
    } else {
        // Keybd/Mouse first: the port closes as the mode ends.
        if (target_.InputMode() == 2)
            RXInputGroup_->SetItemIndex(0);
        ComPortBox_->addItem(QStringLiteral("none"));
        ComPortBox_->setCurrentIndex(0);
        Store(&TSettings::RXComPort, 0);
        if (target_.Settings().RXInput == 2)
            Store(&TSettings::RXInput, 0);
        RXInputGroup_->Button(2)->setEnabled(false);
    }
}

int TParamWindow::ComIndexOf(int port, int otherwise) const {
    for (int i = 0; i < ComPortBox_->count(); ++i)
        if (PortNumberOf(ComPortBox_->itemText(i).toStdString()) == port)
            return i;
    return otherwise;
}

void TParamWindow::ComPortBoxChange() {
    const int n = PortNumberOf(ComPortBox_->currentText().toStdString());
    const bool com = target_.InputMode() == 2;
    // The session moves an open port; outside COM mode the choice is only stored.
    Store(&TSettings::RXComPort, n);
    if (!com)
        return;
    if (target_.Settings().RXComPort == n) {
        lastGoodComIndex_ = ComPortBox_->currentIndex();
        return;
    }
    // Refused (the session said why): back to the port in use. The last
    // good index alone may still point at the failed port when none was
    // changed successfully yet.
    const int back = ComIndexOf(target_.Settings().RXComPort,
                                lastGoodComIndex_ < ComPortBox_->count() ? lastGoodComIndex_ : 0);
    ComPortBox_->setCurrentIndex(back);
    RXInputGroup_->SetItemIndex(0);
    RXInputGroup_->Button(0)->setFocus();
}

void TParamWindow::DTRBoxChange() {
    const int v = DTRBox_->currentIndex();
    // The levels drive an open port only (the session sets them).
    if (v < 0 || !target_.ComIsOpen())
        return;
    Store(&TSettings::DTR, v == 1);
}

void TParamWindow::RTSBoxChange() {
    const int v = RTSBox_->currentIndex();
    if (v < 0 || !target_.ComIsOpen())
        return;
    Store(&TSettings::RTS, v == 1);
}

void TParamWindow::InputLineBoxChange() {
    const int sel = InputLineBox_->currentIndex();
    if (sel >= 0)
        Store(&TSettings::Event, sel);
}

// ---------------------------------------------------------------------------
// Display

void TParamWindow::CharSizeBoxChange() {
    if (CharSizeBox_->currentIndex() < 0)
        CharSizeBox_->setCurrentIndex(0);
    Store(&TSettings::CharSizeItem, CharSizeBox_->currentIndex());
}

void TParamWindow::SaveToSettings(TSettings& s) const {
    s.ParamTop = y();
    s.ParamLeft = x();
}

// ---------------------------------------------------------------------------
// Window

void TParamWindow::ToggleVisible() {
    if (isMinimized()) {
        showNormal();
    } else if (!isVisible() || !isActiveWindow()) {
        if (QWidget* f = focusWidget())
            f->clearFocus();
        show();
        raise();
        activateWindow();
    } else {
        hide();
    }
}

void TParamWindow::FormDeactivate() {
    // Half-typed frequencies count once the operator turns elsewhere.
    TXFreq_->Commit();
    KeyFreq_->Commit();
    RXFreq_->Commit();
}

void TParamWindow::FormKeyDown(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Escape:
        case Qt::Key_F2:
            hide();
            break;
        case Qt::Key_F3:
        case Qt::Key_F7:
        case Qt::Key_Pause:
            target_.ForwardKeyDown(e->key(), e->modifiers() & Qt::ShiftModifier);
            break;
        default:
            break;
    }
}

bool TParamWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowDeactivate)
        FormDeactivate();
    if (e->type() == QEvent::KeyPress && (!focusWidget() || focusWidget() == this))
        FormKeyDown(static_cast<QKeyEvent*>(e));
    return QWidget::event(e);
}

bool TParamWindow::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && watched != this) {
        auto* k = static_cast<QKeyEvent*>(e);
        FormKeyDown(k);
        if (auto* box = qobject_cast<QCheckBox*>(watched)) {
            if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
                box->toggle();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, e);
}

void TParamWindow::showEvent(QShowEvent* e) {
    if (RXInputGroup_->ItemIndex() == 1)
        levelTimer_->start();
    QWidget::showEvent(e);
}

void TParamWindow::hideEvent(QHideEvent* e) {
    levelTimer_->stop();
    QWidget::hideEvent(e);
}
