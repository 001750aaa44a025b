// The main window's menu bar: the File, View, Parameters and Help menus,
// their status-bar hints and shortcuts, each item handed to the unit that
// carries it out.

#include "app/MainWindow.h"

#include "app/MenuBarKey.h"
#include "app/WindowCommands.h"
#include "controls/CWHighlightLabel.h"
#include "app/ParamLink.h"

#include <QAction>
#include <QMenuBar>

#include <algorithm>

void TMainWindow::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto menu = [&](const char* caption, const char* hint, const char* name) {
        QMenu* m = bar->addMenu(QString::fromLatin1(caption));
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setStatusTip(QString::fromLatin1(hint));
        m->setToolTipsVisible(true);
        return m;
    };
    auto item = [&](QMenu* m, const char* caption, const char* hint, const char* name, QKeySequence key,
                    auto handler) {
        QAction* a = m->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setStatusTip(QString::fromLatin1(hint));
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };

    QMenu* file = menu("&File", "File related commands", "File1");
    item(file, "&Save decoded text", "Save decoded text to a file", "Sa1", QKeySequence("Ctrl+S"),
         [this] { commands_->SaveDecodedText(upperPanel_->Text()); });
    item(file, "&Load text from file", "Load text from a file to the lower panel", "FileLoadItem",
         QKeySequence("Ctrl+L"), [this] {
             commands_->LoadTextFile(*lowerPanel_, [this] {
                 std::string dropped = Sending().DropTypeAhead();
                 if (dropped.empty())
                     return;
                 if (dropped.size() > 40)
                     dropped = dropped.substr(0, 40) + "...";
                 std::replace(dropped.begin(), dropped.end(), '\r', ' ');
                 ShowStatus("Typed text not yet sent was dropped: " + dropped);
             });
             strip_->update();
         });
    file->addSeparator();
    QAction* exit = item(file, "E&xit", "Exit application", "FileExit1", QKeySequence(), [this] { close(); });
    exit->setToolTip(QStringLiteral("Exit"));

    QMenu* view = menu("View", "Show and Clear", "View1");
    item(view, "&Show Timing                          F3", "Show panel with timing values", "ShowTiming",
         QKeySequence(), [this] { ShowTiming(); });
    item(view, "Show/Hide &Decoded Chars  F4", "Show/Hide all decoded characters and patterns",
         "ShowHideDecoded1", QKeySequence(), [this] { ShowHideDecodedChars(); });
    item(view, "Show/Hide &Typed Panel        F8", "Show/Hide panel with typed characters", "ShowHideTyped1",
         QKeySequence(), [this] { ShowTyped(!Settings().ShTyped); });
    item(view, "&Practice                                 F6",
         "Show spread, score and progress of your keying", "ShowPractice", QKeySequence(),
         [this] { ShowPracticeClick(); });
    item(view, "&Clear all Panels", "Clear all Panels", "ClearPanels1", QKeySequence("Ctrl+Z"),
         [this] { ClearAll(); });

    QMenu* params = menu("&Parameters", "Set program parameters", "Parameters1");
    item(params, "&Set Parameters ", "Set Parameters", "SetParameters1", QKeySequence("F2"),
         [this] { ToggleParameters(); });
    inputMixerAction_ = item(params, "&Input Mixer", "Show Input Mixer", "inputMixerAction_", QKeySequence(),
                             [this] { OpenMixer(true, *boxes_); });
    item(params, "&Output Mixer", "Show Output Mixer", "OutputMixer1", QKeySequence(),
         [this] { OpenMixer(false, *boxes_); });

    QMenu* help = menu("&Help", "Help topics", "Help1");
    item(help, "&Help", "Show Help in Browser", "Help2", QKeySequence("F1"), [this] {
        ClearFocus();
        commands_->ShowHelp();
    });
    item(help, "Short&Cuts", "Show page with shortcuts", "ShortCuts1", QKeySequence("Ctrl+F1"),
         [this] { ShowShortcuts(); });
    item(help, "&Show Orvo homepage", "Show Orvo homepage in browser", "ShowHomepage", QKeySequence(),
         [this] { commands_->ShowHomepage(); });
    item(help, "&About...", "Show program information and version number", "HelpAbout1", QKeySequence(),
         [this] { ShowAbout(); });

    // Menu shortcuts work whether or not the bar has the focus.
    for (QAction* a : findChildren<QAction*>())
        a->setShortcutContext(Qt::WindowShortcut);
    new TMenuBarKey(this);
}
