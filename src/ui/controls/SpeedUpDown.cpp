#include "controls/SpeedUpDown.h"

#include "controls/Accessible.h"

#include <QToolButton>
#include <QVBoxLayout>

TSpeedUpDown::TSpeedUpDown(QWidget* parent) : QWidget(parent) {
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    const QString step = QStringLiteral(
        "Changes the target speed by one; with Shift by ten, with Shift and Ctrl by a hundred");
    SetAccessible(up_, QStringLiteral("Faster"), step);
    SetAccessible(down_, QStringLiteral("Slower"), step);
    for (QToolButton* b : {up_, down_}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(17, 13);
        b->setAutoRepeat(true);
        lay->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, [this] {
        if (OnClick)
            OnClick(+1);
    });
    connect(down_, &QToolButton::clicked, this, [this] {
        if (OnClick)
            OnClick(-1);
    });
}
