#include "workingfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace WorkingFile {

int openForWriting(const QString &path, int extraFlags, qint64 *sizeBefore)
{
    const QByteArray name = QFile::encodeName(path);
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | extraFlags;
    struct stat st;
    if (::lstat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        // A link, a pipe or a device: replaced by a file of our own. O_EXCL fails, rather
        // than follows, if another link appears in between.
        if (::unlink(name.constData()) != 0 && errno != ENOENT)
            return -1;
        if (sizeBefore)
            *sizeBefore = 0;
        return ::open(name.constData(), flags | O_EXCL, 0644);
    }
    // Non-blocking, so that a pipe put there since the look above fails instead of waiting
    // for a reader; whatever is not a regular file then is refused.
    const int fd = ::open(name.constData(), flags | O_NONBLOCK, 0644);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    // O_NONBLOCK means nothing for a regular file, which is all that is left here; clearing
    // it would cost two more calls on every page.
    if (sizeBefore)
        *sizeBefore = qint64(st.st_size);
    return fd;
}

bool writeAll(int fd, QByteArrayView bytes)
{
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

bool writeAll(int fd, QByteArrayView first, QByteArrayView second)
{
    struct iovec parts[2] = {{const_cast<char *>(first.data()), size_t(first.size())},
                             {const_cast<char *>(second.data()), size_t(second.size())}};
    ssize_t n;
    do {
        n = ::writev(fd, parts, 2);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return false;
    // A short write (a full disk, a signal) goes on part by part.
    const qsizetype done = qsizetype(n);
    if (done < first.size())
        return writeAll(fd, first.sliced(done)) && writeAll(fd, second);
    return writeAll(fd, second.sliced(done - first.size()));
}

} // namespace WorkingFile
