#include "controls/CWHighlightLabel.h"
#include "controls/LumoProgressBar.h"
#include "devices/QtClock.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QtTest>

class ControlsTest : public QObject {
    Q_OBJECT
private slots:
    void gaugeFillAndClamping();
    void gaugeText();
    void gaugeDirections();
    void gaugeGradients();
    void labelDecodedRedZone();
    void labelTypedGreenZone();
    void labelWrappingAndScrolling();
    void labelDrawing();
    void clockAndTimers();
};

namespace {

QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// A panel with a known number of columns and lines.
void SizePanel(TCWHighlightLabel& l, int columns, int lines) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(16);
    l.SetFont(f);
    QFontMetrics fm(f);
    l.resize(fm.horizontalAdvance('A') * columns + fm.horizontalAdvance('A') / 2, fm.height() * lines + 2);
}

}  // namespace

void ControlsTest::gaugeFillAndClamping() {
    TLumoProgressBar g;
    QCOMPARE(g.size(), QSize(200, 20));
    g.resize(240, 20);
    g.SetMin(200);
    g.SetMax(500);
    g.SetPosition(350);
    QCOMPARE(g.FilledExtent(), 119);  // round(150 / 300 * 238)
    g.SetPosition(600);
    QCOMPARE(g.Position(), 500);
    QCOMPARE(g.FilledExtent(), 238);
    g.SetPosition(100);
    QCOMPARE(g.Position(), 200);
    QCOMPARE(g.FilledExtent(), 0);
    g.SetShowBorder(false);
    g.SetPosition(500);
    QCOMPARE(g.FilledExtent(), 240);
    g.SetMax(200);  // an empty range shows nothing
    QCOMPARE(g.FilledExtent(), 0);
}

void ControlsTest::gaugeText() {
    TLumoProgressBar g;
    g.SetMax(8);
    g.SetPosition(1);
    g.SetPercentage(true);
    QCOMPARE(g.PosText(), QString("12"));  // 12.5 rounds to even
    g.SetMax(1000);
    g.SetPercentage(false);
    g.SetDecimal(true);
    g.SetPosition(123);
    QCOMPARE(g.PosText(), QString("12.3"));
    g.SetDecimal(false);
    g.SetPosTextPrefix("<");
    g.SetPosTextSuffix(" ms");
    QCOMPARE(g.PosText(), QString("<123 ms"));
    g.SetMax(0);
    g.SetPercentage(true);
    QCOMPARE(g.PosText(), QString("<0 ms"));
}

void ControlsTest::gaugeDirections() {
    struct Case {
        TProgressDirection dir;
        QPoint filled, empty;  // sample points for a half-full 100 x 100 gauge
    };
    const Case cases[] = {
        {pdLeftToRight, {10, 50}, {90, 50}},
        {pdRightToLeft, {90, 50}, {10, 50}},
        {pdBottomToTop, {50, 90}, {50, 10}},
        {pdTopToBottom, {50, 10}, {50, 90}},
    };
    for (const Case& c : cases) {
        TLumoProgressBar g;
        g.resize(100, 100);
        g.SetDirection(c.dir);
        g.SetBarColorStyle(cs1Color);
        g.SetBarColor1(Qt::red);
        g.SetBackgroundColor(Qt::blue);
        g.SetBorderColor1(Qt::black);
        g.SetBorderColor2(Qt::white);
        g.SetShowPosText(false);
        g.SetPosition(50);
        const QImage img = Grab(g);
        QCOMPARE(QColor(img.pixel(c.filled)), QColor(Qt::red));
        QCOMPARE(QColor(img.pixel(c.empty)), QColor(Qt::blue));
        QCOMPARE(QColor(img.pixel(0, 0)), QColor(Qt::black));    // top-left border line
        QCOMPARE(QColor(img.pixel(99, 99)), QColor(Qt::white));  // bottom-right border line
    }
    // A tiled picture replaces the colours.
    TLumoProgressBar g;
    g.resize(40, 10);
    g.SetShowBorder(false);
    g.SetShowPosText(false);
    QPixmap tile(4, 4);
    tile.fill(Qt::magenta);
    g.SetBarBitmap(tile);
    g.SetPosition(100);
    const QImage img = Grab(g);
    QCOMPARE(QColor(img.pixel(39, 9)), QColor(Qt::magenta));
}

void ControlsTest::gaugeGradients() {
    QCOMPARE(TLumoProgressBar::RampColor(Qt::black, Qt::white, 1, 5), QColor(Qt::black));
    QCOMPARE(TLumoProgressBar::RampColor(Qt::black, Qt::white, 5, 5), QColor(Qt::white));
    QCOMPARE(TLumoProgressBar::RampColor(Qt::black, Qt::white, 3, 5), QColor(128, 128, 128));
    QCOMPARE(TLumoProgressBar::RampColor(Qt::red, Qt::blue, 1, 1), QColor(Qt::red));

    for (TProgressDirection dir : {pdLeftToRight, pdRightToLeft}) {
        TLumoProgressBar g;
        g.resize(101, 10);
        g.SetShowBorder(false);
        g.SetShowPosText(false);
        g.SetDirection(dir);
        g.SetBarColor1(QColor(0, 255, 0));
        g.SetBarColor2(QColor(255, 255, 0));
        g.SetBarColor3(QColor(255, 0, 0));
        g.SetPosition(100);
        QImage img = Grab(g);
        const int start = dir == pdLeftToRight ? 0 : 100, end = 100 - start;
        QCOMPARE(QColor(img.pixel(start, 5)), QColor(0, 255, 0));   // colour 1 where the bar starts
        QCOMPARE(QColor(img.pixel(end, 5)), QColor(255, 0, 0));
        const int halfLast = dir == pdLeftToRight ? 49 : 51;        // last line of the first ramp
        QCOMPARE(QColor(img.pixel(halfLast, 5)), QColor(255, 255, 0));

        g.SetBarColorStyle(cs2Colors);
        img = Grab(g);
        QCOMPARE(QColor(img.pixel(start, 5)), QColor(0, 255, 0));
        QCOMPARE(QColor(img.pixel(end, 5)), QColor(255, 255, 0));
    }
}

void ControlsTest::labelDecodedRedZone() {
    TCWHighlightLabel l;
    QCOMPARE(l.focusPolicy(), Qt::NoFocus);
    QCOMPARE(l.MoveRedStart(-1), 0);  // empty panel: nothing moves

    l.AddDecodedText("e");
    QCOMPARE(l.Kind(), 2);
    QCOMPARE(l.MoveRedStart(-1), 1);  // a single character stays at 1
    QCOMPARE(l.MoveRedStart(1), 1);

    l.Clear();
    for (const char* s : {"a", "<ar>", " ", "b", "\r"}) l.AddDecodedText(s);
    l.AddDecodedText("c");
    QCOMPARE(l.Text(), std::string("a<ar> b\rc"));
    QCOMPARE(l.RedStart(), 9);
    QCOMPARE(l.RedLast(), 9);
    QCOMPARE(l.MoveRedStart(-1), 7);   // over the separator to "b"
    QCOMPARE(l.MoveRedStart(-1), 2);   // over the space, the prosign whole
    QCOMPARE(l.MoveRedStart(-1), 1);
    QCOMPARE(l.MoveRedStart(-5), 1);   // held at the first position
    QCOMPARE(l.MoveRedStart(1), 2);
    QCOMPARE(l.MoveRedStart(1), 7);
    QCOMPARE(l.MoveRedStart(100), 9);  // held at the newest character
    QCOMPARE(l.MoveRedStart(TCWHighlightLabel::ToFirst), 1);
    QCOMPARE(l.MoveRedStart(TCWHighlightLabel::ToLast), 9);
    QCOMPARE(l.MoveRedStart(INT32_MIN), 1);  // any large step just runs to the end

    l.MoveRedStart(TCWHighlightLabel::ToLast);
    QVERIFY(!l.InZone(7));
    l.MoveRedStart(-1);
    QVERIFY(l.InZone(7) && l.InZone(9) && !l.InZone(6));

    l.Clear();
    QCOMPARE(l.Kind(), 0);
    QCOMPARE(l.Length(), 0);
    QCOMPARE(l.RedStart(), 0);
}

void ControlsTest::labelTypedGreenZone() {
    TCWHighlightLabel l;
    l.AddTypedText("ab");
    l.AddTypedText(" ");
    l.AddTypedText("<ar>");
    l.AddTypedText("cd");
    QCOMPARE(l.Kind(), 1);
    QCOMPARE(l.LastTypedChar(), 'd');
    QCOMPARE(l.MoveGreenStart(-1), 0);  // nothing sent yet

    for (const char* s : {"a", "b", " ", "<ar>"}) l.MarkSent(s);
    QCOMPARE(l.SentEnd(), 7);
    QCOMPARE(l.GreenStart(), 4);
    QCOMPARE(l.GreenText(), std::string("<ar>"));

    // Deleting stops at the first sent character.
    QCOMPARE(l.DeleteLast(5), 2);
    QCOMPARE(l.Text(), std::string("ab <ar>"));
    QCOMPARE(l.DeleteLast(1), 0);
    QCOMPARE(l.LastTypedChar(), '>');
    l.AddTypedText("c");
    l.MarkSent("c");
    QCOMPARE(l.GreenText(), std::string("c"));

    QCOMPARE(l.MoveGreenStart(-1), 4);   // back over the prosign as one unit
    QCOMPARE(l.MoveGreenStart(-1), 2);   // the space does not count
    QCOMPARE(l.MoveGreenStart(-1), 1);
    QCOMPARE(l.MoveGreenStart(-1), 1);   // cannot complete: stays
    QCOMPARE(l.MoveGreenStart(1), 2);
    QCOMPARE(l.MoveGreenStart(1), 4);
    QCOMPARE(l.MoveGreenStart(1), 8);
    QCOMPARE(l.MoveGreenStart(1), 8);    // the last sent character is the bound
    QCOMPARE(l.GreenText(), std::string("c"));
    QCOMPARE(l.MoveGreenStart(TCWHighlightLabel::ToFirst), 1);
    QCOMPARE(l.GreenText(), std::string("ab <ar>c"));
    QCOMPARE(l.MoveGreenStart(0), 1);

    l.DeleteLast(0);
    TCWHighlightLabel t;
    t.AddTypedText("x<ar>");
    t.MarkSent("x");
    t.MarkSent("<ar>");
    t.MoveGreenStart(TCWHighlightLabel::ToFirst);
    QCOMPARE(t.MoveGreenStart(TCWHighlightLabel::ToLast), 2);  // back from ">" to its "<"
    QCOMPARE(t.DeleteLast(3), 0);
    TCWHighlightLabel decoded;
    decoded.AddDecodedText("abc");
    QCOMPARE(decoded.DeleteLast(2), 0);  // only the typed panel deletes
}

void ControlsTest::labelWrappingAndScrolling() {
    TCWHighlightLabel l;
    SizePanel(l, 10, 3);
    QCOMPARE(l.Columns(), 10);
    QCOMPARE(l.VisibleLines(), 3);

    // Seven letters, then a prosign that would cross the right edge.
    l.AddDecodedText("abcdefg");
    l.AddDecodedText("<ar>");
    QCOMPARE(l.CellOf(7), QPoint(7, 0));
    QCOMPARE(l.CellOf(8), QPoint(1, 1));   // "<" moves to the next line
    QCOMPARE(l.CellOf(11), QPoint(4, 1));
    l.AddDecodedText("h");
    QCOMPARE(l.CellOf(12), QPoint(5, 1));

    // A separator starts a new line; a full row wraps.
    l.Clear();
    l.AddDecodedText("ab\r");
    l.AddDecodedText("c");
    QCOMPARE(l.CellOf(4), QPoint(1, 1));
    l.Clear();
    l.AddDecodedText("0123456789x");
    QCOMPARE(l.CellOf(10), QPoint(10, 0));
    QCOMPARE(l.CellOf(11), QPoint(1, 1));

    // Many lines: the newest stay in view, whole lines drop from the top.
    l.Clear();
    for (char c = 'a'; c <= 'h'; ++c) l.AddDecodedText(std::string(1, c) + "\r");
    QCOMPARE(l.FirstVisible(), 13);  // lines "g", "h" and the empty last line: 3 fit
    QCOMPARE(l.CellOf(15), QPoint(1, 1));
    QCOMPARE(l.CellOf(1), QPoint(-1, -1));
    // Moving the zone start up brings its line back into view.
    l.MoveRedStart(TCWHighlightLabel::ToFirst);
    QCOMPARE(l.FirstVisible(), 1);
    QCOMPARE(l.CellOf(1), QPoint(1, 0));
}

void ControlsTest::labelDrawing() {
    auto panel = [](const std::string& text, bool caps, bool zero, bool hidden) {
        TCWHighlightLabel l;
        SizePanel(l, 8, 2);
        l.SetColorRxBold(Qt::red);
        l.SetAllCaps(caps);
        l.SetZeroSlash(zero);
        l.AddDecodedText(text);
        l.AddDecodedText("\r");  // red zone on the separator only: the text is drawn plain
        l.SetTextHidden(hidden);
        return Grab(l);
    };
    // Capitals and the slashed zero are a matter of drawing only.
    QCOMPARE(panel("abc", true, false, false), panel("ABC", false, false, false));
    QVERIFY(panel("abc", false, false, false) != panel("ABC", false, false, false));
    QCOMPARE(panel("0", false, true, false), panel("\xd8", false, false, false));
    QVERIFY(panel("0", false, true, false) != panel("0", false, false, false));
    // Hidden: background only.
    const QImage hidden = panel("abc", false, false, true);
    QImage white(hidden.size(), QImage::Format_RGB32);
    white.fill(Qt::white);
    QCOMPARE(hidden, white);

    // Stored text keeps its case.
    TCWHighlightLabel l;
    l.SetAllCaps(true);
    l.AddDecodedText("abc");
    QCOMPARE(l.Text(), std::string("abc"));

    // The red zone is drawn in its colour.
    SizePanel(l, 8, 2);
    l.Clear();
    l.AddDecodedText("MMMM");
    const QImage img = Grab(l);
    bool red = false;
    for (int y = 0; y < img.height() && !red; ++y)
        for (int x = 0; x < img.width() && !red; ++x) red = QColor(img.pixel(x, y)) == QColor(Qt::red);
    QVERIFY(red);

    QCOMPARE(TCWHighlightLabel::ToUnicode(0x80), QChar(0x20AC));
    QCOMPARE(TCWHighlightLabel::ToUnicode(0xE9), QChar(0xE9));
}

void ControlsTest::clockAndTimers() {
    QtClock clock;
    const uint32_t t0 = clock.NowMs();
    QTest::qWait(30);
    const uint32_t t1 = clock.NowMs();
    QVERIFY(t1 - t0 >= 25);

    QtTimerFactory factory;
    std::unique_ptr<ITimer> timer = factory.CreateTimer();
    int fired = 0;
    timer->OnTimer = [&] { ++fired; };
    timer->SetInterval(20);
    QCOMPARE(timer->Interval(), 20u);
    QVERIFY(!timer->IsActive());
    timer->Start();
    QVERIFY(timer->IsActive());
    QTRY_VERIFY_WITH_TIMEOUT(fired >= 2, 2000);  // periodic, on this thread
    timer->SetInterval(10000);                    // a running timer keeps running
    QVERIFY(timer->IsActive());
    const int before = fired;
    QTest::qWait(60);
    QCOMPARE(fired, before);
    timer->Stop();
    QVERIFY(!timer->IsActive());
}

QTEST_MAIN(ControlsTest)
#include "ControlsTest.moc"
