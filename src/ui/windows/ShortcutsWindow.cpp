#include "windows/ShortcutsWindow.h"

#include "controls/Accessible.h"
#include "settings/Settings.h"
#include "windows/WorkArea.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

QStringList TShortcutsWindow::Lines() {
    return {
        "F1\tdisplay Help information in your browser",
        "Ctrl+F1\tshow this list of short cut keys, close with ESC",
        "F2\topen/close the Set Parameters window",
        "F3\topen/close the Show Timing Values window",
        "F4\thide/unhide all decoded characters and patterns",
        "F5\treset all values in the Show Timing Values window, when visible",
        "F6\topen/close the Practice window",
        "F7\tpause/resume input in Sound Input Mode",
        "F8\thide/unhide the lower panel where typed characters are shown",
        "F9\tplay the red highlighted characters with your timing",
        "Shift F9\tplay only the first red highlighted character with your timing",
        "Ctrl F9 \tplay the green highlighted characters with target speed",
        "Shift Ctrl F9\tplay only the first green highlighted character ",
        "F10\taccess the menu bar (standard Windows command)",
        "",
        "PgUp  \t\tmove the start of the red zone up",
        "PgDn\t\tmove the start of the red zone down",
        "Ctrl+PgUp \tmove the start of the green zone up",
        "Ctrl+PgDn\tmove the start of the green zone down",
        "Shift+PgUp \tmove the start of the red AND green zones up",
        "Shift+PgDn\tmove the start of the red AND green zones down",
        "Home\t\tmove the red zone to start with first character",
        "End\t\tmove the red zone to last character",
        "Ctrl+Home\tmove the green zone to start with first character",
        "Ctrl+End\t\tmove the green zone to last character",
        "",
        "ESC\tstop any Morse output, close windows",
        "DEL\tclear text and pattern displays for Morse input (red)",
        "Ctrl+DEL\tclear text and pattern displays for typed characters (green)",
        "Ctrl+Z\tclear all text and pattern displays on all panels",
        "Ctrl+L \tload text from a file to the lower panel",
        "Ctrl+S\tsave the decoded text to a file",
        "PAUSE/BREAK pause/resume input in Sound Input Mode (same as F7) ",
    };
}

TShortcutsWindow::TShortcutsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("ShortCuts");
    setWindowTitle("Short Cut Keys for Orvo Tapmeter");
    setFixedWidth(680);
    setMinimumHeight(150);
    setMaximumHeight(690);
    resize(680, 690);

    memo_ = new QPlainTextEdit;
    memo_->setObjectName("ShortcutsText");
    memo_->setReadOnly(true);
    SetAccessible(memo_, "Short cut keys", "One key a line, with what it does; Escape closes the window");
    memo_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QFont f = memo_->font();
    f.setPixelSize(16);
    f.setBold(true);
    memo_->setFont(f);
    // The lines were laid out for tab stops just past the short key names:
    // keys with one tab and keys with two then line up in each block.
    const QFontMetrics fm(f);
    int stop = 0;
    for (const char* key : {"Shift F9", "Ctrl+DEL", "Ctrl+End"})
        stop = qMax(stop, fm.horizontalAdvance(key));
    memo_->setTabStopDistance(stop + fm.averageCharWidth());
    memo_->setPlainText(Lines().join('\n'));
    memo_->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(memo_);
}

void TShortcutsWindow::LoadFromSettings(const TSettings& s) {
    PlaceOnWorkArea(this, s.ShCutsTop, s.ShCutsLeft);
}

void TShortcutsWindow::SaveToSettings(TSettings& s) const {
    s.ShCutsTop = y();
    s.ShCutsLeft = x();
}

void TShortcutsWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TShortcutsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        hide();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
