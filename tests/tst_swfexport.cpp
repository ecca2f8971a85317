// swfexport as a user runs it: a child process over folders of files from
// the SWF writer, its trees compared with the window's "Dump All Resources".

#include "dump/dumpdialog.h"
#include "mainwindow/mainwindow.h"
#include "tests/support/guitest.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace swfw;

namespace
{

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

QString program()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/swfexport");
}

Run swfexport(const QStringList &arguments)
{
    QProcess p;
    p.start(program(), arguments);
    Run run;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = p.exitCode();
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

// Every file below `root` with a hash of its bytes, by relative path.
QMap<QString, QByteArray> tree(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        files.insert(QDir(root).relativeFilePath(path),
                     QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256));
    }
    return files;
}

// A file of `label` with named bitmaps `names` (ids from 1), an unnamed one
// and some binary data.
QByteArray asset(const QByteArray &label, const QList<QByteArray> &names, int seed = 0)
{
    Tags tags;
    tags.frameLabel(label);
    QList<QPair<int, QByteArray>> symbols;
    for (int i = 0; i < names.size(); ++i) {
        tags.bitmap(i + 1, 8 + i, 6, testPattern(8 + i, 6, seed + i));
        symbols.append({i + 1, names.at(i)});
    }
    tags.bitmap(90, 4, 4, testPattern(4, 4)).binaryData(91, "data");
    symbols.append({91, "Blob"});
    tags.symbolClass(symbols).showFrame().end();
    return file(Header(), tags, Compression::Zlib);
}

// Whether a signal sent to process `pid` still waits to be taken.
bool signalPending(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("ShdPnd:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

// Whether process `pid` has the file at `path` open.
bool holdsOpen(qint64 pid, const QString &path)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    const QStringList open = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return std::any_of(open.cbegin(), open.cend(), [&](const QString &fd) {
        return QFile::symLinkTarget(fds.filePath(fd)) == path;
    });
}

// Signals the program if it still runs. An ended process has the id 0, and
// kill(0, ...) would signal the whole process group: the test runner too.
void signalIfRunning(const QProcess &p, int signal)
{
    if (const pid_t pid = pid_t(p.processId()); pid > 0)
        ::kill(pid, signal);
}

} // namespace

class TestSwfExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exportsAFolderPastABrokenFile();
    void sameTreeAsDumpAllResources();
    void flatRecursiveAndReport();
    void commandLineAndOutputFolder();
    void ctrlCLeavesNoPartialFile();
    void fullDiskLeavesNoShortFile();
    void publicCorpus();

private:
    // The folder most tests export: labels, a label seen twice, two labels
    // that make one folder name, two images of one name and two names that
    // make one file name, a file that isn't an SWF file.
    void makeFolder();

    QTemporaryDir *work = nullptr;
    QString in;
    QString startDir;
};

void TestSwfExport::init()
{
    startDir = QDir::currentPath();
    work = new QTemporaryDir;
    in = work->filePath(QStringLiteral("in"));
    QDir().mkpath(in);
}

void TestSwfExport::cleanup()
{
    QDir::setCurrent(startDir);
    delete work;
}

void TestSwfExport::makeFolder()
{
    QVERIFY(save(in + "/a.swf", asset("Icons", {"star", "heart"})));
    QVERIFY(save(in + "/b.swf", asset("a/b", {"one"}, 5)));
    QVERIFY(save(in + "/c.swf", asset("Icons", {"copy"}, 9))); // "Icons" again
    QVERIFY(save(in + "/d.swf", "<html>not found</html>"));
    QVERIFY(save(in + "/e.swf", asset("a_b", {"two", "two", "t/o", "t_o"}, 7)));
    // Names that only differ in case would be one file on many disks.
    QVERIFY(save(in + "/f.swf", asset("icons", {"Moon", "moon", "a:b"}, 11)));
    QVERIFY(save(in + "/notes.txt", "not an .swf name"));
    QVERIFY(save(in + "/upper.SWF", asset("Upper", {"up"}))); // not taken, as in the window
}

void TestSwfExport::exportsAFolderPastABrokenFile()
{
    makeFolder();
    const QString out = work->filePath("out");
    const Run run = swfexport({in, out});
    QCOMPARE(run.status, 1);
    // The broken file is named; the others are all written. Files not
    // taken are named too.
    QVERIFY2(run.err.contains("d.swf: can't be converted: not an SWF file"), run.err);
    QVERIFY2(run.err.contains("c.swf: skipped: label already loaded"), run.err);
    QVERIFY2(run.err.contains("; 1 file skipped; "), run.err);
    QVERIFY2(run.err.contains("1 file not taken: only names ending in \".swf\" in lower case"),
             run.err);
    QCOMPARE(tree(out).keys(),
             QStringList({"Icons/heart.png", "Icons/star.png", "a_b (2)/t_o (2).png",
                          "a_b (2)/t_o.png", "a_b (2)/two.png", "a_b/one.png", "icons (2)/Moon.png",
                          "icons (2)/a_b.png", "icons (2)/moon (2).png"}));
    const QImage star(out + "/Icons/star.png");
    QCOMPARE(star.size(), QSize(8, 6));
    // Not a terminal: no progress line, only the failure and the summary.
    QVERIFY(!run.err.contains('\r'));
    QVERIFY(run.out.isEmpty());

    // Started with no standard input, output or error, it runs the same.
    QProcess closed;
    closed.start("/bin/sh", {"-c", "exec \"$0\" \"$1\" \"$2\" <&- >&- 2>&-", program(), in,
                             work->filePath("closed")});
    QVERIFY(closed.waitForFinished(120000));
    QCOMPARE(closed.exitCode(), 1);
    QCOMPARE(tree(work->filePath("closed")), tree(out));

    // A document over the converter's cap is its file's failure, as in the
    // window, not a run that grows without end.
    qputenv("SWF_MAX_CONVERTER_OUTPUT", "100");
    const Run capped = swfexport({in + "/a.swf", work->filePath("capped")});
    qunsetenv("SWF_MAX_CONVERTER_OUTPUT");
    QCOMPARE(capped.status, 1);
    QVERIFY2(capped.err.contains("a.swf: can't be converted: output over 100 bytes"), capped.err);

    // A setting that can't be taken is named, not silently dropped.
    qputenv("SWF_JOBS", "4x");
    const Run misset = swfexport({in + "/a.swf", work->filePath("misset")});
    qunsetenv("SWF_JOBS");
    QVERIFY2(misset.err.startsWith("swfexport: SWF_JOBS=\"4x\" is not a whole number from 1 to 64"),
             misset.err);
}

void TestSwfExport::sameTreeAsDumpAllResources()
{
    makeFolder();
    MessageBoxCatcher boxes;
    MainWindow window;
    QObject::connect(&window, &MainWindow::dumpRequested, &window,
                     [&](const QStringList &files, DumpLayout layout) {
                         DumpDialog::open(&window, files, layout);
                     });
    chooseFolder(&window, in);
    auto *dumpAll = window.findChild<QPushButton *>("pushButton_7");
    QTRY_VERIFY_WITH_TIMEOUT(dumpAll->isEnabled(), 30000);
    dumpAll->click();
    QPointer<DumpDialog> dialog = window.findChild<DumpDialog *>();
    QVERIFY(dialog);
    chooseFolder(dialog, work->filePath("window"));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 30000);
    QDir::setCurrent(startDir);

    QCOMPARE(swfexport({"-j", "3", in, work->filePath("cli")}).status, 1);
    const auto expected = tree(work->filePath("window"));
    QCOMPARE(expected.size(), 9);
    QCOMPARE(tree(work->filePath("cli")), expected);
}

void TestSwfExport::flatRecursiveAndReport()
{
    makeFolder();
    QDir().mkpath(in + "/sub/deeper");
    QVERIFY(save(in + "/sub/z.swf", asset("Sub", {"star"}, 3)));
    QVERIFY(save(in + "/sub/deeper/y.swf", asset("Deeper", {"deep"})));

    // Without -r the subfolders are left alone; with it they come after the
    // folder's own files. --flat puts every image in one folder: a later
    // image of the same name replaces the earlier one.
    const QString out = work->filePath("flat");
    const QString report = work->filePath("report.json");
    const Run run = swfexport({"--flat", "-r", "--json", report, in, out});
    QCOMPARE(run.status, 1);
    QCOMPARE(tree(out).keys(),
             QStringList({"Moon.png", "a_b.png", "deep.png", "heart.png", "moon (2).png", "one.png",
                          "star.png", "t_o (2).png", "t_o.png", "two.png"}));
    QCOMPARE(QImage(out + "/star.png").size(), QSize(8, 6));

    QFile f(report);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonArray files = QJsonDocument::fromJson(f.readAll()).object()["files"].toArray();
    QStringList outcomes;
    for (const QJsonValue &v : files) {
        const QJsonObject o = v.toObject();
        outcomes << QStringLiteral("%1 %2 %3 %4/%5")
                        .arg(QFileInfo(o["file"].toString()).fileName(), o["label"].toString(),
                             o["outcome"].toString())
                        .arg(o["written"].toInt())
                        .arg(o["images"].toInt());
    }
    QCOMPARE(outcomes, QStringList({"a.swf Icons written 2/2", "b.swf a/b written 1/1",
                                    "c.swf Icons skipped 0/0", "d.swf  failed 0/0",
                                    "e.swf a_b written 4/4", "f.swf icons written 3/3",
                                    "z.swf Sub written 1/1", "y.swf Deeper written 1/1"}));
    QVERIFY(files.at(3).toObject()["reason"].toString().startsWith("not an SWF file"));
    QVERIFY(files.at(2).toObject()["reason"].toString().contains("already"));

    // Only good files: exit 0, and the report on standard output. A file
    // without images gets no folder, and the report names none.
    QVERIFY(save(work->filePath("none.swf"), asset("None", {})));
    const Run good = swfexport(
        {"--json", "-", in + "/a.swf", work->filePath("none.swf"), work->filePath("good")});
    QCOMPARE(good.status, 0);
    const QJsonArray goodFiles = QJsonDocument::fromJson(good.out).object()["files"].toArray();
    QCOMPARE(goodFiles.size(), 2);
    QCOMPARE(goodFiles.at(0).toObject()["folder"].toString(), work->filePath("good") + "/Icons");
    QVERIFY(!goodFiles.at(1).toObject().contains("folder"));
    QVERIFY(!QFileInfo::exists(work->filePath("good/None")));
    // A pipe named as the report file takes it as it is: nowhere beside it
    // can the file be made first.
    const Run piped =
        swfexport({"-q", "--json", "/dev/stderr", in + "/a.swf", work->filePath("good")});
    QCOMPARE(piped.status, 0);
    QCOMPARE(QJsonDocument::fromJson(piped.err).object()["files"].toArray().size(), 1);
    // Named by the file standard output appends to, it goes after what the
    // file holds; every entry, an input not found too, has the same fields.
    QVERIFY(save(work->filePath("log"), "earlier\n"));
    QProcess appended;
    appended.setStandardOutputFile(work->filePath("log"), QIODevice::Append);
    appended.start(program(), {"-q", "--json", "/dev/stdout", in + "/a.swf",
                               work->filePath("gone.swf"), work->filePath("good")});
    QVERIFY(appended.waitForFinished(60000));
    QCOMPARE(appended.exitCode(), 1);
    QFile log(work->filePath("log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readLine(), QByteArray("earlier\n"));
    const QJsonArray logged = QJsonDocument::fromJson(log.readAll()).object()["files"].toArray();
    QCOMPARE(logged.size(), 2);
    for (const QJsonValue &entry : logged)
        QVERIFY(entry["warnings"].isArray() && entry["failed"].isArray());
    // With standard output closed, a report asked for there is refused.
    QProcess closed;
    closed.start("/bin/sh", {"-c", "exec \"$0\" --json - \"$1\" \"$2\" >&-", program(),
                             in + "/a.swf", work->filePath("unmade")});
    QVERIFY(closed.waitForFinished(60000));
    QCOMPARE(closed.exitCode(), 2);
    QVERIFY(!QFileInfo::exists(work->filePath("unmade")));

    // A file cut short in its second bitmap: the first is written, and the
    // report says what the converter found wrong.
    Tags tags;
    tags.frameLabel("Cut").symbolClass({{1, "whole"}, {2, "lost"}});
    tags.bitmap(1, 4, 4, testPattern(4, 4)).bitmap(2, 40, 40, testPattern(40, 40));
    const QByteArray cut = file(Header(), tags.end(), Compression::None);
    QVERIFY(save(in + "/cut.swf", cut.left(cut.size() - 100)));
    const Run partial = swfexport({"--json", "-", in + "/cut.swf", work->filePath("cut")});
    QCOMPARE(partial.status, 0);
    const QJsonObject entry =
        QJsonDocument::fromJson(partial.out).object()["files"].toArray().at(0).toObject();
    QCOMPARE(entry["written"].toInt(), 1);
    const QJsonArray warnings = entry["warnings"].toArray();
    QVERIFY2(!warnings.isEmpty(), partial.out);

    // Given four times, converted four times at once: each time with its
    // own warnings, said and reported.
    const QString cutFile = in + "/cut.swf";
    const Run again = swfexport(
        {"-j", "4", "--json", "-", cutFile, cutFile, cutFile, cutFile, work->filePath("again")});
    QCOMPARE(again.err.count(": warning: "), 4 * warnings.size());
    for (const QJsonValue &file : QJsonDocument::fromJson(again.out).object()["files"].toArray())
        QCOMPARE(file["warnings"].toArray(), warnings);
}

void TestSwfExport::commandLineAndOutputFolder()
{
    QVERIFY(save(in + "/a.swf", asset("Icons", {"star"})));
    const Run help = swfexport({"--help"});
    QCOMPARE(help.status, 0);
    for (const char *text : {"INPUT... OUTDIR", "--jobs", "--recursive", "--flat", "--json",
                             "--quiet", "Exit status", "Ctrl-C", "512 MiB"})
        QVERIFY2(help.out.contains(text), text);
    QCOMPARE(swfexport({"--version"}).out.left(10), QByteArray("swfexport "));

    // Wrong command lines end with 2 and a word on what is wrong.
    for (const QStringList &wrong :
         {QStringList({in}), QStringList({"-j", "0", in, "out"}),
          QStringList({"--frobnicate", in, "out"}), QStringList({"--json"})}) {
        const Run run = swfexport(wrong);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.startsWith("swfexport: "), run.err);
    }

    // An output folder that can't be made: inside a file, or (unless root,
    // whom permissions don't stop) inside a read-only folder.
    QVERIFY(save(work->filePath("plain"), "x"));
    QCOMPARE(swfexport({in, work->filePath("plain/out")}).status, 2);
    const Run plain = swfexport({in, work->filePath("plain")});
    QCOMPARE(plain.status, 2);
    QVERIFY2(plain.err.contains("plain: can't make the output folder: not a folder"), plain.err);
    // A label folder that can't be made (a dangling link in its place): its
    // images say so.
    QVERIFY(QDir().mkpath(work->filePath("linked")));
    QVERIFY(QFile::link(work->filePath("nowhere"), work->filePath("linked/Icons")));
    const Run linked = swfexport({in, work->filePath("linked")});
    QCOMPARE(linked.status, 1);
    QVERIFY2(linked.err.contains("star.png: not written: the folder can't be made"), linked.err);
    if (::geteuid() != 0) {
        QDir().mkpath(work->filePath("locked"));
        QFile::setPermissions(work->filePath("locked"), QFile::ReadOwner | QFile::ExeOwner);
        const Run run = swfexport({in, work->filePath("locked/out")});
        QFile::setPermissions(work->filePath("locked"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(run.status, 2);
    }

    // So does a report that can't be written, before any image is: one
    // whose folder is a file, a folder, or a link into a missing folder.
    // The output folders made for the run go again.
    QVERIFY(QFile::link(work->filePath("gone/report.json"), work->filePath("dangling.json")));
    for (const QString &report :
         {work->filePath("plain/report.json"), in, work->filePath("dangling.json")}) {
        const Run run = swfexport({"--json", report, in, work->filePath("unreported/out")});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(": can't write the report: "), run.err);
        QVERIFY(!QFileInfo::exists(work->filePath("unreported")));
    }

    // Standard error read by a program that quit (as "| head -1" does)
    // costs its lines only.
    int ends[2];
    QVERIFY(::pipe(ends) == 0);
    ::close(ends[0]);
    QProcess piped;
    piped.setChildProcessModifier([end = ends[1]] { ::dup2(end, STDERR_FILENO); });
    piped.start(program(), {in + "/a.swf", work->filePath("piped")});
    ::close(ends[1]);
    QVERIFY(piped.waitForFinished(60000));
    QCOMPARE(piped.exitStatus(), QProcess::NormalExit);
    QCOMPARE(piped.exitCode(), 0);
    QVERIFY(QFile::exists(work->filePath("piped/Icons/star.png")));

    // "--json" taken for a switch would cost the next file: a report never
    // replaces an SWF file or an input, whatever its name.
    QVERIFY(QFile::copy(in + "/a.swf", work->filePath("kept.swf")));
    QVERIFY(QFile::copy(in + "/a.swf", work->filePath("kept.bin")));
    const QStringList kept[] = {
        {"--json", work->filePath("kept.swf"), in, work->filePath("k")},
        {"--json", work->filePath("kept.bin"), work->filePath("kept.bin"), work->filePath("k")}};
    for (const QStringList &arguments : kept) {
        const Run run = swfexport(arguments);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains("won't replace it with the report"), run.err);
        QFile file(arguments.at(1));
        QFile original(in + "/a.swf");
        QVERIFY(file.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), original.readAll());
        QVERIFY(!QFileInfo::exists(work->filePath("k")));
    }

    // A missing input is that input's failure, not the run's; one that a
    // link loop hides says so.
    QVERIFY(QFile::link(work->filePath("loop.swf"), work->filePath("loop.swf")));
    const Run missing = swfexport(
        {in + "/a.swf", in + "/gone.swf", work->filePath("loop.swf"), work->filePath("out")});
    QCOMPARE(missing.status, 1);
    QVERIFY(missing.err.contains("gone.swf: no such file or folder"));
    QVERIFY2(missing.err.contains("loop.swf: " + qt_error_string(ELOOP).toUtf8()), missing.err);
    QVERIFY(QFile::exists(work->filePath("out/Icons/star.png")));

    // A file named by bytes that aren't UTF-8 is named as the folder's
    // listing names it, not taken for a missing one, nor for the file whose
    // name has U+FFFD in their place. An output folder so named can't be
    // made.
    const QByteArray odd = QFile::encodeName(in) + "/b\xFF.swf";
    QCOMPARE(::link(QFile::encodeName(in + "/a.swf"), odd), 0);
    QVERIFY(save(in + QStringLiteral("/b\uFFFD.swf"), asset("Replaced", {"star"})));
    const auto runNamed = [&](const QString &input, const QString &output) {
        QProcess named;
        named.start("/bin/sh", {"-c", "exec \"$0\" \"$(printf \"$1\")\" \"$(printf \"$2\")\"",
                                program(), input, output});
        named.waitForFinished(60000);
        return std::pair(named.exitCode(), named.readAllStandardError());
    };
    const auto [oddStatus, oddErr] = runNamed(in + "/b\\377.swf", work->filePath("odd"));
    QCOMPARE(oddStatus, 1);
    QVERIFY(oddErr.contains("b\\xFF.swf: can't be converted: file name is not valid UTF-8"));
    QVERIFY(!QFile::exists(work->filePath("odd/Replaced")));
    const auto [outStatus, outErr] = runNamed(in + "/a.swf", work->filePath("out\\377"));
    QCOMPARE(outStatus, 2);
    QVERIFY2(outErr.contains("out\\xFF: can't make the output folder: file name is not"), outErr);
    QProcess report;
    report.start("/bin/sh",
                 {"-c", "exec \"$0\" --json=\"$(printf \"$1\")\" \"$2\" \"$3\"", program(),
                  work->filePath("r\\377.json"), in + "/a.swf", work->filePath("reported")});
    QVERIFY(report.waitForFinished(60000));
    QCOMPARE(report.exitCode(), 2);
    QVERIFY(report.readAllStandardError().contains("r\\xFF.json: can't write the report"));
    ::unlink(odd);
    QFile::remove(in + QStringLiteral("/b\uFFFD.swf"));

    // Control characters of a name reach the terminal as text, not as
    // commands to it.
    QVERIFY(save(in + "/\x1B[31m\n.swf", "not an SWF file"));
    const Run escaped = swfexport({in + "/\x1B[31m\n.swf", work->filePath("escaped")});
    QCOMPARE(escaped.status, 1);
    QVERIFY2(escaped.err.contains("/\\x1B[31m\\x0A.swf: can't be converted"), escaped.err);
    QFile::remove(in + "/\x1B[31m\n.swf");

    // So is a folder below it that can't be read (permissions stop a user
    // other than root): named, not taken for an empty one.
    if (::geteuid() != 0) {
        QDir().mkpath(in + "/locked");
        QVERIFY(save(in + "/locked/b.swf", asset("Locked", {"star"})));
        QFile::setPermissions(in + "/locked", QFile::Permissions());
        const Run run = swfexport({"-r", in, work->filePath("locked-out")});
        QFile::setPermissions(in + "/locked",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("locked: can't read the folder: Permission denied"), run.err);
    }
    // So is one whose name isn't UTF-8, which no QString can enter.
    const QByteArray oddFolder = QFile::encodeName(in) + "/sub\xFF";
    QCOMPARE(::mkdir(oddFolder.constData(), 0700), 0);
    QCOMPARE(::link(QFile::encodeName(in + "/a.swf"), oddFolder + "/b.swf"), 0);
    const Run inOdd = swfexport({"-r", in, work->filePath("odd-out")});
    ::unlink(oddFolder + "/b.swf");
    ::rmdir(oddFolder.constData());
    QCOMPARE(inOdd.status, 1);
    QVERIFY2(inOdd.err.contains("sub\\xFF: can't read the folder: file name is not valid UTF-8"),
             inOdd.err);
}

void TestSwfExport::ctrlCLeavesNoPartialFile()
{
    // Large images, so that the run is still writing when it is stopped.
    Tags tags;
    tags.frameLabel("Big");
    QList<QPair<int, QByteArray>> symbols;
    for (int i = 1; i <= 40; ++i) {
        tags.bitmap(i, 900, 700, testPattern(900, 700, i));
        symbols.append({i, "big" + QByteArray::number(i)});
    }
    tags.symbolClass(symbols).end();
    QVERIFY(save(in + "/big.swf", file(Header(), tags, Compression::Zlib)));

    // Ctrl-C, SIGTERM as `timeout` sends it (to the program, then to its
    // group: twice at once) and a closed terminal's SIGHUP stop the same way.
    for (const auto &[signal, status] :
         {std::pair(SIGINT, 130), std::pair(SIGTERM, 143), std::pair(SIGHUP, 129)}) {
        const QString out = work->filePath(QStringLiteral("out-%1").arg(signal));
        const QString report = out + ".json";
        QProcess p;
        p.start(program(), {"-j", "2", "--json", report, in, out});
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(out + "/Big").entryList(QDir::Files).isEmpty(), 60000);
        signalIfRunning(p, signal);
        if (signal == SIGTERM) {
            QElapsedTimer sinceFirst;
            sinceFirst.start();
            QTRY_VERIFY(!signalPending(p.processId(), signal));
            // A machine too busy to send the second at once would make it
            // one sent later, which ends the program.
            if (sinceFirst.elapsed() < 900)
                signalIfRunning(p, signal);
        }
        // It may have ended while the test waited for the signal's delivery.
        QVERIFY(p.state() == QProcess::NotRunning || p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), status);

        // What is there is whole: every file a complete image, nothing else.
        const QStringList written = QDir(out + "/Big").entryList(QDir::Files | QDir::Hidden);
        QVERIFY(!written.isEmpty());
        QVERIFY(written.size() < 40);
        for (const QString &name : written) {
            QVERIFY2(name.endsWith(".png"), qPrintable(name));
            QCOMPARE(QImage(out + "/Big/" + name).size(), QSize(900, 700));
        }

        // The report says the file was cut short, with every image on disk.
        QFile reportFile(report);
        QVERIFY(reportFile.open(QIODevice::ReadOnly));
        const QJsonObject json = QJsonDocument::fromJson(reportFile.readAll()).object();
        QCOMPARE(json["complete"].toBool(true), false);
        const QJsonArray files = json["files"].toArray();
        QCOMPARE(files.size(), 1);
        QCOMPARE(files[0]["outcome"].toString(), QString("stopped"));
        QCOMPARE(files[0]["written"].toInt(), int(written.size()));
    }

    // Files of two large images each: label folders are made as their first
    // image goes out, ahead of the writing. Those that got no image go
    // again at Ctrl-C.
    const QString many = work->filePath("many");
    QVERIFY(QDir().mkpath(many));
    for (int f = 0; f < 12; ++f) {
        Tags few;
        few.frameLabel("L" + QByteArray::number(f));
        few.bitmap(1, 900, 700, testPattern(900, 700, f))
            .bitmap(2, 900, 700, testPattern(900, 700));
        few.symbolClass({{1, "one"}, {2, "two"}}).end();
        QVERIFY(save(many + QStringLiteral("/%1.swf").arg(f, 2, 10, QChar(u'0')),
                     file(Header(), few, Compression::Zlib)));
    }
    const QString manyOut = work->filePath("many-out");
    QProcess p;
    p.start(program(), {"-j", "1", many, manyOut});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(manyOut + "/L0/one.png"), 60000);
    signalIfRunning(p, SIGINT);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 130);
    const QStringList folders = QDir(manyOut).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QVERIFY(!folders.isEmpty() && folders.size() < 12);
    for (const QString &folder : folders)
        QVERIFY2(!QDir(manyOut + "/" + folder).isEmpty(), qPrintable(folder));

    // Started with Ctrl-C ignored (a script's background job), it runs on.
    const QString ignoredOut = work->filePath("ignored-out");
    QProcess ignoring;
    ignoring.start("/bin/sh", {"-c", "trap '' INT; exec \"$0\" -j 1 \"$1\" \"$2\"", program(), many,
                               ignoredOut});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ignoredOut + "/L0/one.png"), 60000);
    signalIfRunning(ignoring, SIGINT);
    QVERIFY(ignoring.waitForFinished(120000));
    QCOMPARE(ignoring.exitCode(), 0);
    QCOMPARE(QDir(ignoredOut).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 12);

    // A pipe being read, whose data never comes or whose writer never
    // opens it, doesn't keep a stop waiting: the report is written.
    const QByteArray pipe = QFile::encodeName(work->filePath("pipe.swf"));
    QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
    for (const bool writerOpen : {true, false}) {
        const QString stuckReport = work->filePath("stuck.json");
        QProcess stuck;
        stuck.start(program(),
                    {"--json", stuckReport, work->filePath("pipe.swf"), work->filePath("stuck")});
        QTRY_VERIFY_WITH_TIMEOUT(holdsOpen(stuck.processId(), work->filePath("pipe.swf")), 30000);
        // Held open, so that the reading waits for data, not for a writer.
        const int writer = writerOpen ? ::open(pipe.constData(), O_WRONLY | O_NONBLOCK) : -1;
        signalIfRunning(stuck, SIGTERM);
        const bool ended = stuck.waitForFinished(10000);
        if (writer >= 0)
            ::close(writer);
        QVERIFY(ended);
        QCOMPARE(stuck.exitStatus(), QProcess::NormalExit);
        QCOMPARE(stuck.exitCode(), 143);
        QFile written(stuckReport);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(written.readAll()).object()["complete"].toBool(true),
                 false);
    }
}

void TestSwfExport::fullDiskLeavesNoShortFile()
{
    // A file size limit of a KiB or two stands in for a disk that fills up:
    // the last bytes of a PNG or of the report, held in a buffer, only fail
    // when the file is made to stay. The images that don't fit fail by name
    // and leave nothing; the small one is written.
    Tags tags;
    tags.frameLabel("Full");
    QList<QPair<int, QByteArray>> symbols{{1, "small"}};
    tags.bitmap(1, 4, 4, testPattern(4, 4));
    for (int i = 2; i <= 20; ++i) {
        tags.bitmap(i, 120, 120, testPattern(120, 120, i)); // about 3 KiB of PNG
        symbols.append({i, "big" + QByteArray::number(i)});
    }
    tags.symbolClass(symbols).end();
    QVERIFY(save(in + "/full.swf", file(Header(), tags, Compression::Zlib)));

    const QString out = work->filePath("out");
    const QString report = work->filePath("report.json");
    QProcess p;
    p.start(QStringLiteral("/bin/sh"), {"-c", "trap '' XFSZ; ulimit -f 2; exec \"$0\" \"$@\"",
                                        program(), "-j", "2", "--json", report, in, out});
    QVERIFY(p.waitForFinished(60000));
    const QByteArray err = p.readAllStandardError();
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(err.contains("Full/big2.png: not written: File too large"), err);
    QVERIFY2(err.contains("report.json: can't write the report: File too large"), err);
    QCOMPARE(tree(out).keys(), QStringList({"Full/small.png"}));
    QVERIFY(!QFile::exists(report));

    // A disk that is really full stops the run at once, rather than naming
    // each of the hundreds of images after it. A small file system of its
    // own, where one may be made.
    const QString many = work->filePath("many");
    QVERIFY(QDir().mkpath(many));
    for (int f = 0; f < 30; ++f) {
        Tags each;
        each.frameLabel("F" + QByteArray::number(f));
        for (int i = 1; i <= 19; ++i)
            each.bitmap(i, 120, 120, testPattern(120, 120, f * 19 + i));
        each.symbolClass(symbols.mid(1)).end();
        QVERIFY(save(many + QStringLiteral("/%1.swf").arg(f, 2, 10, QChar(u'0')),
                     file(Header(), each, Compression::Zlib)));
    }
    if (QProcess::execute(QStringLiteral("unshare"), {"-m", "true"}) != 0)
        QSKIP("no mount namespace of its own can be made here");
    const QString small = work->filePath("small");
    QVERIFY(QDir().mkpath(small));
    p.start(QStringLiteral("unshare"),
            {"-m", "sh", "-c",
             "mount -t tmpfs -o size=64k tmpfs \"$1\" || exit 99; shift; exec \"$@\"", "sh", small,
             program(), "-j", "2", "--json", report, many, small});
    QVERIFY(p.waitForFinished(60000));
    if (p.exitCode() == 99)
        QSKIP("no file system of its own can be made here");
    const QByteArray full = p.readAllStandardError();
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(full.contains("stopped, no space left in"), full);
    QVERIFY2(full.count("not written: No space left on device") < 60, full);
    QFile reportFile(report);
    QVERIFY(reportFile.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(reportFile.readAll()).object()["complete"].toBool(true),
             false);
}

void TestSwfExport::publicCorpus()
{
    // Real files, most without a bitmap to give, some broken, many under
    // one label: the run ends, and every file whose label comes first has
    // the bitmaps an independent scanner lists, at their sizes.
    const QDir corpus(QStringLiteral(SWF_CORPUS_DIR));
    QFile manifestFile(corpus.filePath(QStringLiteral("manifest.json")));
    if (!manifestFile.open(QIODevice::ReadOnly))
        QSKIP("the public corpus is not here");
    QHash<QString, QJsonArray> listing;
    for (const QJsonValue &value :
         QJsonDocument::fromJson(manifestFile.readAll()).object().value("files").toArray()) {
        listing.insert(value["file"].toString(), value["expected_listing"].toArray());
    }

    const QString out = work->filePath("out");
    const Run run = swfexport({"-j", "4", "--json", "-", corpus.filePath("swf"), out});
    QCOMPARE(run.status, 1);
    const QJsonArray files = QJsonDocument::fromJson(run.out).object()["files"].toArray();
    QCOMPARE(files.size(), listing.size());
    int written = 0;
    for (const QJsonValue &value : files) {
        const QJsonObject file = value.toObject();
        const QString name = QFileInfo(file["file"].toString()).fileName();
        const QString outcome = file["outcome"].toString();
        if (outcome == QLatin1String("failed")) {
            QVERIFY2(run.err.contains(name.toUtf8()), qPrintable(name));
            continue;
        }
        if (outcome != QLatin1String("written"))
            continue;
        const QJsonArray expected = listing.value(name);
        QCOMPARE(file["images"].toInt(), expected.size());
        for (const QJsonValue &bitmap : expected) {
            const QString png = file["folder"].toString() + QLatin1Char('/') +
                                bitmap["names"].toArray().last().toString() + ".png";
            QCOMPARE(QImage(png).size(), QSize(bitmap["width"].toInt(), bitmap["height"].toInt()));
            ++written;
        }
    }
    QVERIFY(written > 0);
    QCOMPARE(tree(out).size(), written);
}

QTEST_MAIN(TestSwfExport)
#include "tst_swfexport.moc"
