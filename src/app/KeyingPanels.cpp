#include "app/KeyingPanels.h"

#include "controls/CWHighlightLabel.h"
#include "controls/PatternStrip.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {
constexpr int kStripHeight = 136;
constexpr int kBottomHeight = 166;
constexpr int kTypedShownHeight = 164;
}

TKeyingPanels::TKeyingPanels(QWidget* parent) : QWidget(parent)
{
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(0);

    // Pattern strip with its two notices over it.
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("StripArea"));
    strip->setFixedHeight(kStripHeight);
    auto* grid = new QGridLayout(strip);
    grid->setContentsMargins(0, 0, 0, 0);
    PaintBox1 = new TPatternStrip(strip);
    PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
    PaintBox1->setAccessibleName(QStringLiteral("Keying pattern"));
    PaintBox1->setAccessibleDescription(
        QStringLiteral("Your keying of the red zone drawn to scale above the ideal pattern of the typed text"));
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

    // A text panel in its own container; both pass their mouse buttons on.
    auto panel = [this](QWidget*& box, const char* boxName, const char* name, int fontPx, const QColor& bold,
                        int topMargin) {
        box = new QWidget(this);
        box->setObjectName(QLatin1String(boxName));
        auto* lay = new QVBoxLayout(box);
        lay->setContentsMargins(0, topMargin, 0, 0);
        auto* label = new TCWHighlightLabel(box);
        label->setObjectName(QLatin1String(name));
        QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPixelSize(fontPx);
        label->setFont(f);
        label->SetColorRxText(Qt::black);
        label->SetColorRxBold(bold);
        label->installEventFilter(this);
        lay->addWidget(label);
        return label;
    };
    // Decoded characters.
    CWLabel2 = panel(middle_, "Middle", "CWLabel2", 60, Qt::red, 0);
    CWLabel2->setAccessibleName(QStringLiteral("Decoded characters"));
    CWLabel2->setAccessibleDescription(
        QStringLiteral("What was keyed, as decoded; each new character is announced. F9 replays the red zone"));
    middle_->installEventFilter(this);
    col->addWidget(middle_, 1);

    // Typed characters.
    CWLabel1 = panel(bottom_, "Bottom", "CWLabel1", 16, QColor(0, 128, 0), 2);
    CWLabel1->setAccessibleName(QStringLiteral("Typed text"));
    CWLabel1->setAccessibleDescription(
        QStringLiteral("Text typed in the main window is sent as Morse at the target speed"));
    bottom_->setFixedHeight(kBottomHeight);
    CWLabel1->setMaximumHeight(160);
    col->addWidget(bottom_);
}

void TKeyingPanels::SetDecodedHidden(bool hidden)
{
    PaintBox1->setVisible(!hidden);
    CWLabel2->SetTextHidden(hidden);
    HiddenText->setVisible(hidden);
}

void TKeyingPanels::SetTypedShown(bool shown) { bottom_->setFixedHeight(shown ? kTypedShownHeight : 1); }

void TKeyingPanels::SetPausedNotice(bool shown) { SoundPausedText->setVisible(shown); }

bool TKeyingPanels::eventFilter(QObject* watched, QEvent* e)
{
    bool down = false;
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:  // a quick second press arrives as a double click
        down = true;
        [[fallthrough]];
    case QEvent::MouseButtonRelease: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->button() != Qt::LeftButton)
            break;
        if (OnMouseKey)
            OnMouseKey(down, m->timestamp());
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, e);
}

void TKeyingPanels::AddTypedText(const std::string& s) { CWLabel1->AddTypedText(s); }
void TKeyingPanels::DeleteTyped(int n) { CWLabel1->DeleteLast(n); }
std::string TKeyingPanels::TypedText() const { return CWLabel1->Text(); }
void TKeyingPanels::MarkSent(const std::string& s) { CWLabel1->MarkSent(s); }
std::string TKeyingPanels::GreenText() const { return CWLabel1->GreenText(); }
int32_t TKeyingPanels::GreenStart() const { return CWLabel1->GreenStart(); }
int32_t TKeyingPanels::MoveGreenStart(int32_t delta) { return CWLabel1->MoveGreenStart(delta); }
int32_t TKeyingPanels::RedStart() const { return CWLabel2->RedStart(); }
int32_t TKeyingPanels::MoveRedStart(int32_t delta) { return CWLabel2->MoveRedStart(delta); }
void TKeyingPanels::UpdateStrip() { PaintBox1->update(); }

void TKeyingPanels::RedrawRedStrip()
{
    if (OnRedrawRed)
        OnRedrawRed();
}

void TKeyingPanels::ResetReplayStats()
{
    if (OnResetReplayStats)
        OnResetReplayStats();
}

void TKeyingPanels::Message(const std::string& text)
{
    if (OnMessage)
        OnMessage(text);
}

void TKeyingPanels::Status(const std::string& text)
{
    if (OnStatus)
        OnStatus(text);
}
