// swfxml: writes the XML description of an SWF file.
//
//   swfxml swf2xml FILE stdout     document on standard output
//   swfxml swf2xml FILE OUT.xml    document in OUT.xml

#include "swfxml/stdstreams.h"
#include "swfxml/swfconvert.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int kExitInput = 1;  // the file can't be read or converted
constexpr int kExitUsage = 2;  // wrong command line
constexpr int kExitOutput = 3; // the document could not be written

const char kUsage[] = "usage: swfxml swf2xml FILE stdout|OUT.xml\n";

void printHelp()
{
    std::printf("Usage: swfxml swf2xml FILE stdout\n"
                "       swfxml swf2xml FILE OUT.xml\n"
                "\n"
                "Writes one XML document describing the SWF file FILE (FWS, CWS/zlib or\n"
                "ZWS/LZMA) to standard output, or to OUT.xml.\n"
                "\n"
                "Every tag of the file is written in file order, tags after End included.\n"
                "FrameLabel, SymbolClass, ExportAssets (as Export), DefineBitsLossless,\n"
                "DefineBitsLossless2, DefineBinaryData, DefineSprite, ShowFrame and End get\n"
                "their own elements; any other tag becomes an UnknownTag holding its code\n"
                "and its bytes in base64.\n"
                "\n"
                "Limits: at most %u MiB of a file is read. A compressed body is decompressed\n"
                "up to FileLength and no further; a FileLength beyond that limit is not\n"
                "believed: the body is what the data holds, up to the limit, with a warning.\n"
                "Sprites nested more than %d deep are written as UnknownTag.\n"
                "\n"
                "A file that is readable but broken further on (wrong FileLength, cut-short\n"
                "data, a tag running past the end) is converted as far as it can be read;\n"
                "what was wrong is said on standard error.\n"
                "\n"
                "Options:\n"
                "  -h, --help     show this help and exit\n"
                "  --version      show the version and exit\n"
                "\n"
                "Exit status: 0 when a document was written, %d when FILE can't be read or\n"
                "isn't an SWF file, %d for a wrong command line, %d when the document could\n"
                "not be written.\n",
                unsigned(swfxml::kMaxFileLength >> 20), swfxml::kMaxSpriteDepth, kExitInput,
                kExitUsage, kExitOutput);
}

int usageError(const char *message, const char *argument)
{
    std::fprintf(stderr, "swfxml: %s%s%s%s\n", message, argument ? " '" : "",
                 argument ? argument : "", argument ? "'" : "");
    std::fputs(kUsage, stderr);
    std::fputs("Try 'swfxml --help' for more information.\n", stderr);
    return kExitUsage;
}

class FdSink : public swfxml::Sink
{
public:
    explicit FdSink(int fd) : fd(fd) {}
    bool write(const char *data, std::size_t size) override
    {
        while (size > 0) {
            const ssize_t n = ::write(fd, data, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                error = errno;
                return false;
            }
            data += n;
            size -= std::size_t(n);
        }
        return true;
    }
    int error = 0;

private:
    int fd;
};

// The document being written beside OUT.xml, removed if a signal ends the
// program before it is put in place.
char pendingPath[4096];

extern "C" void removePending(int signal)
{
    if (pendingPath[0] != '\0')
        ::unlink(pendingPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// A document for OUT.xml is written into a new file beside it and renamed
// over it once whole and on the disk, so that OUT.xml is never cut short and
// an earlier OUT.xml survives a failed write. Anything but a file (a link, a
// device such as /dev/full, a pipe), and a file in a folder that takes no
// new file, is written in place.
class FileOutput
{
public:
    explicit FileOutput(const char *path) : path(path) {}
    FileOutput(const FileOutput &) = delete;
    FileOutput &operator=(const FileOutput &) = delete;
    // Drops a document that wasn't put in place.
    ~FileOutput()
    {
        if (fd >= 0)
            ::close(fd);
        if (pendingPath[0] != '\0')
            ::unlink(pendingPath);
        pendingPath[0] = '\0';
    }

    // The descriptor to write to, or -1 with errno set.
    int open()
    {
        struct stat existing {
        };
        const bool exists = ::lstat(path, &existing) == 0;
        if (exists && !S_ISREG(existing.st_mode))
            return fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        const char *slash = std::strrchr(path, '/');
        const std::string temporary =
            std::string(path, slash ? std::size_t(slash - path + 1) : 0) + ".swfxml-XXXXXX";
        if (temporary.size() >= sizeof pendingPath) {
            errno = ENAMETOOLONG;
            return -1;
        }
        // An existing OUT.xml that may not be written isn't replaced either.
        if (exists && ::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0)
            return -1;
        std::memcpy(pendingPath, temporary.c_str(), temporary.size() + 1);
        // Every signal that ends the program by default, but those it was
        // started with ignored (`nohup`, a script's background job): they
        // stay ignored.
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2,
                                 SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF}) {
            if (!swfxml::signalIgnored(signal))
                std::signal(signal, removePending);
        }
        fd = ::mkostemp(pendingPath, O_CLOEXEC);
        if (fd < 0) {
            // A folder that takes no new file may still let OUT.xml be
            // written over.
            pendingPath[0] = '\0';
            if (exists)
                fd = ::open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
            return fd;
        }
        mode_t mode = existing.st_mode & 07777;
        if (!exists) {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ::fchmod(fd, mode);
        return fd;
    }

    // Ends a whole document: false, with errno set, when it can't be kept.
    bool commit()
    {
        const bool replacing = pendingPath[0] != '\0';
        bool done = !replacing || ::fsync(fd) == 0;
        const int closed = ::close(std::exchange(fd, -1));
        done = done && closed == 0;
        if (done && replacing)
            done = ::rename(pendingPath, path) == 0;
        if (done)
            pendingPath[0] = '\0';
        return done;
    }

private:
    const char *path;
    int fd = -1;
};

int convertFile(const char *input, const char *output)
{
    const bool toStdout = std::strcmp(output, "stdout") == 0;
    struct stat source {
    };
    struct stat target {
    };
    if (!toStdout && ::stat(input, &source) == 0 && S_ISREG(source.st_mode) &&
        ::stat(output, &target) == 0 && swfxml::sameFile(source, target)) {
        std::fprintf(stderr, "swfxml: %s: is the input file; not written\n", output);
        return kExitOutput;
    }

    const swfxml::Warn warn = [input](const char *message) {
        std::fprintf(stderr, "swfxml: %s: warning: %s\n", input, message);
    };
    swfxml::Movie movie;
    std::string error;
    if (!swfxml::loadFile(input, movie, &error, warn)) {
        std::fprintf(stderr, "swfxml: %s: %s\n", input, error.c_str());
        return kExitInput;
    }

    // The output is opened only once the file has been read, so that a
    // refused file leaves nothing behind.
    const char *outputName = toStdout ? "standard output" : output;
    std::optional<FileOutput> file;
    int out = toStdout ? STDOUT_FILENO : swfxml::standardDescriptorAt(output);
    if (out < 0) {
        out = file.emplace(output).open();
        if (out < 0) {
            std::fprintf(stderr, "swfxml: %s: can't create: %s\n", output, std::strerror(errno));
            return kExitOutput;
        }
    } else if (toStdout) {
        // A pipe of 1 MiB rather than 64 KiB: the reader takes the document
        // in a sixteenth of the pieces. Refused (a user's pipe quota), the
        // pipe stays as it was.
        struct stat os {
        };
        if (::fstat(out, &os) == 0 && S_ISFIFO(os.st_mode))
            ::fcntl(out, F_SETPIPE_SZ, 1 << 20);
    }
    FdSink sink(out);
    if (!swfxml::writeXml(movie, sink, warn) || (file && !file->commit())) {
        // A file's unfinished document goes with `file`.
        std::fprintf(stderr, "swfxml: %s: write error: %s\n", outputName,
                     std::strerror(sink.error ? sink.error : errno));
        return kExitOutput;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // Standard output stays closed if it is: a document asked for there
    // can't be written, which is an error.
    if (!swfxml::holdClosedDescriptor(0) || !swfxml::holdClosedDescriptor(2))
        return kExitOutput;
    // A closed pipe on the output must be a write error, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    if (argc < 2)
        return usageError("missing command", nullptr);
    const char *command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        if (argc != 2)
            return usageError("--help takes no arguments", nullptr);
        printHelp();
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : kExitOutput;
    }
    if (std::strcmp(command, "--version") == 0) {
        if (argc != 2)
            return usageError("--version takes no arguments", nullptr);
        std::printf("swfxml %s\n", SWFXML_VERSION);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : kExitOutput;
    }
    if (command[0] == '-')
        return usageError("unknown option", command);
    if (std::strcmp(command, "swf2xml") != 0)
        return usageError("unknown command", command);
    if (argc != 4)
        return usageError(argc < 4 ? "swf2xml needs a FILE and an output (stdout or a file name)"
                                   : "too many arguments for swf2xml",
                          nullptr);
    if (argv[2][0] == '\0' || argv[3][0] == '\0')
        return usageError("empty file name", nullptr);
    return convertFile(argv[2], argv[3]);
}
