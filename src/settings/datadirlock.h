#pragma once

#include <QLockFile>
#include <QString>

// One harvesting program at a time in a data folder: the window and `varnel-tool harvest`
// hold this lock for as long as they run, because a second one would empty the first one's
// queue at its start. The lock is the file "varnel.lock" in the folder. A lock left behind
// by a program that ended without releasing it (a crash, a kill, a reboot) is taken over.
class DataDirLock
{
public:
    explicit DataDirLock(const QString &dataDir);

    // True when this program holds the folder now (or already did). Otherwise
    // errorString() names the program that holds it, or why the lock file cannot be made.
    bool tryLock();
    QString errorString() const { return m_error; }

    static const char *const fileName; // "varnel.lock"

private:
    QString m_dataDir;
    QLockFile m_lock;
    QString m_error;
};
