#include "controls/CWHighlightLabel.h"
#include "controls/BarGauge.h"
#include "backends/QtClock.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QtTest>

class ControlsTest : public QObject {
    Q_OBJECT
private slots:
    void gaugeFillClampingAndText();
    void gaugeDrawing();
    void labelDecodedRedZone();
    void labelTypedGreenZone();
    void labelWrappingAndScrolling();
    void labelDrawing();
    void clockAndTimers();
};

namespace {

QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }
QColor Pixel(const QImage& img, int x, int y) { return img.pixel(x, y); }

// A full gauge without border or number.
void Bare(TBarGauge& g, int w, int h) {
    g.resize(w, h);
    g.SetShowBorder(false);
    g.SetShowPosText(false);
    g.SetPosition(100);
}

// A panel with a known number of columns and lines.
void SizePanel(TCWHighlightLabel& l, int columns, int lines) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(16);
    l.SetFont(f);
    QFontMetrics fm(f);
    l.resize(fm.horizontalAdvance('A') * columns + fm.horizontalAdvance('A') / 2, fm.height() * lines + 2);
}

// Moves a zone start step by step, checking where each step ends.
void Moves(TCWHighlightLabel& l, int32_t (TCWHighlightLabel::*move)(int32_t),
           std::initializer_list<std::pair<int32_t, int32_t>> steps) {
    for (auto [delta, at] : steps)
        QCOMPARE((l.*move)(delta), at);
}

}  // namespace

void ControlsTest::gaugeFillClampingAndText() {
    TBarGauge g;
    QCOMPARE(g.size(), QSize(200, 20));
    g.resize(240, 20);
    g.SetMin(200);
    g.SetMax(500);
    // Positions beyond the range are held at its ends; 238 px inside the border.
    for (auto [set, held, filled] : {std::tuple{350, 350, 119}, {600, 500, 238}, {100, 200, 0}}) {
        g.SetPosition(set);
        QCOMPARE(g.Position(), held);
        QCOMPARE(g.FilledExtent(), filled);
    }
    g.SetShowBorder(false);
    g.SetPosition(500);
    QCOMPARE(g.FilledExtent(), 240);
    g.SetMax(200);  // an empty range shows nothing
    QCOMPARE(g.FilledExtent(), 0);

    TBarGauge t;
    t.SetMax(8);
    t.SetPosition(1);
    t.SetPercentage(true);
    QCOMPARE(t.PosText(), QString("12"));  // 12.5 rounds to even
    t.SetMax(1000);
    t.SetPercentage(false);
    t.SetDecimal(true);
    t.SetPosition(123);
    QCOMPARE(t.PosText(), QString("12.3"));
    t.SetDecimal(false);
    t.SetPosTextPrefix("<");
    t.SetPosTextSuffix(" ms");
    QCOMPARE(t.PosText(), QString("<123 ms"));
    t.SetMax(0);
    t.SetPercentage(true);
    QCOMPARE(t.PosText(), QString("<0 ms"));
}

void ControlsTest::gaugeDrawing() {
    // A half-full 100 x 100 gauge in each direction: a filled and an empty
    // sample point, and the two border colours.
    for (auto [dir, filled, empty] : {std::tuple{pdLeftToRight, QPoint(10, 50), QPoint(90, 50)},
                                      {pdRightToLeft, QPoint(90, 50), QPoint(10, 50)},
                                      {pdBottomToTop, QPoint(50, 90), QPoint(50, 10)},
                                      {pdTopToBottom, QPoint(50, 10), QPoint(50, 90)}}) {
        TBarGauge g;
        g.resize(100, 100);
        g.SetDirection(dir);
        g.SetBarColorStyle(cs1Color);
        g.SetBarColor1(Qt::red);
        g.SetBackgroundColor(Qt::blue);
        g.SetBorderColor1(Qt::black);
        g.SetBorderColor2(Qt::white);
        g.SetShowPosText(false);
        g.SetPosition(50);
        const QImage img = Grab(g);
        QCOMPARE(QColor(img.pixel(filled)), QColor(Qt::red));
        QCOMPARE(QColor(img.pixel(empty)), QColor(Qt::blue));
        QCOMPARE(Pixel(img, 0, 0), QColor(Qt::black));    // top-left border line
        QCOMPARE(Pixel(img, 99, 99), QColor(Qt::white));  // bottom-right border line
    }
    // Three colours ramp over the two halves of the bar, two over all of it;
    // a one-step ramp is its first colour.
    QCOMPARE(TBarGauge::RampColor(Qt::black, Qt::white, 3, 5), QColor(128, 128, 128));
    QCOMPARE(TBarGauge::RampColor(Qt::red, Qt::blue, 1, 1), QColor(Qt::red));
    const QColor green(0, 255, 0), yellow(255, 255, 0), red(255, 0, 0);
    for (TProgressDirection dir : {pdLeftToRight, pdRightToLeft}) {
        TBarGauge g;
        Bare(g, 101, 10);
        g.SetDirection(dir);
        g.SetBarColor1(green);
        g.SetBarColor2(yellow);
        g.SetBarColor3(red);
        const int start = dir == pdLeftToRight ? 0 : 100, end = 100 - start;
        const int halfLast = dir == pdLeftToRight ? 49 : 51;  // last line of the first ramp
        QImage img = Grab(g);
        QCOMPARE(Pixel(img, start, 5), green);
        QCOMPARE(Pixel(img, halfLast, 5), yellow);
        QCOMPARE(Pixel(img, end, 5), red);
        g.SetBarColorStyle(cs2Colors);
        img = Grab(g);
        QCOMPARE(Pixel(img, start, 5), green);
        QCOMPARE(Pixel(img, end, 5), yellow);
    }
    // A tiled picture replaces the colours.
    TBarGauge g;
    Bare(g, 40, 10);
    QPixmap tile(4, 4);
    tile.fill(Qt::magenta);
    g.SetBarBitmap(tile);
    QCOMPARE(Pixel(Grab(g), 39, 9), QColor(Qt::magenta));
}

void ControlsTest::labelDecodedRedZone() {
    TCWHighlightLabel l;
    QCOMPARE(l.focusPolicy(), Qt::NoFocus);
    QCOMPARE(l.MoveRedStart(-1), 0);  // empty panel: nothing moves
    l.AddDecodedText("e");
    QCOMPARE(l.Kind(), 2);
    Moves(l, &TCWHighlightLabel::MoveRedStart, {{-1, 1}, {1, 1}});  // a single character stays at 1

    l.Clear();
    for (const char* s : {"a", "<ar>", " ", "b", "\r", "c"})
        l.AddDecodedText(s);
    QCOMPARE(l.Text(), std::string("a<ar> b\rc"));
    QCOMPARE(l.RedStart(), 9);
    QCOMPARE(l.RedLast(), 9);
    // Back over the separator to "b", over the space and the prosign whole,
    // held at either end; any large step just runs to the end.
    Moves(l, &TCWHighlightLabel::MoveRedStart,
          {{-1, 7},
           {-1, 2},
           {-1, 1},
           {-5, 1},
           {1, 2},
           {1, 7},
           {100, 9},
           {TCWHighlightLabel::ToFirst, 1},
           {TCWHighlightLabel::ToLast, 9}});
    QVERIFY(!l.InZone(7));
    l.MoveRedStart(-1);
    QVERIFY(l.InZone(7) && l.InZone(9) && !l.InZone(6));
    QCOMPARE(l.MoveRedStart(INT32_MIN), 1);

    l.Clear();
    QCOMPARE(l.Kind() + l.Length() + l.RedStart(), 0);
}

void ControlsTest::labelTypedGreenZone() {
    TCWHighlightLabel l;
    for (const char* s : {"ab", " ", "<ar>", "cd"})
        l.AddTypedText(s);
    QCOMPARE(l.Kind(), 1);
    QCOMPARE(l.LastTypedChar(), 'd');
    QCOMPARE(l.MoveGreenStart(-1), 0);  // nothing sent yet
    for (const char* s : {"a", "b", " ", "<ar>"})
        l.MarkSent(s);
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
    // Back over the prosign as one unit, the space not counted, held at the
    // first character and at the last sent one.
    Moves(l, &TCWHighlightLabel::MoveGreenStart,
          {{-1, 4}, {-1, 2}, {-1, 1}, {-1, 1}, {1, 2}, {1, 4}, {1, 8}, {1, 8}});
    QCOMPARE(l.GreenText(), std::string("c"));
    Moves(l, &TCWHighlightLabel::MoveGreenStart, {{TCWHighlightLabel::ToFirst, 1}, {0, 1}});
    QCOMPARE(l.GreenText(), std::string("ab <ar>c"));

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
    auto cells = [&](std::initializer_list<std::pair<int, QPoint>> expected) {
        for (auto [pos, cell] : expected)
            QCOMPARE(l.CellOf(pos), cell);
    };
    // A prosign that would cross the right edge moves to the next line whole.
    l.AddDecodedText("abcdefg");
    l.AddDecodedText("<ar>");
    l.AddDecodedText("h");
    cells({{7, {7, 0}}, {8, {1, 1}}, {11, {4, 1}}, {12, {5, 1}}});
    // A separator starts a new line; a full row wraps.
    l.Clear();
    l.AddDecodedText("ab\r");
    l.AddDecodedText("c");
    cells({{4, {1, 1}}});
    l.Clear();
    l.AddDecodedText("0123456789x");
    cells({{10, {10, 0}}, {11, {1, 1}}});

    // Many lines: the newest stay in view, whole lines drop from the top.
    l.Clear();
    for (char c = 'a'; c <= 'h'; ++c)
        l.AddDecodedText(std::string(1, c) + "\r");
    QCOMPARE(l.FirstVisible(), 13);  // lines "g", "h" and the empty last line: 3 fit
    cells({{15, {1, 1}}, {1, {-1, -1}}});
    // Moving the zone start up brings its line back into view.
    l.MoveRedStart(TCWHighlightLabel::ToFirst);
    QCOMPARE(l.FirstVisible(), 1);
    cells({{1, {1, 0}}});
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

    // Stored text keeps its case; the red zone is drawn in its colour.
    TCWHighlightLabel l;
    SizePanel(l, 8, 2);
    l.SetAllCaps(true);
    l.AddDecodedText("mmmm");
    QCOMPARE(l.Text(), std::string("mmmm"));
    const QImage img = Grab(l);
    bool red = false;
    for (int y = 0; y < img.height() && !red; ++y)
        for (int x = 0; x < img.width() && !red; ++x)
            red = Pixel(img, x, y) == QColor(Qt::red);
    QVERIFY(red);
    QCOMPARE(TCWHighlightLabel::ToUnicode(0x80), QChar(0x20AC));
    QCOMPARE(TCWHighlightLabel::ToUnicode(0xE9), QChar(0xE9));
}

void ControlsTest::clockAndTimers() {
    QtClock clock;
    const uint32_t t0 = clock.NowMs();
    QTest::qWait(30);
    QVERIFY(clock.NowMs() - t0 >= 25);

    std::unique_ptr<ITimer> timer = QtTimerFactory().CreateTimer();
    int fired = 0;
    timer->OnTimer = [&] { ++fired; };
    timer->SetInterval(20);
    QCOMPARE(timer->Interval(), 20u);
    QVERIFY(!timer->IsActive());
    timer->Start();
    QTRY_VERIFY_WITH_TIMEOUT(fired >= 2, 2000);  // periodic, on this thread
    timer->SetInterval(10000);                   // a running timer keeps running
    QVERIFY(timer->IsActive());
    const int before = fired;
    QTest::qWait(60);
    QCOMPARE(fired, before);
    timer->Stop();
    QVERIFY(!timer->IsActive());
}

QTEST_MAIN(ControlsTest)
#include "ControlsTest.moc"
