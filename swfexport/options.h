#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// What the command line asks for.
struct ExportOptions {
    QStringList inputs; // SWF files and folders, in the order given
    QString outputFolder;
    int jobs = 0; // 0: one per core
    bool recursive = false;
    bool flat = false;
    QString reportPath; // empty: no report; "-": standard output
    bool quiet = false;
    // Arguments whose bytes aren't valid UTF-8 (inputs, OUTDIR, the
    // report's path), as arguments() decodes them, each with its readable
    // name (readableFileName()): no QString names such a file or folder, so
    // it can't be used.
    QHash<QString, QString> undecodableArguments;
    // Standard output was closed when the program started (it now holds
    // /dev/null): a report asked for there would be lost.
    bool standardOutputClosed = false;
};

// The outcome of reading the command line: options to run with, or a text
// to print and the exit status to end with.
struct ParsedCommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Error;
    ExportOptions options;
    QString error; // for Action::Error: one line, without the program name
};

// Reads `arguments` (the program name first, as in argv).
ParsedCommandLine parseCommandLine(const QStringList &arguments);

// The --help text.
QString helpText();
