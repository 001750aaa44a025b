// The scope display and window, and the two sample sources of the input
// modes (sound input and WAV file) driven through a hand clock and fakes.

#include "FakeSoundIn.h"
#include "KeyedTone.h"

#include "session/SampleSources.h"
#include "devices/ManualClock.h"
#include "windows/ScopeWindow.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <numeric>

namespace {

std::vector<int32_t> Ramp(int from, int n) {
    std::vector<int32_t> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), from);
    return v;
}

QImage Render(TCWScope& s) {
    QImage img(s.size(), QImage::Format_RGB32);
    s.render(&img);
    return img;
}

// A scope 116 pixels high.
void SetUp(TCWScope& s, int width, tDisplay display, tDisplayMode mode, int buffer) {
    s.resize(width, 116);
    s.SetDisplay(display);
    s.SetDisplayMode(mode);
    s.SetBuffersize(buffer);
}

// Rows of column x drawn in colour c.
int CountInColumn(const QImage& img, int x, QColor c) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        n += img.pixelColor(x, y) == c;
    return n;
}

using Points = std::vector<std::pair<int, int>>;

struct Sink : IKeySink {
    std::vector<std::vector<int16_t>> blocks;
    std::vector<std::string> ended;
    std::vector<std::string> events;  // "samples" / "ended", in order
    void KeyChanged(bool, uint64_t) override {}
    void SamplesReady(const int16_t* s, uint32_t n) override {
        blocks.emplace_back(s, s + n);
        events.push_back("samples");
    }
    void SourceEnded(const std::string& m) override {
        ended.push_back(m);
        events.push_back("ended");
    }
};

// The WAV source on the hand clock, offered `path` whenever it asks.
struct WavRig {
    TFileIn reader;
    Sink sink;
    TWavFileSource src;
    std::string error;
    WavRig(ManualClock& clock, const std::string& path, uint32_t intervalMs = 50)
        : reader(clock), src(reader, clock, [path](const std::string&, std::string& p) {
              p = path;
              return true;
          }) {
        reader.SetTimerInterval(intervalMs);
    }
    bool Start() {
        if (!src.Open(error))
            return false;
        src.Start(sink);
        return true;
    }
};

}  // namespace

class ScopeSourcesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    ManualClock clock_;

    QString File(const QByteArray& bytes) {
        QFile f(dir_->filePath("rec.wav"));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }
    std::string WavFile(const std::vector<int16_t>& s, uint16_t channels = 1, uint32_t rate = 8000,
                        bool list = false) {
        return File(QByteArray::fromStdString(keyed_tone::WavBytes(s, channels, rate, list))).toStdString();
    }

private slots:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }

    void linewriterShiftsAndKeepsTheNewestFirst() {
        TCWScope s;
        SetUp(s, 300, tDisplay::Linewriter, tDisplayMode::three, 300);
        const auto a = Ramp(1, 100), b = Ramp(101, 100);
        s.AddData(100, a.data(), a.data(), a.data());
        s.AddData(100, b.data(), b.data(), nullptr);
        for (auto [i, v] : Points{{0, 200}, {99, 101}, {100, 100}, {199, 1}, {200, 0}})
            QCOMPARE(s.Line(1)[i], v);
        // A missing trace zeroes its newest points; the older ones moved on.
        QCOMPARE(s.Line(3)[0], 0);
        QCOMPARE(s.Line(3)[100], 100);
        QCOMPARE(s.LastBlock(), 100);
    }

    void linewriterPictureMovesLeftByABlock() {
        TCWScope s;
        SetUp(s, 400, tDisplay::Linewriter, tDisplayMode::three, 1000);
        std::vector<int32_t> key(100, 0), zero(100, 0);
        key[0] = 10000;  // oldest point of the block: index 99, drawn at width - 99
        s.AddData(100, zero.data(), zero.data(), key.data());
        QCOMPARE(CountInColumn(Render(s), 400 - 99, Qt::black), 17);
        s.AddData(100, zero.data(), zero.data(), zero.data());
        const QImage img = Render(s);
        QCOMPARE(CountInColumn(img, 400 - 99, Qt::black), 0);
        QCOMPARE(CountInColumn(img, 400 - 199, Qt::black), 17);
    }

    // 116 pixels high: a key value of 10000 is a stroke of 10000 * 58 div
    // 32768 = 17 pixels above the bottom edge, in either display kind.
    void keyTraceStrokeHeight_data() {
        QTest::addColumn<int>("display");
        QTest::newRow("Linewriter") << int(tDisplay::Linewriter);
        QTest::newRow("Oscilloscope") << int(tDisplay::Oscilloscope);
    }
    void keyTraceStrokeHeight() {
        QFETCH(int, display);
        TCWScope s;
        SetUp(s, 200, tDisplay(display), tDisplayMode::three, 200);
        std::vector<int32_t> low(200, -15000), key(200, 10000);
        s.AddData(200, low.data(), low.data(), key.data());
        const QImage img = Render(s);
        int top = 0;
        while (top < 116 && img.pixelColor(100, top) != Qt::black)
            ++top;
        QCOMPARE(top, 116 - 17);
        QCOMPARE(TCWScope::KeyY(10000, 116), 116 - 17);
    }

    // Zero in the middle; full scale, beyond and far below at the edges; the envelope floor.
    void valuesBeyondFullScaleAreClamped() {
        const Points cases = {
            {0, 58}, {32767, 1}, {100000, 1}, {-2000000000, 115}, {-15000, 58 + 15000 * 58 / 32768}};
        for (auto [value, y] : cases)
            QCOMPARE(TCWScope::TraceY(value, 116), y);
    }

    void oscilloscopeWrapsAround() {
        TCWScope s;
        s.SetDisplay(tDisplay::Oscilloscope);
        s.SetBuffersize(250);
        for (int k = 0; k < 3; ++k) {
            const auto v = Ramp(1000 * (k + 1), 100);
            s.AddData(100, v.data(), v.data(), v.data());
        }
        QCOMPARE(s.WritePos(), 50);
        // The third block wrapped to the start; the first block's tail still there.
        for (auto [i, v] : Points{{0, 3050}, {49, 3099}, {50, 1050}, {200, 3000}, {199, 2099}})
            QCOMPARE(s.Line(2)[i], v);
    }

    void modeChangeBlanksFreezeIgnoresSizeRestarts() {
        TCWScope s;
        s.SetDisplay(tDisplay::Oscilloscope);
        s.SetDisplayMode(tDisplayMode::both);
        const auto v = Ramp(5, 10);
        s.AddData(10, v.data(), v.data(), v.data());
        s.SetDisplayMode(tDisplayMode::both);  // unchanged: nothing happens
        QCOMPARE(s.Line(1)[0], 5);
        s.SetDisplayMode(tDisplayMode::minmax);
        for (int k = 1; k <= 3; ++k)
            QCOMPARE(s.Line(k)[0], 0);
        s.SetFrozen(true);
        s.AddData(10, v.data(), v.data(), v.data());
        QCOMPARE(s.Line(1)[0], 0);
        QCOMPARE(s.WritePos(), 10);
        s.SetFrozen(false);
        s.SetBuffersize(64);
        QCOMPARE(int(s.Line(1).size()), 64);
        QCOMPARE(s.WritePos(), 0);
        // A block longer than the buffer is cut to it rather than overrun it.
        const auto big = Ramp(1, 100);
        s.AddData(100, big.data(), big.data(), big.data());
        QCOMPARE(s.Line(1)[63], 64);
    }

    void minmaxDrawsStrokesBetweenTheTwoTraces() {
        TCWScope s;
        SetUp(s, 100, tDisplay::Oscilloscope, tDisplayMode::minmax, 100);
        std::vector<int32_t> hi(100, 16384), lo(100, -16384);
        s.AddData(100, hi.data(), lo.data(), nullptr);
        const QImage img = Render(s);
        // From y0 - 29 to y0 + 29 at every x.
        QVERIFY(CountInColumn(img, 50, s.Line1Color()) >= 58);
        QCOMPARE(CountInColumn(img, 50, s.Line2Color()), 0);
    }

    void scopeWindowDesignAndStatusLine() {
        TScopeWindow f;
        QCOMPARE(f.windowTitle(), QString("Orvo Scope"));
        QCOMPARE(f.minimumWidth(), 812);
        QCOMPARE(f.ScopeDisplay()->DisplayMode(), tDisplayMode::three);
        QCOMPARE(f.ScopeDisplay()->Display(), tDisplay::Linewriter);
        QCOMPARE(f.ScopeDisplay()->Buffersize(), 1000);
        QCOMPARE(f.ScopeStatusBar()->height(), 30);
        CharRecord rec{};
        rec[0] = 5, rec[1] = 4, rec[2] = 60, rec[3] = 65, rec[4] = 180, rec[5] = 70;
        const QString text(" / 4 / 60 / 65 / 180 / 70");
        QCOMPARE(TScopeWindow::RecordText(rec), text);
        f.SetStatusText(TScopeWindow::RecordText(rec));
        f.ShowScope(true);
        QVERIFY(f.isVisible());
        QCOMPARE(f.StatusText(), text);
        f.ShowScope(false);
        QVERIFY(!f.isVisible());
        QCOMPARE(f.StatusText(), QString());
    }

    void keysGoOnToTheMainWindowUnchanged() {
        struct Target : QWidget {
            std::vector<std::tuple<QEvent::Type, int, Qt::KeyboardModifiers, quint64, bool>> got;
            void keyPressEvent(QKeyEvent* e) override { Note(e); }
            void keyReleaseEvent(QKeyEvent* e) override { Note(e); }
            void Note(QKeyEvent* e) {
                got.emplace_back(e->type(), e->key(), e->modifiers(), e->timestamp(), e->isAutoRepeat());
                e->accept();
            }
        } target;
        TScopeWindow f;
        f.SetKeyTarget(&target);
        const auto send = [&](QEvent::Type t, int key, Qt::KeyboardModifiers m, quint64 stamp, bool rep) {
            QKeyEvent e(t, key, m, QString(), rep);
            e.setTimestamp(stamp);
            QApplication::sendEvent(&f, &e);
            return e.isAccepted();
        };
        QVERIFY(send(QEvent::KeyPress, Qt::Key_Right, {}, 1000, false));
        send(QEvent::KeyPress, Qt::Key_Right, {}, 1030, true);
        send(QEvent::KeyRelease, Qt::Key_Right, {}, 1090, false);
        send(QEvent::KeyPress, Qt::Key_F9, Qt::ShiftModifier | Qt::ControlModifier, 2000, false);
        QCOMPARE(target.got.size(), size_t(4));
        QCOMPARE(std::get<3>(target.got[0]), quint64(1000));
        QVERIFY(std::get<4>(target.got[1]));
        QCOMPARE(std::get<0>(target.got[2]), QEvent::KeyRelease);
        QCOMPARE(std::get<3>(target.got[2]), quint64(1090));
        QCOMPARE(std::get<1>(target.got[3]), int(Qt::Key_F9));
        QCOMPARE(std::get<2>(target.got[3]), Qt::ShiftModifier | Qt::ControlModifier);
    }

    // The reader's pace and block size: 50 ms gives blocks of 400 samples;
    // the interval is clamped to 10..500 ms.
    void wavBlockSizeFollowsTheInterval() {
        for (auto [interval, block] : Points{{50, 400}, {5, 80}, {1000, 4000}})
            QCOMPARE(WavRig(clock_, "", uint32_t(interval)).src.BlockSamples(), block);
    }

    // Files of 10 and of 1000 samples, with and without a LIST chunk, read
    // in 400-sample blocks: every sample arrives, the last block padded with
    // zeros, and only then the source ends.
    void wavDeliversEverySampleBeforeItEnds_data() {
        QTest::addColumn<int>("samples");
        QTest::addColumn<bool>("list");
        QTest::addColumn<int>("blocks");
        QTest::newRow("10 samples") << 10 << false << 1;
        QTest::newRow("10 samples, LIST chunk") << 10 << true << 1;
        QTest::newRow("1000 samples, LIST chunk") << 1000 << true << 3;
        QTest::newRow("exactly one block") << 400 << false << 2;
    }
    void wavDeliversEverySampleBeforeItEnds() {
        QFETCH(int, samples);
        QFETCH(bool, list);
        QFETCH(int, blocks);
        std::vector<int16_t> data(static_cast<size_t>(samples));
        std::iota(data.begin(), data.end(), int16_t(1));
        WavRig rig(clock_, WavFile(data, 1, 8000, list));
        QVERIFY2(rig.Start(), rig.error.c_str());
        Sink& sink = rig.sink;
        for (int i = 0; i < 20 && sink.ended.empty(); ++i)
            clock_.Advance(50);
        QCOMPARE(int(sink.blocks.size()), blocks);
        QCOMPARE(sink.events.back(), std::string("ended"));
        QCOMPARE(sink.ended, std::vector<std::string>{""});
        std::vector<int16_t> all;
        for (auto& b : sink.blocks) {
            QCOMPARE(int(b.size()), 400);
            all.insert(all.end(), b.begin(), b.end());
        }
        QVERIFY(std::equal(data.begin(), data.end(), all.begin()));
        QVERIFY(std::all_of(all.begin() + samples, all.end(), [](int16_t v) { return v == 0; }));
        // Ended means stopped: no more blocks.
        clock_.Advance(500);
        QCOMPARE(int(sink.blocks.size()), blocks);
    }

    void wavTailPlaysSilenceBeforeTheEnd() {
        WavRig rig(clock_, WavFile(std::vector<int16_t>(10, 7)));
        rig.src.SetEndTailMs(200);
        QVERIFY2(rig.Start(), rig.error.c_str());
        Sink& sink = rig.sink;
        QCOMPARE(sink.blocks.size(), size_t(1));
        clock_.Advance(150);
        QVERIFY(sink.ended.empty());
        clock_.Advance(60);
        QCOMPARE(sink.blocks.size(), size_t(5));  // the file's block and 200 ms of silence
        QCOMPARE(sink.ended.size(), size_t(1));
        QVERIFY(std::all_of(sink.blocks[4].begin(), sink.blocks[4].end(), [](int16_t v) { return v == 0; }));
    }

    void wavRepeatPlaysOnAndCloseStopsIt() {
        WavRig rig(clock_, WavFile(std::vector<int16_t>(600, 3)));
        rig.reader.SetRepeatFile(true);
        QVERIFY2(rig.Start(), rig.error.c_str());
        Sink& sink = rig.sink;
        clock_.Advance(50 * 9);
        QCOMPARE(sink.blocks.size(), size_t(10));
        QVERIFY(sink.ended.empty());
        // Second block: 200 samples of the file, then the padded gap.
        QCOMPARE(sink.blocks[1][199], int16_t(3));
        QCOMPARE(sink.blocks[1][200], int16_t(0));
        QCOMPARE(sink.blocks[2][0], int16_t(3));
        rig.src.Close();
        QVERIFY(!rig.reader.IsOpen());
        clock_.Advance(500);
        QCOMPARE(sink.blocks.size(), size_t(10));
    }

    // What the user is told when the file cannot be played; the reader is
    // left closed. (A message ending in "...: " is followed by the reader's
    // own reason.)
    void wavRefusals_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("cancelled") << QByteArray("-") << QString();
        QTest::newRow("missing") << QByteArray() << "Error: cannot open File %1";
        QTest::newRow("not RIFF") << QByteArray("RIFX....WAVEfmt ") << "Error: cannot play File %1: ";
        QTest::newRow("short format chunk")
            << QByteArray("RIFF\0\0\0\0WAVEfmt \x04\0\0\0\x01\0\x01\0data", 28)
            << "Error: cannot play File %1: ";
        QTest::newRow("text") << QByteArray("cq cq de orvo\r\n") << "Error: cannot play File %1: ";
    }
    void wavRefusals() {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const bool cancel = content == "-";
        const QString path = content.isEmpty() ? dir_->filePath("none.wav") : File(content);
        TFileIn reader(clock_);
        int asked = 0;
        std::string offered;
        TWavFileSource src(reader, clock_, [&](const std::string& current, std::string& p) {
            ++asked;
            offered = current;
            p = path.toStdString();
            return !cancel;
        });
        std::string error = "stale";
        QVERIFY(!src.Open(error));
        QCOMPARE(asked, 1);
        QCOMPARE(offered, std::string("test.wav"));
        const QString got = QString::fromStdString(error);
        if (message.endsWith(": ")) {
            QVERIFY2(got.startsWith(message.arg(path)) && got.size() > message.arg(path).size(),
                     qPrintable(got));
        } else {
            QCOMPARE(got, message.isEmpty() ? message : message.arg(path));
        }
        QVERIFY(!reader.IsOpen());
        QVERIFY(!src.KeyedSidetone());
    }

    // Recordings in other formats play converted: 16 kHz stereo becomes
    // 8 kHz mono at the same pace, not twice as long or garbled.
    void wavOtherFormatsPlayConverted() {
        std::vector<int16_t> stereo;
        for (int i = 0; i < 16000; ++i) {  // one second of a 500 Hz tone, both channels
            const auto v = int16_t(8000 * std::sin(2 * M_PI * 500 * i / 16000.0));
            stereo.push_back(v), stereo.push_back(v);
        }
        WavRig rig(clock_, WavFile(stereo, 2, 16000));
        rig.src.SetEndTailMs(0);
        QVERIFY2(rig.Start(), rig.error.c_str());
        const Sink& sink = rig.sink;
        clock_.Advance(50 * 25);
        QCOMPARE(sink.ended.size(), size_t(1));
        size_t loud = 0;
        for (const auto& b : sink.blocks)
            for (int16_t v : b)
                loud += std::abs(v) > 4000;
        // About half the samples of a 8000-sample second of tone are above
        // half its amplitude.
        QVERIFY2(loud > 3000 && loud < 5500, qPrintable(QString::number(loud)));
        // One second in 50 ms blocks, and the resampler's short tail.
        QVERIFY2(sink.blocks.size() >= 20 && sink.blocks.size() <= 21,
                 qPrintable(QString::number(sink.blocks.size())));
    }

    void soundSourceRecordsFromTheChosenDevice_data() {
        QTest::addColumn<int>("rxDevice");
        QTest::addColumn<int>("device");
        QTest::newRow("default") << 0 << -1;
        QTest::newRow("first") << 1 << 0;
        QTest::newRow("second") << 2 << 1;
        QTest::newRow("gone") << 3 << -1;
    }
    void soundSourceRecordsFromTheChosenDevice() {
        QFETCH(int, rxDevice);
        QFETCH(int, device);
        FakeSoundIn in;
        in.SetBufferSamples(1600);
        TSoundInSource src(in);
        src.SetRXDevice(rxDevice);
        std::string error;
        QVERIFY(src.Open(error));
        QCOMPARE(in.device, device);
        QCOMPARE(src.BlockSamples(), 800);
        QCOMPARE(in.Channels(), 1);
        QCOMPARE(int(in.BufferBytes()), 1600);  // one block, no more
        Sink sink;
        in.Record(5);  // before Start: not delivered
        QVERIFY(sink.blocks.empty());
        src.Start(sink);
        in.Record(6);
        QCOMPARE(sink.blocks.size(), size_t(1));
        QCOMPARE(sink.blocks[0].size(), size_t(800));
        QCOMPARE(sink.blocks[0][0], int16_t(6));
        src.Close();
        QVERIFY(!in.active);
        in.Record(7);
        QCOMPARE(sink.blocks.size(), size_t(1));
    }

    void soundSourceThatCannotStartSaysWhy() {
        TNullSoundIn in;
        TSoundInSource src(in);
        std::string error;
        QVERIFY(!src.Open(error));
        const QString e = QString::fromStdString(error);
        QVERIFY2(e.startsWith("Error: cannot start Sound Input: ") && e.endsWith("No sound device available"),
                 qPrintable(e));
    }
};

QTEST_MAIN(ScopeSourcesTest)
#include "ScopeSourcesTest.moc"
