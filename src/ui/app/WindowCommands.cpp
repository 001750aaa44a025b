#include "app/WindowCommands.h"

#include "analysis/Analyser.h"
#include "session/KeyingSession.h"
#include "controls/CWHighlightLabel.h"
#include "settings/Settings.h"

#include <QCoreApplication>

TWindowCommands::TWindowCommands(QWidget* window, KeyingSession& session, IMessageBoxes& boxes,
                                 ISoundIn* soundIn, IFileDialogs* dialogs)
    : window_(window),
      calc_(session.Analyser()),
      session_(session),
      boxes_(boxes),
      qtDialogs_(window),
      dialogs_(dialogs ? dialogs : &qtDialogs_),
      files_(*dialogs_, boxes, session.Settings(), session.CWout(),
             [&session](const TSettings& s) { session.Apply(s); }),
      programFolder_(QCoreApplication::applicationDirPath().toStdString()) {
    session.AttachSampleSources(soundIn, [this](const std::string& current, std::string& path) {
        return files_.FileOpenInExecute(current, path);
    });
}

TWindowCommands::~TWindowCommands() = default;

TFileIn& TWindowCommands::FileIn1() { return session_.FileIn(); }
TSoundInSource& TWindowCommands::SoundSource() { return *session_.SoundSource(); }
TWavFileSource& TWindowCommands::WavSource() { return session_.WavSource(); }

void TWindowCommands::CreateScope() {
    if (!scope_)
        scope_ = std::make_unique<TScopeLink>(calc_, window_);
}

void TWindowCommands::ToggleScope() {
    CreateScope();
    scope_->Toggle();
}

void TWindowCommands::BlockProcessed(int l, const int32_t* env, const int32_t* thr, const int32_t* key) {
    if (scope_)
        scope_->BlockProcessed(l, env, thr, key);
}

void TWindowCommands::UpdateScopeStatus() {
    if (scope_)
        scope_->UpdateStatus();
}

void TWindowCommands::SetPaused(bool paused) {
    if (scope_)
        scope_->SetFrozen(paused);
}

void TWindowCommands::SaveDecodedText(const std::string& panelText) { files_.SaveDecodedText(panelText); }

void TWindowCommands::LoadTextFile(TCWHighlightLabel& lower, const std::function<void()>& dropTypeAhead) {
    files_.LoadTextFile([&](const std::string& text) {
        // Typed text not yet sent would shift the sent marks: it goes, as
        // with Ctrl+Delete, and what is still on its way counts as sent.
        if (dropTypeAhead)
            dropTypeAhead();
        if (lower.SentEnd() < lower.Length())
            lower.MarkSent(lower.Text().substr(static_cast<size_t>(lower.SentEnd())));
        lower.AddTypedText(text);
        lower.MarkSent(text);
    });
}

void TWindowCommands::ShowHelp() { ShowHelpPage(*opener_, boxes_, programFolder_); }

void TWindowCommands::ShowHomepage() { ShowHelpPage(*opener_, boxes_, programFolder_, kHomepageAnchor); }
