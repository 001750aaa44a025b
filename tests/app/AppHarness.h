#pragma once
// Shared by the main-window tests: the real window on a scratch settings
// folder and a hand-driven clock, message boxes that record and answer, key
// events carrying chosen timestamps, and the helpers that key, type and
// check what was played.

#include "FakeFileDialogs.h"
#include "app/MainWindow.h"
#include "analysis/BatchAnalysis.h"
#include "controls/CWHighlightLabel.h"
#include "devices/ManualClock.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

struct FakeBoxes : IMessageBoxes {
    QStringList messages, questions;
    bool answer = true;
    void Message(const QString& t) override { messages << t; }
    bool AskYesNo(const QString& t) override {
        questions << t;
        return answer;
    }
    bool AskOkCancel(const QString& t) override {
        questions << t;
        return answer;
    }
};

// File dialogs that answer with a set path, or cancel when it is empty.
// "paris" keyed by hand at about 60 CpM: mark, space, mark ... in ms; the
// last space of a character is its character space, "s" ends by the timeout.
inline const std::vector<int> kParis = {95,  104, 290, 97,  310, 88,  102, 305,  // p .--.
                                        108, 92,  296, 312,                      // a .-
                                        91,  110, 287, 99,  104, 320,            // r .-.
                                        97,  93,  112, 295,                      // i ..
                                        99,  101, 94,  96,  105};                // s ...

// Tone runs [start, end) of a mono capture: where the envelope (peak over
// half a period of the 800 Hz tone) is above the threshold.
inline std::vector<std::pair<long, long>> ToneRuns(const std::vector<int16_t>& s, int threshold) {
    std::vector<std::pair<long, long>> runs;
    bool on = false;
    for (size_t i = 0; i < s.size(); ++i) {
        int peak = 0;
        for (size_t k = i; k < std::min(s.size(), i + 5); ++k)
            peak = std::max(peak, std::abs(int(s[k])));
        if ((peak > threshold) != on) {
            on = !on;
            if (on)
                runs.emplace_back(long(i), long(s.size()));
            else
                runs.back().second = long(i);
        }
    }
    return runs;
}

// One channel of an interleaved capture, without its first `skip` frames.
inline std::vector<int16_t> Channel(const std::vector<int16_t>& s, int which, int channels = 2,
                                    size_t skip = 0) {
    std::vector<int16_t> c;
    for (size_t i = skip * size_t(channels) + size_t(which); i < s.size(); i += size_t(channels))
        c.push_back(s[i]);
    return c;
}

// Decodes a mono capture with the core analyser as a fresh installation does.
inline QString Decode(const std::vector<int16_t>& s, int cpm) {
    orvo::AnalysisOptions opt;
    opt.speed = cpm;
    auto a = std::make_unique<orvo::AnalysisSession>(opt);
    const size_t block = orvo::AnalysisSession::kBlock;
    for (size_t i = 0; i + block <= s.size(); i += block)
        a->FeedBlock(s.data() + i);
    a->FlushSamples();
    return QString::fromLatin1(a->Result().text.c_str()).trimmed();
}

// Empty when the runs play the keyed marks and spaces (ms, 8 samples each)
// within `tolerance` samples; otherwise what was wrong.
inline QString TimingProblem(const std::vector<std::pair<long, long>>& runs, const std::vector<int>& keyed,
                             long tolerance) {
    if (runs.size() != (keyed.size() + 1) / 2)
        return QString("%1 tone runs for %2 marks").arg(runs.size()).arg((keyed.size() + 1) / 2);
    for (size_t k = 0; k < keyed.size(); ++k) {
        const size_t i = k / 2;
        const long got = k % 2 == 0 ? runs[i].second - runs[i].first : runs[i + 1].first - runs[i].second;
        if (std::abs(got - keyed[k] * 8L) > tolerance)
            return QString("element %1: %2 samples, keyed %3 ms").arg(k).arg(got).arg(keyed[k]);
    }
    return QString();
}

class WindowHarness {
protected:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ManualClock> clock_;
    std::unique_ptr<FakeBoxes> boxes_;
    std::unique_ptr<FakeFileDialogs> dialogs_ = std::make_unique<FakeFileDialogs>();
    std::unique_ptr<TMainWindow> w_;
    uint64_t t_ = 50000;              // timestamp of the next key event, ms
    ISerialLines* serial_ = nullptr;  // the serial port the window gets; null = the real one

    // A fresh folder, clock and boxes for every test.
    void Reset() {
        w_.reset();
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        // Session records go to the scratch folder, never the user's.
        qputenv("XDG_DATA_HOME", (dir_->path() + "/data").toLocal8Bit());
        clock_ = std::make_unique<ManualClock>();
        clock_->AdvanceTo(100000);
        boxes_ = std::make_unique<FakeBoxes>();
        dialogs_ = std::make_unique<FakeFileDialogs>();
        t_ = 50000;
    }
    QString IniPath() const { return dir_->path() + "/OrvoTapmeter.ini"; }
    // Saves a picture for the documentation when a screenshot folder is set.
    static void Shot(QWidget* what, const QString& name) {
        const QString dir = qEnvironmentVariable("ORVO_SCREENSHOT_DIR");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            QVERIFY(what->grab().save(dir + "/" + name));
    }
    QString SessionsPath() const { return dir_->path() + "/data/orvo-tapmeter/sessions"; }
    void Create(const QByteArray& ini = {}, ISoundOut* out = nullptr, ISoundIn* in = nullptr) {
        if (!ini.isEmpty()) {
            QFile f(IniPath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ini);
        }
        w_ = std::make_unique<TMainWindow>(clock_.get(), clock_.get(), boxes_.get(), dir_->path(), out, in,
                                           serial_, dialogs_.get());
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    }

    void Key(QEvent::Type type, int key, Qt::KeyboardModifiers mods = {}, uint64_t stamp = 0,
             const QString& text = {}, bool autoRepeat = false) {
        QKeyEvent e(type, key, mods, text, autoRepeat);
        e.setTimestamp(stamp);
        QApplication::sendEvent(w_.get(), &e);
    }
    void Press(int key, Qt::KeyboardModifiers mods = {}) {
        Key(QEvent::KeyPress, key, mods);
        Key(QEvent::KeyRelease, key, mods);
    }
    // Typed characters; '\b' is Backspace.
    void Type(const QString& text) {
        for (QChar c : text)
            Key(QEvent::KeyPress, c == '\b' ? int(Qt::Key_Backspace) : int(c.toUpper().unicode()), {}, 0,
                QString(c));
    }
    // The Right-arrow key down or up at t_.
    void KeyDown(bool down) { Key(down ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Right, {}, t_); }
    // A mark of `ms` on the Right-arrow key from t_; true when the window
    // took the key down.
    bool Tap(int ms) {
        KeyDown(true);
        const bool took = w_->KeyIsDown();
        t_ += uint64_t(ms);
        KeyDown(false);
        return took;
    }
    // Keys alternating mark and space lengths (ms) from t_, then lets the
    // word timeout end the last character.
    void KeyMarks(const std::vector<int>& ms, uint32_t settle = 3000) {
        for (size_t i = 0; i < ms.size(); ++i) {
            KeyDown(i % 2 == 0);
            t_ += uint64_t(ms[i]);
        }
        if (ms.size() % 2)
            KeyDown(false);
        clock_->Advance(settle);
    }
    // Keys the text at exact timing for `cpm`.
    void KeyText(const QString& text, int cpm) {
        static const std::map<QChar, QString> morse = {{'a', ".-"},  {'e', "."},   {'i', ".."}, {'p', ".--."},
                                                       {'r', ".-."}, {'s', "..."}, {'t', "-"}};
        const int dot = 6000 / cpm;
        std::vector<int> ms;
        for (QChar c : text) {
            const QString m = morse.at(c);
            for (int k = 0; k < m.size(); ++k)
                ms.insert(ms.end(), {m[k] == '-' ? 3 * dot : dot, k + 1 < m.size() ? dot : 3 * dot});
        }
        KeyMarks(ms, 2000);
    }

    template <class T>
    T* Child(const char* name) {
        return w_->findChild<T*>(QString::fromLatin1(name));
    }
    QString LineText(const char* name) { return Child<QLineEdit>(name)->text(); }
    QString Upper() const { return QString::fromStdString(w_->UpperPanel()->Text()); }
    QString Lower() const { return QString::fromStdString(w_->LowerPanel()->Text()); }
    QString Green() const { return QString::fromStdString(w_->LowerPanel()->GreenText()); }
    int Speed() { return w_->Generator().Speed(); }
};
