#include "windows/ScopeWindow.h"

#include "controls/Accessible.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStatusBar>
#include <QVBoxLayout>

TScopeWindow::TScopeWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("ScopeWindow");
    setWindowTitle("Orvo Scope");
    resize(812, 185);
    setMinimumWidth(812);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    scope_ = new TCWScope(this);
    scope_->setObjectName("ScopeDisplay");
    scope_->SetBuffersize(1000);
    scope_->SetDisplay(tDisplay::Linewriter);
    scope_->SetDisplayMode(tDisplayMode::three);
    scope_->SetLine1Color(Qt::red);
    scope_->SetLine2Color(QColor(0, 255, 0));  // lime
    scope_->SetLine3Color(Qt::black);
    SetAccessible(scope_, "Scope",
                  "The sound input's envelope in red, the detector's threshold in green and the key it finds "
                  "in black, written from left to right");
    layout->addWidget(scope_, 1);
    status_ = new QStatusBar(this);
    status_->setObjectName("ScopeStatusBar");
    status_->setFixedHeight(30);
    status_->setSizeGripEnabled(false);
    layout->addWidget(status_);
}

QString TScopeWindow::StatusText() const { return status_->currentMessage(); }

void TScopeWindow::SetStatusText(const QString& text) {
    if (text.isEmpty())
        status_->clearMessage();
    else
        status_->showMessage(text);
}

QString TScopeWindow::RecordText(const CharRecord& rec) {
    const uint32_t n = std::min<uint32_t>(rec[1], kMaxRecordElements);
    QString s = QStringLiteral(" / ") + QString::number(n);
    for (uint32_t i = 0; i < n; ++i)
        s += QStringLiteral(" / ") + QString::number(rec[2 + i]);
    return s;
}

void TScopeWindow::ShowScope(bool show) {
    if (show) {
        this->show();
        // Keying continues in the main window.
        if (keyTarget_) {
            keyTarget_->activateWindow();
            keyTarget_->setFocus();
        }
    } else {
        hide();
        SetStatusText(QString());
    }
}

void TScopeWindow::Forward(QKeyEvent* e) {
    QKeyEvent copy(e->type(), e->key(), e->modifiers(), e->nativeScanCode(), e->nativeVirtualKey(),
                   e->nativeModifiers(), e->text(), e->isAutoRepeat(), static_cast<quint16>(e->count()));
    copy.setTimestamp(e->timestamp());
    QApplication::sendEvent(keyTarget_, &copy);
    e->setAccepted(copy.isAccepted());
}

void TScopeWindow::keyPressEvent(QKeyEvent* e) {
    if (keyTarget_)
        Forward(e);
    else
        QWidget::keyPressEvent(e);
}

void TScopeWindow::keyReleaseEvent(QKeyEvent* e) {
    if (keyTarget_)
        Forward(e);
    else
        QWidget::keyReleaseEvent(e);
}
