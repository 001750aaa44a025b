#include "controls/NumEdit.h"

#include "controls/Accessible.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

TNumEdit::TNumEdit(QWidget* parent) : QWidget(parent) {
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("edit"));
    edit_->setMaxLength(6);
    edit_->setFixedWidth(52);
    edit_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edit_->installEventFilter(this);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    SetAccessible(up_, QStringLiteral("Increase"));
    SetAccessible(down_, QStringLiteral("Decrease"));
    for (QToolButton* b : {up_, down_}) {
        b->setAccessibleDescription(
            QStringLiteral("Steps the value by one; with Shift by ten, with Shift and Ctrl by a hundred"));
        b->setFixedSize(17, 12);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(up_, &QToolButton::clicked, this, [this] { Step(+1, QApplication::keyboardModifiers()); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1, QApplication::keyboardModifiers()); });

    auto* arrows = new QVBoxLayout;
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    arrows->addWidget(up_);
    arrows->addWidget(down_);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    row->addWidget(edit_);
    row->addLayout(arrows);
}

void TNumEdit::SetRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    SetPosition(position_);
}

void TNumEdit::SetPosition(int p) { position_ = std::clamp(p, min_, max_); }

void TNumEdit::Step(int direction, Qt::KeyboardModifiers mods) {
    SetPosition(position_ + direction);
    UpDownClick(mods);
}

void TNumEdit::UpDownClick(Qt::KeyboardModifiers mods) {
    if (!Target || !SetTarget)
        return;
    if (PlainClick) {
        SetTarget(position_);
    } else {
        // The up-down has already moved one way: that way is the direction,
        // and the step starts from where it was.
        const int current = Target();
        int step = position_ > current ? 1 : (position_ < current ? -1 : 0);
        position_ -= step;
        const bool shift = mods & Qt::ShiftModifier;
        const bool ctrl = mods & Qt::ControlModifier;
        step *= shift && ctrl ? 100 : (shift ? 10 : 1);
        SetTarget(position_ + step);
    }
    ShowTarget();
    if (OnClickDone)
        OnClickDone();
}

void TNumEdit::Commit() {
    if (!Target || !SetTarget)
        return;
    if (EnterNeedsEnabled && !edit_->isEnabled())
        return;
    bool ok = false;
    const int typed = edit_->text().trimmed().toInt(&ok, 10);
    SetTarget(ok ? typed : Target());
    ShowTarget();
    if (OnCommitDone)
        OnCommitDone();
}

void TNumEdit::ShowTarget() {
    if (!Target)
        return;
    const int v = Target();
    ShowValue(v);
    if (OnStored)
        OnStored(v);
}

void TNumEdit::ShowValue(int v) {
    SetPosition(v);
    edit_->setText(QString::number(v));
}

bool TNumEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_) {
        if (event->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(event);
            switch (k->key()) {
                case Qt::Key_Up:
                case Qt::Key_Down:
                    Step(k->key() == Qt::Key_Up ? +1 : -1, k->modifiers());
                    edit_->end(false);
                    return true;
                case Qt::Key_Return:
                case Qt::Key_Enter:
                    Commit();
                    return true;
                case Qt::Key_Escape:
                    return true;
                default:
                    break;
            }
        } else if (event->type() == QEvent::FocusOut) {
            Commit();
        }
    }
    return QWidget::eventFilter(watched, event);
}
