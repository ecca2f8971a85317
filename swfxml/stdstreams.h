#pragma once

#include <csignal>
#include <initializer_list>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace swfxml
{

// Started with standard input, output or error closed (by a daemon, or
// `2>&-`), a program's own descriptors would take their numbers, and its
// messages would go into them: into a document being written, say. This
// puts /dev/null in descriptor `fd` if it is closed. False when that fails.
inline bool holdClosedDescriptor(int fd)
{
    if (::fcntl(fd, F_GETFD) >= 0)
        return true;
    const int null = ::open("/dev/null", O_RDWR);
    if (null < 0)
        return false;
    if (null == fd)
        return true;
    // A lower descriptor was closed too and took /dev/null.
    const bool moved = ::dup2(null, fd) == fd;
    ::close(null);
    return moved;
}

// Whether `signal` is ignored, as a program started by `nohup` or as a
// script's background job finds SIGHUP or SIGINT: such a signal is left
// ignored, as its starter asked.
inline bool signalIgnored(int signal)
{
    struct sigaction current {
    };
    return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

inline bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Standard output or error when `path` names the file one of them writes to
// ("/dev/stdout", ">> log"), so that what is written there goes after what
// the file holds, through the descriptor, rather than replacing it; else -1.
inline int standardDescriptorAt(const char *path)
{
    struct stat named {
    };
    if (::stat(path, &named) != 0)
        return -1;
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat open {
        };
        if (::fstat(fd, &open) == 0 && sameFile(open, named))
            return fd;
    }
    return -1;
}

} // namespace swfxml
