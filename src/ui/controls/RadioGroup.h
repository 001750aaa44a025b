#pragma once
// A titled group of radio buttons laid out in columns, with one selected
// index (-1: none). Selecting an item, by the user or by the program, runs
// OnClick only when the selection changes.

#include <QGroupBox>
#include <QStringList>

#include <functional>
#include <vector>

class QGridLayout;
class QRadioButton;

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& title, const QStringList& items, int columns = 1, QWidget* parent = nullptr);

    int ItemIndex() const { return index_; }
    void SetItemIndex(int i);
    int Count() const { return static_cast<int>(buttons_.size()); }
    QRadioButton* Button(int i) const { return buttons_.at(static_cast<size_t>(i)); }
    void AddItem(const QString& text);
    void SetColumns(int columns);

    std::function<void()> OnClick;

private:
    void Arrange();

    QGridLayout* grid_;
    std::vector<QRadioButton*> buttons_;
    int columns_;
    int index_ = -1;
};
