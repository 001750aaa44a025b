#pragma once
// What assistive technology (a screen reader) says for a control: its name
// and, where the caption beside it does not say it, what it does or shows.

#include <QString>
#include <QWidget>

inline void SetAccessible(QWidget* w, const QString& name, const QString& description = QString()) {
    w->setAccessibleName(name);
    if (!description.isEmpty())
        w->setAccessibleDescription(description);
}
