#pragma once

#include <QByteArrayView>
#include <QString>

// The working files the program rewrites in its data folder all the time (the page files,
// the discovery's page file). Their names are known, so anyone who can write into the folder
// could put a symbolic link, a pipe or a device there; page contents must never reach
// whatever such an entry points to, and a harvest must not hang on it.
namespace WorkingFile {

// Opens path for writing (O_WRONLY | O_CREAT plus extraFlags such as O_APPEND or O_TRUNC,
// mode 0644) without following a symbolic link. Anything in its place that is not a
// regular file, other than a folder, is removed and a new file made. Returns the open
// descriptor (close-on-exec, blocking) or -1 with errno set. sizeBefore, when given, gets
// the size the file had when it was opened (0 for a new one).
int openForWriting(const QString &path, int extraFlags = 0, qint64 *sizeBefore = nullptr);

// Writes every byte, retrying after signals. False on any failure (errno set).
bool writeAll(int fd, QByteArrayView bytes);

// Writes both parts one after the other, in one call where the system allows.
bool writeAll(int fd, QByteArrayView first, QByteArrayView second);

} // namespace WorkingFile
