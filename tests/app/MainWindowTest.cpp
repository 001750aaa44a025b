// Drives the real main window with key and mouse events carrying chosen
// timestamps, on a hand-driven clock, and checks what the operator sees.

#include "app/KeyTiming.h"
#include "app/LogoMain.h"
#include "app/SingleInstance.h"
#include "controls/CWHighlightLabel.h"
#include "devices/ManualClock.h"
#include "windows/About.h"
#include "windows/Shorts.h"
#include "windows/ShowUnit.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

struct FakeBoxes : IMessageBoxes {
    QStringList messages;
    QStringList questions;
    bool answer = true;
    void Message(const QString& t) override { messages << t; }
    bool AskYesNo(const QString& t) override { questions << t; return answer; }
    bool AskOkCancel(const QString& t) override { questions << t; return answer; }
};

const char* const kSpeedQuestion =
    "You are about to change your selected Target Speed.\r\n"
    "This may render all timing statistics and graphic displays invalid.\r"
    "Do you want to proceed?";

// Morse of the letters used here, '.' and '-'.
QString MorseOf(QChar c)
{
    switch (c.toLatin1()) {
    case 'a': return ".-";
    case 'e': return ".";
    case 'i': return "..";
    case 'p': return ".--.";
    case 'r': return ".-.";
    case 's': return "...";
    case 't': return "-";
    default: return QString();
    }
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ManualClock> clock_;
    std::unique_ptr<FakeBoxes> boxes_;
    std::unique_ptr<TLogoAppForm> w_;
    uint64_t t_ = 0;  // timestamp of the next event, ms

    QString IniPath() const { return dir_->path() + "/OrvoTapmeter.ini"; }

    void WriteIni(const QByteArray& text)
    {
        QFile f(IniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    void Create()
    {
        w_ = std::make_unique<TLogoAppForm>(clock_.get(), clock_.get(), boxes_.get(), dir_->path());
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    }

    void Key(QEvent::Type type, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
             uint64_t stamp = 0, bool autoRepeat = false)
    {
        QKeyEvent e(type, key, mods, QString(), autoRepeat);
        e.setTimestamp(stamp);
        QApplication::sendEvent(w_.get(), &e);
    }
    void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        Key(QEvent::KeyPress, key, mods);
        Key(QEvent::KeyRelease, key, mods);
    }
    void Mouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, uint64_t stamp)
    {
        const QPointF pos(10, 10);
        QMouseEvent e(type, pos, target->mapToGlobal(pos), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
        e.setTimestamp(stamp);
        QApplication::sendEvent(target, &e);
    }

    // Keys the text with the Right-arrow key at exact timing for `cpm`;
    // the last character is left to end by the word timeout.
    void KeyText(const QString& text, int cpm)
    {
        const uint64_t dot = 6000 / cpm;
        for (int i = 0; i < text.size(); ++i) {
            const QString m = MorseOf(text[i]);
            for (int k = 0; k < m.size(); ++k) {
                Key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, t_);
                t_ += m[k] == '-' ? 3 * dot : dot;
                Key(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, t_);
                t_ += k + 1 < m.size() ? dot : 3 * dot;
            }
        }
        // No further key: the analyser's word timeout finishes the last one.
        clock_->Advance(2000);
    }

    void SetSpeed100()
    {
        for (int i = 0; i < 4; ++i)
            Press(Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(w_->CWout1().Speed(), 100);
    }

    template <class T> T* Child(const char* name) { return w_->findChild<T*>(QString::fromLatin1(name)); }
    QString TextOf(const char* name) { return Child<QLineEdit>(name)->text(); }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        clock_ = std::make_unique<ManualClock>();
        clock_->AdvanceTo(100000);
        boxes_ = std::make_unique<FakeBoxes>();
        t_ = 50000;
    }
    void cleanup()
    {
        w_.reset();
        clock_.reset();
    }

    void parisAtExactTimingShowsTextSpeedsAndTiming()
    {
        Create();
        SetSpeed100();
        KeyText("paris", 100);

        QCOMPARE(QString::fromStdString(w_->UpperPanel()->Text()), QString("paris\r"));
        QCOMPARE(Child<QLabel>("DecCharLabel")->text(), QString("s"));
        QCOMPARE(TextOf("RecSpeed"), QString("100"));
        QCOMPARE(TextOf("AvgSpeed"), QString("100"));

        const TTimingStats::Display& d = w_->TimingStats().Shown();
        QCOMPARE(d.last[int(TimingKind::Dot)], 100);
        QCOMPARE(d.average[int(TimingKind::Dot)], 100);
        QCOMPARE(d.last[int(TimingKind::Dash)], 300);
        QCOMPARE(d.average[int(TimingKind::Dash)], 300);
        QCOMPARE(d.average[int(TimingKind::ElementSpace)], 100);
        QCOMPARE(d.average[int(TimingKind::CharSpace)], 300);
        QCOMPARE(d.weight, 50);

        // The red strip shows the newest character, "s": three dots of 30 px
        // with 30 px gaps, then the timeout marks half a word space on.
        const auto& bars = w_->RedBars();
        QCOMPARE(int(bars.size()), 3);
        QCOMPARE(bars[0], std::make_pair(30, 60));
        QCOMPARE(bars[1], std::make_pair(90, 120));
        QCOMPARE(bars[2], std::make_pair(150, 180));
        QCOMPARE(int(w_->TimeoutMarks().size()), 1);
        QCOMPARE(w_->TimeoutMarks()[0], 180 + 105);

        // For the picture: the whole word in the red zone, and the same
        // word typed and sent, so both strips show.
        Press(Qt::Key_Home);
        const auto& all = w_->RedBars();  // to scale: the strip ends inside "r"
        QVERIFY(all.size() >= 6);
        QCOMPARE(all[1], std::make_pair(90, 180));
        QCOMPARE(all[4], std::make_pair(450, 480));  // "a" after a 90 px character space
        QCOMPARE(all.back().second, w_->PatternStrip()->width());
        QCOMPARE(Child<QLabel>("DecCharLabel")->text(), QString("p"));
        w_->LowerPanel()->AddTypedText("paris");
        for (const char* c : {"p", "a", "r", "i", "s"})
            w_->LowerPanel()->MarkSent(c);
        Press(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(QString::fromStdString(w_->LowerPanel()->GreenText()), QString("paris"));
        const QString docs = qEnvironmentVariable("ORVO_SCREENSHOT_DIR");
        if (!docs.isEmpty()) {
            QDir().mkpath(docs);
            QVERIFY(w_->grab().save(docs + "/main-window.png"));
        }
    }

    void wordsPerMinuteShowOneDecimalWithPoint()
    {
        WriteIni("[Main]\r\nTargetSpeed=100\r\n[Form]\r\nWpM=1\r\n");
        Create();
        QCOMPARE(Child<QLineEdit>("CWSpeed")->text(), QString("20.0"));
        QCOMPARE(Child<QLabel>("WpMCpMText")->text(), QString("WpM"));
        KeyText("paris", 100);
        QCOMPARE(TextOf("RecSpeed"), QString("20.0"));
        QCOMPARE(TextOf("AvgSpeed"), QString("20.0"));
    }

    void autoResetAndWordSpaceFlash()
    {
        WriteIni("[RX]\r\nAutoReset=1\r\nAutoResetTime=3\r\nAutoClose=1\r\n"
                 "[Form]\r\nWordSpaceFlash=1\r\n");
        Create();
        Press(Qt::Key_F3);
        QVERIFY(w_->ShowForm()->isVisible());

        // Four dots after a release the strip flashes black for 50 ms.
        Key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, 1000);
        Key(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, 1100);
        clock_->Advance(399);
        QVERIFY(!w_->Flashing());
        clock_->Advance(1);
        QVERIFY(w_->Flashing());
        clock_->Advance(50);
        QVERIFY(!w_->Flashing());

        // The word timeout finishes the character; the auto-reset timer
        // then runs for the chosen seconds, restarted by every character.
        clock_->Advance(450);
        QCOMPARE(w_->Calculat1().HistCount(), 1);
        QVERIFY(w_->AutoResetTimer().IsActive());
        QCOMPARE(w_->AutoResetTimer().Interval(), 3000u);
        clock_->Advance(2000);
        Key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, 5000);
        Key(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, 5100);
        clock_->Advance(900);
        QCOMPARE(w_->Calculat1().HistCount(), 2);
        QVERIFY(w_->TimingStats().Values(0, TimingKind::Dot).count > 0);
        clock_->Advance(2999);
        QVERIFY(w_->ShowForm()->isVisible());
        QVERIFY(w_->TimingStats().Values(0, TimingKind::Dot).count > 0);
        clock_->Advance(1);
        QCOMPARE(w_->TimingStats().Values(0, TimingKind::Dot).count, 0);
        QVERIFY(!w_->ShowForm()->isVisible());
        QVERIFY(!w_->AutoResetTimer().IsActive());
    }

    void autoRepeatAndMouseButtons()
    {
        Create();
        Calculat1Ref().SetTempo(60);
        // Held key: the window system repeats release/press pairs marked
        // auto-repeat; only one transition each way reaches the analyser.
        Key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, 1000);
        for (uint64_t t = 1100; t < 1600; t += 50) {
            Key(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, t, true);
            Key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, t, true);
        }
        QCOMPARE(Calculat1Ref().PendingCount(), 1);
        Key(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, 1700);
        QCOMPARE(Calculat1Ref().PendingCount(), 2);
        QCOMPARE(Calculat1Ref().PendingElement(1), 700u);

        // The right button does nothing; the left one keys on every area.
        Calculat1Ref().ResetElements();
        QWidget* strip = w_->PatternStrip();
        Mouse(strip, QEvent::MouseButtonPress, Qt::RightButton, 2000);
        Mouse(strip, QEvent::MouseButtonRelease, Qt::RightButton, 2100);
        QCOMPARE(Calculat1Ref().PendingCount(), 0);
        QVERIFY(!w_->KeyIsDown());
        Mouse(strip, QEvent::MouseButtonPress, Qt::LeftButton, 3000);
        Mouse(strip, QEvent::MouseButtonRelease, Qt::LeftButton, 3080);
        // A quick second press arrives as a double click: still a key-down.
        Mouse(w_->UpperPanel(), QEvent::MouseButtonDblClick, Qt::LeftButton, 3160);
        Mouse(w_->UpperPanel(), QEvent::MouseButtonRelease, Qt::LeftButton, 3400);
        QCOMPARE(Calculat1Ref().PendingCount(), 4);
        QCOMPARE(Calculat1Ref().PendingElement(1), 80u);
        QCOMPARE(Calculat1Ref().PendingElement(2), 80u);
        QCOMPARE(Calculat1Ref().PendingElement(3), 240u);
    }

    void lateEventsKeepTheirKeyedDurations()
    {
        Create();
        Key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, 5000);
        // The UI thread is busy for two seconds; the release, stamped when
        // it happened, arrives afterwards.
        clock_->Advance(2000);
        Key(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, 5060);
        Key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, 5120);
        QCOMPARE(Calculat1Ref().PendingElement(1), 60u);
        QCOMPARE(Calculat1Ref().PendingElement(2), 60u);
    }

    void targetSpeedKeysAndWarning()
    {
        Create();
        QCOMPARE(w_->CWout1().Speed(), 60);
        auto* updown = Child<TSpeedUpDown>("SpeedUpDown");
        QTest::mouseClick(updown->UpButton(), Qt::LeftButton);
        QCOMPARE(w_->CWout1().Speed(), 61);
        QTest::mouseClick(updown->DownButton(), Qt::LeftButton);
        QCOMPARE(w_->CWout1().Speed(), 60);
        QCOMPARE(updown->Position(), 60);
        Press(Qt::Key_Up);
        QCOMPARE(w_->CWout1().Speed(), 61);
        Press(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(w_->CWout1().Speed(), 62);
        Press(Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(w_->CWout1().Speed(), 72);
        Press(Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(w_->CWout1().Speed(), 20);  // the generator's lower bound
        Press(Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(w_->CWout1().Speed(), 120);
        Press(Qt::Key_Up, Qt::AltModifier);
        Press(Qt::Key_Up, Qt::AltModifier | Qt::ControlModifier);
        QCOMPARE(w_->CWout1().Speed(), 120);
        Press(Qt::Key_Down);
        QCOMPARE(w_->CWout1().Speed(), 119);
        QCOMPARE(w_->Calculat1().Tempo(), 119);
        QCOMPARE(Child<QLineEdit>("CWSpeed")->text(), QString("119"));
        QVERIFY(boxes_->questions.isEmpty());

        // With decoded text on screen the change needs a Yes.
        KeyText("e", 119);
        boxes_->answer = false;
        Press(Qt::Key_Up);
        QCOMPARE(boxes_->questions, QStringList{kSpeedQuestion});
        QCOMPARE(w_->CWout1().Speed(), 119);
        QCOMPARE(w_->Calculat1().Tempo(), 119);
        boxes_->answer = true;
        Press(Qt::Key_Up);
        QCOMPARE(w_->CWout1().Speed(), 120);
        Press(Qt::Key_Up);  // accepted once: no further question
        QCOMPARE(boxes_->questions.size(), 2);
        QCOMPARE(w_->CWout1().Speed(), 121);
        // Clearing the panel asks again next time.
        Press(Qt::Key_Delete);
        KeyText("e", 121);
        Press(Qt::Key_Down);
        QCOMPARE(boxes_->questions.size(), 3);

        // The speed edit: Enter reads it, asking first; No restores it.
        Press(Qt::Key_Delete);
        KeyText("e", 120);
        auto* edit = Child<QLineEdit>("CWSpeed");
        boxes_->answer = false;
        edit->setText("150");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(w_->CWout1().Speed(), 120);
        QCOMPARE(edit->text(), QString("120"));
        boxes_->answer = true;
        edit->setText("abc");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(w_->CWout1().Speed(), 120);
        edit->setText("150");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(w_->CWout1().Speed(), 150);
        QCOMPARE(w_->Calculat1().Tempo(), 150);
    }

    void hideShowAndClearKeys()
    {
        Create();
        KeyText("e", 60);
        QVERIFY(w_->UpperPanel()->Length() > 0);

        // F4 (any modifiers) hides the decoded characters and the strip.
        Press(Qt::Key_F4, Qt::ShiftModifier);
        QVERIFY(w_->DecodedHidden());
        QVERIFY(w_->UpperPanel()->TextHidden());
        QVERIFY(!w_->PatternStrip()->isVisible());
        QVERIFY(!Child<QLabel>("DecCharLabel")->isVisible());
        QVERIFY(Child<QLabel>("HiddenText")->isVisible());
        Press(Qt::Key_F4);
        QVERIFY(!w_->UpperPanel()->TextHidden());
        QVERIFY(w_->PatternStrip()->isVisible());
        QVERIFY(!Child<QLabel>("HiddenText")->isVisible());

        // F8 without modifiers shows and hides the typed panel.
        QWidget* bottom = Child<QWidget>("Bottom");
        QCOMPARE(bottom->height(), 166);
        Press(Qt::Key_F8);
        QVERIFY(!w_->TypedPanelShown());
        QCOMPARE(bottom->maximumHeight(), 1);
        Press(Qt::Key_F8, Qt::ControlModifier);
        QVERIFY(!w_->TypedPanelShown());
        Press(Qt::Key_F8);
        QCOMPARE(bottom->maximumHeight(), 164);

        // F5 resets the timing values only while the window is visible.
        QVERIFY(w_->TimingStats().Values(0, TimingKind::Dot).count > 0);
        Press(Qt::Key_F5);
        QVERIFY(w_->TimingStats().Values(0, TimingKind::Dot).count > 0);
        Press(Qt::Key_F3);
        QVERIFY(w_->ShowForm()->isVisible());
        Press(Qt::Key_F5, Qt::ShiftModifier);
        QVERIFY(w_->TimingStats().Values(0, TimingKind::Dot).count > 0);
        Press(Qt::Key_F5);
        QCOMPARE(w_->TimingStats().Values(0, TimingKind::Dot).count, 0);

        // Ctrl+Delete drops the unsent type-ahead and clears the lower panel,
        // leaving the decoded text alone.
        QVERIFY(w_->CWout1().PutChar('a'));
        w_->LowerPanel()->AddTypedText("a");
        Press(Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(!w_->CWout1().HasChars());
        QCOMPARE(w_->LowerPanel()->Length(), 0);
        QVERIFY(w_->UpperPanel()->Length() > 0);

        // Delete clears the decoded text, speeds, history and statistics.
        Press(Qt::Key_Delete);
        QCOMPARE(w_->UpperPanel()->Length(), 0);
        QCOMPARE(w_->Calculat1().HistCount(), 0);
        QVERIFY(TextOf("RecSpeed").isEmpty());
        QVERIFY(TextOf("AvgSpeed").isEmpty());
        QVERIFY(Child<QLabel>("DecCharLabel")->text().isEmpty());
        QVERIFY(w_->RedBars().empty());
    }

    void zoneKeys()
    {
        Create();
        // Three characters keyed in one burst, then a typed text all sent.
        t_ = 1000;
        KeyText("ete", 60);
        TCWHighlightLabel* up = w_->UpperPanel();
        TCWHighlightLabel* low = w_->LowerPanel();
        low->AddTypedText("abc");
        low->MarkSent("a");
        low->MarkSent("b");
        low->MarkSent("c");
        QCOMPARE(up->RedStart(), 3);
        QCOMPARE(low->GreenStart(), 3);
        QCOMPARE(int(w_->RedBars().size()), 1);

        Press(Qt::Key_PageUp);
        QCOMPARE(up->RedStart(), 2);
        QCOMPARE(w_->Calculat1().CursorBack(), 1);
        QCOMPARE(int(w_->RedBars().size()), 2);  // "t" and "e"
        QCOMPARE(low->GreenStart(), 3);
        Press(Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(low->GreenStart(), 2);
        QCOMPARE(up->RedStart(), 2);
        Press(Qt::Key_PageUp, Qt::ShiftModifier);
        QCOMPARE(up->RedStart(), 1);
        QCOMPARE(low->GreenStart(), 1);
        Press(Qt::Key_PageUp, Qt::AltModifier);
        Press(Qt::Key_PageDown);
        QCOMPARE(up->RedStart(), 2);
        QCOMPARE(w_->Calculat1().CursorBack(), 1);
        Press(Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(low->GreenStart(), 2);

        Press(Qt::Key_End);
        QCOMPARE(up->RedStart(), 3);
        QCOMPARE(w_->Calculat1().CursorBack(), 0);
        QCOMPARE(int(w_->RedBars().size()), 1);
        Press(Qt::Key_Home);
        QCOMPARE(up->RedStart(), 1);
        QCOMPARE(w_->Calculat1().CursorBack(), 2);
        QCOMPARE(int(w_->RedBars().size()), 3);
        QCOMPARE(Child<QLabel>("DecCharLabel")->text(), QString("e"));
        Press(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(low->GreenStart(), 3);
        Press(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(low->GreenStart(), 1);
        QCOMPARE(up->RedStart(), 1);

        // The green strip draws the ideal patterns of the green zone
        // "abc": .- / -... / -.-.
        const auto green = w_->GreenBars();
        QVERIFY(green.size() >= 6);
        QCOMPARE(green[0], std::make_pair(30, 60));
        QCOMPARE(green[1], std::make_pair(90, 180));
        QCOMPARE(green[2], std::make_pair(270, 360));  // after 90 px of character space
        QCOMPARE(green[5], std::make_pair(510, 540));
        for (const auto& bar : green)
            QVERIFY(bar.second <= w_->PatternStrip()->width());
    }

    void menusShortcutsAndAuxiliaryWindows()
    {
        Create();
        struct Item { const char* name; const char* caption; const char* hint; const char* key; };
        const Item items[] = {
            {"Sa1", "&Save decoded text", "Save decoded text to a file", "Ctrl+S"},
            {"FileLoadItem", "&Load text from file", "Load text from a file to the lower panel", "Ctrl+L"},
            {"FileExit1", "E&xit", "Exit application", ""},
            {"ShowTiming", "&Show Timing                          F3", "Show panel with timing values", ""},
            {"ShowHideDecoded1", "Show/Hide &Decoded Chars  F4", "Show/Hide all decoded characters and patterns", ""},
            {"ShowHideTyped1", "Show/Hide &Typed Panel        F8", "Show/Hide panel with typed characters", ""},
            {"ClearPanels1", "&Clear all Panels", "Clear all Panels", "Ctrl+Z"},
            {"SetParameters1", "&Set Parameters ", "Set Parameters", "F2"},
            {"InputMixer1", "&Input Mixer", "Show Input Mixer", ""},
            {"OutputMixer1", "&Output Mixer", "Show Output Mixer", ""},
            {"Help2", "&Help", "Show Help in Browser", "F1"},
            {"ShortCuts1", "Short&Cuts", "Show page with shortcuts", "Ctrl+F1"},
            {"ShowHomepage", "&Show Orvo homepage", "Show Orvo homepage in browser", ""},
        };
        for (const Item& it : items) {
            QAction* a = w_->Action(it.name);
            QVERIFY2(a, it.name);
            QCOMPARE(a->text(), QString(it.caption));
            QCOMPARE(a->statusTip(), QString(it.hint));
            QCOMPARE(a->shortcut(), QKeySequence(QString(it.key)));
        }
        QCOMPARE(w_->Action("FileExit1")->toolTip(), QString("Exit"));
        const QStringList menus = {"&File", "View", "&Parameters", "&Help"};
        const QStringList menuHints = {"File related commands", "Show and Clear", "Set program parameters",
                                       "Help topics"};
        const QList<QAction*> bar = w_->menuBar()->actions();
        QCOMPARE(bar.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(bar[i]->text(), menus[i]);
            QCOMPARE(bar[i]->statusTip(), menuHints[i]);
        }
        QCOMPARE(w_->windowTitle(), QString("Vantor CW Tapmeter"));

        // The shortcuts act through the window system's key path.
        w_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        KeyText("e", 60);
        w_->LowerPanel()->AddTypedText("x");
        QTest::keyClick(w_.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w_->UpperPanel()->Length(), 0);
        QCOMPARE(w_->LowerPanel()->Length(), 0);

        QVERIFY(!w_->ShortCuts()->isVisible());
        QTest::keyClick(w_.get(), Qt::Key_F1, Qt::ControlModifier);
        QVERIFY(w_->ShortCuts()->isVisible());

        w_->Action("HelpAbout1")->trigger();
        QVERIFY(w_->AboutBox()->isVisible());
        QCOMPARE(w_->AboutBox()->Version()->text(), "Version " + w_->VersionText());
        QVERIFY2(w_->VersionText().split('.').size() >= 3, qPrintable(w_->VersionText()));

        // F2 has its handler in place and opens nothing yet.
        QTest::keyClick(w_.get(), Qt::Key_F2);
        QVERIFY(w_->isVisible());
    }

    void closeSavesSettingsAndAsksWhenWanted()
    {
        WriteIni("; my note\r\n[Main]\r\nAskEnd=1\r\n");
        Create();
        Press(Qt::Key_Up, Qt::ShiftModifier);  // 70 CpM
        QVERIFY(w_->CWout1().PutChar('a'));
        w_->LowerPanel()->AddTypedText("a");
        boxes_->answer = false;
        QVERIFY(!w_->close());
        QCOMPARE(boxes_->questions, QStringList{"Do you really want to exit Orvo Tapmeter?"});
        QVERIFY(w_->isVisible());
        // Refusing still drops the characters never sent.
        QCOMPARE(w_->LowerPanel()->Length(), 0);
        boxes_->answer = true;
        QVERIFY(w_->close());
        QFile f(IniPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray ini = f.readAll();
        QVERIFY(ini.startsWith("; my note\r\n[Main]\r\nAskEnd=1\r\n"));
        QVERIFY(ini.contains("TargetSpeed=70\r\n"));
        QVERIFY(ini.contains("RXInput=0\r\n"));
    }

    void eightDotsEraseOnlyWhenAsked()
    {
        WriteIni("[Form]\r\nErrErase=1\r\nAllCaps=1\r\n");
        Create();
        KeyText("ee", 60);
        QCOMPARE(QString::fromStdString(w_->UpperPanel()->Text()), QString("ee\r"));
        QCOMPARE(Child<QLabel>("DecCharLabel")->text(), QString("E"));  // shown upper-case, stored as keyed
        for (int i = 0; i < 8; ++i) {
            Key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, t_);
            Key(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, t_ + 100);
            t_ += 200;
        }
        clock_->Advance(2000);
        QCOMPARE(w_->UpperPanel()->Length(), 0);
        QCOMPARE(w_->Calculat1().HistCount(), 0);
    }

    void unwritableSettingsFolderIsReported()
    {
        QFile blocker(dir_->path() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString folder = dir_->path() + "/blocker/OrvoTapmeter";
        w_ = std::make_unique<TLogoAppForm>(clock_.get(), clock_.get(), boxes_.get(), folder);
        w_->show();
        QVERIFY(boxes_->messages.isEmpty());
        QVERIFY(w_->close());
        QCOMPARE(boxes_->messages, QStringList{"Error: cannot create directory " + folder + "/"});
    }

    void unavailableInputModesFallBackToKeyboard()
    {
        WriteIni("[RX]\r\nRXInput=2\r\nRXComPort=7\r\n");
        Create();
        QCOMPARE(boxes_->messages, QStringList{"Error: cannot open ComPort COM7"});
        QCOMPARE(w_->InputMode(), int(TLogoAppForm::KeybdMouse));
        QVERIFY(!w_->SetInputMode(TLogoAppForm::SoundInput));
        QCOMPARE(w_->InputMode(), int(TLogoAppForm::KeybdMouse));
        QVERIFY(!w_->SetInputMode(TLogoAppForm::WavFile));
        QCOMPARE(w_->InputMode(), int(TLogoAppForm::KeybdMouse));
        Key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, 1000);
        QVERIFY(w_->KeyIsDown());
    }

    void keyTimingUsesStampsAndFallsBack()
    {
        ManualClock clock;
        clock.AdvanceTo(1000);
        TKeyTiming timing(clock);
        clock.Advance(5);
        QCOMPARE(timing.Transition(0), 5u);          // no stamp: the clock
        QCOMPARE(timing.Transition(700), 0u);        // first stamp: nothing to compare with
        clock.Advance(3000);
        QCOMPARE(timing.Transition(760), 60u);       // stamps, not the late clock
        QCOMPARE(timing.Transition(500), 0u);        // stamp went back: the clock (no time passed)
        QCOMPARE(timing.Transition(8000000), TKeyTiming::MaxDurationMs);  // an hour at most
        clock.Advance(4000000);
        QCOMPARE(timing.Transition(0), TKeyTiming::MaxDurationMs);
    }

    void secondInstanceIsRefused()
    {
        QTemporaryDir lockDir;
        auto first = std::make_unique<TSingleInstance>(lockDir.path());
        QVERIFY(first->Acquire());
        QVERIFY(first->LockPath().endsWith("OrvoTapmeterMutex.lock"));
        TSingleInstance second(lockDir.path());
        QVERIFY(!second.Acquire());
        first.reset();
        TSingleInstance third(lockDir.path());
        QVERIFY(third.Acquire());
    }

private:
    TCalculat& Calculat1Ref() { return w_->Calculat1(); }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
