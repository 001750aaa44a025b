#pragma once
// What assistive technology (a screen reader, over AT-SPI on Linux) sees of
// a text panel: a read-only text holding the panel's characters, and a text
// event for every character added, so that decoded characters are spoken as
// they arrive. Installed once for every TCWHighlightLabel.

#include <QAccessibleWidget>

class TCWHighlightLabel;

class TPanelAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TPanelAccessible(TCWHighlightLabel* panel);

    // Makes Qt build this interface for every panel (once per program).
    static void Install();
    // Tells assistive technology that text was added at position (in
    // characters of the accessible text).
    static void TextAdded(TCWHighlightLabel* panel, int position, const QString& text);

    void* interface_cast(QAccessible::InterfaceType t) override;
    QAccessible::State state() const override;

    // QAccessibleTextInterface: the whole text, no selection, the caret after
    // the last character.
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return characterCount(); }
    void setCursorPosition(int) override {}
    QString text(QAccessible::Text t) const override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    TCWHighlightLabel* panel() const;
};
