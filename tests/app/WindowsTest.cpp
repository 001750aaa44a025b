#include "controls/BarGauge.h"
#include "settings/Settings.h"
#include "windows/AboutBox.h"
#include "windows/TimingWindow.h"
#include "windows/ShortcutsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>

class WindowsTest : public QObject {
    Q_OBJECT
private slots:
    void shortcutList();
    void aboutBox();
    void timingWindowLayout();
    void timingWindowNumbers();
    void timingWindowControls();
    void screenshots();
};

namespace {

void Key(QWidget* w, Qt::Key key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
}

QString Label(TTimingWindow& f, int n) { return f.NumberLabel(n)->text(); }

// A timing window fed at 60 CpM (800 samples per dot: a 100 ms reference dot).
struct Fed {
    TTimingStats stats;
    TTimingWindow form;
    Fed() {
        stats.DotSamples = [] { return 800.0; };
        stats.WordTimeout = [] { return 900; };
        stats.AverageSpeed = [] { return 0u; };
        form.ReferenceText = [](bool avg) { return avg ? QString("55 CpM") : QString("60 CpM"); };
        form.SetStats(&stats);
    }
};

void SaveShot(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("ORVO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QVERIFY(w.grab().save(dir + "/" + name));
}

}  // namespace

void WindowsTest::shortcutList() {
    TShortcutsWindow s;
    const QStringList lines = s.ShortcutsText()->toPlainText().split('\n');
    QCOMPARE(lines.size(), 33);
    QCOMPARE(lines[0], QString("F1\tdisplay Help information in your browser"));
    QCOMPARE(lines[6], QString("F6\topen/close the Practice window"));
    QCOMPARE(lines[32], QString("PAUSE/BREAK pause/resume input in Sound Input Mode (same as F7) "));
    QVERIFY(lines[14].isEmpty() && lines[25].isEmpty());
    int tabs = 0;
    for (const QString& l : lines)
        tabs += l.count('\t');
    QCOMPARE(tabs, 30 + 5);  // one per described line, a second on five of them
    QVERIFY(s.ShortcutsText()->isReadOnly());
    s.show();
    Key(s.ShortcutsText(), Qt::Key_Escape);
    QVERIFY(!s.isVisible());

    // Stored off the bottom right: opened at the bottom right of the work area.
    TSettings st;
    st.ShCutsTop = st.ShCutsLeft = 100000;
    s.LoadFromSettings(st);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(s.pos(), QPoint(qMax(0, area.right() + 1 - s.width()), qMax(0, area.bottom() + 1 - s.height())));
}

void WindowsTest::aboutBox() {
    QCOMPARE(VersionText(), QString(ORVO_PROJECT_VERSION));
    TAboutBox a;
    QCOMPARE(a.Version()->text(), "Version " + VersionText());
    QVERIFY(a.Licence()->text().contains("GNU General Public License, version 3 or later"));
    QVERIFY(!a.isModal());
    // OK and ESC close it.
    for (bool ok : {true, false}) {
        a.ShowCentredOn(nullptr);
        QVERIFY(a.isVisible());
        ok ? a.OKButton()->click() : Key(&a, Qt::Key_Escape);
        QVERIFY(!a.isVisible());
    }
}

void WindowsTest::timingWindowLayout() {
    TTimingWindow f;
    QCOMPARE(f.minimumHeight(), 150);
    QCOMPARE(f.maximumHeight(), 745);
    // Every gauge's range, red on one colour without a number.
    const struct {
        const char* name;
        int min, max;
    } gauges[] = {{"ShowValSDit", 0, 200},    {"ShowValLDit", 0, 200},      {"ShowValSSpc", 0, 200},
                  {"ShowValLSpc", 0, 200},    {"ShowValDotWeight", 20, 80}, {"ShowValSDah", 200, 500},
                  {"ShowValLDah", 200, 500},  {"ShowValLLDah", 200, 500},   {"ShowValSCspc", 200, 500},
                  {"ShowValLCspc", 200, 500}, {"ShowValSWspc", 500, 900},   {"ShowValLWspc", 500, 900}};
    for (const auto& g : gauges) {
        TBarGauge* bar = f.Gauge(g.name);
        QVERIFY2(bar, g.name);
        QCOMPARE(QPoint(bar->Min(), bar->Max()), QPoint(g.min, g.max));
        QVERIFY(bar->BarColor1() == QColor(Qt::red) && bar->BarColorStyle() == cs1Color &&
                !bar->ShowPosText());
    }
    QCOMPARE(f.findChildren<TBarGauge*>().size(), 12);
    QCOMPARE(f.AvgBox()->count(), 4);
    QCOMPARE(f.AvgBox()->itemText(3), QString("100"));
    QCOMPARE(QPoint(f.AutoResetSecondsEdit()->minimum(), f.AutoResetSecondsEdit()->maximum()), QPoint(2, 30));
    QCOMPARE(f.AutoResetSecondsEdit()->value(), 5);
    QVERIFY(!f.AutoCloseBox()->isEnabled());
}

void WindowsTest::timingWindowNumbers() {
    Fed t;
    TTimingWindow& f = t.form;
    QCOMPARE(f.LTarget()->text(), QString("Reference = 60 CpM"));
    // A fresh set of values, then the numbers (label, text) and gauges (name, position) shown.
    auto show = [&](std::initializer_list<std::pair<TimingKind, int>> values,
                    std::initializer_list<std::pair<int, const char*>> labels,
                    std::initializer_list<std::pair<const char*, int>> gauges) {
        t.stats.ResetValues(0);
        for (auto [kind, ms] : values)
            t.stats.AddCurrentValue(kind, ms);
        f.UpdateDisplay();
        for (auto [n, text] : labels)
            QCOMPARE(Label(f, n), QString(text));
        for (auto [name, position] : gauges)
            QCOMPARE(f.Gauge(name)->Position(), position);
    };
    show({{TimingKind::Dot, 120}}, {{1, "120"}}, {{"ShowValSDit", 120}});
    // A word space beyond the word timeout is ignored; a label shows the
    // true number where its gauge is full.
    show({{TimingKind::Dot, 100},
          {TimingKind::Dot, 121},
          {TimingKind::WordSpace, 950},
          {TimingKind::Dash, 600}},
         {{2, "110"}, {10, "0"}, {5, "600"}}, {{"ShowValSDah", 500}});
    show({{TimingKind::Dot, 90}, {TimingKind::ElementSpace, 110}, {TimingKind::WordSpace, 700}},
         {{12, "45 %"}, {10, "700"}}, {{"ShowValDotWeight", 45}});

    // F5 resets the set shown.
    f.show();
    Key(&f, Qt::Key_F5);
    QCOMPARE(Label(f, 1) + Label(f, 12), QString("00"));

    // Average speed as reference with none known: empty caption, all zero.
    t.stats.AddCurrentValue(TimingKind::Dot, 90);
    f.AverageRefButton()->setChecked(true);
    QCOMPARE(f.LTarget()->text(), QString());
    QCOMPARE(Label(f, 1), QString("0"));
    t.stats.AverageSpeed = [] { return 60u; };
    f.UpdateDisplay();
    QCOMPARE(f.LTarget()->text(), QString("Reference = 55 CpM"));
    QCOMPARE(Label(f, 1), QString("90"));

    Key(&f, Qt::Key_F3);
    QVERIFY(!f.isVisible());
}

void WindowsTest::timingWindowControls() {
    Fed t;
    TTimingWindow& f = t.form;
    int stops = 0, avgLength = 0, downs = 0, ups = 0, presses = 0;
    f.OnAutoResetOff = [&] { ++stops; };
    f.OnAverageLengthChanged = [&](int n) { avgLength = n; };
    f.OnForwardKeyDown = [&](QKeyEvent*) { ++downs; };
    f.OnForwardKeyUp = [&](QKeyEvent*) { ++ups; };
    f.OnForwardKeyPress = [&](QKeyEvent*) { ++presses; };

    TSettings s;
    s.AutoReset = s.AutoClose = true;
    s.AutoResetTime = 12;
    s.AvgCountIdx = 2;
    s.DispRefAvg = 0;
    s.ShowTop = 20;
    s.ShowLeft = 30;
    f.LoadFromSettings(s);
    QVERIFY(f.AutoResetBox()->isChecked() && f.AutoCloseBox()->isChecked() && f.AutoCloseBox()->isEnabled());
    QCOMPARE(f.AutoResetSeconds(), 12);
    QCOMPARE(f.AverageLength(), 50);
    QCOMPARE(avgLength, 0);  // loading does not restart the analyser's average

    // Last Replay: the boxes clear and lock, the stored choices stay.
    f.ReplayButton()->setChecked(true);
    QVERIFY(!f.AutoResetBox()->isChecked() && !f.AutoResetBox()->isEnabled() &&
            !f.AutoResetSecondsEdit()->isEnabled());
    QVERIFY(f.AutoReset() && f.AutoClose());
    QCOMPARE(t.stats.ShownSet(), TTimingStats::kLastReplay);
    f.CurrentButton()->setChecked(true);
    QVERIFY(f.AutoResetBox()->isChecked() && f.AutoCloseBox()->isChecked() &&
            f.AutoResetSecondsEdit()->isEnabled());

    // Switching Auto-Reset off stops the timer and locks "Close on Auto-Reset".
    f.AutoResetBox()->setChecked(false);
    QVERIFY(stops >= 1 && !f.AutoCloseBox()->isEnabled() && !f.AutoReset());

    f.AvgBox()->setCurrentIndex(3);
    QCOMPARE(avgLength, 100);

    // Keys the main window handles pass through.
    Key(f.AutoResetBox(), Qt::Key_Right);
    Key(&f, Qt::Key_F7);
    Key(&f, Qt::Key_Pause);
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(f.AvgBox(), &up);
    Key(f.AutoCloseBox(), Qt::Key_A, "a");
    QCOMPARE(QPoint(downs, ups), QPoint(3, 1));
    QCOMPARE(presses, 1);
    Key(f.AutoResetSecondsEdit(), Qt::Key_1, "1");  // typing into the seconds goes to the box itself
    QCOMPARE(presses, 1);
    // Enter on a focused check box toggles it.
    const bool before = f.AutoResetBox()->isChecked();
    Key(f.AutoResetBox(), Qt::Key_Return);
    QCOMPARE(f.AutoResetBox()->isChecked(), !before);

    TSettings out;
    f.SaveToSettings(out);
    QCOMPARE(out.AutoReset, f.AutoResetBox()->isChecked());
    QCOMPARE(out.AutoResetTime, 12);
    QCOMPARE(out.AvgCountIdx, 3);
    QCOMPARE(out.CurrentLast, 0);
    QCOMPARE(out.ShowTop, f.y());
}

void WindowsTest::screenshots() {
    if (qEnvironmentVariable("ORVO_SCREENSHOT_DIR").isEmpty())
        QSKIP("screenshots are saved only when ORVO_SCREENSHOT_DIR is configured");
    Fed t;
    t.form.show();
    for (auto [kind, ms] : {std::pair{TimingKind::Dot, 104},
                            {TimingKind::Dot, 96},
                            {TimingKind::ElementSpace, 92},
                            {TimingKind::Dash, 310},
                            {TimingKind::LastDash, 330},
                            {TimingKind::CharSpace, 280},
                            {TimingKind::WordSpace, 760}})
        t.stats.AddCurrentValue(kind, ms);
    t.form.UpdateDisplay();
    QVERIFY(QTest::qWaitForWindowExposed(&t.form));
    SaveShot(t.form, "timing-window.png");

    TShortcutsWindow s;
    TAboutBox a;
    for (auto [w, name] : {std::pair<QWidget*, const char*>{&s, "shortcuts.png"}, {&a, "about.png"}}) {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        SaveShot(*w, name);
    }
}

QTEST_MAIN(WindowsTest)
#include "WindowsTest.moc"
