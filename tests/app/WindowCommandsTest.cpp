// The main window's sample input modes, scope window, File and Help
// commands, driven by keys as the operator gives them: a hand clock paces
// the WAV reader, fakes answer the dialogs and stand in for the browser
// and the sound input.

#include "AppHarness.h"
#include "FakeSoundIn.h"
#include "KeyedTone.h"

#include "app/WindowCommands.h"
#include "controls/RadioGroup.h"
#include "windows/ParamWindow.h"
#include "windows/ScopeWindow.h"

#include <QComboBox>

namespace {

struct FakeOpener : IUrlOpener {
    std::vector<std::string> opened;
    bool OpenUrl(const std::string& url) override {
        opened.push_back(url);
        return true;
    }
};

}  // namespace

class WindowCommandsTest : public QObject, public WindowHarness {
    Q_OBJECT
    std::unique_ptr<FakeSoundIn> in_;  // outlives the window

    TScopeWindow* Scope() { return w_->ScopeWindow(); }
    // Sound Input at 60 CpM, recording from the fake.
    FakeSoundIn& CreateSoundInput() {
        Create("[RX]\r\nRXInput=1\r\n[Main]\r\nTargetSpeed=60\r\n", nullptr, in_.get());
        return *in_;
    }
    void ToggleScope() { Press(Qt::Key_F12, Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier); }

private slots:
    void init() {
        Reset();
        in_ = std::make_unique<FakeSoundIn>();
    }
    void cleanup() {
        w_.reset();
        in_.reset();
    }

    // Stored WAV file mode whose file choice is cancelled at start: the
    // parameters window offers "File", asks once, and Keybd/Mouse keys.
    void wavModeCancelledAtStartLeavesTheKeyboard() {
        dialogs_->answer.clear();
        Create("[RX]\r\nRXInput=3\r\n");
        QCOMPARE(dialogs_->asked.size(), size_t(1));
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
        QCOMPARE(w_->ParamWindow()->RXInputGroup()->Count(), 4);
        QCOMPARE(w_->ParamWindow()->RXInputGroup()->ItemIndex(), int(TMainWindow::KeybdMouse));
        QVERIFY(boxes_->messages.isEmpty());
        QVERIFY(Tap(100));
    }

    // Started from the settings with the WAV file mode: the file is asked
    // for, played at its pace, decoded, and at its end Keybd/Mouse returns;
    // Ctrl+S saves what was decoded.
    void wavModeFromTheSettingsDecodesAndReturnsToTheKeyboard() {
        dialogs_->answer = dir_->filePath("keyed.wav").toStdString();
        QVERIFY(keyed_tone::WriteWav(dialogs_->answer, keyed_tone::Samples(kParis, 300, 300)));
        Create("[RX]\r\nRXInput=3\r\n[Main]\r\nTargetSpeed=60\r\n");
        QCOMPARE(w_->InputMode(), int(TMainWindow::WavFile));
        QCOMPARE(QString::fromStdString(dialogs_->asked.at(0).title), QString("Load from file"));
        QCOMPARE(w_->Analyser().CalcSize(), 400);
        // 10 ms steps, so the reader's ticks and the analyser's timers
        // interleave as in real time.
        for (int t = 0; t < 10000; t += 10)
            clock_->Advance(10);
        QCOMPARE(Upper().trimmed(), QString("paris"));
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
        QVERIFY(boxes_->messages.isEmpty());
        QCOMPARE(QString::fromStdString(w_->Settings().InDir), dir_->path() + "/");
        dialogs_->answer = dir_->filePath("out.txt").toStdString();
        Press(Qt::Key_S, Qt::ControlModifier);
        QFile out(dir_->filePath("out.txt"));
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), QByteArray("paris\r\n"));
        QVERIFY(Tap(100));  // the keyboard keys again
    }

    void wavFilesThatCannotBePlayedLeaveTheKeyboard_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("cancelled") << "cancel" << QString();
        QTest::newRow("missing") << "missing"
                                 << "Error: cannot open File %1";
        QTest::newRow("not a sound file") << "text"
                                          << "Error: cannot play File %1: ";
    }
    void wavFilesThatCannotBePlayedLeaveTheKeyboard() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        Create();
        const QString path = dir_->filePath("x.wav");
        if (kind == "text") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("cq cq de orvo\r\n");
        }
        dialogs_->answer = kind == "cancel" ? std::string() : path.toStdString();
        QVERIFY(!w_->SetInputMode(TMainWindow::WavFile));
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
        if (message.endsWith(": ")) {  // the reader's reason follows
            QCOMPARE(boxes_->messages.size(), 1);
            QVERIFY2(boxes_->messages[0].startsWith(message.arg(path)), qPrintable(boxes_->messages[0]));
        } else {
            QCOMPARE(boxes_->messages, message.isEmpty() ? QStringList{} : QStringList{message.arg(path)});
        }
        QVERIFY(Tap(100));
    }

    // Sound Input: buffers reach the analyser; F7 and Pause pause it, freeze
    // the scope and show the notice; typed text still sounds (no side tone
    // gate closing it).
    void soundInputPausesWithF7AndPause() {
        FakeSoundIn& in = CreateSoundInput();
        QCOMPARE(w_->InputMode(), int(TMainWindow::SoundInput));
        QVERIFY(in.active);
        QCOMPARE(in.device, -1);  // RXDevice 0: the system's default input
        QCOMPARE(w_->Analyser().CalcSize(), 800);
        QVERIFY(!w_->Generator().KeyTone);
        QLabel* notice = Child<QLabel>("SoundPausedText");
        for (int key : {int(Qt::Key_F7), int(Qt::Key_Pause)}) {
            Press(key);
            QVERIFY(w_->Analyser().Paused());
            QVERIFY(notice->isVisibleTo(w_.get()));
            QCOMPARE(notice->text(), QString("Sound Input Paused (F7)"));
            QVERIFY(Scope()->ScopeDisplay()->Frozen());
            in.Record(keyed_tone::Samples({300}, 100, 700));
            clock_->Advance(2000);
            QVERIFY(Upper().isEmpty());
            Press(key);
            QVERIFY(!w_->Analyser().Paused());
            QVERIFY(!notice->isVisibleTo(w_.get()));
            QVERIFY(!Scope()->ScopeDisplay()->Frozen());
        }
        in.Record(keyed_tone::Samples(keyed_tone::IdealTiming("t", 60), 100, 700));
        clock_->Advance(2000);
        QCOMPARE(Upper().trimmed(), QString("t"));
        // Leaving the mode stops the recording and ends the pause.
        Press(Qt::Key_F7);
        QVERIFY(w_->SetInputMode(TMainWindow::KeybdMouse));
        QVERIFY(!in.active && !w_->Analyser().Paused());
        Press(Qt::Key_F7);  // only Sound Input pauses
        QVERIFY(!w_->Analyser().Paused());
    }

    // A stored RXDevice beyond the system's device list records from the
    // default device (the mapping of a listed one is the source's test).
    void soundInputFromAGoneDeviceUsesTheDefault() {
        Create("[RX]\r\nRXInput=1\r\nRXDevice=40\r\n", nullptr, in_.get());
        QCOMPARE(w_->InputMode(), int(TMainWindow::SoundInput));
        QCOMPARE(in_->device, -1);
        // Another device that does not start: the status line says so.
        QComboBox* box = w_->ParamWindow()->WavInBox();
        if (box->count() == 0)
            box->addItem("Default input device");
        box->addItem("Broken input");
        box->setCurrentIndex(box->count() - 1);
        in_->active = in_->startOk = false;
        w_->ParamWindow()->WavInBoxChange();
        QCOMPARE(w_->SoundStatus(), QString("Sound input is off: the device did not start"));
        in_->startOk = true;
        box->setCurrentIndex(0);
        w_->ParamWindow()->WavInBoxChange();
        QVERIFY(in_->active);
        QCOMPARE(w_->SoundStatus(), "Sound input is on: " + box->itemText(0));
    }

    // Shift+Alt+Ctrl+F12 shows and hides the scope; while shown it gets the
    // blocks and the red-zone character's timing; keys typed into it key.
    void scopeWindowFollowsTheInputAndForwardsKeys() {
        FakeSoundIn& in = CreateSoundInput();
        QVERIFY(Scope() && !Scope()->isVisible());
        in.Record(keyed_tone::Samples({300}, 100, 700));
        QCOMPARE(Scope()->ScopeDisplay()->LastBlock(), 0);  // hidden: nothing forwarded
        ToggleScope();
        QVERIFY(Scope()->isVisible());
        // The last second: the dot and the dash of "a" (400 ms of key down).
        in.Record(keyed_tone::Samples(keyed_tone::IdealTiming("a", 60), 100, 100));
        QCOMPARE(Scope()->ScopeDisplay()->LastBlock(), 100);
        const auto& key = Scope()->ScopeDisplay()->Line(3);
        const auto keyDown = std::count(key.begin(), key.end(), 10000);
        QVERIFY2(keyDown > 380 && keyDown < 420, qPrintable(QString::number(keyDown)));
        in.Record(std::vector<int16_t>(9600, 0));
        QVERIFY(Upper().contains("a"));
        // " / 4 / dot / space / dash / end": the red zone's newest character.
        const QStringList parts = Scope()->StatusText().split(" / ");
        QCOMPARE(parts.size(), 6);
        QCOMPARE(parts[1], QString("4"));
        QVERIFY(std::abs(parts[2].toInt() - 100) <= 3 && std::abs(parts[4].toInt() - 300) <= 3);
        // The Morse key through the scope window.
        QVERIFY(w_->SetInputMode(TMainWindow::KeybdMouse));
        for (bool down : {true, false}) {
            QKeyEvent e(down ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
            e.setTimestamp(t_ + (down ? 0 : 60));
            QApplication::sendEvent(Scope(), &e);
            QCOMPARE(w_->KeyIsDown(), down);
        }
        // Menu shortcuts are the main window's actions, shared with the scope.
        QVERIFY(Scope()->actions().contains(w_->Action("Sa1")));
        ToggleScope();
        QVERIFY(!Scope()->isVisible());
        QCOMPARE(Scope()->StatusText(), QString());
    }

    // Ctrl+L: the normalised text, marked sent, green zone over all of it.
    void loadedTextIsMarkedSent() {
        Create("[TX]\r\nPrepend=1\r\n");
        Type("ab");
        QFile f(dir_->filePath("send.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("cq\tde  dl1abc\n<ka> <xx>k\n");
        f.close();
        dialogs_->answer = f.fileName().toStdString();
        Press(Qt::Key_L, Qt::ControlModifier);
        const QString loaded = "vvv<ka>\rcq de dl1abc\r<ka> k";
        QVERIFY(Lower().endsWith(loaded));
        QCOMPARE(Green(), loaded);
        QCOMPARE(w_->LowerPanel()->SentEnd(), w_->LowerPanel()->Length());
        // The typed text it replaced was not sent: the status line says so.
        QCOMPARE(w_->StatusMessage(), QString("Typed text not yet sent was dropped: ab"));
        Press(Qt::Key_Backspace);  // sent text cannot be taken back
        QVERIFY(Lower().endsWith(loaded));
        QCOMPARE(QString::fromStdString(w_->Settings().InFile), QString("send.txt"));
    }

    // The build puts the page beside the program, so F1 works from there;
    // here a folder without it is set, and then given it.
    void helpOpensThePageBesideTheProgram() {
        QVERIFY(QFile::exists(QCoreApplication::applicationDirPath() + "/help/helporvotapmtr.htm"));
        Create();
        FakeOpener opener;
        w_->Commands().SetUrlOpener(&opener);
        w_->Commands().SetProgramFolder(dir_->path().toStdString());
        Press(Qt::Key_F1);
        QCOMPARE(boxes_->messages, QStringList{"Error: cannot find the help page " + dir_->path() +
                                               "/help/helporvotapmtr.htm"});
        QVERIFY(QDir(dir_->path()).mkpath("help"));
        QVERIFY(QFile(dir_->filePath("help/helporvotapmtr.htm")).open(QIODevice::WriteOnly));
        Press(Qt::Key_F1);
        w_->Action("ShowHomepage")->trigger();
        QCOMPARE(opener.opened.size(), size_t(2));
        const QString url = "file://" + dir_->path() + "/help/helporvotapmtr.htm";
        QCOMPARE(QString::fromStdString(opener.opened[0]), url);
        QCOMPARE(QString::fromStdString(opener.opened[1]), url + "#about");
    }

    // Pictures for the README: the main window decoding sound input, and the
    // scope while a tone is decoded.
    void screenshots() {
        const QString dir = qEnvironmentVariable("ORVO_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("ORVO_SCREENSHOT_DIR is not set");
        FakeSoundIn& in = CreateSoundInput();
        ToggleScope();
        // "cq de paris" by hand at about 60 CpM, then the start of a "k".
        std::vector<int> ms = keyed_tone::IdealTiming("cq de ", 60);
        ms.insert(ms.end(), kParis.begin(), kParis.end());
        ms.insert(ms.end(), {900, 300, 95, 105, 110, 290});
        in.Record(keyed_tone::Samples(ms, 200, 120));
        QCoreApplication::processEvents();
        QDir().mkpath(dir);
        Scope()->move(0, 0);
        QVERIFY(QTest::qWaitForWindowExposed(Scope()));
        QVERIFY(Scope()->grab().save(dir + "/scope-window.png"));
        QVERIFY(w_->grab().save(dir + "/sound-input.png"));
    }
};

QTEST_MAIN(WindowCommandsTest)
#include "WindowCommandsTest.moc"
