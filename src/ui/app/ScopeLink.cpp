#include "app/ScopeLink.h"

#include <QAction>
#include <QWidget>

TScopeLink::TScopeLink(TAnalyser& calc, QWidget* mainWindow)
    : calc_(calc), form_(new TScopeWindow(mainWindow)) {
    form_->SetKeyTarget(mainWindow);
    if (mainWindow) {
        // The menu shortcuts (Ctrl+S, Ctrl+L, F1, ...) work in the scope window too.
        form_->addActions(mainWindow->findChildren<QAction*>());
    }
    form_->hide();
}

TScopeLink::~TScopeLink() = default;  // the form belongs to the main window

bool TScopeLink::Visible() const { return form_->isVisible(); }

void TScopeLink::Toggle() {
    const bool show = !form_->isVisible();
    form_->ShowScope(show);
    if (show)
        UpdateStatus();
}

void TScopeLink::BlockProcessed(int l, const int32_t* env, const int32_t* thr, const int32_t* key) {
    if (form_->isVisible())
        form_->ScopeDisplay()->AddData(l, env, thr, key);
}

void TScopeLink::UpdateStatus() {
    if (!form_->isVisible() || calc_.HistCount() == 0)
        return;
    CharRecord rec{};
    calc_.GetCharRecord(calc_.Browsing() ? static_cast<uint32_t>(calc_.CursorBack()) : 0u, rec);
    form_->SetStatusText(TScopeWindow::RecordText(rec));
}

void TScopeLink::SetFrozen(bool frozen) { form_->ScopeDisplay()->SetFrozen(frozen); }
