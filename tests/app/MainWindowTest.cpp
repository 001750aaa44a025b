// Drives the real main window with key and mouse events carrying chosen
// timestamps, on a hand-driven clock, and checks what the operator sees.

#include "AppHarness.h"
#include "controls/RadioGroup.h"
#include "windows/ParamWindow.h"
#include "devices/NullSound.h"
#include "session/KeyTiming.h"
#include "app/SingleInstance.h"
#include "cli/Cli.h"
#include "app/WindowCommands.h"
#include "windows/PracticeWindow.h"
#include "windows/AboutBox.h"
#include "windows/ShortcutsWindow.h"
#include "windows/TimingWindow.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include <fstream>
#include <sstream>
#include <tuple>

class MainWindowTest : public QObject, public WindowHarness {
    Q_OBJECT
    TNullSoundOut nullOut_;  // outlives the window, also when a check fails

    void Mouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, uint64_t stamp) {
        const QPointF pos(10, 10);
        QMouseEvent e(type, pos, target->mapToGlobal(pos), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
        e.setTimestamp(stamp);
        QApplication::sendEvent(target, &e);
    }
    int DotCount() { return w_->TimingStats().Values(0, TimingKind::Dot).count; }
    // A key as the X server reports it: its key symbol tells Left and Right Ctrl apart.
    void SymKey(QObject* to, QEvent::Type type, int key, quint32 sym, uint64_t stamp) {
        QKeyEvent e(type, key, key == Qt::Key_Control ? Qt::ControlModifier : Qt::NoModifier, 0, sym, 0);
        e.setTimestamp(stamp);
        QApplication::sendEvent(to, &e);
    }

private slots:
    void init() { Reset(); }
    void cleanup() { w_.reset(); }

    void parisAtExactTiming_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("speed");
        QTest::newRow("CpM") << QByteArray("[Main]\r\nTargetSpeed=100\r\n") << "100";
        QTest::newRow("WpM") << QByteArray("[Main]\r\nTargetSpeed=100\r\n[Form]\r\nWpM=1\r\n") << "20.0";
    }
    void parisAtExactTiming() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, speed);
        Create(ini);
        QCOMPARE(LineText("CWSpeed"), speed);
        KeyText("paris", 100);
        QCOMPARE(Upper(), QString("paris\r"));
        QCOMPARE(Child<QLabel>("lastCharLabel_")->text(), QString("s"));
        QCOMPARE(LineText("RecSpeed"), speed);
        QCOMPARE(LineText("AvgSpeed"), speed);
        const TTimingStats::Display& d = w_->TimingStats().Shown();
        for (auto [kind, ms] : {std::pair{TimingKind::Dot, 100},
                                {TimingKind::Dash, 300},
                                {TimingKind::ElementSpace, 100},
                                {TimingKind::CharSpace, 300}})
            QCOMPARE(d.average[int(kind)], ms);
        QCOMPARE(d.last[int(TimingKind::Dot)], 100);
        QCOMPARE(d.last[int(TimingKind::Dash)], 300);
        QCOMPARE(d.weight, 50);
        // The red strip shows "s": three dots of 30 px with 30 px gaps, then
        // the timeout mark half a word space on.
        using Bars = std::vector<std::pair<int, int>>;
        QCOMPARE(w_->RedBars(), (Bars{{30, 60}, {90, 120}, {150, 180}}));
        QCOMPARE(w_->TimeoutMarks(), std::vector<int>{180 + 105});
        // The whole word to scale: the strip ends inside "r".
        Press(Qt::Key_Home);
        const auto& all = w_->RedBars();
        QVERIFY(all.size() >= 6);
        QCOMPARE(all[1], std::make_pair(90, 180));
        QCOMPARE(all[4], std::make_pair(450, 480));  // "a" after a 90 px character space
        QCOMPARE(all.back().second, w_->PatternStrip()->width());
        QCOMPARE(Child<QLabel>("lastCharLabel_")->text(), QString("p"));
        // For the picture: the same word typed and sent, both strips shown.
        w_->LowerPanel()->AddTypedText("paris");
        for (const char* c : {"p", "a", "r", "i", "s"})
            w_->LowerPanel()->MarkSent(c);
        Press(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(Green(), QString("paris"));
        if (speed == "100")
            Shot(w_.get(), "main-window.png");
    }

    void autoResetAndWordSpaceFlash() {
        Create("[RX]\r\nAutoReset=1\r\nAutoResetTime=3\r\nAutoClose=1\r\n[Form]\r\nWordSpaceFlash=1\r\n");
        Press(Qt::Key_F3);
        QVERIFY(w_->TimingWindow()->isVisible());
        // Four dots after a release the strip flashes black for 50 ms.
        t_ = 1000;
        Tap(100);
        for (auto [ms, flashing] : {std::pair{399, false}, {1, true}, {50, false}}) {
            clock_->Advance(ms);
            QCOMPARE(w_->Flashing(), flashing);
        }
        // The word timeout ends the character; the auto-reset timer then
        // runs for the chosen seconds, restarted by every character.
        clock_->Advance(450);
        QCOMPARE(w_->Analyser().HistCount(), 1);
        QVERIFY(w_->AutoResetTimer().IsActive());
        QCOMPARE(w_->AutoResetTimer().Interval(), 3000u);
        clock_->Advance(2000);
        t_ = 5000;
        Tap(100);
        clock_->Advance(900);
        QCOMPARE(w_->Analyser().HistCount(), 2);
        for (auto [ms, shown] : {std::pair{2999, true}, {1, false}}) {
            clock_->Advance(ms);
            QCOMPARE(w_->TimingWindow()->isVisible(), shown);
            QCOMPARE(DotCount() > 0, shown);
        }
        QVERIFY(!w_->AutoResetTimer().IsActive());
        // "Last Replay" shows the two boxes off: the timer still resets the
        // Current Input set but leaves the window open for the replay's figures.
        Press(Qt::Key_F3);
        w_->TimingWindow()->ReplayButton()->click();
        QVERIFY(!w_->TimingWindow()->AutoCloseBox()->isChecked());
        // The settings in force follow each choice as it is made, the
        // stored boxes kept while the replay set shows them off.
        QCOMPARE(w_->Settings().CurrentLast, 1);
        QVERIFY(w_->Settings().AutoReset && w_->Settings().AutoClose);
        t_ = 12000;
        Tap(100);
        clock_->Advance(900);
        QVERIFY(DotCount() > 0);
        clock_->Advance(3000);
        QCOMPARE(DotCount(), 0);
        QVERIFY(w_->TimingWindow()->isVisible());
        // Back on "Current Input" the stored choice closes it again.
        w_->TimingWindow()->CurrentButton()->click();
        QVERIFY(w_->TimingWindow()->AutoCloseBox()->isChecked());
        t_ = 20000;
        Tap(100);
        clock_->Advance(3900);
        QVERIFY(!w_->TimingWindow()->isVisible());
        QCOMPARE(w_->Settings().CurrentLast, 0);
        w_->TimingWindow()->AutoResetSecondsEdit()->setValue(7);
        w_->TimingWindow()->AutoResetBox()->click();
        w_->TimingWindow()->AvgBox()->setCurrentIndex(3);
        const TSettings& s = w_->Settings();
        QCOMPARE(std::tuple(s.AutoResetTime, s.AutoReset, s.AvgCountIdx), std::tuple(7, false, 3));
    }

    void autoRepeatMouseAndLateEvents() {
        Create();
        TAnalyser& c = w_->Analyser();
        c.SetTempo(60);
        // A held key repeats release/press pairs marked auto-repeat: one
        // transition each way reaches the analyser.
        Key(QEvent::KeyPress, Qt::Key_Right, {}, 1000);
        for (uint64_t t = 1100; t < 1600; t += 50) {
            Key(QEvent::KeyRelease, Qt::Key_Right, {}, t, {}, true);
            Key(QEvent::KeyPress, Qt::Key_Right, {}, t, {}, true);
        }
        QCOMPARE(c.PendingCount(), 1);
        Key(QEvent::KeyRelease, Qt::Key_Right, {}, 1700);
        QCOMPARE(c.PendingCount(), 2);
        QCOMPARE(c.PendingElement(1), 700u);
        // The right button does nothing; the left one keys on every area,
        // a quick second press arriving as a double click included.
        c.ResetElements();
        QWidget* strip = w_->PatternStrip();
        Mouse(strip, QEvent::MouseButtonPress, Qt::RightButton, 2000);
        Mouse(strip, QEvent::MouseButtonRelease, Qt::RightButton, 2100);
        QCOMPARE(c.PendingCount(), 0);
        QVERIFY(!w_->KeyIsDown());
        Mouse(strip, QEvent::MouseButtonPress, Qt::LeftButton, 3000);
        Mouse(strip, QEvent::MouseButtonRelease, Qt::LeftButton, 3080);
        Mouse(w_->UpperPanel(), QEvent::MouseButtonDblClick, Qt::LeftButton, 3160);
        Mouse(w_->UpperPanel(), QEvent::MouseButtonRelease, Qt::LeftButton, 3400);
        QCOMPARE(c.PendingCount(), 4);
        for (auto [i, ms] : {std::pair{1, 80u}, {2, 80u}, {3, 240u}})
            QCOMPARE(c.PendingElement(i), ms);
        // The UI thread is busy for two seconds; the release, stamped when
        // it happened, arrives afterwards and keeps its keyed length.
        c.ResetElements();
        Key(QEvent::KeyPress, Qt::Key_Right, {}, 5000);
        clock_->Advance(2000);
        Key(QEvent::KeyRelease, Qt::Key_Right, {}, 5060);
        Key(QEvent::KeyPress, Qt::Key_Right, {}, 5120);
        QCOMPARE(c.PendingElement(1), 60u);
        QCOMPARE(c.PendingElement(2), 60u);
    }

    void keysFromSettingsInEveryWindow() {
        // Left Ctrl as the straight key, in the main window and in the
        // timing window; the Right arrow no longer keys.
        Create("[Keys]\r\nStraightKey=Control_L\r\n");
        TAnalyser& c = w_->Analyser();
        SymKey(w_.get(), QEvent::KeyPress, Qt::Key_Right, 0xff53, 900);
        QVERIFY(!w_->KeyIsDown());
        SymKey(w_.get(), QEvent::KeyPress, Qt::Key_Control, 0xffe3, 1000);
        QVERIFY(w_->KeyIsDown());
        SymKey(w_->TimingWindow(), QEvent::KeyRelease, Qt::Key_Control, 0xffe3, 1090);
        QVERIFY(!w_->KeyIsDown());
        SymKey(w_->TimingWindow(), QEvent::KeyPress, Qt::Key_Control, 0xffe4, 1200);  // Right Ctrl
        QVERIFY(!w_->KeyIsDown());
        QCOMPARE(c.PendingCount(), 2);
        QCOMPARE(c.PendingElement(1), 90u);
        // Iambic A on the Ctrl keys: a tap of each forms a dot and a dash of
        // exactly one and three dots at the target speed, whatever the press length.
        Reset();
        Create("[Keys]\r\nKeyer=1\r\n");
        TAnalyser& k = w_->Analyser();
        SymKey(w_.get(), QEvent::KeyPress, Qt::Key_Control, 0xffe3, 1000);
        QVERIFY(w_->KeyIsDown());
        SymKey(w_.get(), QEvent::KeyRelease, Qt::Key_Control, 0xffe3, 1020);
        SymKey(w_.get(), QEvent::KeyPress, Qt::Key_Control, 0xffe4, 1050);
        SymKey(w_.get(), QEvent::KeyRelease, Qt::Key_Control, 0xffe4, 1070);
        // The remembered dash follows one dot after the dot.
        for (auto [ms, down] : {std::pair{99, true}, {1, false}, {100, true}, {300, false}}) {
            clock_->Advance(ms);
            QCOMPARE(w_->KeyIsDown(), down);
        }
        QCOMPARE(k.PendingCount(), 4);
        for (auto [i, ms] : {std::pair{1, 100u}, {2, 100u}, {3, 300u}})
            QCOMPARE(k.PendingElement(i), ms);
        // The Right arrow rests while the keyer is on.
        SymKey(w_.get(), QEvent::KeyPress, Qt::Key_Right, 0xff53, 2000);
        QVERIFY(!w_->KeyIsDown());
        clock_->Advance(2000);
        QCOMPARE(w_->UpperPanel()->AccessibleText(), QString("a "));
        // The default Right arrow keys in the main window but edits in the
        // parameters window's edit fields; a press taken elsewhere is
        // followed to its release, wherever the focus went.
        Reset();
        Create();
        w_->ParamWindow()->show();
        auto* edit = w_->ParamWindow()->findChild<QLineEdit*>("TXSlopeEdit");
        QVERIFY(edit && edit->isEnabled());
        edit->setText("1234");
        edit->setCursorPosition(0);
        SymKey(edit, QEvent::KeyPress, Qt::Key_Right, 0xff53, 3000);
        SymKey(edit, QEvent::KeyRelease, Qt::Key_Right, 0xff53, 3010);
        QCOMPARE(edit->cursorPosition(), 1);
        QVERIFY(!w_->KeyIsDown());
        SymKey(w_.get(), QEvent::KeyPress, Qt::Key_Right, 0xff53, 3100);
        QVERIFY(w_->KeyIsDown());
        SymKey(edit, QEvent::KeyRelease, Qt::Key_Right, 0xff53, 3200);
        QVERIFY(!w_->KeyIsDown());
        QCOMPARE(edit->cursorPosition(), 1);
    }

    void targetSpeedKeysAndWarning() {
        Create();
        QCOMPARE(Speed(), 60);
        auto* updown = Child<TSpeedUpDown>("SpeedUpDown");
        QTest::mouseClick(updown->UpButton(), Qt::LeftButton);
        QCOMPARE(Speed(), 61);
        QTest::mouseClick(updown->DownButton(), Qt::LeftButton);
        QCOMPARE(updown->Position(), 60);
        const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier,
                                    shift = Qt::ShiftModifier, alt = Qt::AltModifier;
        // Down with Shift+Ctrl stops at the generator's lower bound.
        const std::tuple<int, Qt::KeyboardModifiers, int> steps[] = {
            {Qt::Key_Up, none, 61},           {Qt::Key_Up, ctrl, 62},          {Qt::Key_Up, shift, 72},
            {Qt::Key_Down, shift | ctrl, 20}, {Qt::Key_Up, shift | ctrl, 120}, {Qt::Key_Up, alt, 120},
            {Qt::Key_Up, alt | ctrl, 120},    {Qt::Key_Down, none, 119}};
        for (auto [key, mods, speed] : steps) {
            Press(key, mods);
            QCOMPARE(Speed(), speed);
        }
        QCOMPARE(w_->Analyser().Tempo(), 119);
        QCOMPARE(LineText("CWSpeed"), QString("119"));
        QVERIFY(boxes_->questions.isEmpty());
        // With decoded text on screen the change needs a Yes, asked once
        // until the panel is cleared.
        const QString question =
            "You are about to change your selected Target Speed.\r\n"
            "This may render all timing statistics and graphic displays invalid.\r"
            "Do you want to proceed?";
        KeyText("e", 119);
        boxes_->answer = false;
        Press(Qt::Key_Up);
        QCOMPARE(boxes_->questions, QStringList{question});
        QCOMPARE(Speed(), 119);
        QCOMPARE(w_->Analyser().Tempo(), 119);
        boxes_->answer = true;
        Press(Qt::Key_Up);
        Press(Qt::Key_Up);
        QCOMPARE(boxes_->questions.size(), 2);
        QCOMPARE(Speed(), 121);
        Press(Qt::Key_Delete);
        KeyText("e", 121);
        Press(Qt::Key_Down);
        QCOMPARE(boxes_->questions.size(), 3);
        // The speed edit: Enter reads it, asking first; No or junk restores it.
        Press(Qt::Key_Delete);
        KeyText("e", 120);
        auto* edit = Child<QLineEdit>("CWSpeed");
        for (auto [text, answer, speed] :
             {std::tuple{"150", false, 120}, {"abc", true, 120}, {"150", true, 150}}) {
            boxes_->answer = answer;
            edit->setText(text);
            QTest::keyClick(edit, Qt::Key_Return);
            QCOMPARE(Speed(), speed);
            QCOMPARE(edit->text(), QString::number(speed));
        }
        QCOMPARE(w_->Analyser().Tempo(), 150);
    }

    void hideShowAndClearKeysAndEightDotsErase() {
        Create();
        KeyText("e", 60);
        // F4 (any modifiers) hides the decoded characters and the strip; F8
        // without modifiers shows and hides the typed panel.
        QWidget* bottom = Child<QWidget>("Bottom");
        QCOMPARE(bottom->height(), 166);
        for (auto [key, mods, hidden, typed] : {std::tuple{Qt::Key_F4, Qt::ShiftModifier, true, true},
                                                {Qt::Key_F4, Qt::NoModifier, false, true},
                                                {Qt::Key_F8, Qt::NoModifier, false, false},
                                                {Qt::Key_F8, Qt::ControlModifier, false, false},
                                                {Qt::Key_F8, Qt::NoModifier, false, true}}) {
            Press(key, mods);
            QCOMPARE(w_->DecodedHidden(), hidden);
            QCOMPARE(w_->UpperPanel()->TextHidden(), hidden);
            QCOMPARE(w_->PatternStrip()->isVisible(), !hidden);
            QCOMPARE(Child<QLabel>("lastCharLabel_")->isVisible(), !hidden);
            QCOMPARE(Child<QLabel>("HiddenText")->isVisible(), hidden);
            QCOMPARE(w_->TypedPanelShown(), typed);
            if (key == Qt::Key_F8)
                QCOMPARE(bottom->maximumHeight(), typed ? 164 : 1);
        }
        // F5 without modifiers resets the timing values, only while they are shown.
        Press(Qt::Key_F5);
        QVERIFY(DotCount() > 0);
        Press(Qt::Key_F3);
        Press(Qt::Key_F5, Qt::ShiftModifier);
        QVERIFY(DotCount() > 0);
        Press(Qt::Key_F5);
        QCOMPARE(DotCount(), 0);
        // Ctrl+Delete drops the type-ahead and the lower panel, not the decoded text.
        QVERIFY(w_->Generator().PutChar('a'));
        w_->LowerPanel()->AddTypedText("a");
        Press(Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(!w_->Generator().HasChars());
        QCOMPARE(w_->LowerPanel()->Length(), 0);
        QVERIFY(w_->UpperPanel()->Length() > 0);
        // Delete clears the decoded text, speeds, history and strip.
        Press(Qt::Key_Delete);
        QCOMPARE(w_->UpperPanel()->Length(), 0);
        QCOMPARE(w_->Analyser().HistCount(), 0);
        QVERIFY(LineText("RecSpeed").isEmpty() && LineText("AvgSpeed").isEmpty());
        QVERIFY(Child<QLabel>("lastCharLabel_")->text().isEmpty());
        QVERIFY(w_->RedBars().empty());
        // Eight dots erase it too, when asked to.
        Reset();
        Create("[Form]\r\nErrErase=1\r\nAllCaps=1\r\n");
        KeyText("ee", 60);
        QCOMPARE(Upper(), QString("ee\r"));
        QCOMPARE(Child<QLabel>("lastCharLabel_")->text(), QString("E"));  // shown upper-case, stored as keyed
        KeyMarks(std::vector<int>(16, 100), 2000);
        QCOMPARE(w_->UpperPanel()->Length(), 0);
        QCOMPARE(w_->Analyser().HistCount(), 0);
    }

    void zoneKeysAndTheZoneStartsOwnSpeed() {
        Create("[Main]\r\nTargetSpeed=60\r\n");
        // "e" at 60 CpM ended by a character space, then "e" with a 60 ms dot
        // ended by the timeout: (60 + 700) div 8 = 95 ms -> 63 CpM.
        KeyMarks({100, 300, 60, 180});
        QCOMPARE(Upper(), QString("ee\r"));
        QCOMPARE(LineText("RecSpeed"), QString("63"));
        TAnalyser& c = w_->Analyser();
        // The zone moved to the first "e": the bar shows its speed, drawn
        // from its record; the analyser's own last speed stays the newest's.
        Press(Qt::Key_Home);
        QCOMPARE(LineText("RecSpeed"), QString("60"));
        QCOMPARE(LineText("AvgSpeed"), QString("61"));
        QCOMPARE(c.NewRecTempo(), 63);
        QCOMPARE(c.DotEstimate(), 95);

        Reset();
        Create();
        t_ = 1000;
        KeyText("ete", 60);
        w_->LowerPanel()->AddTypedText("abc");
        for (const char* c : {"a", "b", "c"})
            w_->LowerPanel()->MarkSent(c);
        // Red start, green start, analyser cursor and red bars after each key
        // (-1: unchanged, not checked).
        const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier,
                                    shift = Qt::ShiftModifier;
        const std::tuple<int, Qt::KeyboardModifiers, int, int, int, int> steps[] = {
            {0, none, 3, 3, 0, 1},
            {Qt::Key_PageUp, none, 2, 3, 1, 2},  // "t" and "e"
            {Qt::Key_PageUp, ctrl, 2, 2, 1, -1},
            {Qt::Key_PageUp, shift, 1, 1, 2, -1},
            {Qt::Key_PageUp, Qt::AltModifier, 1, 1, 2, -1},
            {Qt::Key_PageDown, none, 2, 1, 1, -1},
            {Qt::Key_PageDown, ctrl, 2, 2, 1, -1},
            {Qt::Key_End, none, 3, 2, 0, 1},
            {Qt::Key_Home, none, 1, 2, 2, 3},
            {Qt::Key_End, ctrl, 1, 3, 2, -1},
            {Qt::Key_Home, ctrl, 1, 1, 2, -1}};
        for (auto [key, mods, red, green, cursor, bars] : steps) {
            if (key)
                Press(key, mods);
            QCOMPARE(w_->UpperPanel()->RedStart(), red);
            QCOMPARE(w_->LowerPanel()->GreenStart(), green);
            QCOMPARE(w_->Analyser().CursorBack(), cursor);
            if (bars >= 0)
                QCOMPARE(int(w_->RedBars().size()), bars);
        }
        QCOMPARE(Child<QLabel>("lastCharLabel_")->text(), QString("e"));
        // The green strip draws the ideal patterns of "abc": .- / -... / -.-.
        const auto green = w_->GreenBars();
        QVERIFY(green.size() >= 6);
        QCOMPARE(green[0], std::make_pair(30, 60));
        QCOMPARE(green[1], std::make_pair(90, 180));
        QCOMPARE(green[2], std::make_pair(270, 360));  // after 90 px of character space
        QCOMPARE(green[5], std::make_pair(510, 540));
        for (const auto& bar : green)
            QVERIFY(bar.second <= w_->PatternStrip()->width());
    }

    // "Show Morse Pattern" switches the green band of the strip, from the
    // settings at start and when ticked; unticked the band stays white.
    void morsePatternFollowsItsOption() {
        Create("[Form]\r\nShPatt=0\r\n", &nullOut_);
        auto* box = w_->ParamWindow()->findChild<QCheckBox*>("CheckBoxPattern");
        QVERIFY(box && !box->isChecked());
        // "paris" typed and played, then the whole word made the green zone.
        Type("paris");
        std::vector<int16_t> buf(nullOut_.BufferBytes() / 2);
        for (int i = 0; i < 100 && w_->LowerPanel()->GreenText() != "s"; ++i)
            nullOut_.OnBufferPlayed(buf.data(), nullOut_.BufferBytes());
        Press(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(Green(), QString("paris"));
        TPatternStrip* strip = w_->PatternStrip();
        const int bandY = strip->height() / 10;  // inside the green band
        auto greenAt = [&](int x) {
            return strip->grab().toImage().pixelColor(x, bandY) == QColor(0, 128, 0);
        };
        for (bool on : {false, true, false}) {
            if (on != box->isChecked())
                box->click();
            QCOMPARE(w_->Settings().ShPatt, on);
            QCOMPARE(w_->GreenBars().empty(), !on);
            QCOMPARE(greenAt(45), on);   // the first dot of "p"
            QCOMPARE(greenAt(135), on);  // its first dash
            QVERIFY(!greenAt(75));       // the space between them
            Shot(w_.get(), on ? "pattern-shown.png" : "pattern-hidden.png");
        }
    }

    void shortcutsAndAuxiliaryWindows() {
        Create();
        // Shortcuts of commands that open file dialogs or a browser.
        for (auto [name, key] : {std::pair{"Sa1", "Ctrl+S"},
                                 {"FileLoadItem", "Ctrl+L"},
                                 {"Help2", "F1"},
                                 {"SetParameters1", "F2"}})
            QCOMPARE(w_->Action(name)->shortcut(), QKeySequence(QString(key)));
        // The others act through the window system's key path.
        w_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        KeyText("e", 60);
        w_->LowerPanel()->AddTypedText("x");
        QTest::keyClick(w_.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w_->UpperPanel()->Length() + w_->LowerPanel()->Length(), 0);
        QVERIFY(!w_->ShortCuts()->isVisible());
        QTest::keyClick(w_.get(), Qt::Key_F1, Qt::ControlModifier);
        QVERIFY(w_->ShortCuts()->isVisible());
        w_->Action("HelpAbout1")->trigger();
        QVERIFY(w_->AboutBox()->isVisible());
        QTest::keyClick(w_.get(), Qt::Key_F2);  // opens nothing yet
        QVERIFY(w_->isVisible());
        // F10 opens the first menu; Escape closes it and leaves the keys to
        // the window, so Right arrow keys again.
        w_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        QTest::keyClick(w_.get(), Qt::Key_F10);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QCOMPARE(menu->objectName(), QString("File1"));
        QTest::keyClick(menu, Qt::Key_Escape);
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY(!w_->menuBar()->activeAction());
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus && focus != w_->menuBar());
        QTest::keyPress(focus, Qt::Key_Right);
        QVERIFY(w_->KeyIsDown());
        QTest::keyRelease(focus, Qt::Key_Right);
    }

    void everyControlHasAnAccessibleName() {
        Create();
        w_->ToggleParameters();
        w_->ShowTiming();
        w_->ShowShortcuts();
        w_->ShowAbout();
        w_->ShowPracticeClick();
        w_->Commands().ToggleScope();
        // What a screen reader lists: every control that takes focus or input,
        // and every painted display (a leaf of no kind Qt knows), by name.
        const QList<QAccessible::Role> inputs = {QAccessible::PushButton,  QAccessible::CheckBox,
                                                 QAccessible::RadioButton, QAccessible::ComboBox,
                                                 QAccessible::SpinBox,     QAccessible::Slider,
                                                 QAccessible::ScrollBar,   QAccessible::EditableText,
                                                 QAccessible::ButtonMenu,  QAccessible::PageTabList};
        QStringList unnamed;
        for (QWidget* window :
             std::initializer_list<QWidget*>{w_.get(), w_->ParamWindow(), w_->TimingWindow(), w_->AboutBox(),
                                             w_->ShortCuts(), w_->PracticeWindow(), w_->ScopeWindow()}) {
            QVERIFY(window->isVisible());
            for (QWidget* c : window->findChildren<QWidget*>()) {
                // Qt's own parts (a list's popup, a scroll area's frame) are Qt's to name.
                if (c->window() != window || c->objectName().startsWith("qt_") ||
                    c->parentWidget()->objectName().startsWith("qt_"))
                    continue;
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
                const bool painted =
                    a->role() == QAccessible::Client && c->findChildren<QWidget*>().isEmpty();
                // On Linux Qt gives a list its current entry as its name.
                const QString name =
                    qobject_cast<QComboBox*>(c) ? c->accessibleName() : a->text(QAccessible::Name);
                if ((c->focusPolicy() != Qt::NoFocus || inputs.contains(a->role()) || painted) &&
                    name.trimmed().isEmpty())
                    unnamed << window->objectName() + "/" + c->objectName() + " (" +
                                   c->metaObject()->className() + ")";
            }
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable("unnamed: " + unnamed.join(", ")));
    }

    // Closing asks when wanted and saves the settings, or says why it cannot.
    void closeAsksWhenWantedAndSavesTheSettings() {
        Create("; my note\r\n[Main]\r\nAskEnd=1\r\n");
        Press(Qt::Key_Up, Qt::ShiftModifier);  // 70 CpM
        QVERIFY(w_->Generator().PutChar('a'));
        w_->LowerPanel()->AddTypedText("a");
        boxes_->answer = false;
        QVERIFY(!w_->close());
        QCOMPARE(boxes_->questions, QStringList{"Do you really want to exit Orvo Tapmeter?"});
        QVERIFY(w_->isVisible());
        QCOMPARE(w_->LowerPanel()->Length(), 0);  // refusing still drops what was never sent
        boxes_->answer = true;
        QVERIFY(w_->close());
        QFile f(IniPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray ini = f.readAll();
        QVERIFY(ini.startsWith("; my note\r\n[Main]\r\nAskEnd=1\r\n"));
        QVERIFY(ini.contains("TargetSpeed=70\r\n") && ini.contains("RXInput=0\r\n"));

        Reset();
        QFile blocker(dir_->path() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString folder = dir_->path() + "/blocker/OrvoTapmeter";
        w_ = std::make_unique<TMainWindow>(clock_.get(), clock_.get(), boxes_.get(), folder);
        w_->show();
        QVERIFY(boxes_->messages.isEmpty());
        QVERIFY(w_->close());
        QCOMPARE(boxes_->messages, QStringList{"Error: cannot create directory " + folder + "/"});
    }

    // No serial port, no sound input device, the WAV choice cancelled:
    // each ends in Keybd/Mouse, with a message where something failed.
    void unavailableInputModesFallBackToKeyboard() {
        // COM7 pinned to a device that does not exist: no real port is touched.
        TNullSoundIn noInput;
        qputenv("ORVO_TAPMETER_PORTS", "COM7=/nonexistent/orvo-test-port");
        Create("[RX]\r\nRXInput=2\r\nRXComPort=7\r\n", nullptr, &noInput);
        qunsetenv("ORVO_TAPMETER_PORTS");
        // The port's number, then why.
        QCOMPARE(boxes_->messages.size(), 1);
        QVERIFY2(boxes_->messages[0].startsWith("Error: cannot open ComPort COM7\n"),
                 qPrintable(boxes_->messages[0]));
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
        QCOMPARE(w_->ParamWindow()->RXInputGroup()->ItemIndex(), int(TMainWindow::KeybdMouse));
        boxes_->messages.clear();
        QVERIFY(!w_->SetInputMode(TMainWindow::SoundInput));
        QCOMPARE(boxes_->messages.size(), 1);
        QVERIFY(boxes_->messages[0].startsWith("Error: cannot start Sound Input: "));
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
        boxes_->messages.clear();
        QVERIFY(!w_->SetInputMode(TMainWindow::WavFile));
        QCOMPARE(dialogs_->asked.size(), size_t(1));
        QVERIFY(boxes_->messages.isEmpty());
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
        QVERIFY(Tap(100));
        w_.reset();
    }

    void keyTimingUsesStampsAndFallsBack() {
        ManualClock clock;
        clock.AdvanceTo(1000);
        TKeyTiming timing(clock);
        clock.Advance(5);
        QCOMPARE(timing.Transition(0), 5u);    // no stamp: the clock
        QCOMPARE(timing.Transition(700), 0u);  // first stamp: nothing to compare with
        clock.Advance(3000);
        QCOMPARE(timing.Transition(760), 60u);  // stamps, not the late clock
        QCOMPARE(timing.Transition(500), 0u);   // stamp went back: the clock (no time passed)
        QCOMPARE(timing.Transition(8000000), TKeyTiming::MaxDurationMs);  // an hour at most
        clock.Advance(4000000);
        QCOMPARE(timing.Transition(0), TKeyTiming::MaxDurationMs);
    }

    void secondInstanceIsRefused() {
        QTemporaryDir lockDir;
        auto first = std::make_unique<TSingleInstance>(lockDir.path());
        QVERIFY(first->Acquire());
        QVERIFY(first->LockPath().endsWith("OrvoTapmeterMutex.lock"));
        QVERIFY(!TSingleInstance(lockDir.path()).Acquire());
        first.reset();
        QVERIFY(TSingleInstance(lockDir.path()).Acquire());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
