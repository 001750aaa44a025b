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
}  // namespace

TKeyingPanels::TKeyingPanels(QWidget* parent) : QWidget(parent) {
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(0);

    // Pattern strip with its two notices over it.
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("StripArea"));
    strip->setFixedHeight(kStripHeight);
    auto* grid = new QGridLayout(strip);
    grid->setContentsMargins(0, 0, 0, 0);
    strip_ = new TPatternStrip(strip);
    strip_->setObjectName(QStringLiteral("strip_"));
    strip_->setAccessibleName(QStringLiteral("Keying pattern"));
    strip_->setAccessibleDescription(QStringLiteral(
        "Your keying of the red zone drawn to scale above the ideal pattern of the typed text"));
    strip_->installEventFilter(this);
    grid->addWidget(strip_, 0, 0);
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
    upperPanel_ = panel(middle_, "Middle", "upperPanel_", 60, Qt::red, 0);
    upperPanel_->setAccessibleName(QStringLiteral("Decoded characters"));
    upperPanel_->setAccessibleDescription(QStringLiteral(
        "What was keyed, as decoded; each new character is announced. F9 replays the red zone"));
    middle_->installEventFilter(this);
    col->addWidget(middle_, 1);

    // Typed characters.
    lowerPanel_ = panel(bottom_, "Bottom", "lowerPanel_", 16, QColor(0, 128, 0), 2);
    lowerPanel_->setAccessibleName(QStringLiteral("Typed text"));
    lowerPanel_->setAccessibleDescription(
        QStringLiteral("Text typed in the main window is sent as Morse at the target speed"));
    bottom_->setFixedHeight(kBottomHeight);
    lowerPanel_->setMaximumHeight(160);
    col->addWidget(bottom_);
}

void TKeyingPanels::SetDecodedHidden(bool hidden) {
    strip_->setVisible(!hidden);
    upperPanel_->SetTextHidden(hidden);
    HiddenText->setVisible(hidden);
}

void TKeyingPanels::SetTypedShown(bool shown) { bottom_->setFixedHeight(shown ? kTypedShownHeight : 1); }

void TKeyingPanels::SetPausedNotice(bool shown) { SoundPausedText->setVisible(shown); }

bool TKeyingPanels::eventFilter(QObject* watched, QEvent* e) {
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

void TKeyingPanels::AddTypedText(const std::string& s) { lowerPanel_->AddTypedText(s); }
void TKeyingPanels::DeleteTyped(int n) { lowerPanel_->DeleteLast(n); }
std::string TKeyingPanels::TypedText() const { return lowerPanel_->Text(); }
void TKeyingPanels::MarkSent(const std::string& s) { lowerPanel_->MarkSent(s); }
std::string TKeyingPanels::GreenText() const { return lowerPanel_->GreenText(); }
int32_t TKeyingPanels::GreenStart() const { return lowerPanel_->GreenStart(); }
int32_t TKeyingPanels::MoveGreenStart(int32_t delta) { return lowerPanel_->MoveGreenStart(delta); }
int32_t TKeyingPanels::RedStart() const { return upperPanel_->RedStart(); }
int32_t TKeyingPanels::MoveRedStart(int32_t delta) { return upperPanel_->MoveRedStart(delta); }
void TKeyingPanels::UpdateStrip() { strip_->update(); }

void TKeyingPanels::RedrawRedStrip() {
    if (OnRedrawRed)
        OnRedrawRed();
}

void TKeyingPanels::ResetReplayStats() {
    if (OnResetReplayStats)
        OnResetReplayStats();
}

void TKeyingPanels::Message(const std::string& text) {
    if (OnMessage)
        OnMessage(text);
}

void TKeyingPanels::Status(const std::string& text) {
    if (OnStatus)
        OnStatus(text);
}
