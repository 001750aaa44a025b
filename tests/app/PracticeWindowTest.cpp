// The practice the program remembers, seen from the main window: every run's
// keying goes to a session record, and the practice window shows what the
// command-line tool reports of it.

#include "AppHarness.h"
#include "../analysis/PlantedKeying.h"
#include "app/PracticeLink.h"
#include "app/WindowCommands.h"
#include "cli/Cli.h"
#include "cli/ReportJson.h"
#include "devices/SessionRecord.h"
#include "windows/PracticeWindow.h"

#include <QPushButton>

#include <chrono>
#include <fstream>
#include <sstream>

class PracticeWindowTest : public QObject, public WindowHarness {
    Q_OBJECT

private slots:
    void init() { Reset(); }
    void cleanup() { w_.reset(); }

    // Every run's keying goes to a session record that the command-line
    // tool decodes to what the upper panel showed; Record=0 keeps none, and
    // a folder that cannot be written to is said once while keying goes on.
    void sessionRecordDecodesToTheUpperPanel() {
        Create("[Main]\r\nTargetSpeed=60\r\n");
        KeyMarks(kParis, 0);
        t_ += 700;  // a word space
        KeyMarks(kParis);
        QCOMPARE(Upper(), QString("paris paris\r"));
        w_->close();
        const QStringList files = QDir(SessionsPath()).entryList({"*.keys"}, QDir::Files);
        QCOMPARE(files.size(), 1);
        const std::string path = (SessionsPath() + "/" + files[0]).toStdString();
        QCOMPARE(w_->Recorder().Record().Path(), path);
        std::istringstream in;
        std::ostringstream out, err;
        QCOMPARE(orvo::cli::RunCli({"keys", path}, in, out, err), 0);
        QVERIFY2(out.str().rfind("{\"text\": \"paris paris\\u000d\", ", 0) == 0, out.str().c_str());

        Reset();
        Create("[Practice]\r\nRecord=0\r\n");
        KeyText("paris", 60);
        QCOMPARE(Upper(), QString("paris\r"));
        w_->close();
        QVERIFY(!QDir(SessionsPath()).exists() || QDir(SessionsPath()).entryList(QDir::Files).isEmpty());

        Reset();
        QFile plain(dir_->path() + "/data");
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        Create();
        KeyText("e", 60);
        KeyText("t", 60);
        QCOMPARE(Upper(), QString("e\rt\r"));
        QVERIFY2(w_->StatusMessage().startsWith("Error: cannot record the session in "),
                 qPrintable(w_->StatusMessage()));
        QVERIFY(boxes_->messages.isEmpty());
    }

    // F6 and the View menu show the practice window: the current session
    // judged as `report` judges its record (the same numbers), updated as
    // keying goes on; the progress over the stored sessions with their
    // folder, opened through the desktop.
    void practiceWindowAgreesWithTheReport() {
        // Three earlier sessions, each steadier than the one before.
        QDir().mkpath(SessionsPath());
        const auto day = std::chrono::hours(24);
        const auto now = std::chrono::system_clock::now();
        for (int i = 0; i < 3; ++i) {
            PlantedTiming p;
            p.dotMs = 6000.0 / (50 + 10 * i);
            p.spread = {0.25 - 0.08 * i, 0.2 - 0.06 * i, 0.25 - 0.08 * i, 0.2 - 0.06 * i, 0.1};
            p.seed = uint32_t(i + 1);
            TSessionRecord rec(SessionsPath().toStdString(), now - (3 - i) * day,
                               {"orvo-tapmeter", 50 + 10 * i, "Keybd/Mouse"});
            for (const orvo::KeyEvent& e :
                 PlantedKeys("paris paris the quick brown fox jumps over the lazy dog", p))
                rec.Key(e.t, e.down);
        }

        struct Opener : IUrlOpener {
            QStringList urls;
            bool OpenUrl(const std::string& url) override {
                return urls << QString::fromStdString(url), true;
            }
        } opener;
        Create("[Main]\r\nTargetSpeed=60\r\n");
        w_->Commands().SetUrlOpener(&opener);
        TPracticeWindow* form = w_->PracticeWindow();
        QVERIFY(form && !form->isVisible());
        KeyMarks(kParis);
        t_ += 1000;
        Press(Qt::Key_F6);
        QVERIFY(form->isVisible());
        QVERIFY2(form->SummaryText().contains("Score "), qPrintable(form->SummaryText()));
        QVERIFY(form->SummaryText().contains("5 characters"));
        // Keying goes on: the window follows once the character is done.
        KeyText("paris", 60);
        QVERIFY2(form->SummaryText().contains("10 characters"), qPrintable(form->SummaryText()));

        const std::string path = w_->Recorder().Record().Path();
        std::istringstream in;
        std::ostringstream out, err;
        QCOMPARE(orvo::cli::RunCli({"report", path}, in, out, err), 0);
        std::vector<orvo::SessionInput> shown(1);
        shown[0].input = path;
        std::ifstream record(path);
        shown[0].started = ReadSessionHeader(record).started;
        shown[0].stats = std::make_unique<TPracticeStats>(*w_->Practice().Stats());
        QCOMPARE(QString::fromStdString(orvo::cli::ReportJson(shown) + "\n"),
                 QString::fromStdString(out.str()));
        // The progress: the three stored sessions and this one.
        form->Tabs()->setCurrentIndex(1);
        auto* folder = form->findChild<QLabel*>("SessionFolder");
        QCOMPARE(folder->text(), QString("4 sessions in %1/").arg(SessionsPath()));
        form->findChild<QPushButton*>("OpenFolder")->click();
        QCOMPARE(opener.urls, QStringList{QUrl::fromLocalFile(SessionsPath() + "/").toString()});

        Shot(form, "practice-progress.png");
        form->Tabs()->setCurrentIndex(0);
        Shot(form, "practice-session.png");
        // F6 and Escape in the window close it; the View menu opens it.
        QTest::keyClick(form, Qt::Key_F6);
        QVERIFY(!form->isVisible());
        w_->Action("ShowPractice")->trigger();
        QVERIFY(form->isVisible());
        QTest::keyClick(form, Qt::Key_Escape);
        QVERIFY(!form->isVisible());
    }
};

QTEST_MAIN(PracticeWindowTest)
#include "PracticeWindowTest.moc"
