#include "controls/SpeedBar.h"

#include "controls/Accessible.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>

#include <cmath>

namespace {

// Qt tells assistive technology of every text set, the same one too: a
// speed is set only when it changed, so that a screen reader hears each
// new figure once.
void SetSpeedText(QLineEdit* e, const QString& text) {
    if (e->text() != text)
        e->setText(text);
}

}  // namespace

TSpeedBar::TSpeedBar(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(6);

    DecCharLabel_ = new QLabel(this);
    DecCharLabel_->setObjectName(QStringLiteral("lastCharLabel_"));
    DecCharLabel_->setAccessibleName(QStringLiteral("Last decoded character"));
    QFont big = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    big.setPixelSize(36);
    big.setBold(true);
    DecCharLabel_->setFont(big);
    DecCharLabel_->setStyleSheet(QStringLiteral("color: red;"));
    DecCharLabel_->setMinimumWidth(170);
    QSizePolicy keep = DecCharLabel_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    DecCharLabel_->setSizePolicy(keep);
    row->addWidget(DecCharLabel_);
    row->addStretch(1);

    auto addCaption = [&](const char* text, const char* name) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        if (name)
            l->setObjectName(QString::fromLatin1(name));
        row->addWidget(l);
        return l;
    };
    auto addSpeedBox = [&](const char* name, bool readOnly, const char* spoken, const char* description) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        SetAccessible(e, QString::fromLatin1(spoken), QString::fromLatin1(description));
        if (QLabel* caption = qobject_cast<QLabel*>(row->itemAt(row->count() - 1)->widget()))
            caption->setBuddy(e);
        e->setFixedWidth(52);
        e->setAlignment(Qt::AlignRight);
        e->setReadOnly(readOnly);
        e->setFocusPolicy(readOnly ? Qt::NoFocus : Qt::ClickFocus);
        row->addWidget(e);
        return e;
    };

    addCaption("Target Speed", nullptr);
    CWSpeed = addSpeedBox("CWSpeed", false, "Target speed",
                          "The speed the keying is measured against; Up and Down arrows change it");
    CWSpeed->setMaxLength(4);
    CWSpeed->setText(QStringLiteral("60"));
    CWSpeed->installEventFilter(this);
    SpeedUpDown = new TSpeedUpDown(this);
    SpeedUpDown->setObjectName(QStringLiteral("SpeedUpDown"));
    SpeedUpDown->SetRange(20, 300);
    SpeedUpDown->SetPosition(60);
    SpeedUpDown->setToolTip(QStringLiteral("Change target speed"));
    SpeedUpDown->setStatusTip(QStringLiteral("Change target speed"));
    SpeedUpDown->setAccessibleName(QStringLiteral("Change target speed"));
    SpeedUpDown->OnClick = [this](int direction) {
        const Qt::KeyboardModifiers mods =
            QGuiApplication::queryKeyboardModifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
        int step = direction;
        if (mods == (Qt::ShiftModifier | Qt::ControlModifier))
            step *= 100;
        else if (mods == Qt::ShiftModifier)
            step *= 10;
        if (OnStep)
            OnStep(step, true);
    };
    row->addWidget(SpeedUpDown);
    WpMCpMText = addCaption("CpM", "WpMCpMText");
    row->addSpacing(16);
    addCaption("Actual Speed", nullptr);
    RecSpeed = addSpeedBox("RecSpeed", true, "Actual speed", "Speed of the last decoded character");
    actualUnitText_ = addCaption("CpM", "actualUnitText_");
    row->addSpacing(16);
    addCaption("Avg Speed", nullptr);
    AvgSpeed = addSpeedBox("AvgSpeed", true, "Average speed", "Moving average of the decoded speed");
    averageUnitText_ = addCaption("CpM", "averageUnitText_");
}

QString TSpeedBar::FormatSpeed(uint32_t cpm) const {
    // QString::number never uses the locale: the decimal point is always ".".
    return wpm_ ? QString::number(cpm / 5.0, 'f', 1) : QString::number(cpm);
}

QString TSpeedBar::UnitText() const { return wpm_ ? QStringLiteral("WpM") : QStringLiteral("CpM"); }

void TSpeedBar::SetWpM(bool wpm) {
    wpm_ = wpm;
    for (QLabel* l : {WpMCpMText, actualUnitText_, averageUnitText_})
        l->setText(UnitText());
    ShowTarget(target_);
}

void TSpeedBar::ShowTarget(int cpm) {
    target_ = cpm;
    SpeedUpDown->SetPosition(cpm);
    SetSpeedText(CWSpeed, FormatSpeed(uint32_t(cpm)));
    CWSpeed->end(false);
    CWSpeed->setModified(false);
}

void TSpeedBar::ShowActual(uint32_t cpm) {
    if (cpm == 0) {
        SetSpeedText(RecSpeed, QString());
        SetSpeedText(AvgSpeed, QString());
        return;
    }
    SetSpeedText(RecSpeed, FormatSpeed(cpm));
}

void TSpeedBar::ShowAverage(uint32_t cpm) { SetSpeedText(AvgSpeed, cpm == 0 ? QString() : FormatSpeed(cpm)); }

QString TSpeedBar::TargetText() const { return CWSpeed->text(); }
QString TSpeedBar::AverageText() const { return AvgSpeed->text(); }

void TSpeedBar::Enter() {
    const QString text = CWSpeed->text().trimmed();
    int speed = target_;
    bool ok = false;
    if (wpm_) {
        const double wpm = QLocale::c().toDouble(text, &ok);
        if (ok && std::isfinite(wpm) && std::fabs(wpm) < 1e6)
            speed = int(std::lround(wpm * 5.0));
    } else {
        const int v = QLocale::c().toInt(text, &ok);
        if (ok)
            speed = v;
    }
    CWSpeed->setModified(false);
    if (OnEntered)
        OnEntered(speed);
}

bool TSpeedBar::eventFilter(QObject* watched, QEvent* e) {
    if (watched != CWSpeed)
        return QWidget::eventFilter(watched, e);
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        const Qt::KeyboardModifiers mods =
            k->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        switch (k->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Escape:
                Enter();
                return true;
            case Qt::Key_Up:
            case Qt::Key_Down: {
                int step = 1;
                if (mods == (Qt::ShiftModifier | Qt::ControlModifier))
                    step = 100;
                else if (mods == Qt::ShiftModifier)
                    step = 10;
                if (OnStep)
                    OnStep(k->key() == Qt::Key_Up ? step : -step, false);
                return true;
            }
            case Qt::Key_F2:
            case Qt::Key_F3:
            case Qt::Key_F5:
            case Qt::Key_F8:
                if (OnForwardKey)
                    OnForwardKey(k);
                return true;
            case Qt::Key_Delete:
                // At the end of the text Delete has nothing to delete: it is
                // the window's hot key then.
                if (CWSpeed->cursorPosition() == CWSpeed->text().size()) {
                    if (OnForwardKey)
                        OnForwardKey(k);
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
            Enter();
    }
    return false;
}
