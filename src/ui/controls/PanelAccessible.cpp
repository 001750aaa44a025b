#include "controls/PanelAccessible.h"

#include "controls/CWHighlightLabel.h"

namespace {

QAccessibleInterface* PanelFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("TCWHighlightLabel") && object && object->isWidgetType())
        return new TPanelAccessible(static_cast<TCWHighlightLabel*>(object));
    return nullptr;
}

}  // namespace

TPanelAccessible::TPanelAccessible(TCWHighlightLabel* panel)
    : QAccessibleWidget(panel, QAccessible::EditableText) {}

void TPanelAccessible::Install() {
    static bool installed = false;
    if (!installed) {
        QAccessible::installFactory(PanelFactory);
        installed = true;
    }
}

void TPanelAccessible::TextAdded(TCWHighlightLabel* panel, int position, const QString& text) {
    if (!QAccessible::isActive() || text.isEmpty())
        return;
    QAccessibleTextInsertEvent event(panel, position, text);
    QAccessible::updateAccessibility(&event);
}

TCWHighlightLabel* TPanelAccessible::panel() const { return static_cast<TCWHighlightLabel*>(widget()); }

void* TPanelAccessible::interface_cast(QAccessible::InterfaceType t) {
    if (t == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

QAccessible::State TPanelAccessible::state() const {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    return s;
}

QString TPanelAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Value)
        return panel()->AccessibleText();
    return QAccessibleWidget::text(t);
}

QString TPanelAccessible::text(int startOffset, int endOffset) const {
    const QString all = panel()->AccessibleText();
    if (startOffset < 0)
        startOffset = 0;
    if (endOffset < 0 || endOffset > all.size())
        endOffset = int(all.size());
    return startOffset >= endOffset ? QString() : all.mid(startOffset, endOffset - startOffset);
}

int TPanelAccessible::characterCount() const { return int(panel()->AccessibleText().size()); }

QString TPanelAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
    *startOffset = *endOffset = offset;
    return {};
}
