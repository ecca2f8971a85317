// The converter program as a user (or the application) runs it: command
// line, exit codes, standard error, and files that are broken in every way
// the program must survive.

#include "tests/support/swfwriter.h"
#include "tst_swfxml_util.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace swfw;

namespace
{

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QList<QByteArray> errLines() const
    {
        QList<QByteArray> lines = err.split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
};

QString program()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/swfxml");
}

// Runs `program` (the converter unless given) to its end.
Run run(const QStringList &arguments, const QString &program = ::program())
{
    Run r;
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        r.err = "did not finish normally";
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (char &c : out)
        c = char(random.bounded(256));
    return out;
}

// Four tags before a large incompressible one, then ShowFrame and End.
// `binary`: 20000 bytes of DefineBinaryData; random ones by default, which
// zlib can't shrink.
Tags sampleTags(const QByteArray &binary = randomBytes(20000, 7))
{
    Tags t;
    t.frameLabel("sample").bitmap(1, 20, 20, testPattern(20, 20)).symbolClass({{1, "Pic"}});
    t.tag(9, "\xFF\xFF\xFF").binaryData(2, binary).showFrame().end();
    return t;
}

// Where the DefineBinaryData tag starts in the body.
qsizetype binaryDataOffset()
{
    Tags before;
    before.frameLabel("sample").bitmap(1, 20, 20, testPattern(20, 20)).symbolClass({{1, "Pic"}});
    before.tag(9, "\xFF\xFF\xFF");
    return movieHeader({}).size() + before.data().size();
}

Header withLength(qint64 fileLength)
{
    Header h;
    h.fileLengthOverride = fileLength;
    return h;
}

} // namespace

class TestSwfXmlCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void helpAndVersion();
    void usageErrors_data();
    void usageErrors();
    void stdoutAndFileAgree();
    void refusedFiles_data();
    void refusedFiles();
    void brokenFiles_data();
    void brokenFiles();
    void outputErrors();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir dir;
};

void TestSwfXmlCli::initTestCase()
{
    QVERIFY(QFile::exists(program()));
    QVERIFY(dir.isValid());
    // The checker itself must reject what it is there to catch.
    QVERIFY(!xmlcheck::problem("<swf a=\"\x01\"/>").isEmpty());
    QVERIFY(!xmlcheck::problem("<swf a=\"\xC3(\"/>").isEmpty());
    QVERIFY(!xmlcheck::problem("<swf><tags></swf>").isEmpty());
    QVERIFY(xmlcheck::problem("<swf a=\"&#10;\"/>").isEmpty());
}

QString TestSwfXmlCli::write(const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    return save(path, bytes) ? path : QString();
}

void TestSwfXmlCli::helpAndVersion()
{
    for (const QString &option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        const Run r = run({option});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("swfxml swf2xml FILE stdout"));
        QVERIFY(r.out.contains("512 MiB"));
        QCOMPARE(r.err, QByteArray());
    }
    const Run v = run({"--version"});
    QCOMPARE(v.exitCode, 0);
    QVERIFY2(QRegularExpression("^swfxml \\d+\\.\\d+\\.\\d+\\n$").match(v.out).hasMatch(),
             v.out.constData());
    QCOMPARE(v.err, QByteArray());
}

void TestSwfXmlCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("no file") << QStringList({"swf2xml"});
    QTest::newRow("no output") << QStringList({"swf2xml", "a.swf"});
    QTest::newRow("too many") << QStringList({"swf2xml", "a.swf", "stdout", "more"});
    QTest::newRow("unknown command") << QStringList({"xml2swf", "a.xml", "b.swf"});
    QTest::newRow("unknown option") << QStringList({"--frobnicate"});
    QTest::newRow("help with arguments") << QStringList({"--help", "swf2xml"});
    QTest::newRow("empty file name") << QStringList({"swf2xml", "", "stdout"});
}

void TestSwfXmlCli::usageErrors()
{
    QFETCH(QStringList, arguments);
    const Run r = run(arguments);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.errLines().size() >= 2, r.err.constData());
    QVERIFY(r.errLines()[0].startsWith("swfxml: "));
    QVERIFY(r.err.contains("usage: swfxml swf2xml FILE stdout|OUT.xml"));
}

void TestSwfXmlCli::stdoutAndFileAgree()
{
    const QString swf = write("agree.swf", file({}, sampleTags(), Compression::Zlib));
    const Run toStdout = run({"swf2xml", swf, "stdout"});
    QCOMPARE(toStdout.exitCode, 0);
    QCOMPARE(toStdout.err, QByteArray());
    QVERIFY(xmlcheck::problem(toStdout.out).isEmpty());

    const QString xml = dir.filePath("agree.xml");
    const Run toFile = run({"swf2xml", swf, xml});
    QCOMPARE(toFile.exitCode, 0);
    QCOMPARE(toFile.out, QByteArray());
    QCOMPARE(toFile.err, QByteArray());
    QFile f(xml);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), toStdout.out);

    // What the application reads from it.
    QDomDocument doc;
    QVERIFY(doc.setContent(toStdout.out));
    const auto tags = xmlcheck::elements(xmlcheck::tagsElement(doc));
    QCOMPARE(tags.size(), 7);
    QCOMPARE(tags[0].attribute("label"), QString("sample"));
    QCOMPARE(xmlcheck::payload(tags[1]), zlib(testPattern(20, 20)));
    QCOMPARE(xmlcheck::payload(tags[4]), randomBytes(20000, 7));
}

void TestSwfXmlCli::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray good = file({}, sampleTags(), Compression::None);
    QTest::newRow("empty") << QByteArray() << "not an SWF file (empty)";
    QTest::newRow("text") << QByteArray("This is not a movie.\n")
                          << "not an SWF file (signature \"Thi\")";
    QTest::newRow("PNG") << QByteArray("\x89PNG\r\n\x1A\n", 8)
                         << "not an SWF file (signature \"\\x89PN\")";
    QTest::newRow("lower-case signature") << QByteArray("fws") + good.mid(3) << "signature";
    QTest::newRow("short header") << good.left(6) << "too short";
    QTest::newRow("zlib garbage") << QByteArray("CWS\x0A\x00\x01\x00\x00", 8) + randomBytes(500, 3)
                                  << "can't be decompressed";
    QTest::newRow("zlib empty") << QByteArray("CWS\x0A\x00\x01\x00\x00", 8)
                                << "can't be decompressed";
    QTest::newRow("LZMA header cut")
        << file({}, sampleTags(), Compression::Lzma).left(15) << "too short";
    QTest::newRow("LZMA bad properties")
        << QByteArray("ZWS\x0D\x00\x01\x00\x00\x10\x00\x00\x00\xFF\x00\x00\x10\x00", 17) +
               randomBytes(16, 1)
        << "LZMA";
}

void TestSwfXmlCli::refusedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    const QString swf = write("refused.swf", bytes);
    const QString xml = dir.filePath("refused.xml");
    QFile::remove(xml);
    for (const QString &output : {QStringLiteral("stdout"), xml}) {
        const Run r = run({"swf2xml", swf, output});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.errLines().size(), 1);
        QVERIFY2(r.err.startsWith(("swfxml: " + swf + ": ").toUtf8()), r.err.constData());
        QVERIFY2(r.err.contains(reason.toUtf8()), r.err.constData());
        QVERIFY(!QFile::exists(xml));
    }
}

void TestSwfXmlCli::brokenFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("tagCount");
    QTest::addColumn<QStringList>("messages"); // one word or phrase per stderr line

    const Tags tags = sampleTags();
    const qint64 size = 8 + movieHeader({}).size() + tags.data().size();
    const qsizetype cut = binaryDataOffset() + 5000; // inside DefineBinaryData
    Tags withoutEnd;
    withoutEnd.frameLabel("sample").showFrame();
    Tags pastEnd;
    pastEnd.frameLabel("sample").showFrame().raw(QByteArray("\x3F\x03\xFF\x00\x00\x00", 6));
    Tags stray = tags;
    stray.raw("\x01");

    QTest::newRow("FWS FileLength too large")
        << file(withLength(size + 100), tags, Compression::None) << 7
        << QStringList({"FileLength in the header is"});
    QTest::newRow("FWS FileLength too small")
        << file(withLength(size - 10), tags, Compression::None) << 7
        << QStringList({"FileLength in the header is"});
    QTest::newRow("CWS FileLength too large")
        << file(withLength(size + 100), tags, Compression::Zlib) << 7
        << QStringList({"not the " + QString::number(size + 100)});
    QTest::newRow("CWS FileLength too small") << file(withLength(size - 2), tags, Compression::Zlib)
                                              << 6 << QStringList({"more than the", "no End tag"});
    // A length past the cap is not believed: the data says where the body ends.
    for (const auto &[length, compression] :
         {std::pair(qint64(512) * 1024 * 1024 + 1, Compression::Zlib),
          std::pair(qint64(0xFFFFFFFF), Compression::Lzma),
          std::pair(qint64(0x80000000), Compression::None)}) {
        QTest::addRow("FileLength %lld, past the cap", length)
            << file(withLength(length), tags, compression) << 7
            << QStringList({QString("FileLength %1 is beyond the 512 MiB limit; reading what the "
                                    "stream holds, at most 536870912 bytes")
                                .arg(length)});
    }
    QTest::newRow("CWS FileLength 1")
        << file(withLength(1), tags, Compression::Zlib) << 0
        << QStringList({"more than the 1 bytes", "inside the movie header"});
    QTest::newRow("ZWS FileLength too small") << file(withLength(size - 2), tags, Compression::Lzma)
                                              << 6 << QStringList({"more than the", "no End tag"});
    QTest::newRow("CWS cut short") << brokenZlibFile({}, tags, cut, false) << 4
                                   << QStringList({"zlib stream is cut short", "claims 20006"});
    QTest::newRow("CWS corrupt") << brokenZlibFile({}, tags, cut, true) << 4
                                 << QStringList({"zlib data is corrupt", "claims 20006"});
    // A body zlib shrinks well is inflated in one go when the file's size is
    // known; anything unusual goes back to streaming, with the same result.
    const Tags packed = sampleTags(testPattern(100, 50, 7));
    QTest::newRow("packed CWS FileLength too large")
        << file(withLength(size + 100), packed, Compression::Zlib) << 7
        << QStringList({"not the " + QString::number(size + 100)});
    QTest::newRow("packed CWS FileLength too small")
        << file(withLength(size - 2), packed, Compression::Zlib) << 6
        << QStringList({"more than the", "no End tag"});
    QTest::newRow("packed CWS cut short")
        << brokenZlibFile({}, packed, cut, false) << 4
        << QStringList({"zlib stream is cut short", "claims 20006"});
    QTest::newRow("packed CWS corrupt") << brokenZlibFile({}, packed, cut, true) << 4
                                        << QStringList({"zlib data is corrupt", "claims 20006"});
    const QByteArray lzma = file({}, tags, Compression::Lzma);
    QTest::newRow("ZWS cut short") << lzma.left(lzma.size() - 10000) << 4
                                   << QStringList({"LZMA stream is cut short", "claims 20006"});
    QTest::newRow("tag past the end") << file({}, pastEnd, Compression::None) << 2
                                      << QStringList({"tag 12 at offset 32 claims 255 bytes"});
    QTest::newRow("no End tag") << file({}, withoutEnd, Compression::Zlib) << 2
                                << QStringList({"no End tag"});
    QTest::newRow("stray byte") << file({}, stray, Compression::None) << 7
                                << QStringList({"1 byte at offset"});
}

void TestSwfXmlCli::brokenFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, tagCount);
    QFETCH(QStringList, messages);
    QVERIFY(!bytes.isEmpty());
    const QString swf = write("broken.swf", bytes);
    const Run r = run({"swf2xml", swf, "stdout"});
    QCOMPARE(r.exitCode, 0);
    const QString problem = xmlcheck::problem(r.out);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QDomDocument doc;
    QVERIFY(doc.setContent(r.out));
    QCOMPARE(xmlcheck::elements(xmlcheck::tagsElement(doc)).size(), tagCount);

    const auto lines = r.errLines();
    QCOMPARE(lines.size(), messages.size());
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines[i].startsWith(("swfxml: " + swf + ": warning: ").toUtf8()),
                 lines[i].constData());
        QVERIFY2(lines[i].contains(messages[i].toUtf8()), lines[i].constData());
    }

    // Read from a pipe, whose size isn't known, the body is decompressed as
    // it streams in rather than in one go: the same document and warnings.
    const Run piped =
        run({"-c", "cat \"$1\" | exec \"$0\" swf2xml /dev/stdin stdout", program(), swf},
            QStringLiteral("/bin/sh"));
    QCOMPARE(piped.exitCode, 0);
    QCOMPARE(piped.out, r.out);
    QCOMPARE(piped.err, QByteArray(r.err).replace(swf.toUtf8(), "/dev/stdin"));

    // With standard error closed the warnings go nowhere, not into the
    // document that takes its descriptor.
    const QString xml = dir.filePath("broken.xml");
    const Run closed = run({"-c", "exec \"$0\" swf2xml \"$1\" \"$2\" 2>&-", program(), swf, xml},
                           QStringLiteral("/bin/sh"));
    QCOMPARE(closed.exitCode, 0);
    QFile document(xml);
    QVERIFY(document.open(QIODevice::ReadOnly));
    QCOMPARE(document.readAll(), r.out);
}

void TestSwfXmlCli::outputErrors()
{
    const QString swf = write("out.swf", file({}, sampleTags(), Compression::Zlib));

    // A full disk.
    Run r = run({"swf2xml", swf, "/dev/full"});
    QCOMPARE(r.exitCode, 3);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.contains("/dev/full: write error: No space left on device"), r.err.constData());
    QVERIFY(QFile::exists("/dev/full"));

    // A folder that does not exist.
    const QString missing = dir.filePath("no/such/dir/out.xml");
    r = run({"swf2xml", swf, missing});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains("can't create"), r.err.constData());

    // Standard output full, closed, or a pipe whose reader has gone.
    const QString sh = QStringLiteral("/bin/sh");
    const QString exe = program();
    r = run({"-c", "exec \"$0\" swf2xml \"$1\" stdout >/dev/full", exe, swf}, sh);
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains("standard output: write error"), r.err.constData());
    r = run({"-c", "exec \"$0\" swf2xml \"$1\" stdout >&-", exe, swf}, sh);
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains("standard output: write error"), r.err.constData());

    // The reader takes one byte and leaves while a megabyte is still coming.
    Tags big;
    big.binaryData(1, randomBytes(1 << 20, 5)).end();
    const QString bigSwf = write("big.swf", file({}, big, Compression::None));

    // A file that fills the disk (a file size limit stands in for it) leaves
    // the earlier document as it was, and nothing beside it.
    QDir outDir(dir.filePath("kept"));
    QVERIFY(outDir.mkpath("."));
    const QString kept = outDir.filePath("out.xml");
    QVERIFY(run({"swf2xml", swf, kept}).exitCode == 0);
    const auto contents = [&kept] {
        QFile f(kept);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray earlier = contents();
    QVERIFY(!earlier.isEmpty());
    r = run(
        {"-c", "trap '' XFSZ; ulimit -f 64; exec \"$0\" swf2xml \"$1\" \"$2\"", exe, bigSwf, kept},
        sh);
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains("out.xml: write error: File too large"), r.err.constData());
    QVERIFY2(!r.err.contains("warning"), r.err.constData()); // the file is whole
    QCOMPARE(contents(), earlier);
    QCOMPARE(outDir.entryList(QDir::Files | QDir::Hidden), QStringList({"out.xml"}));
    r = run({"-c", "(\"$0\" swf2xml \"$1\" stdout; echo \"exit $?\" >&2) | head -c 1 >/dev/null",
             exe, bigSwf},
            sh);
    QVERIFY2(r.err.contains("standard output: write error: Broken pipe"), r.err.constData());
    QVERIFY2(r.err.endsWith("exit 3\n"), r.err.constData());

    // The input named as the output is left as it was.
    QCOMPARE(run({"swf2xml", swf, swf}).exitCode, 3);
    QCOMPARE(QFile(swf).size(), file({}, sampleTags(), Compression::Zlib).size());
    // Named by the file standard output appends to, the document goes after
    // what the file holds.
    const QString log = write("log", "earlier\n");
    r = run({"-c", "exec \"$0\" swf2xml \"$1\" /dev/stdout >>\"$2\"", exe, swf, log}, sh);
    QCOMPARE(r.exitCode, 0);
    QFile logged(log);
    QVERIFY(logged.open(QIODevice::ReadOnly));
    QCOMPARE(logged.readLine(), QByteArray("earlier\n"));
    QVERIFY(logged.readLine().startsWith("<?xml"));
}

QTEST_GUILESS_MAIN(TestSwfXmlCli)
#include "tst_swfxml_cli.moc"
