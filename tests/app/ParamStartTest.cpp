// The parameters window inside the program: the stored settings reach the
// components at start through the window's controls, come back after a
// restart, and the window's own choices are saved.

#include "AppHarness.h"

#include "controls/NumEdit.h"
#include "controls/RadioGroup.h"
#include "windows/ParamWindow.h"
#include "windows/TimingWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>

class ParamStartTest : public QObject, public WindowHarness {
    Q_OBJECT

    TParamWindow* P() { return w_->ParamWindow(); }
    void ExpectSaved(std::initializer_list<const char*> lines) {
        QFile f(IniPath());
        const QString ini = f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
        for (const char* line : lines)
            QVERIFY2(ini.contains(line), line);
    }
    void Restart() {
        QVERIFY(w_->close());
        w_.reset();
        Create();
    }

    // Every stored value as it reaches the generator, analyser, decoder,
    // sending and panels, and as the window shows it.
    void CheckApplied() {
        TCWout& g = w_->Generator();
        QCOMPARE(g.Frequency(), 650);
        QCOMPARE(g.KeyFrequency(), 900);
        QVERIFY(g.Stereo() && w_->Binaural() && !g.ExtraChars());
        QCOMPARE(g.LogAmplitude(), -25);
        QCOMPARE(w_->Sending().KeyVolume(), uint16_t(0));
        TAnalyser& c = w_->Analyser();
        QCOMPARE(c.CenterFreq(), 1500u);
        QVERIFY(c.ProcessMode() == tProcessMode::broad && !c.NoiseBlank());
        QCOMPARE(c.InputScaledB(), 6);
        QVERIFY(!w_->Decoder().SpecialChars() && w_->Decoder().Display2Prosigns());
        QCOMPARE(Child<QLabel>("WpMCpMText")->text(), QString("WpM"));
        QCOMPARE(w_->UpperPanel()->font().pointSize(), 24);
        QCOMPARE(w_->LowerPanel()->font().pointSize(), 24);
        QVERIFY(w_->UpperPanel()->AllCaps());
        const TSettings& s = w_->Settings();
        QVERIFY(s.KeyMuted && s.EqKeyOpt && s.Prepend && s.ErrErase && s.WordSpaceFlash && s.Invert && s.RTS);
        QVERIFY(!s.DTR && !s.ShPatt);
        QCOMPARE(P()->KeyFreq()->Edit()->text(), QString("900"));
        QCOMPARE(P()->TXFreq()->Edit()->text(), QString("650"));
        QCOMPARE(P()->RXFreq()->Edit()->text(), QString("1500"));
        QCOMPARE(P()->OutputLevelText()->text(), QString("- 25 dB"));
        QCOMPARE(P()->GainText()->text(), QString("+  6 dB"));
        QVERIFY(P()->MuteBox()->isChecked() && !P()->KeyMuteBox()->isEnabled());
        QCOMPARE(P()->InputLineBox()->currentIndex(), 1);
        QCOMPARE(P()->CharSizeBox()->currentText(), QString("24"));
        QCOMPARE(P()->TXOutputGroup()->ItemIndex(), 1);
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
    }

private slots:
    void init() { Reset(); }
    void cleanup() { w_.reset(); }

    void storedSettingsReachTheComponentsAndComeBack() {
        Create(
            "[TX]\r\nBinaural=1\r\nFrequency=650\r\nFrequency2=900\r\nOutputLevel=-25\r\nMuted=1\r\n"
            "KeyMuted=1\r\nExtended=0\r\nEqKeyOpt=1\r\nPrepend=1\r\n"
            "[RX]\r\nFrequency=1500\r\nMode=0\r\nBounce=0\r\nInputLevel=6\r\nExtended=0\r\nEvent=1\r\n"
            "Invert=1\r\nDTR=0\r\nRTS=1\r\n"
            "[Form]\r\nWpM=1\r\nCharSizeItem=3\r\nAllCaps=1\r\nDisplayPros=1\r\nWordSpaceFlash=1\r\n"
            "ShPatt=0\r\nErrErase=1\r\n");
        QVERIFY(!P()->isVisible());
        CheckApplied();
        Restart();
        CheckApplied();
        ExpectSaved({"Frequency=650", "Frequency2=900", "OutputLevel=-25", "Muted=1", "CharSizeItem=3",
                     "Event=1", "Invert=1", "ShPatt=0", "RXInput=0", "TXDevice=0"});
    }

    void defaultsAtFirstStart() {
        Create();
        TCWout& g = w_->Generator();
        QCOMPARE(g.Frequency(), 800);
        QCOMPARE(g.KeyFrequency(), 800);
        QVERIFY(!g.Stereo());
        QCOMPARE(g.LogAmplitude(), -10);
        QCOMPARE(w_->Analyser().InputScaledB(), -10);
        QVERIFY(w_->Analyser().ProcessMode() == tProcessMode::narrow && w_->Analyser().NoiseBlank());
        QCOMPARE(w_->Sending().KeyVolume(), uint16_t(65535));
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
        QCOMPARE(P()->RXInputGroup()->Count(), 3);
        QCOMPARE(Child<QLabel>("WpMCpMText")->text(), QString("CpM"));
        // The window sits at the main window's top, 40 pixels right of its left.
        QCOMPARE(P()->y(), w_->Settings().ParamTop);
        QCOMPARE(P()->x(), w_->Settings().ParamLeft);
        // The sidetone still follows the key.
        QVERIFY(Tap(100));
        // As the program shows it (its own device and port names).
        const QString dir = qEnvironmentVariable("ORVO_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            P()->show();
            QVERIFY(QTest::qWaitForWindowExposed(P()));
            QDir().mkpath(dir);
            QVERIFY(P()->grab().save(dir + "/parameters-program.png"));
        }
    }

    void storedWavModeFallsBackWhenNoFileIsTaken() {
        // The stored WAV mode is offered as "File"; without a file taken
        // (cancelled, or no reader) Keybd/Mouse is in force and saved.
        Create("[RX]\r\nRXInput=3\r\n");
        QCOMPARE(P()->RXInputGroup()->Count(), 4);
        QCOMPARE(P()->RXInputGroup()->Button(3)->text(), QString("File"));
        QCOMPARE(P()->RXInputGroup()->ItemIndex(), 0);
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
        QVERIFY(P()->FlashCheckBox()->isEnabled());
        QVERIFY(Tap(100));
        Restart();
        QCOMPARE(P()->RXInputGroup()->Count(), 3);
        ExpectSaved({"RXInput=0"});
    }

    void dialogActsOnTheRunningProgram() {
        Create();
        // F2 (the menu item) opens and closes the window.
        w_->Action("SetParameters1")->trigger();
        QVERIFY(P()->isVisible());
        // Binaural: the keyboard tone goes to the generator's first tone.
        P()->TXOutputGroup()->Button(1)->click();
        QVERIFY(w_->Generator().Stereo());
        QCOMPARE(w_->SoundOut1()->Channels(), 2);
        P()->TXFreq()->Edit()->setText("700");
        QTest::keyClick(P()->TXFreq()->Edit(), Qt::Key_Return);
        QCOMPARE(w_->Generator().Frequency(), 700);
        // Half-typed key tone, then the main window is clicked.
        P()->KeyFreq()->Edit()->setText("1000");
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(P(), &deactivate);
        QCOMPARE(w_->Generator().KeyFrequency(), 1000);
        // Back to mono: both tones the key tone.
        P()->TXOutputGroup()->Button(0)->click();
        QCOMPARE(w_->Generator().Frequency(), 1000);
        QCOMPARE(w_->SoundOut1()->Channels(), 1);
        // The level bar and the display choices.
        P()->LevelBar()->setValue(30);
        QCOMPARE(w_->Generator().LogAmplitude(), -30);
        P()->SpeedDisplayGroup()->Button(1)->click();
        QCOMPARE(Child<QLabel>("WpMCpMText")->text(), QString("WpM"));
        QCOMPARE(LineText("CWSpeed"), QString("12.0"));
        P()->CharSizeBox()->setCurrentIndex(6);
        P()->CharSizeBoxChange();
        QCOMPARE(w_->UpperPanel()->font().pointSize(), 48);
        P()->AllCapsCheckBox()->click();
        QVERIFY(w_->LowerPanel()->AllCaps());
        // Mute All Out silences the sidetone of the next key-down.
        P()->MuteBox()->click();
        QCOMPARE(w_->Sending().KeyVolume(), uint16_t(0));
        KeyDown(true);
        QCOMPARE(w_->OutputVolume(), 0u);
        t_ += 100;
        KeyDown(false);
        P()->MuteBox()->click();
        QCOMPARE(w_->Sending().KeyVolume(), uint16_t(65535));
        // Esc hides it; F3 from it reaches the main window.
        QTest::keyClick(P()->CharSizeBox(), Qt::Key_F3);
        QVERIFY(w_->TimingWindow()->isVisible());
        QTest::keyClick(P()->CharSizeBox(), Qt::Key_Escape);
        QVERIFY(!P()->isVisible());
        QVERIFY(w_->close());
        ExpectSaved({"Binaural=0", "Frequency=700", "Frequency2=1000", "OutputLevel=-30", "WpM=1",
                     "CharSizeItem=6", "AllCaps=1", "Muted=0"});
    }

    void mixerMenuSaysWhatToInstall() {
        Create();
        const QByteArray path = qgetenv("PATH");
        QTemporaryDir empty;
        qputenv("PATH", empty.path().toLocal8Bit());
        w_->Action("inputMixerAction_")->trigger();
        w_->Action("OutputMixer1")->trigger();
        qputenv("PATH", path);
        QCOMPARE(boxes_->messages.size(), 2);
        QVERIFY(boxes_->messages[0].contains("pavucontrol"));
    }
};

QTEST_MAIN(ParamStartTest)
#include "ParamStartTest.moc"
