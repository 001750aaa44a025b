// The parameters window's controls and their places: every group, list,
// bar and box is built here with its design-time value; what they do is
// wired in ParamWindow.cpp.
#include "windows/ParamWindow.h"
#include "windows/ParamKeys.h"

#include "controls/Accessible.h"
#include "controls/BarGauge.h"
#include "controls/NumEdit.h"
#include "controls/RadioGroup.h"
#include "windows/ParamLogic.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

// A caption; the control it names (its buddy) is what a screen reader
// hears it with.
QLabel* Caption(const QString& text, const char* name = nullptr, QWidget* names = nullptr) {
    auto* l = new QLabel(text);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    if (names)
        l->setBuddy(names);
    return l;
}

QComboBox* List(const char* name, const QStringList& items = {}) {
    auto* b = new QComboBox;
    b->setObjectName(QString::fromLatin1(name));
    b->addItems(items);
    b->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return b;
}

QCheckBox* Check(const QString& text, const char* name) {
    auto* c = new QCheckBox(text);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

QScrollBar* Bar(const char* name, int min, int max, int design) {
    auto* b = new QScrollBar(Qt::Vertical);
    b->setObjectName(QString::fromLatin1(name));
    b->setRange(min, max);
    b->setPageStep(10);
    b->setValue(design);
    b->setFixedSize(18, 100);
    b->setFocusPolicy(Qt::StrongFocus);  // the arrow keys move it
    return b;
}

TNumEdit* Num(const char* name, int min, int max, int design) {
    auto* n = new TNumEdit;
    n->setObjectName(QString::fromLatin1(name));
    n->Edit()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Edit"));
    n->SetRange(min, max);
    n->ShowValue(design);
    return n;
}

QGroupBox* Group(const QString& title, const char* name) {
    auto* g = new QGroupBox(title);
    g->setObjectName(QString::fromLatin1(name));
    QFont f = g->font();
    f.setPixelSize(13);
    g->setFont(f);
    return g;
}

}  // namespace

void TParamWindow::BuildLayout() {
    // --- Morse input ------------------------------------------------------
    auto* input = Group(QStringLiteral("Morse Input Parameters"), "InputGroupBox");
    RXInputGroup_ = new TRadioGroup(
        QStringLiteral("Morse Input Mode"),
        {QStringLiteral("Keybd/Mouse"), QStringLiteral("Sound Input"), QStringLiteral("COM Port")}, 3);
    RXInputGroup_->setObjectName(QStringLiteral("RXInputGroup"));
    WavInBox_ = List("WavInBox");
    inputMixerButton_ = new QPushButton(QStringLiteral("Show Input Mixer"));
    inputMixerButton_->setObjectName(QStringLiteral("InputMixerButton"));
    gainCaption_ = Caption(QStringLiteral("Gain"));
    InpLevelBar_ = Bar("InpLevelBar", -12, 30, 10);
    gainText_ = Caption(FormatDb(-10).c_str(), "GainText");
    levelCaption_ = Caption(QStringLiteral("Level"));
    levelGauge_ = new TBarGauge;
    levelGauge_->setObjectName(QStringLiteral("LevelGauge"));
    levelGauge_->SetDirection(pdBottomToTop);
    levelGauge_->SetShowPosText(false);
    levelGauge_->SetMin(20);
    levelGauge_->SetMax(100);
    levelGauge_->SetPosition(20);
    levelGauge_->setFixedSize(18, 100);
    levelText_ = Caption(FormatDb(-74).c_str(), "LevelText");
    PausedText_ = Caption(QStringLiteral("Paused (F7)"), "PausedText");
    PausedText_->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    PausedText_->hide();
    RXFiltGroup_ = new TRadioGroup(QStringLiteral("Input Filter (Sound In)"),
                                   {QStringLiteral("Broadband"), QStringLiteral("Bandpass")});
    RXFiltGroup_->setObjectName(QStringLiteral("RXFiltGroup"));
    rxFreqCaption_ = Caption(QStringLiteral("Bandpass Filter Frequency"));
    RXFreq_ = Num("RXFreq", 100, 4000, 800);
    rxFreqHz_ = Caption(QStringLiteral("Hz"));
    detectorCaption_ = Caption(QStringLiteral("Detector"));
    DetectorBox_ =
        List("DetectorBox", {QStringLiteral("Standard"), QStringLiteral("Robust (noisy signals)")});
    RXCharGroup_ = new TRadioGroup(QStringLiteral("Morse Character Set"),
                                   {QStringLiteral("Standard"), QStringLiteral("Extended")});
    RXCharGroup_->setObjectName(QStringLiteral("RXCharGroup"));
    BounceGroup_ = new TRadioGroup(QStringLiteral("Contact Bounce"),
                                   {QStringLiteral("Filter Off"), QStringLiteral("Filter On")});
    BounceGroup_->setObjectName(QStringLiteral("BounceGroup"));

    auto* meters = new QGridLayout;
    meters->setHorizontalSpacing(10);
    meters->addWidget(gainCaption_, 0, 0, Qt::AlignHCenter);
    meters->addWidget(InpLevelBar_, 1, 0, Qt::AlignHCenter);
    meters->addWidget(gainText_, 2, 0, Qt::AlignHCenter);
    meters->addWidget(levelCaption_, 0, 1, Qt::AlignHCenter);
    meters->addWidget(levelGauge_, 1, 1, Qt::AlignHCenter);
    meters->addWidget(levelText_, 2, 1, Qt::AlignHCenter);
    meters->addWidget(PausedText_, 3, 0, 1, 2, Qt::AlignHCenter);
    meters->setRowStretch(4, 1);
    meters->setVerticalSpacing(2);
    auto* filter = new QVBoxLayout;
    filter->addWidget(RXFiltGroup_);
    filter->addWidget(rxFreqCaption_);
    auto* rxFreqRow = new QHBoxLayout;
    rxFreqRow->addWidget(RXFreq_);
    rxFreqRow->addWidget(rxFreqHz_);
    rxFreqRow->addStretch();
    filter->addLayout(rxFreqRow);
    filter->addWidget(detectorCaption_);
    filter->addWidget(DetectorBox_);
    filter->setSpacing(2);
    filter->addStretch();
    auto* inMiddle = new QHBoxLayout;
    inMiddle->addLayout(meters);
    inMiddle->addSpacing(12);
    inMiddle->addLayout(filter, 1);
    auto* inBottom = new QHBoxLayout;
    inBottom->addWidget(RXCharGroup_);
    inBottom->addWidget(BounceGroup_);
    auto* inLayout = new QVBoxLayout(input);
    inLayout->setSpacing(4);
    inLayout->addWidget(RXInputGroup_);
    inLayout->addWidget(Caption(QStringLiteral("Select Sound Input Device"), nullptr, WavInBox_));
    inLayout->addWidget(WavInBox_);
    inLayout->addWidget(inputMixerButton_, 0, Qt::AlignLeft);
    inLayout->addLayout(inMiddle);
    inLayout->addLayout(inBottom);

    // --- Morse output -----------------------------------------------------
    auto* output = Group(QStringLiteral("Morse Output Parameters"), "OutputGroupBox");
    TXOutputGroup_ = new TRadioGroup(QStringLiteral("Morse Ouput Mode"),
                                     {QStringLiteral("Monaural"), QStringLiteral("Binaural (stereo)")}, 2);
    TXOutputGroup_->setObjectName(QStringLiteral("TXOutputGroup"));
    WavOutBox_ = List("WavOutBox");
    outputMixerButton_ = new QPushButton(QStringLiteral("Show Output Mixer"));
    outputMixerButton_->setObjectName(QStringLiteral("OutputMixerButton"));
    KeyFreq_ = Num("KeyFreq", 100, 2000, 800);
    kbdCaption_ = Caption(QStringLiteral("Kbd Sound Frequency"));
    TXFreq_ = Num("TXFreq", 100, 2000, 800);
    kbdHzText_ = Caption(QStringLiteral("Hz"), "KbdHzText");
    TXSlope_ = Num("TXSlope", 0, 500, 10);
    TXSlope_->hide();
    LevelBar_ = Bar("LevelBar", 0, 40, 10);
    outputLevelText_ = Caption(QStringLiteral("- 10 dB"), "OutputLevelText");
    MuteBox_ = Check(QStringLiteral("Mute All Out"), "MuteBox");
    KeyMuteBox_ = Check(QStringLiteral("Mute Key Out"), "KeyMuteBox");
    TXCharGroup_ = new TRadioGroup(QStringLiteral("Morse Character Set"),
                                   {QStringLiteral("Standard"), QStringLiteral("Extended")});
    TXCharGroup_->setObjectName(QStringLiteral("TXCharGroup"));
    CheckBoxEqkey_ = Check(QStringLiteral("Optimization for = Key"), "CheckBoxEqkey");
    CheckBoxPrepend_ = Check(QStringLiteral("Prepend with VVV<KA>"), "CheckBoxPrepend");

    auto* level = new QVBoxLayout;
    level->addWidget(Caption(QStringLiteral("Output Level"), nullptr, LevelBar_), 0, Qt::AlignHCenter);
    level->addWidget(LevelBar_, 0, Qt::AlignHCenter);
    level->addWidget(outputLevelText_, 0, Qt::AlignHCenter);
    level->setSpacing(2);
    level->addStretch();
    auto* tones = new QGridLayout;
    tones->addWidget(Caption(QStringLiteral("Key Sound Frequency")), 0, 0, 1, 2);
    tones->addWidget(KeyFreq_, 1, 0);
    tones->addWidget(Caption(QStringLiteral("Hz")), 1, 1);
    tones->addWidget(kbdCaption_, 2, 0, 1, 2);
    tones->addWidget(TXFreq_, 3, 0);
    tones->addWidget(kbdHzText_, 3, 1);
    tones->addWidget(TXSlope_, 4, 0);
    tones->setColumnStretch(2, 1);
    tones->setVerticalSpacing(2);
    auto* mutes = new QVBoxLayout;
    mutes->setSpacing(2);
    mutes->addLayout(tones);
    mutes->addWidget(MuteBox_);
    mutes->addWidget(KeyMuteBox_);
    mutes->addStretch();
    auto* outMiddle = new QHBoxLayout;
    outMiddle->addLayout(level);
    outMiddle->addSpacing(16);
    outMiddle->addLayout(mutes, 1);
    auto* options = new QGridLayout;
    options->addWidget(Caption(QStringLiteral("QWERTZ-Keyboard:"), nullptr, CheckBoxEqkey_), 0, 0);
    options->addWidget(CheckBoxEqkey_, 0, 1);
    options->addWidget(Caption(QStringLiteral("CTRL-L loaded Text::"), nullptr, CheckBoxPrepend_), 1, 0);
    options->addWidget(CheckBoxPrepend_, 1, 1);
    auto* outLayout = new QVBoxLayout(output);
    outLayout->setSpacing(4);
    outLayout->addWidget(TXOutputGroup_);
    outLayout->addWidget(Caption(QStringLiteral("Select Sound Output Device"), nullptr, WavOutBox_));
    outLayout->addWidget(WavOutBox_);
    outLayout->addWidget(outputMixerButton_, 0, Qt::AlignLeft);
    outLayout->addLayout(outMiddle);
    outLayout->addWidget(TXCharGroup_);
    outLayout->addLayout(options);

    // --- COM port -----------------------------------------------------------
    auto* com = Group(QStringLiteral("COM Port"), "ComGroupBox");
    ComPortBox_ = List("ComPortBox");
    DTRBox_ = List("DTRBox", {QStringLiteral("low"), QStringLiteral("high")});
    RTSBox_ = List("RTSBox", {QStringLiteral("low"), QStringLiteral("high")});
    InputLineBox_ =
        List("InputLineBox", {QStringLiteral("CTS"), QStringLiteral("DSR"), QStringLiteral("CTS + DSR")});
    for (QComboBox* b : {DTRBox_, RTSBox_, InputLineBox_})
        b->setCurrentIndex(-1);
    InputInvertedGroup_ = new TRadioGroup(QStringLiteral("Key Input Line Polarity"),
                                          {QStringLiteral("Standard"), QStringLiteral("Inverted")});
    InputInvertedGroup_->setObjectName(QStringLiteral("InputInvertedGroup"));
    auto* comGrid = new QGridLayout(com);
    comGrid->setVerticalSpacing(2);
    // The port list spans the group: its entries carry the device's name.
    comGrid->addWidget(Caption(QStringLiteral("Available COM Ports"), nullptr, ComPortBox_), 0, 0, 1, 2);
    comGrid->addWidget(ComPortBox_, 1, 0, 1, 2);
    comGrid->addWidget(Caption(QStringLiteral("DTR Output"), nullptr, DTRBox_), 2, 0);
    comGrid->addWidget(DTRBox_, 3, 0);
    comGrid->addWidget(Caption(QStringLiteral("RTS Output"), nullptr, RTSBox_), 2, 1);
    comGrid->addWidget(RTSBox_, 3, 1);
    comGrid->addWidget(Caption(QStringLiteral("Key Input Line"), nullptr, InputLineBox_), 4, 0);
    comGrid->addWidget(InputLineBox_, 5, 0, Qt::AlignTop);
    comGrid->addWidget(InputInvertedGroup_, 4, 1, 3, 1);
    comGrid->setRowStretch(7, 1);

    // --- Display ------------------------------------------------------------
    auto* display = Group(QStringLiteral("Display Parameters"), "DisplayGroupBox");
    SpeedDisplayGroup_ =
        new TRadioGroup(QStringLiteral("Speed Display"), {QStringLiteral("CpM"), QStringLiteral("WpM ")});
    SpeedDisplayGroup_->setObjectName(QStringLiteral("SpeedDisplayGroup"));
    SpeedDisplayGroup_->SetItemIndex(0);
    QStringList sizes;
    for (int points : kCharSizePoints)
        sizes << QString::number(points);
    CharSizeBox_ = List("CharSizeBox", sizes);
    AllCapsCheckBox_ = Check(QStringLiteral("All CAPS Display"), "AllCapsCheckBox");
    CheckBoxPattern_ = Check(QStringLiteral("Show Morse Pattern"), "CheckBoxPattern");
    HHCheckBox_ = Check(QStringLiteral("<HH> erases all sent"), "HHCheckBox");
    FlashCheckBox_ = Check(QStringLiteral("Flash for WordSpace"), "FlashCheckBox");
    ProsCheckBox_ = Check(QStringLiteral("Display + and ="), "ProsCheckBox");
    auto* dispGrid = new QGridLayout(display);
    dispGrid->setVerticalSpacing(2);
    dispGrid->addWidget(SpeedDisplayGroup_, 0, 0, 2, 1);
    dispGrid->addWidget(Caption(QStringLiteral("Character Size"), nullptr, CharSizeBox_), 0, 1);
    dispGrid->addWidget(CharSizeBox_, 1, 1);
    dispGrid->addWidget(AllCapsCheckBox_, 2, 0);
    dispGrid->addWidget(HHCheckBox_, 2, 1);
    dispGrid->addWidget(CheckBoxPattern_, 3, 0);
    dispGrid->addWidget(FlashCheckBox_, 3, 1);
    dispGrid->addWidget(Caption(QStringLiteral("for typed Characters"), nullptr, ProsCheckBox_), 4, 0);
    dispGrid->addWidget(ProsCheckBox_, 4, 1);
    dispGrid->setRowStretch(5, 1);

    // What a screen reader says where a caption is not beside its control
    // or does not say what the control does.
    gainCaption_->setBuddy(InpLevelBar_);
    levelCaption_->setBuddy(levelGauge_);
    detectorCaption_->setBuddy(DetectorBox_);
    SetAccessible(WavInBox_, QStringLiteral("Sound input device"));
    SetAccessible(InpLevelBar_, QStringLiteral("Input gain"),
                  QStringLiteral("Gain of the sound input; the figure below it says it in dB"));
    SetAccessible(
        levelGauge_, QStringLiteral("Input level"),
        QStringLiteral("Level of the sound input as a rising bar; the figure below it says it in dB"));
    SetAccessible(RXFreq_->Edit(), QStringLiteral("Bandpass filter frequency"),
                  QStringLiteral("Centre of the input filter in Hz; Up and Down arrows change it"));
    SetAccessible(DetectorBox_, QStringLiteral("Detector"));
    SetAccessible(WavOutBox_, QStringLiteral("Sound output device"));
    SetAccessible(LevelBar_, QStringLiteral("Output level"),
                  QStringLiteral("Level of the Morse output; the figure below it says it in dB"));
    SetAccessible(KeyFreq_->Edit(), QStringLiteral("Key sound frequency"),
                  QStringLiteral("Tone of your keying and its replay in Hz; Up and Down arrows change it"));
    SetAccessible(
        TXFreq_->Edit(), QStringLiteral("Kbd sound frequency"),
        QStringLiteral("Tone of typed text in binaural output, in Hz; Up and Down arrows change it"));
    SetAccessible(TXSlope_->Edit(), QStringLiteral("Tone slope"));
    SetAccessible(
        CheckBoxEqkey_, CheckBoxEqkey_->text(),
        QStringLiteral("For typing on a QWERTZ keyboard: the minus key sends = and the underscore -"));
    SetAccessible(CheckBoxPrepend_, CheckBoxPrepend_->text(),
                  QStringLiteral("Text loaded with Ctrl+L is sent after VVV<KA>"));
    SetAccessible(ComPortBox_, QStringLiteral("COM port"));
    SetAccessible(DTRBox_, QStringLiteral("DTR output"));
    SetAccessible(RTSBox_, QStringLiteral("RTS output"));
    SetAccessible(InputLineBox_, QStringLiteral("Key input line"));
    SetAccessible(CharSizeBox_, QStringLiteral("Character size"),
                  QStringLiteral("Size of the decoded and typed characters in points"));
    SetAccessible(ProsCheckBox_, ProsCheckBox_->text(), QStringLiteral("For typed characters"));

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("ParamContent"));
    auto* grid = new QGridLayout(content);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setSpacing(6);
    grid->addWidget(input, 0, 0);
    grid->addWidget(output, 0, 1);
    grid->addWidget(com, 1, 0);
    grid->addWidget(display, 1, 1);
    grid->addWidget(new TParamKeys(target_), 2, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("ParamScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
}
