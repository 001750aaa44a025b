// The File commands: saving the decoded text, loading a text to send (limits,
// normalisation, character sets, bad files), the dialogs' filters and the
// help page lookup. Dialogs and message boxes are answered by fakes.

#include "AppHarness.h"

#include "app/FileCommands.h"
#include "app/HelpPage.h"
#include "app/TextFiles.h"
#include "morse/CWout.h"
#include "settings/Settings.h"

#include <QFileDialog>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>

namespace {

struct FakeOpener : IUrlOpener {
    bool works = true;
    std::vector<std::string> opened;
    bool OpenUrl(const std::string& url) override {
        opened.push_back(url);
        return works;
    }
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

class FilesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    TSettings settings_;
    TCWout gen_;
    FakeFileDialogs dialogs_;
    FakeBoxes boxes_;
    std::unique_ptr<TFileCommands> cmd_;

    QString Path(const QString& name) const { return dir_->filePath(name); }
    // Loads a file through Ctrl+L's command; what reached the lower panel.
    std::string Load(const QByteArray& bytes, bool* loaded = nullptr) {
        WriteFile(Path("in.txt"), bytes);
        dialogs_.answer = Path("in.txt").toStdString();
        std::string panel;
        const bool ok = cmd_->LoadTextFile([&](const std::string& t) { panel += t; });
        if (loaded)
            *loaded = ok;
        return panel;
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        settings_ = TSettings{};
        dialogs_ = FakeFileDialogs{};
        boxes_ = FakeBoxes{};
        cmd_ = std::make_unique<TFileCommands>(dialogs_, boxes_, settings_, gen_,
                                               [this](const TSettings& s) { settings_ = s; });
    }

    void saveWritesTrimmedTextAsOneCrLfLine_data() {
        QTest::addColumn<QByteArray>("panel");
        QTest::addColumn<bool>("allCaps");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("bursts keep bare CRs")
            << QByteArray(" \rcq de dl1abc\rpse k \r ") << false << QByteArray("cq de dl1abc\rpse k\r\n");
        QTest::newRow("AllCaps, Windows-1252 letters too")
            << QByteArray("gr\xFC\xDF <ar> \x9a") << true << QByteArray("GR\xDC\xDF <AR> \x8a\r\n");
        QTest::newRow("empty panel") << QByteArray("  ") << false << QByteArray("\r\n");
    }
    void saveWritesTrimmedTextAsOneCrLfLine() {
        QFETCH(QByteArray, panel);
        QFETCH(bool, allCaps);
        QFETCH(QByteArray, file);
        settings_.AllCaps = allCaps;
        settings_.OutDir = dir_->path().toStdString();
        dialogs_.answer = Path("sub decoded.txt").toStdString();
        QVERIFY(cmd_->SaveDecodedText(panel.toStdString()));
        QCOMPARE(ReadAll(Path("sub decoded.txt")), file);
        QCOMPARE((QStringList{Q(settings_.OutFile), Q(settings_.OutDir)}),
                 (QStringList{"sub decoded.txt", dir_->path() + "/"}));
        const TFileDialogRequest& s = dialogs_.asked.at(0);
        QVERIFY(s.save && s.confirmOverwrite);
        QCOMPARE((QStringList{Q(s.title), Q(s.defaultSuffix), Q(s.folder)}),
                 (QStringList{"Save decoded text to file:", "txt", dir_->path()}));
        QVERIFY(boxes_.messages.isEmpty());
    }

    void cancelledDialogsChangeNothing() {
        const TSettings before = settings_;
        QVERIFY(!cmd_->SaveDecodedText("abc"));
        std::string panel, wav;
        QVERIFY(!cmd_->LoadTextFile([&](const std::string& t) { panel = t; }));
        QVERIFY(!cmd_->FileOpenInExecute("old.wav", wav));
        QVERIFY(panel.empty());
        QCOMPARE(settings_.OutFile, before.OutFile);
        QCOMPARE(settings_.InDir, before.InDir);
        QVERIFY(boxes_.messages.isEmpty());
    }

    // Whatever goes wrong, the old file stays whole, no temporary file is
    // left and the message says why.
    void failedSaveKeepsTheOldFile_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("why");
        QTest::newRow("folder is a file") << "plain.txt/decoded.txt"
                                          << "Not a directory";
        QTest::newRow("target is a folder") << "folder"
                                            << "Is a directory";
        QTest::newRow("missing folder") << "nowhere/decoded.txt"
                                        << "No such file or directory";
        QTest::newRow("disk full while writing") << "decoded.txt"
                                                 << "File too large";
    }
    void failedSaveKeepsTheOldFile() {
        QFETCH(QString, target);
        QFETCH(QString, why);
        WriteFile(Path("plain.txt"), "keep me");
        WriteFile(Path("decoded.txt"), "old decoded text\r\n");
        QVERIFY(QDir(dir_->path()).mkdir("folder"));
        dialogs_.answer = Path(target).toStdString();
        rlimit old{};
        const bool full = why == "File too large";
        if (full) {
            // A file-size limit makes the write fail half-way, as a full disk would.
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit small = old;
            small.rlim_cur = 8;
            setrlimit(RLIMIT_FSIZE, &small);
        }
        const bool saved = cmd_->SaveDecodedText(std::string(200, 'e'));
        if (full)
            setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!saved);
        QCOMPARE(boxes_.messages.size(), 1);
        QVERIFY2(boxes_.messages[0].startsWith("Error: cannot save to " + Path(target)),
                 qPrintable(boxes_.messages[0]));
        QVERIFY2(boxes_.messages[0].contains(why), qPrintable(boxes_.messages[0]));
        QCOMPARE(ReadAll(Path("decoded.txt")), QByteArray("old decoded text\r\n"));
        QCOMPARE(ReadAll(Path("plain.txt")), QByteArray("keep me"));
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files).size(), 2);
        QCOMPARE(Q(settings_.OutFile), QString("decoded.txt"));
    }

    void saveReplacesAnExistingFileKeepingItsMode() {
        WriteFile(Path("decoded.txt"), "a much longer old text that must not survive in part\r\n");
        QFile::setPermissions(Path("decoded.txt"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        dialogs_.answer = Path("decoded.txt").toStdString();
        QVERIFY(cmd_->SaveDecodedText("new"));
        QCOMPARE(ReadAll(Path("decoded.txt")), QByteArray("new\r\n"));
        struct stat st {};
        QCOMPARE(stat(Path("decoded.txt").toLocal8Bit().constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
    }

    // The limit counts each line ending as CR LF, whatever the file uses.
    void loadLimitCountsCrLf_data() {
        QTest::addColumn<int>("extra");
        QTest::addColumn<QByteArray>("eol");
        for (int extra : {0, 1})
            for (const char* eol : {"\n", "\r\n"})
                QTest::addRow("%s, %s file", extra ? "one more" : "exactly 10000",
                              eol[0] == '\n' ? "LF" : "CR LF")
                    << extra << QByteArray(eol);
    }
    void loadLimitCountsCrLf() {
        QFETCH(int, extra);
        QFETCH(QByteArray, eol);
        const bool warned = extra > 0;
        // 100 lines of 98 letters + CR LF = 10000 characters.
        QByteArray file;
        for (int i = 0; i < 100; ++i)
            file += QByteArray(98, char('a' + i % 26)) + eol;
        file += QByteArray(extra, '7');
        const std::string panel = Load(file);
        QCOMPARE(boxes_.messages,
                 warned ? QStringList{"Warning: max characters loaded: 10000"} : QStringList{});
        // 100 lines: 9800 letters and 99 CRs between them (the last line's end is dropped).
        QCOMPARE(int(panel.size()), 9800 + 99);
        QVERIFY(panel.find('7') == std::string::npos);
    }

    void loadNormalisesTheText_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("displayPros");
        QTest::addColumn<QByteArray>("panel");
        QTest::newRow("tabs and blanks")
            << QByteArray(" \t cq\t\tcq   de  dl1abc \t\n") << false << QByteArray("cq cq de dl1abc ");
        QTest::newRow("line breaks become CRs")
            << QByteArray("ab\ncd\r\nef\r\r\n") << false << QByteArray("ab\rcd\ref");
        QTest::newRow("unknown bracket goes, prosign stays")
            << QByteArray("<xy>a<ka>b<KA><sos>c<zzzz>d") << false << QByteArray("a<ka>b<KA><sos>czzzzd");
        QTest::newRow("lone brackets") << QByteArray("a<b c> <toolong>") << false << QByteArray("a toolong");
        QTest::newRow("+ and = spelled out")
            << QByteArray("a+b=c*d#e") << false << QByteArray("a<ar>b<bt>cde");
        QTest::newRow("+ and = kept") << QByteArray("a+b=c*d") << true << QByteArray("a+b=cd");
        QTest::newRow("unsendable dropped") << QByteArray("a~b|c^d\x01") << false << QByteArray("abcd");
        QTest::newRow("prepend comes first") << QByteArray("test\n") << false << QByteArray("vvv<ka>\rtest");
        // A file is UTF-8 when it is valid UTF-8 with a multi-byte character;
        // the generator sends no sharp s: it is dropped either way.
        QTest::newRow("UTF-8") << QByteArray("gr\xC3\xBC\xC3\x9F dich \xC3\xA4") << false
                               << QByteArray("gr\xFC dich \xE4");
        QTest::newRow("Windows-1252")
            << QByteArray("gr\xFC\xDF dich \xE4") << false << QByteArray("gr\xFC dich \xE4");
        QTest::newRow("UTF-8 with BOM and a character 1252 lacks")
            << QByteArray("\xEF\xBB\xBFu\xE2\x82\xAC\xE2\x86\x92\xC3\xBC") << false << QByteArray("u\xFC");
        QTest::newRow("invalid UTF-8 reads as 1252")
            << QByteArray("\xC3\xBC\xFC") << false << QByteArray("\xFC");
    }
    void loadNormalisesTheText() {
        QFETCH(QByteArray, file);
        QFETCH(bool, displayPros);
        QFETCH(QByteArray, panel);
        settings_.DisplayPros = displayPros;
        settings_.Prepend = QByteArray(QTest::currentDataTag()) == "prepend comes first";
        QCOMPARE(QByteArray::fromStdString(Load(file)), panel);
        QVERIFY(boxes_.messages.isEmpty());
        QCOMPARE(Q(settings_.InFile), QString("in.txt"));
        QCOMPARE(Q(settings_.InDir), dir_->path() + "/");
        const TFileDialogRequest& s = dialogs_.asked.at(0);
        QVERIFY(!s.save && s.mustExist);
        QCOMPARE(Q(s.title), QString("Load text from file:"));
    }

    void encodingHelpers() {
        QVERIFY(!textfiles::LooksUtf8("plain ascii"));
        QVERIFY(textfiles::LooksUtf8("\xE2\x82\xAC"));
        QVERIFY(!textfiles::LooksUtf8("\xC0\x80"));      // overlong
        QVERIFY(!textfiles::LooksUtf8("\xED\xA0\x80"));  // surrogate
        QVERIFY(!textfiles::LooksUtf8("\xE2\x82"));      // cut short
        QCOMPARE(textfiles::Utf8ToCp1252("\xE2\x82\xAC\xC5\xA0\xE2\x80\x9C"), std::string("\x80\x8A\x93"));
    }

    // Bad files: a clear message, the lower panel untouched, no hang.
    void badFilesLoadNothing_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << "empty"
                               << "Warning: no text to send in file ";
        QTest::newRow("nothing sendable") << "junk"
                                          << "Warning: no text to send in file ";
        QTest::newRow("binary") << "binary"
                                << "Error: not a text file: ";
        QTest::newRow("missing") << "missing"
                                 << "Error: cannot read file ";
        QTest::newRow("folder") << "folder"
                                << "Error: cannot read file ";
        QTest::newRow("fifo") << "fifo"
                              << "Error: cannot read file ";
    }
    void badFilesLoadNothing() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QString p = Path("bad");
        if (kind == "empty")
            WriteFile(p, "");
        if (kind == "junk")
            WriteFile(p, "~~~ ^^^ \t\r\n");
        if (kind == "binary")
            WriteFile(p, QByteArray("\x7F"
                                    "ELF\x02\x01\x01\x00\x00\x00"
                                    "abc",
                                    13));
        if (kind == "folder")
            QVERIFY(QDir(dir_->path()).mkdir("bad"));
        if (kind == "fifo")
            QCOMPARE(mkfifo(p.toLocal8Bit().constData(), 0600), 0);
        dialogs_.answer = p.toStdString();
        bool called = false;
        QVERIFY(!cmd_->LoadTextFile([&](const std::string&) { called = true; }));
        QVERIFY(!called);
        QCOMPARE(boxes_.messages.size(), 1);
        QVERIFY2(boxes_.messages[0].startsWith(message + p), qPrintable(boxes_.messages[0]));
    }

    void hugeFileLoadsItsStart() {
        const QByteArray chunk = QByteArray("cq cq cq de dl1abc dl1abc pse k\n").repeated(32768);  // 1 MiB
        bool loaded = false;
        const std::string panel = Load(chunk.repeated(50), &loaded);
        QVERIFY(loaded);
        QCOMPARE(boxes_.messages, QStringList{"Warning: max characters loaded: 10000"});
        QVERIFY(panel.size() > 9000 && panel.size() <= 10000);
        QVERIFY(panel.rfind("cq cq cq de dl1abc", 0) == 0);
    }

    void wavDialogRemembersTheFolder() {
        settings_.InDir = "/somewhere/";
        dialogs_.answer = "/data/rec/keying.wav";
        std::string path;
        QVERIFY(cmd_->FileOpenInExecute("/old/test.wav", path));
        QCOMPARE(Q(path), QString("/data/rec/keying.wav"));
        QCOMPARE(Q(settings_.InDir), QString("/data/rec/"));
        const TFileDialogRequest& s = dialogs_.asked.at(0);
        QCOMPARE((QStringList{Q(s.title), Q(s.fileName), Q(s.folder), Q(s.defaultSuffix)}),
                 (QStringList{"Load from file", "/old/test.wav", "/somewhere/", "wav"}));
    }

    // The filters in Qt's form; the Qt dialog gets the title, folder, file
    // name and filters asked for, and hands back the chosen path; a
    // rejected dialog is a cancel.
    void qtDialogShowsWhatWasAsked() {
        QCOMPARE(QtNameFilters(TFileCommands::kTextFilter),
                 (std::vector<std::string>{"Text files (*.txt *.TXT)", "all files (*)"}));
        QCOMPARE(QtNameFilters(TFileCommands::kWavFilter),
                 (std::vector<std::string>{
                     "WAV sound files (*.wav *.WAV)",
                     "other sound files (*.flac *.FLAC *.ogg *.OGG *.oga *.OGA *.opus *.OPUS *.mp3 "
                     "*.MP3 *.aiff *.AIFF *.aif *.AIF *.au *.AU)",
                     "all files (*)"}));
        WriteFile(Path("send.txt"), "x");
        WriteFile(Path("other.TXT"), "y");
        TQtFileDialogs dialogs;
        const TFileDialogRequest request{.title = "Load text from file:",
                                         .folder = dir_->path().toStdString(),
                                         .fileName = "send.txt",
                                         .defaultSuffix = "txt",
                                         .filter = TFileCommands::kTextFilter,
                                         .mustExist = true};
        for (bool accept : {true, false}) {
            QStringList seen;
            QTimer::singleShot(0, [&] {
                auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (!dlg)
                    return;
                seen << dlg->windowTitle() << dlg->directory().absolutePath() << dlg->nameFilters().join(";;")
                     << dlg->defaultSuffix();
                if (accept) {
                    dlg->selectFile(Path("other.TXT"));
                    QMetaObject::invokeMethod(dlg, "accept");
                } else {
                    dlg->reject();
                }
            });
            std::string path;
            QCOMPARE(dialogs.Execute(request, path), accept);
            QCOMPARE(seen, (QStringList{"Load text from file:", dir_->path(),
                                        "Text files (*.txt *.TXT);;all files (*)", "txt"}));
            if (accept)
                QCOMPARE(Q(path), Path("other.TXT"));
        }
    }

    void helpPageIsFoundBesideTheProgramOrInShare() {
        const QString bin = Path("usr/bin"), share = Path("usr/share/orvo-tapmeter/help");
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(share));
        FakeOpener opener;
        // Nowhere: a message naming where it was looked for.
        QVERIFY(!ShowHelpPage(opener, boxes_, bin.toStdString()));
        QCOMPARE(boxes_.messages,
                 QStringList{"Error: cannot find the help page " + bin + "/help/helporvotapmtr.htm"});
        QVERIFY(opener.opened.empty());
        // The package's place.
        WriteFile(share + "/helporvotapmtr.htm", "<html></html>");
        QVERIFY(ShowHelpPage(opener, boxes_, bin.toStdString()));
        QCOMPARE(Q(opener.opened.back()),
                 "file://" + bin + "/../share/orvo-tapmeter/help/helporvotapmtr.htm");
        // Beside the program wins; the homepage item opens the last section.
        QVERIFY(QDir().mkpath(bin + "/help"));
        WriteFile(bin + "/help/helporvotapmtr.htm", "<html></html>");
        QVERIFY(ShowHelpPage(opener, boxes_, bin.toStdString(), kHomepageAnchor));
        QCOMPARE(Q(opener.opened.back()), "file://" + bin + "/help/helporvotapmtr.htm#about");
        // No browser.
        opener.works = false;
        boxes_.messages.clear();
        QVERIFY(!ShowHelpPage(opener, boxes_, bin.toStdString()));
        QCOMPARE(boxes_.messages.size(), 1);
        QVERIFY(boxes_.messages[0].startsWith("Error: no web browser found to show file://"));
    }

    // The page in the repository names every section the program links to.
    void helpPageHasItsSections() {
        QFile f(QStringLiteral(ORVO_SOURCE_DIR) + "/help/helporvotapmtr.htm");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(f.readAll());
        for (const char* id : {"modes", "keys", "timing", "serial", "sound", "cli", "about"})
            QVERIFY2(page.contains(QString("id=\"%1\"").arg(id)), id);
        QVERIFY(page.lastIndexOf("<h2 id=") == page.indexOf("<h2 id=\"about\""));
        QVERIFY(page.contains("dialout") && page.contains("Shift+Alt+Ctrl+F12"));
    }
};

QTEST_MAIN(FilesTest)
#include "FilesTest.moc"
