#include "app/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace {
QString Title() { return QApplication::applicationName(); }
}  // namespace

void TQtMessageBoxes::Message(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, Title(), text, QMessageBox::Ok, parent_);
    box.exec();
}

bool TQtMessageBoxes::AskYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Warning, Title(), text, QMessageBox::Yes | QMessageBox::No, parent_);
    return box.exec() == QMessageBox::Yes;
}

bool TQtMessageBoxes::AskOkCancel(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, Title(), text, QMessageBox::Ok | QMessageBox::Cancel, parent_);
    return box.exec() == QMessageBox::Ok;
}
