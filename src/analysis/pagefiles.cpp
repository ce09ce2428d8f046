#include "pagefiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString pageFile(const QString &dataDir, const char *stem, int slot)
{
    return QDir(dataDir).filePath(QLatin1String(stem) + QString::number(slot) +
                                  QLatin1String(".txt"));
}

} // namespace

QString pageFile1(const QString &dataDir, int slot)
{
    return pageFile(dataDir, "html", slot);
}

QString pageFile2(const QString &dataDir, int slot)
{
    return pageFile(dataDir, "html2", slot);
}

bool writePageFile(const QString &path, QByteArrayView text, QByteArrayView suffix)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    auto writeAll = [fd](QByteArrayView bytes) {
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
    };
    bool ok = writeAll(text) && writeAll(suffix);
    ok = ok && ::ftruncate(fd, off_t(text.size() + suffix.size())) == 0;
    return ::close(fd) == 0 && ok;
}
