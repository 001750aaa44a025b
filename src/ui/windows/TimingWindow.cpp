#include "windows/TimingWindow.h"

#include "controls/Accessible.h"
#include "controls/BarGauge.h"
#include "settings/Settings.h"
#include "windows/WorkArea.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

struct Row {
    const char* caption;
    const char* lastGauge;  // nullptr: the kind shows no last value
    int lastLabel;
    const char* avgGauge;
    int avgLabel;
    int min, max;
};

// In display order; label numbers are the TimingLabel suffixes.
const Row kRows[] = {
    {"Dot Length (100)", "ShowValSDit", 1, "ShowValLDit", 2, 0, 200},
    {"Dot Space Length (100)", "ShowValSSpc", 3, "ShowValLSpc", 4, 0, 200},
    {"Dot / (Dot+Space) Weight (50 %)", nullptr, 0, "ShowValDotWeight", 12, 20, 80},
    {"Dash Length (all) (300)", "ShowValSDah", 5, "ShowValLDah", 6, 200, 500},
    {"Dash Length (last in char) (300)", nullptr, 0, "ShowValLLDah", 7, 200, 500},
    {"Character Space Length (300)", "ShowValSCspc", 8, "ShowValLCspc", 9, 200, 500},
    {"Word Space Length (700)", "ShowValSWspc", 10, "ShowValLWspc", 11, 500, 900},
};

const int kAvgLengths[] = {10, 20, 50, 100};

int KindIndex(TimingKind k) { return static_cast<int>(k); }

}  // namespace

TTimingWindow::TTimingWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("TimingWindow");
    setWindowTitle("Show Timing Values");
    setFixedWidth(535);
    setMinimumHeight(150);
    setMaximumHeight(745);

    auto* content = new QWidget;
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    auto* lastHead = new QLabel("Last");
    auto* avgHead = new QLabel("Average");
    lastHead->setAlignment(Qt::AlignCenter);
    avgHead->setAlignment(Qt::AlignCenter);
    grid->addWidget(lastHead, 0, 1, 1, 2);
    grid->addWidget(avgHead, 0, 3, 1, 2);
    int rowNo = 1;
    for (const Row& r : kRows) {
        grid->addWidget(new QLabel(r.caption), rowNo, 0);
        auto addPair = [&](const char* name, int label, int column) {
            auto* g = new TBarGauge;
            g->setObjectName(name);
            g->SetBarColorStyle(cs1Color);
            g->SetBarColor1(Qt::red);
            g->SetShowPosText(false);
            g->SetMin(r.min);
            g->SetMax(r.max);
            g->setFixedSize(110, 16);
            SetAccessible(g, QString("%1, %2").arg(r.caption, column == 1 ? "last" : "average"),
                          QString("The figure beside it as a bar from %1 to %2; the ideal is in brackets")
                              .arg(r.min)
                              .arg(r.max));
            auto* l = new QLabel("0");
            l->setObjectName(QString("TimingLabel%1").arg(label));
            l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            l->setMinimumWidth(label == 12 ? 44 : 36);
            grid->addWidget(g, rowNo, column);
            grid->addWidget(l, rowNo, column + 1);
            gauges_[static_cast<size_t>(label - 1)] = g;
            labels_[static_cast<size_t>(label - 1)] = l;
        };
        if (r.lastGauge)
            addPair(r.lastGauge, r.lastLabel, 1);
        addPair(r.avgGauge, r.avgLabel, 3);
        ++rowNo;
    }
    grid->setColumnStretch(0, 1);

    // Reference and average length.
    lTarget_ = new QLabel("Reference Speed = 10.2 WpM");
    lTarget_->setObjectName("LTarget");
    auto* refGroup = new QGroupBox("Use as Reference:");
    refGroup->setObjectName("ReferenceGroup");
    refTarget_ = new QRadioButton("Target Speed");
    refAverage_ = new QRadioButton("Average Speed");
    refTarget_->setChecked(true);
    auto* refLayout = new QVBoxLayout(refGroup);
    refLayout->addWidget(refTarget_);
    refLayout->addWidget(refAverage_);
    auto* avgLabel = new QLabel("Number of Characters\nfor Average:");
    avgBox_ = new QComboBox;
    avgBox_->setObjectName("AvgBox");
    avgBox_->addItems({"10", "20", "50", "100"});
    avgLabel->setBuddy(avgBox_);
    SetAccessible(avgBox_, "Number of characters for average");
    auto* avgRow = new QHBoxLayout;
    avgRow->addWidget(avgLabel);
    avgRow->addWidget(avgBox_);
    avgRow->addStretch();
    auto* left = new QVBoxLayout;
    left->addWidget(lTarget_);
    left->addWidget(refGroup);
    left->addLayout(avgRow);
    left->addStretch();

    // Shown set and auto-reset.
    auto* setGroup = new QGroupBox("Show Timing Values for");
    setGroup->setObjectName("StatsSetGroup");
    current_ = new QRadioButton("Current Input");
    replay_ = new QRadioButton("Last Replay");
    current_->setChecked(true);
    auto* setLayout = new QVBoxLayout(setGroup);
    setLayout->addWidget(current_);
    setLayout->addWidget(replay_);
    autoResetBox_ = new QCheckBox("Auto-Reset");
    autoResetBox_->setObjectName("AutoResetBox");
    autoResetSeconds_ = new QSpinBox;
    autoResetSeconds_->setObjectName("AutoResetSecondsEdit");
    autoResetSeconds_->setRange(2, 30);
    autoResetSeconds_->setValue(5);
    autoResetSeconds_->setKeyboardTracking(false);
    SetAccessible(
        autoResetSeconds_, "Auto-reset seconds",
        "With Auto-Reset on, the values are reset this many seconds after the last keyed character");
    secondsLabel1_ = new QLabel("seconds after last");
    secondsLabel2_ = new QLabel("keyed character");
    auto* secondsText = new QVBoxLayout;
    secondsText->setSpacing(0);
    secondsText->addWidget(secondsLabel1_);
    secondsText->addWidget(secondsLabel2_);
    auto* autoRow = new QHBoxLayout;
    autoRow->addWidget(autoResetBox_);
    autoRow->addWidget(autoResetSeconds_);
    autoRow->addLayout(secondsText);
    autoRow->addStretch();
    autoCloseBox_ = new QCheckBox("Close on Auto-Reset");
    autoCloseBox_->setObjectName("AutoCloseBox");
    autoCloseBox_->setEnabled(false);
    auto* hint = new QLabel("Reset with <F5>");
    hint->setTextFormat(Qt::PlainText);
    auto* right = new QVBoxLayout;
    right->addWidget(setGroup);
    right->addLayout(autoRow);
    right->addWidget(autoCloseBox_);
    right->addWidget(hint);
    right->addStretch();

    auto* bottom = new QHBoxLayout;
    bottom->addLayout(left);
    bottom->addLayout(right);

    auto* all = new QVBoxLayout(content);
    all->addLayout(grid);
    all->addSpacing(6);
    all->addLayout(bottom);

    auto* scroll = new QScrollArea;
    scroll->setFocusPolicy(Qt::NoFocus);  // the focus goes to the controls, which it scrolls into view
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    resize(535, qMin(745, content->sizeHint().height() + 4));

    connect(refTarget_, &QRadioButton::toggled, this, [this] {
        if (stats_)
            stats_->SetReference(refAverage_->isChecked() ? TTimingStats::Reference::AverageSpeed
                                                          : TTimingStats::Reference::TargetSpeed);
        UpdateDisplay();
        OptionsChanged();
    });
    connect(avgBox_, &QComboBox::currentIndexChanged, this, [this] {
        if (!loading_ && OnAverageLengthChanged)
            OnAverageLengthChanged(AverageLength());
        UpdateDisplay();  // recompute without clearing values
        OptionsChanged();
    });
    connect(replay_, &QRadioButton::toggled, this, [this] {
        ShownSetChanged();
        OptionsChanged();
    });
    connect(autoResetBox_, &QCheckBox::toggled, this, [this] {
        CheckBoxChanged();
        OptionsChanged();
    });
    connect(autoCloseBox_, &QCheckBox::toggled, this, [this] {
        if (current_->isChecked())
            autoClose_ = autoCloseBox_->isChecked();
        OptionsChanged();
    });
    connect(autoResetSeconds_, &QSpinBox::valueChanged, this, [this] { OptionsChanged(); });
    connect(autoResetSeconds_, &QSpinBox::editingFinished, this, [this] {
        if (autoResetSeconds_->hasFocus())
            setFocus();  // Enter moves the focus away
    });

    // Every control passes its keys through this window first.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);

    SetStats(&ownStats_);
}

void TTimingWindow::SetStats(TTimingStats* stats) {
    if (stats_ && stats_ != stats)
        stats_->OnDisplay = nullptr;
    stats_ = stats ? stats : &ownStats_;
    stats_->OnDisplay = [this] { ShowNumbers(); };
    stats_->SetShownSet(ShownSet());
    stats_->SetReference(refAverage_->isChecked() ? TTimingStats::Reference::AverageSpeed
                                                  : TTimingStats::Reference::TargetSpeed);
    stats_->UpdateDisplay();
}

TBarGauge* TTimingWindow::Gauge(const char* name) const {
    return findChild<TBarGauge*>(QString::fromLatin1(name));
}

int TTimingWindow::AutoResetSeconds() const { return autoResetSeconds_->value(); }
int TTimingWindow::AvgCountIdx() const { return avgBox_->currentIndex() < 0 ? 0 : avgBox_->currentIndex(); }
int TTimingWindow::AverageLength() const { return kAvgLengths[AvgCountIdx()]; }
int TTimingWindow::ShownSet() const {
    return replay_->isChecked() ? TTimingStats::kLastReplay : TTimingStats::kCurrentInput;
}

void TTimingWindow::LoadFromSettings(const TSettings& s) {
    loading_ = true;
    PlaceOnWorkArea(this, s.ShowTop, s.ShowLeft);
    autoReset_ = s.AutoReset;
    autoClose_ = s.AutoClose;
    autoResetBox_->setChecked(autoReset_);
    autoCloseBox_->setChecked(autoClose_);
    autoCloseBox_->setEnabled(autoReset_);
    autoResetSeconds_->setValue(s.AutoResetTime);
    (s.CurrentLast == 1 ? replay_ : current_)->setChecked(true);
    ShownSetChanged();
    (s.DispRefAvg == 1 ? refAverage_ : refTarget_)->setChecked(true);
    avgBox_->setCurrentIndex(s.AvgCountIdx >= 0 && s.AvgCountIdx < 4 ? s.AvgCountIdx : 0);
    loading_ = false;
    ResetValues(2);
}

void TTimingWindow::SaveToSettings(TSettings& s) const {
    SaveOptions(s);
    SavePlacement(s);
}

void TTimingWindow::SavePlacement(TSettings& s) const {
    s.ShowTop = y();
    s.ShowLeft = x();
}

void TTimingWindow::OptionsChanged() {
    if (!loading_ && OnOptionsChanged)
        OnOptionsChanged();
}

void TTimingWindow::SaveOptions(TSettings& s) const {
    s.AutoReset = autoReset_;
    s.AutoClose = autoClose_;
    s.AutoResetTime = AutoResetSeconds();
    s.CurrentLast = ShownSet();
    s.DispRefAvg = refAverage_->isChecked() ? 1 : 0;
    s.AvgCountIdx = AvgCountIdx();
}

void TTimingWindow::UpdateDisplay() {
    if (stats_)
        stats_->UpdateDisplay();
}

void TTimingWindow::ResetValues(int which) {
    if (stats_)
        stats_->ResetValues(which);
}

void TTimingWindow::ShownSetChanged() {
    const bool replay = replay_->isChecked();
    if (replay) {
        // The replay set has no auto-reset: keep the choices, show them off.
        autoResetBox_->setChecked(false);
        autoCloseBox_->setChecked(false);
    } else {
        autoResetBox_->setChecked(autoReset_);
        autoCloseBox_->setChecked(autoClose_);
    }
    autoResetBox_->setEnabled(!replay);
    autoCloseBox_->setEnabled(!replay && autoResetBox_->isChecked());
    autoResetSeconds_->setEnabled(!replay);
    secondsLabel1_->setEnabled(!replay);
    secondsLabel2_->setEnabled(!replay);
    if (stats_)
        stats_->SetShownSet(ShownSet());
    UpdateDisplay();
}

void TTimingWindow::CheckBoxChanged() {
    const bool on = autoResetBox_->isChecked();
    if (!on && OnAutoResetOff)
        OnAutoResetOff();
    autoCloseBox_->setEnabled(on && current_->isChecked());
    if (current_->isChecked())
        autoReset_ = on;
}

void TTimingWindow::ShowNumbers() {
    const TTimingStats::Display& d = stats_->Shown();
    auto set = [&](int label, int value, const QString& suffix = {}) {
        gauges_[static_cast<size_t>(label - 1)]->SetPosition(value);
        labels_[static_cast<size_t>(label - 1)]->setText(QString::number(value) + suffix);
    };
    if (!d.hasReference) {
        lTarget_->setText(QString());
        for (int n = 1; n <= 12; ++n)
            set(n, 0);
        return;
    }
    const bool avg = stats_->ReferenceKind() == TTimingStats::Reference::AverageSpeed;
    lTarget_->setText("Reference = " + (ReferenceText ? ReferenceText(avg) : QString()));
    using K = TimingKind;
    set(1, d.last[KindIndex(K::Dot)]);
    set(2, d.average[KindIndex(K::Dot)]);
    set(3, d.last[KindIndex(K::ElementSpace)]);
    set(4, d.average[KindIndex(K::ElementSpace)]);
    // Before the first dot there is no weight to speak of.
    if (stats_->Values(stats_->ShownSet(), K::Dot).lastMs == 0)
        set(12, 0);
    else
        set(12, d.weight, " %");
    set(5, d.last[KindIndex(K::Dash)]);
    set(6, d.average[KindIndex(K::Dash)]);
    set(7, d.average[KindIndex(K::LastDash)]);
    set(8, d.last[KindIndex(K::CharSpace)]);
    set(9, d.average[KindIndex(K::CharSpace)]);
    set(10, d.last[KindIndex(K::WordSpace)]);
    set(11, d.average[KindIndex(K::WordSpace)]);
}

void TTimingWindow::keyPressEvent(QKeyEvent* event) {
    if (!eventFilter(this, event))
        QWidget::keyPressEvent(event);
}

void TTimingWindow::keyReleaseEvent(QKeyEvent* event) {
    if (!eventFilter(this, event))
        QWidget::keyReleaseEvent(event);
}

bool TTimingWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Right) {
            if (OnForwardKeyUp)
                OnForwardKeyUp(k);
            return true;
        }
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* k = static_cast<QKeyEvent*>(event);
    switch (k->key()) {
        case Qt::Key_F3:
            hide();
            return true;
        case Qt::Key_F5:
            ResetValues(ShownSet());
            return true;
        case Qt::Key_Pause:
        case Qt::Key_F7:
        case Qt::Key_Right:  // the Morse key keeps working while this window has the focus
            if (OnForwardKeyDown)
                OnForwardKeyDown(k);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* box = qobject_cast<QCheckBox*>(watched)) {
                box->toggle();
                return true;
            }
            return false;
        default:
            break;
    }
    if (watched == autoResetSeconds_ || (autoResetSeconds_->isAncestorOf(qobject_cast<QWidget*>(watched))))
        return false;
    if (!k->text().isEmpty() && OnForwardKeyPress) {
        OnForwardKeyPress(k);
        return true;
    }
    return false;
}
