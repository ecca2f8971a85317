#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// How the program talks to its SWF-to-XML converter: the program, its
// command line, the output cap and the words of its failures, in one place.
// ConversionJob runs it.
namespace Converter
{

// The program name the tool was designed around; a converter of that name on
// the search path wins over everything else.
inline const QString kPreferredProgram = QStringLiteral("swfmill.exe");
// Fallback name of the upstream converter on the search path.
inline const QString kFallbackProgram = QStringLiteral("swfmill");

// Title of every converter error box.
inline const QString kErrorTitle = QStringLiteral("Error Converting SWF");
// Text shown when the converter ends with an exit code other than 0.
inline const QString kAbnormalExitText = QStringLiteral("swfmill terminated abnormally");

// Largest amount of standard output accepted from one run (1 GiB). A run that
// writes more is killed, so a runaway converter can't exhaust memory.
constexpr qint64 kMaxOutputBytes = qint64(1) << 30;

// The cap in force: kMaxOutputBytes, or the byte count given by the
// environment variable SWF_MAX_CONVERTER_OUTPUT when it holds a positive
// number no larger than kMaxOutputBytes. Read once, at the first call; it
// lets tests reach the cap without writing a gigabyte.
qint64 maxOutputBytes();

// Name of the converter executable that ships with the application.
QString bundledProgramName();

// The program to start: "swfmill.exe" on the search path, else the bundled
// converter beside the application binary, else "swfmill" on the search path.
// When none exists the result is "swfmill.exe", whose start then fails.
// The answer is kept for as long as PATH keeps its value: a converter put on
// the same search path later is found once PATH changes.
QString program();
// The same lookup, made afresh, for an application installed in
// `applicationDir`.
QString program(const QString &applicationDir);

// Arguments for converting `file` to XML on standard output.
QStringList arguments(const QString &file);

// Starts `process` on `file` (read-only; standard error is left alone).
void start(QProcess &process, const QString &file);

// Detail line of an error() report: "swfmill failed to start." for a start
// failure, "unknown error" for anything else.
QString errorDetail(QProcess::ProcessError error);

// Text of the error box for an error() report while converting `file`.
QString errorText(const QString &file, QProcess::ProcessError error);

// Appends what `process` has on standard output to `buffer`. Once the buffer
// would exceed `limit` it is emptied, the process killed and false returned.
bool collectOutput(QProcess &process, QByteArray &buffer, qint64 limit = maxOutputBytes());

// Empties a buffer and gives its storage back.
void releaseBuffer(QByteArray &buffer);

} // namespace Converter
