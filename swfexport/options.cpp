#include "swfexport/options.h"

#include <optional>

namespace
{

// Largest -j accepted: more threads than this only cost memory.
constexpr int kMaxJobs = 256;

ParsedCommandLine failure(const QString &error)
{
    ParsedCommandLine parsed;
    parsed.error = error;
    return parsed;
}

bool parseJobs(const QString &text, int &jobs)
{
    bool ok = false;
    jobs = text.toInt(&ok, 10);
    return ok && jobs >= 1 && jobs <= kMaxJobs;
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    ParsedCommandLine parsed;
    parsed.action = ParsedCommandLine::Action::Run;
    ExportOptions &options = parsed.options;
    QStringList positional;
    bool optionsEnded = false;

    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (optionsEnded || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            positional.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        // An option's value: "--name=VALUE", "-jVALUE", or the next argument.
        const auto value = [&](qsizetype attached) -> std::optional<QString> {
            if (attached >= 0)
                return arg.mid(attached);
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments.at(++i);
        };
        if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype equals = arg.indexOf(QLatin1Char('='));
            const QString name = equals < 0 ? arg : arg.left(equals);
            const qsizetype attached = equals < 0 ? -1 : equals + 1;
            if (name == QLatin1String("--help") || name == QLatin1String("--version") ||
                name == QLatin1String("--recursive") || name == QLatin1String("--flat") ||
                name == QLatin1String("--quiet")) {
                if (equals >= 0)
                    return failure(QStringLiteral("option '%1' takes no value").arg(name));
                if (name == QLatin1String("--help"))
                    parsed.action = ParsedCommandLine::Action::Help;
                else if (name == QLatin1String("--version") &&
                         parsed.action != ParsedCommandLine::Action::Help)
                    parsed.action = ParsedCommandLine::Action::Version;
                else if (name == QLatin1String("--recursive"))
                    options.recursive = true;
                else if (name == QLatin1String("--flat"))
                    options.flat = true;
                else if (name == QLatin1String("--quiet"))
                    options.quiet = true;
            } else if (name == QLatin1String("--jobs")) {
                const std::optional<QString> v = value(attached);
                if (!v)
                    return failure(QStringLiteral("option '--jobs' needs a number"));
                if (!parseJobs(*v, options.jobs))
                    return failure(
                        QStringLiteral("--jobs takes a whole number from 1 to %1, not '%2'")
                            .arg(kMaxJobs)
                            .arg(*v));
            } else if (name == QLatin1String("--json")) {
                const std::optional<QString> v = value(attached);
                if (!v || v->isEmpty())
                    return failure(QStringLiteral("option '--json' needs a file name (or '-')"));
                options.reportPath = *v;
            } else {
                return failure(QStringLiteral("unknown option '%1'").arg(name));
            }
            continue;
        }
        // Short options, which may be grouped ("-rq", "-j4").
        for (qsizetype k = 1; k < arg.size(); ++k) {
            const QChar c = arg.at(k);
            if (c == QLatin1Char('r')) {
                options.recursive = true;
            } else if (c == QLatin1Char('q')) {
                options.quiet = true;
            } else if (c == QLatin1Char('h')) {
                parsed.action = ParsedCommandLine::Action::Help;
            } else if (c == QLatin1Char('j')) {
                const std::optional<QString> v = value(k + 1 < arg.size() ? k + 1 : -1);
                if (!v)
                    return failure(QStringLiteral("option '-j' needs a number"));
                if (!parseJobs(*v, options.jobs))
                    return failure(QStringLiteral("-j takes a whole number from 1 to %1, not '%2'")
                                       .arg(kMaxJobs)
                                       .arg(*v));
                break;
            } else {
                return failure(QStringLiteral("unknown option '-%1'").arg(c));
            }
        }
    }

    if (parsed.action != ParsedCommandLine::Action::Run)
        return parsed;
    if (positional.size() < 2)
        return failure(positional.isEmpty()
                           ? QStringLiteral("missing INPUT and OUTDIR")
                           : QStringLiteral("missing OUTDIR (the last argument names the folder "
                                            "the images go into)"));
    options.outputFolder = positional.takeLast();
    // "out/" names the folder "out": the paths made in it say so once.
    while (options.outputFolder.size() > 1 && options.outputFolder.endsWith(u'/'))
        options.outputFolder.chop(1);
    options.inputs = positional;
    for (const QString &input : std::as_const(options.inputs)) {
        if (input.isEmpty())
            return failure(QStringLiteral("empty INPUT name"));
    }
    if (options.outputFolder.isEmpty())
        return failure(QStringLiteral("empty OUTDIR name"));
    return parsed;
}

QString helpText()
{
    return QStringLiteral(
        "Usage: swfexport [options] INPUT... OUTDIR\n"
        "\n"
        "Writes the named 32-bit bitmaps of SWF files as PNG images, the way the\n"
        "window's \"Dump All Resources\" does, on every core.\n"
        "\n"
        "  INPUT           an SWF file, or a folder: its files whose names end in\n"
        "                  \".swf\" (lower case), in the order the window lists them\n"
        "                  (by name, ignoring case)\n"
        "  OUTDIR          the folder the images go into; made if it doesn't exist\n"
        "\n"
        "Options:\n"
        "  -j, --jobs N    files and images handled at once, 1 to 256 (default:\n"
        "                  SWF_JOBS, or the number of cores)\n"
        "  -r, --recursive take the subfolders of a folder INPUT too (after its own\n"
        "                  files, each in name order)\n"
        "  --flat          every image straight into OUTDIR (default: one folder per\n"
        "                  file, named after its frame label)\n"
        "  --json FILE     write a report to FILE (\"-\": standard output): for every\n"
        "                  input file its label, outcome, output folder, the images\n"
        "                  written and those that failed, with reasons, and the\n"
        "                  converter's warnings about a file read only in part;\n"
        "                  it never replaces an SWF file or an input\n"
        "  -q, --quiet     no progress, no summary, no line for a skipped file;\n"
        "                  failures are still named\n"
        "  -h, --help      show this help and exit\n"
        "  --version       show the version and exit\n"
        "\n"
        "What is written: each file's named format-5 lossless bitmaps\n"
        "(DefineBitsLossless2), as NAME.png in true colours. A file is read from its\n"
        "first FrameLabel and its first SymbolClass; a file whose label was already\n"
        "seen earlier in the run is skipped, as the window lists only the first;\n"
        "a line names each file skipped and why. Names ending in \".SWF\" or\n"
        "another case than \".swf\" are not taken, as in the window; a line names\n"
        "them.\n"
        "Names are made safe for any disk (FAT, exFAT, NTFS included): '/', '\\',\n"
        "':', '*', '?', '\"', '<', '>', '|' and control characters become '_', as\n"
        "does a last '.' or ' '; a name is cut to 230 bytes; an empty name, or a\n"
        "device name of Windows (CON, NUL, COM1...), gets a '_' in front. Label\n"
        "folders are named the same way; when two labels give the same folder\n"
        "name, or names that only differ in case, the later gets \" (2)\",\n"
        "\" (3)\"... Two images with the same name in one folder leave the one\n"
        "that comes later in the file; two names made the same only by making\n"
        "them safe (\"a/b\", \"a_b\"), or differing only in case (\"Star\",\n"
        "\"star\"), keep a file each, the later with \" (2)\", \" (3)\"... Images\n"
        "are written whole or not at all.\n"
        "\n"
        "Progress: when standard error is a terminal, one line there shows files\n"
        "done of all, images written, failures and the time taken; at the end one\n"
        "summary line. Failures are named on standard error either way.\n"
        "\n"
        "Memory: at most N images are decoded at once, and at most 512 MiB of\n"
        "decoded pixels are in flight.\n"
        "\n"
        "Ctrl-C stops handing out work; the images being written are finished or\n"
        "dropped whole, and the program exits with 130. A second Ctrl-C ends it at\n"
        "once. SIGTERM does the same, and the program exits with 143; so does a\n"
        "hangup (SIGHUP: the terminal closed), with 129. A full disk (or quota)\n"
        "stops the run the same way, with 1.\n"
        "\n"
        "Exit status: 0 when every image was written; 1 when some file or image\n"
        "failed (each is named on standard error and in the report); 2 for a wrong\n"
        "command line, an OUTDIR that can't be made or written into, or a report\n"
        "that can't be written or would replace an SWF file or an input (all found\n"
        "before any work); 130 after Ctrl-C, 143 after SIGTERM, 129 after SIGHUP.\n"
        "\n"
        "Environment: SWF_JOBS (1 to 64) is the default of --jobs;\n"
        "SWF_MAX_CONVERTER_OUTPUT lowers the cap (1 GiB) on the document one file\n"
        "may convert to. A value that can't be taken is named in a warning.\n");
}
