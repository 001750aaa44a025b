// The parameters window driven as the operator drives it, against a fake
// target that records what reached the components and settings.

#include "ParamFake.h"
#include "controls/BarGauge.h"
#include "controls/NumEdit.h"
#include "controls/RadioGroup.h"
#include "backends/Mixer.h"
#include "windows/ParamLogic.h"
#include "windows/ParamWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {

void SendKey(QWidget* w, int key, Qt::KeyboardModifiers mods = {}) {
    QKeyEvent e(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &e);
}

// Types into a numeric edit without committing.
void TypeInto(TNumEdit* n, const QString& text) {
    n->Edit()->clear();
    QTest::keyClicks(n->Edit(), text);
}

void TypeAndEnter(TNumEdit* n, const QString& text) {
    TypeInto(n, text);
    SendKey(n->Edit(), Qt::Key_Enter);
}

bool Shown(QWidget* w) { return w->isVisibleTo(w->window()); }

// The keyboard and key tones as the settings hold them (in mono the
// session sounds the key tone on both).
std::pair<int, int> Tones(const FakeTarget& t) { return {t.s.TxFrequency, t.s.TxFrequency2}; }

}  // namespace

class ParamFormTest : public QObject {
    Q_OBJECT
private slots:
    void formatDb() {
        const std::pair<int, QString> cases[] = {
            {12, "+12 dB"},   {10, "+10 dB"},   {9, "+  9 dB"},   {1, "+  1 dB"},   {0, "    0 dB"},
            {-1, "-   1 dB"}, {-5, "-   5 dB"}, {-9, "-   9 dB"}, {-10, "- 10 dB"}, {-74, "- 74 dB"}};
        for (const auto& [value, text] : cases)
            QCOMPARE(QString::fromStdString(FormatDb(value)), text);
    }

    void levelMeter() {
        struct Case {
            int level, gauge;
            QString text;
        };
        // 9 and 999 are 19.08 and 59.99 dB, truncated.
        const Case cases[] = {{1000, 60, "- 14 dB"}, {0, 20, "- 74 dB"},   {-300, 20, "- 74 dB"},
                              {9, 20, "- 55 dB"},    {999, 59, "- 15 dB"}, {2000000000, 100, "+112 dB"}};
        FakeTarget t;
        t.s.RXInput = 1;
        TParamWindow f(t);
        t.EnterStoredMode(f);
        QVERIFY(f.Timer1Active());
        for (const Case& c : cases) {
            t.inputLevel = c.level;
            f.LevelTimerTick();
            QCOMPARE(f.LevelGauge()->Position(), c.gauge);
            QCOMPARE(f.LevelText()->text(), c.text);
        }
    }

    void keyToneSteps() {
        struct Case {
            int from, key;
            Qt::KeyboardModifiers mods;
            int to;
        };
        const Qt::KeyboardModifiers shift = Qt::ShiftModifier, both = Qt::ShiftModifier | Qt::ControlModifier;
        const Case cases[] = {{795, Qt::Key_Up, shift, 805},
                              {795, Qt::Key_Up, both, 895},
                              {795, Qt::Key_Up, Qt::ControlModifier, 796},
                              {795, Qt::Key_Down, {}, 794},
                              {2000, Qt::Key_Up, {}, 2000},
                              {2000, Qt::Key_Up, shift, 2000},
                              {100, Qt::Key_Down, shift, 100},
                              {1950, Qt::Key_Up, both, 2000},
                              {150, Qt::Key_Down, both, 100}};
        for (const Case& c : cases) {
            FakeTarget t;
            t.s.TxFrequency2 = c.from;
            TParamWindow f(t);
            QCOMPARE(f.KeyFreq()->Position(), c.from);
            SendKey(f.KeyFreq()->Edit(), c.key, c.mods);
            QCOMPARE(t.s.TxFrequency2, c.to);
            QCOMPARE(f.KeyFreq()->Edit()->text(), QString::number(c.to));
            QCOMPARE(f.KeyFreq()->Position(), c.to);
            // Mono: the session sounds the key tone as the sidetone too,
            // behind a closed gate (KeyingSessionTest).
            QVERIFY(!t.s.Binaural);
        }
        // The mouse on the up-down steps by one.
        FakeTarget t;
        TParamWindow f(t);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTest::mouseClick(f.KeyFreq()->UpButton(), Qt::LeftButton);
        QCOMPARE(t.s.TxFrequency2, 801);
        QTest::mouseClick(f.KeyFreq()->DownButton(), Qt::LeftButton);
        QTest::mouseClick(f.KeyFreq()->DownButton(), Qt::LeftButton);
        QCOMPARE(t.s.TxFrequency2, 799);
        QTest::mouseClick(f.KeyFreq()->UpButton(), Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(t.s.TxFrequency2, 809);
    }

    void frequencyEnter() {
        const std::pair<QString, int> cases[] = {{"5000", 4000}, {"50", 100},    {"abc", 1234},
                                                 {"", 1234},     {"2500", 2500}, {"-7", 100}};
        for (const auto& [typed, centre] : cases) {
            FakeTarget t;
            t.s.RxFrequency = 1234;
            t.s.RXInput = 1;  // the band-pass edit takes typing in the sample modes
            TParamWindow f(t);
            t.EnterStoredMode(f);
            TypeInto(f.RXFreq(), typed);
            QCOMPARE(f.RXFreq()->Edit()->text(), typed);
            QCOMPARE(t.s.RxFrequency, 1234);  // nothing before Enter
            SendKey(f.RXFreq()->Edit(), Qt::Key_Return);
            QCOMPARE(t.s.RxFrequency, centre);
            QCOMPARE(f.RXFreq()->Edit()->text(), QString::number(centre));
            // Esc is swallowed: the value stays.
            SendKey(f.RXFreq()->Edit(), Qt::Key_Escape);
            QCOMPARE(t.s.RxFrequency, centre);
        }
    }

    void outputModeSwitch() {
        FakeTarget t;
        t.s.TxFrequency = 650;
        t.s.TxFrequency2 = 900;
        TParamWindow f(t);
        f.show();
        // Started mono: keyboard tone kept but hidden.
        QCOMPARE(Tones(t), std::pair(650, 900));
        QVERIFY(!Shown(f.TXFreq()) && !Shown(f.KbdHzText()) && !f.TXFreq()->isEnabled());
        QVERIFY(!t.s.Binaural);

        f.TXOutputGroup()->Button(1)->click();
        QVERIFY(t.s.Binaural);
        QCOMPARE(Tones(t), std::pair(650, 900));
        QCOMPARE(t.Changes(&TSettings::Binaural, false), 1);
        QVERIFY(Shown(f.TXFreq()) && Shown(f.KbdHzText()) && f.TXFreq()->isEnabled());
        QCOMPARE(f.TXFreq()->Edit()->text(), QString("650"));
        // The keyboard tone edit works in binaural mode only.
        TypeAndEnter(f.TXFreq(), "700");
        QCOMPARE(Tones(t), std::pair(700, 900));

        f.TXOutputGroup()->Button(0)->click();
        QVERIFY(!t.s.Binaural);
        QCOMPARE(Tones(t), std::pair(700, 900));
        QVERIFY(!Shown(f.TXFreq()));
        TypeAndEnter(f.TXFreq(), "1500");
        QCOMPARE(t.s.TxFrequency, 700);  // disabled: Enter does nothing
        // A key tone typed in mono output reaches the sidetone as well.
        TypeAndEnter(f.KeyFreq(), "1200");
        QCOMPARE(Tones(t), std::pair(700, 1200));
    }

    void outputLevelAndMute() {
        struct Case {
            bool output;  // the output level bar, else the input gain bar
            int position;
            QString text;
            int db;
        };
        const Case cases[] = {{true, 25, "- 25 dB", -25}, {true, 5, "-   5 dB", -5},
                              {true, 0, "    0 dB", 0},   {true, 99, "- 40 dB", -40},
                              {false, -12, "+12 dB", 12}, {false, 30, "- 30 dB", -30},
                              {false, -3, "+  3 dB", 3}};
        FakeTarget t;
        TParamWindow f(t);
        QCOMPARE(f.OutputLevelText()->text(), QString("- 10 dB"));
        for (const Case& c : cases) {
            (c.output ? f.LevelBar() : f.InpLevelBar())->setValue(c.position);
            QCOMPARE((c.output ? f.OutputLevelText() : f.GainText())->text(), c.text);
            QCOMPARE(c.output ? t.s.OutputLevel : t.s.InputLevel, c.db);
        }
        // Mute All Out silences the key and greys the key mute and level.
        f.KeyMuteBox()->setChecked(true);
        QVERIFY(t.s.KeyMuted);
        f.MuteBox()->setChecked(true);
        QVERIFY(t.s.Muted);
        QCOMPARE(t.Changes(&TSettings::Muted, false), 1);
        QVERIFY(!f.KeyMuteBox()->isEnabled() && !f.OutputLevelText()->isEnabled());
        f.MuteBox()->setChecked(false);
        QCOMPARE(t.Changes(&TSettings::Muted, false), 2);
        QVERIFY(f.KeyMuteBox()->isEnabled() && f.KeyMuteBox()->isChecked() && t.s.KeyMuted);
        // Stored levels beyond the bars' ranges come in range; a stored
        // mute stays in force at creation.
        FakeTarget stored;
        stored.s.OutputLevel = -70;
        stored.s.InputLevel = 50;
        stored.s.Muted = true;
        TParamWindow g(stored);
        QCOMPARE(stored.s.OutputLevel, -40);
        QCOMPARE(stored.s.InputLevel, 12);
        QVERIFY(stored.s.Muted);
        QVERIFY(!g.KeyMuteBox()->isEnabled());
    }

    void flashKeepsSettingInSampleModes() {
        for (int sampleMode : {1, 3}) {
            FakeTarget t;
            t.s.WordSpaceFlash = true;
            t.s.RXInput = sampleMode == 3 ? 3 : 0;
            TParamWindow f(t);
            f.RXInputGroup()->SetItemIndex(0);
            QVERIFY(f.FlashCheckBox()->isChecked() && f.FlashCheckBox()->isEnabled());
            QVERIFY(!f.Timer1Active());
            QVERIFY(!f.RXFreq()->isEnabled() && !f.InpLevelBar()->isEnabled() &&
                    !f.RXFiltGroup()->isEnabled());
            QVERIFY(!f.DetectorBox()->isEnabled());
            QVERIFY(!f.LevelText()->isVisibleTo(&f));

            f.RXInputGroup()->SetItemIndex(sampleMode);
            QCOMPARE(t.mode, sampleMode);
            QVERIFY(!f.FlashCheckBox()->isChecked() && !f.FlashCheckBox()->isEnabled());
            QVERIFY(t.s.WordSpaceFlash && f.Timer1Active());
            QVERIFY(f.RXFreq()->isEnabled() && f.InpLevelBar()->isEnabled());
            // Broadband greys the band-pass frequency.
            f.RXFiltGroup()->Button(0)->click();
            QCOMPARE(t.s.Mode, 0);
            QVERIFY(!f.RXFreq()->isEnabled());
            f.RXFiltGroup()->Button(1)->click();
            QVERIFY(f.RXFreq()->isEnabled());
            // The detector beside the filter: the choice is handed back.
            QVERIFY(f.DetectorBox()->isEnabled());
            QCOMPARE(f.DetectorBox()->count(), 2);
            QCOMPARE(f.DetectorBox()->itemText(0), QStringLiteral("Standard"));
            QCOMPARE(f.DetectorBox()->itemText(1), QStringLiteral("Robust (noisy signals)"));
            f.DetectorBox()->setCurrentIndex(1);
            emit f.DetectorBox()->activated(1);
            QCOMPARE(t.s.Detector, 1);
            TParamWindow again(t);
            QCOMPARE(again.DetectorBox()->currentIndex(), 1);
            emit f.DetectorBox()->activated(0);
            QCOMPARE(t.s.Detector, 0);

            t.inputLevel = 500;
            f.RXInputGroup()->SetItemIndex(0);
            QVERIFY(f.FlashCheckBox()->isChecked() && f.FlashCheckBox()->isEnabled());
            QCOMPARE(t.inputLevel, 0);
            QCOMPARE(f.LevelGauge()->Position(), 20);
            // The box still sets the value in a key mode.
            f.FlashCheckBox()->setChecked(false);
            QVERIFY(!t.s.WordSpaceFlash);
        }
        // The serial-line controls work in COM mode only.
        FakeTarget t;
        t.ports = {"ttyS0"};
        t.openable = {1};
        TParamWindow f(t);
        QVERIFY(!f.DTRBox()->isEnabled() && !f.InputInvertedGroup()->isEnabled());
        f.RXInputGroup()->Button(2)->click();
        QCOMPARE(t.mode, 2);
        QVERIFY(f.DTRBox()->isEnabled() && f.RTSBox()->isEnabled() && f.InputLineBox()->isEnabled());
        // Sound Input clicked while the switch to Keybd/Mouse waited: it
        // followed that switch, and the controls are those of Sound Input.
        t.duringSwitch = [&] { f.RXInputGroup()->Button(1)->click(); };
        f.RXInputGroup()->Button(0)->click();
        QCOMPARE(t.mode, 1);
        QVERIFY(f.Timer1Active() && f.InpLevelBar()->isEnabled() && !f.DTRBox()->isEnabled());
    }

    void deactivationCommits() {
        FakeTarget t;
        t.s.Binaural = true;
        t.s.RXInput = 1;
        TParamWindow f(t);
        t.EnterStoredMode(f);
        TypeInto(f.TXFreq(), "612");
        TypeInto(f.KeyFreq(), "1234");
        TypeInto(f.RXFreq(), "2222");
        QCOMPARE(t.s.TxFrequency2, 800);
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(&f, &deactivate);
        QCOMPARE(Tones(t), std::pair(612, 1234));
        QCOMPARE(t.s.RxFrequency, 2222);
        QCOMPARE(t.s.TxFrequency, 612);
        QCOMPARE(t.s.TxFrequency2, 1234);
        // Leaving an edit commits too.
        TypeInto(f.KeyFreq(), "999");
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(f.KeyFreq()->Edit(), &out);
        QCOMPARE(t.s.TxFrequency2, 999);
    }

    void creationAppliesSettings() {
        FakeTarget t;
        TSettings& s = t.s;
        s.Binaural = s.WpM = s.AllCaps = s.DisplayPros = true;
        s.ShPatt = false;
        s.TxFrequency = 700;
        s.TxFrequency2 = 950;
        s.CharSizeItem = 3;
        s.Event = 1;
        t.s.RxExtended = t.s.TxExtended = t.s.Bounce = false;
        t.s.Mode = 0;
        t.s.OutputLevel = -25;
        t.s.InputLevel = 6;
        TParamWindow f(t);
        t.EnterStoredMode(f);
        // Units, capitals and prosigns stay as stored: the main window shows
        // the settings in force from the start.
        QVERIFY(t.s.Binaural && t.s.DisplayPros);
        QCOMPARE(Tones(t), std::pair(700, 950));
        QCOMPARE(t.Changes(&TSettings::WpM, true), 0);
        QCOMPARE(CharSizePoints(t.s.CharSizeItem), 24);
        QCOMPARE(t.Changes(&TSettings::AllCaps, true), 0);
        QVERIFY(t.s.WpM && t.s.AllCaps);
        QVERIFY(!f.CheckBoxPattern()->isChecked());
        QCOMPARE(f.InputLineBox()->currentIndex(), 1);
        QCOMPARE(t.modeCalls, std::vector<int>{0});
        for (TRadioGroup* g : {f.RXCharGroup(), f.TXCharGroup(), f.RXFiltGroup(), f.BounceGroup()})
            QCOMPARE(g->ItemIndex(), 0);
        QCOMPARE(f.OutputLevelText()->text(), QString("- 25 dB"));
        QCOMPARE(f.GainText()->text(), QString("+  6 dB"));
        QCOMPARE(t.s.OutputLevel, -25);
        QCOMPARE(t.s.InputLevel, 6);
        QVERIFY(!f.isVisible());
        QCOMPARE(t.s.CharSizeItem, 3);
        QCOMPARE(t.s.Event, 1);
        QVERIFY(!t.s.ShPatt);
        // Defaults: handlers of unchanged design values do not run.
        FakeTarget d;
        TParamWindow g(d);
        QCOMPARE(d.Changes(&TSettings::WpM, false), 0);
        QCOMPARE(d.Changes(&TSettings::AllCaps, false), 0);
        QCOMPARE(CharSizePoints(d.s.CharSizeItem), 12);
        QCOMPARE(d.s.Event, 0);
        QCOMPARE(g.RXInputGroup()->Count(), 3);
    }

    void storedWavModeAndCancel() {
        // Stored WAV mode: "File" is offered and entered (asking for the file).
        FakeTarget t;
        t.s.RXInput = 3;
        TParamWindow f(t);
        QVERIFY(t.modeCalls.empty());  // the window shows the mode, the session enters it
        t.EnterStoredMode(f);
        QCOMPARE(f.RXInputGroup()->Count(), 4);
        QCOMPARE(f.RXInputGroup()->Button(3)->text(), QString("File"));
        QCOMPARE(t.modeCalls, std::vector<int>{3});
        QCOMPARE(t.mode, 3);
        QVERIFY(f.Timer1Active());
        // The end of the file selects Keybd/Mouse; "File" stays offered.
        f.RXInputGroup()->SetItemIndex(0);
        QCOMPARE(t.mode, 0);
        QCOMPARE(f.RXInputGroup()->Count(), 4);
        // The file question cancelled: Keybd/Mouse.
        FakeTarget c;
        c.s.RXInput = 3;
        c.failModes = {3};
        TParamWindow g(c);
        c.EnterStoredMode(g);
        // The failed switch itself leaves Keybd/Mouse in force: nothing more is asked.
        QCOMPARE(c.modeCalls, std::vector<int>{3});
        QCOMPARE(c.mode, 0);
        QCOMPARE(g.RXInputGroup()->ItemIndex(), 0);
        QVERIFY(!g.Timer1Active() && g.FlashCheckBox()->isEnabled());
        // Sound input that does not start: the same.
        FakeTarget n;
        n.failModes = {1};
        TParamWindow h(n);
        h.RXInputGroup()->Button(1)->click();
        QCOMPARE(n.mode, 0);
        QCOMPARE(h.RXInputGroup()->ItemIndex(), 0);
    }

    void windowKeys() {
        FakeTarget t;
        t.s.RXInput = 1;
        TParamWindow f(t);
        t.EnterStoredMode(f);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QVERIFY(f.Timer1Active());
        f.MuteBox()->setFocus();
        SendKey(f.MuteBox(), Qt::Key_F3);
        SendKey(f.MuteBox(), Qt::Key_F7, Qt::ShiftModifier);
        SendKey(f.MuteBox(), Qt::Key_Pause);
        QCOMPARE(t.forwarded, (QStringList{"F3", "F7+shift", QKeySequence(Qt::Key_Pause).toString()}));
        // Enter toggles a check box.
        SendKey(f.MuteBox(), Qt::Key_Return);
        QVERIFY(f.MuteBox()->isChecked() && t.s.Muted);
        // Esc in an edit hides the window too, and stops the meter.
        SendKey(f.KeyFreq()->Edit(), Qt::Key_Escape);
        QVERIFY(!f.isVisible() && !f.Timer1Active());
        f.ToggleVisible();
        QVERIFY(f.isVisible() && f.Timer1Active());
        SendKey(f.CharSizeBox(), Qt::Key_F2);
        QVERIFY(!f.isVisible());
    }

    void displayOptions() {
        FakeTarget t;
        TParamWindow f(t);
        const std::pair<const char*, bool TSettings::*> cases[] = {
            {"CheckBoxEqkey", &TSettings::EqKeyOpt},  {"CheckBoxPrepend", &TSettings::Prepend},
            {"HHCheckBox", &TSettings::ErrErase},     {"ProsCheckBox", &TSettings::DisplayPros},
            {"AllCapsCheckBox", &TSettings::AllCaps}, {"CheckBoxPattern", &TSettings::ShPatt},
            {"KeyMuteBox", &TSettings::KeyMuted}};
        for (const auto& [name, field] : cases) {
            auto* box = f.findChild<QCheckBox*>(name);
            QVERIFY2(box, name);
            const bool before = t.s.*field;
            box->click();
            QCOMPARE(t.s.*field, !before);
        }
        QVERIFY(t.s.DisplayPros && !t.s.ShPatt);
        QCOMPARE(t.Changes(&TSettings::AllCaps, false), 1);
        f.SpeedDisplayGroup()->Button(1)->click();
        QVERIFY(t.s.WpM);
        QCOMPARE(t.Changes(&TSettings::WpM, false), 1);
        for (const auto& [index, points] : {std::pair{6, 48}, std::pair{-1, 12}}) {
            f.CharSizeBox()->setCurrentIndex(index);
            f.CharSizeBoxChange();
            QCOMPARE(CharSizePoints(t.s.CharSizeItem), points);
        }
        for (TRadioGroup* g : {f.RXCharGroup(), f.TXCharGroup(), f.BounceGroup()})
            g->Button(0)->click();
        QVERIFY(!t.s.RxExtended && !t.s.TxExtended && !t.s.Bounce);
    }

    void keyGroup() {
        // Every control of the "Key" group hands the settings back at once;
        // a key name the table does not know keeps the key in force.
        FakeTarget t;
        t.s.PaddleDah = "space";
        TParamWindow f(t);
        auto* g = f.findChild<QGroupBox*>("KeyGroupBox");
        QVERIFY(g && g->title() == "Key");
        auto* keyer = g->findChild<TRadioGroup*>("KeyerGroup");
        auto* straight = g->findChild<QComboBox*>("StraightKeyBox");
        auto* dit = g->findChild<QComboBox*>("PaddleDitBox");
        auto* dah = g->findChild<QComboBox*>("PaddleDahBox");
        auto* swap = g->findChild<QCheckBox*>("SwapPaddlesBox");
        QVERIFY(keyer && straight && dit && dah && swap);
        QCOMPARE(keyer->ItemIndex(), 0);
        QCOMPARE(straight->currentText(), QString("Right"));
        QCOMPARE(dah->currentText(), QString("space"));
        QVERIFY(straight->isEnabled() && !dit->isEnabled() && !swap->isEnabled());

        straight->setCurrentIndex(straight->findText("Control_L"));
        emit straight->activated(straight->currentIndex());
        QCOMPARE(t.s.StraightKey, std::string("Control_L"));
        keyer->Button(2)->click();
        QCOMPARE(t.s.Keyer, 2);
        QVERIFY(!straight->isEnabled() && dit->isEnabled() && swap->isEnabled());
        swap->click();
        QVERIFY(t.s.PaddleSwap);
        dit->lineEdit()->setText("Control_R");
        emit dit->lineEdit()->editingFinished();
        QCOMPARE(t.s.PaddleDit, std::string("Control_R"));
        QCOMPARE(t.s.PaddleDah, std::string("space"));

        dah->lineEdit()->setText("Hyperdrive");
        emit dah->lineEdit()->editingFinished();
        QCOMPARE(t.s.PaddleDah, std::string("space"));
        QCOMPARE(dah->currentText(), QString("space"));
        QVERIFY(t.status.last().contains("Hyperdrive"));
        QCOMPARE(t.s.Keyer, 2);
        QVERIFY(t.s.PaddleSwap);
        keyer->Button(0)->click();
        QCOMPARE(t.s.Keyer, 0);
    }

    void screenshotAtDesignSize() {
        FakeTarget t;
        t.ports = {"ttyS0", "ttyUSB0"};
        t.s.Binaural = true;
        t.s.RXInput = 1;
        t.inputLevel = 1000;
        TParamWindow f(t);
        f.resize(740, 775);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.LevelTimerTick();
        QCOMPARE(f.size(), QSize(740, 775));
        // Nothing clipped, and the design size needs no scrolling: every
        // caption gets at least the room it asks for, inside the window.
        auto* scroll = f.findChild<QWidget*>("ParamContent");
        QVERIFY(scroll);
        QVERIFY2(scroll->width() <= 740, qPrintable(QString::number(scroll->width())));
        QVERIFY2(scroll->height() <= 775, qPrintable(QString::number(scroll->height())));
        for (QWidget* w : f.findChildren<QWidget*>()) {
            const bool texty = qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w) ||
                               qobject_cast<QRadioButton*>(w) || qobject_cast<QPushButton*>(w) ||
                               qobject_cast<QComboBox*>(w);
            if (!texty || !w->isVisibleTo(&f))
                continue;
            QVERIFY2(w->width() >= w->minimumSizeHint().width(),
                     qPrintable(w->objectName() + " " + w->property("text").toString() + " " +
                                QString::number(w->width())));
            QVERIFY2(scroll->rect().contains(QRect(w->mapTo(scroll, QPoint(0, 0)), w->size())),
                     qPrintable(w->objectName()));
        }
        const QString dir = qEnvironmentVariable("ORVO_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            QDir().mkpath(dir);
            QVERIFY(f.grab().save(dir + "/parameters.png"));
        }
    }
};

QTEST_MAIN(ParamFormTest)
#include "ParamFormTest.moc"
