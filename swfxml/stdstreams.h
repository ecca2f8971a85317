#pragma once

#include <fcntl.h>
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

} // namespace swfxml
