// Losing the sound server while playing and recording: the test starts a
// server of its own (scripts/pulse.sh), plays and records through it, kills
// the server, and expects a status message, no crash and no hang.

#include "SoundHarness.h"

#include "backends/SoundOut.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <sys/types.h>

using namespace sound_harness;

class SoundServerLossTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() {
        if (started_)
            Pulse("stop");
    }
    void serverDiesWhilePlaying();

private:
    bool Pulse(const QString& cmd, QByteArray* out = nullptr);
    QTemporaryDir dir_;
    bool started_ = false;
};

bool SoundServerLossTest::Pulse(const QString& cmd, QByteArray* out) {
    QProcess p;
    p.start(QStringLiteral(ORVO_PULSE_SCRIPT), {cmd, dir_.path()});
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void SoundServerLossTest::initTestCase() {
    // Before anything asks Qt for sound devices: the server is chosen once.
    QByteArray env;
    started_ =
        QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).size() > 0 && Pulse("start", &env);
    if (!started_) {
        if (Required())
            QFAIL("cannot start a private sound server");
        QSKIP("pulseaudio is not available");
    }
    const QByteArray prefix = "export PULSE_SERVER=";
    const int at = env.indexOf(prefix);
    QVERIFY(at >= 0);
    qputenv("PULSE_SERVER", env.mid(at + prefix.size()).trimmed());
}

void SoundServerLossTest::serverDiesWhilePlaying() {
    QVERIFY(Present());
    TSoundOut out;
    out.SetBufferTime(100);
    out.SetChannels(1);
    int fills = 0, recorded = 0;
    out.OnBufferPlayed = [&](int16_t* pb, uint32_t bytes) {
        ++fills;
        std::fill(pb, pb + bytes / 2, int16_t(1000));
    };
    std::vector<std::string> outStatus, inStatus;
    out.OnStatus = [&](const std::string& s) { outStatus.push_back(s); };
    TSoundIn in;
    in.SetChannels(1);
    in.SetBufferTime(100);
    in.OnBufferRecorded = [&](const int16_t*, uint32_t, uint32_t) { ++recorded; };
    in.OnStatus = [&](const std::string& s) { inStatus.push_back(s); };
    QVERIFY2(out.Start(), out.LastError().c_str());
    QVERIFY2(in.Start(), in.LastError().c_str());
    QVERIFY(WaitFor([&] { return fills >= 4 && recorded >= 2; }, 5000));

    QFile pidFile(dir_.filePath("pulseaudio.pid"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const pid_t pid = static_cast<pid_t>(pidFile.readAll().trimmed().toInt());
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid, SIGKILL), 0);

    QVERIFY(WaitFor([&] { return !outStatus.empty() && !inStatus.empty(); }, 10000));
    QVERIFY2(QString::fromStdString(outStatus.back()).startsWith("Sound output is off"),
             outStatus.back().c_str());
    QVERIFY2(QString::fromStdString(inStatus.back()).startsWith("Sound input is off"),
             inStatus.back().c_str());
    QVERIFY(!out.IsActive() && !in.IsActive());
    // A later Start fails with a text instead of hanging.
    QVERIFY(!out.Start());
    QVERIFY(!out.LastError().empty());
    QVERIFY(out.Close() && in.Close());
}

QTEST_GUILESS_MAIN(SoundServerLossTest)
#include "SoundServerLossTest.moc"
