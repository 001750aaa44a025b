#include "controls/RadioGroup.h"

#include <QGridLayout>
#include <QRadioButton>

TRadioGroup::TRadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(title, parent), columns_(columns < 1 ? 1 : columns) {
    grid_ = new QGridLayout(this);
    grid_->setContentsMargins(8, 2, 8, 2);
    grid_->setVerticalSpacing(2);
    for (const QString& t : items)
        AddItem(t);
}

void TRadioGroup::AddItem(const QString& text) {
    auto* b = new QRadioButton(text, this);
    const int i = Count();
    b->setAutoExclusive(true);
    // A click on an item that is already selected changes nothing.
    connect(b, &QRadioButton::clicked, this, [this, i] { SetItemIndex(i); });
    buttons_.push_back(b);
    Arrange();
}

void TRadioGroup::SetColumns(int columns) {
    columns_ = columns < 1 ? 1 : columns;
    Arrange();
}

void TRadioGroup::Arrange() {
    for (QRadioButton* b : buttons_)
        grid_->removeWidget(b);
    const int rows = (Count() + columns_ - 1) / columns_;
    for (int i = 0; i < Count(); ++i)
        grid_->addWidget(buttons_[static_cast<size_t>(i)], i % rows, i / rows);
}

void TRadioGroup::SetItemIndex(int i) {
    if (i < -1 || i >= Count())
        i = -1;
    if (i == index_) {
        if (i >= 0)
            buttons_[static_cast<size_t>(i)]->setChecked(true);
        return;
    }
    index_ = i;
    if (i >= 0) {
        buttons_[static_cast<size_t>(i)]->setChecked(true);
    } else {
        for (QRadioButton* b : buttons_) {
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(true);
        }
    }
    if (OnClick)
        OnClick();
}
