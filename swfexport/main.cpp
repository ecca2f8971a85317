// swfexport: writes the named bitmaps of SWF files as PNG images, the
// window's "Dump All Resources" from the command line. See --help.

#include "swf/folderlisting.h"
#include "swfexport/exportrun.h"
#include "swfexport/options.h"
#include "swfxml/stdstreams.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // Standard error or output read by a program that quits early (`| head`,
    // a pager) must cost the lines, never the export: writes to it fail
    // instead, and the run goes on.
    std::signal(SIGPIPE, SIG_IGN);
    const bool outputClosed = ::fcntl(STDOUT_FILENO, F_GETFD) < 0;
    for (int fd = 0; fd <= 2; ++fd) {
        if (!swfxml::holdClosedDescriptor(fd))
            return kExitUsage;
    }
    QCoreApplication app(argc, argv);
    const ParsedCommandLine parsed = parseCommandLine(QCoreApplication::arguments());
    switch (parsed.action) {
    case ParsedCommandLine::Action::Help:
        std::fputs(helpText().toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 && !outputClosed ? 0 : kExitUsage;
    case ParsedCommandLine::Action::Version:
        std::printf("swfexport %s\n", SWFEXPORT_VERSION);
        return std::fflush(stdout) == 0 && !outputClosed ? 0 : kExitUsage;
    case ParsedCommandLine::Action::Error:
        std::fprintf(stderr,
                     "swfexport: %s\nUsage: swfexport [options] INPUT... OUTDIR\n"
                     "Try 'swfexport --help' for more information.\n",
                     parsed.error.toLocal8Bit().constData());
        return kExitUsage;
    case ParsedCommandLine::Action::Run:
        break;
    }
    ExportOptions options = parsed.options;
    options.standardOutputClosed = outputClosed;
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        if (isValidUtf8(bytes))
            continue;
        options.undecodableArguments.insert(QString::fromLocal8Bit(bytes), readableFileName(bytes));
        // The report's path given in the same argument.
        if (const QByteArray option("--json="); bytes.startsWith(option)) {
            const QByteArray path = bytes.mid(option.size());
            options.undecodableArguments.insert(QString::fromLocal8Bit(path),
                                                readableFileName(path));
        }
    }
    ExportRun run(options);
    return run.exec();
}
