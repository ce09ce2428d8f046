#include "pagefiles.h"

#include "workingfile.h"

#include <QDir>

#include <unistd.h>

namespace {

QString pageFile(const QString &dataDir, const char *stem, int slot)
{
    const QString number = QString::number(slot);
    const QString name =
        slot >= 0 && slot <= 9
            ? QLatin1String(stem) + number + QLatin1String(".txt")
            : QLatin1String(stem) + QLatin1Char('-') + number + QLatin1String(".txt");
    return QDir(dataDir).filePath(name);
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
    qint64 before = 0;
    const int fd = WorkingFile::openForWriting(path, 0, &before);
    if (fd < 0)
        return false;
    // Cut to length after writing rather than emptied at open: no moment with an empty file,
    // and nothing to cut when the new page is no shorter than the old one.
    const qint64 length = text.size() + suffix.size();
    bool ok = WorkingFile::writeAll(fd, text, suffix);
    ok = ok && (before <= length || ::ftruncate(fd, off_t(length)) == 0);
    return ::close(fd) == 0 && ok;
}
