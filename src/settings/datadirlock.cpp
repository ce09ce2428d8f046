#include "datadirlock.h"

#include <QDir>
#include <QSysInfo>

const char *const DataDirLock::fileName = "varnel.lock";

DataDirLock::DataDirLock(const QString &dataDir)
    : m_dataDir(dataDir), m_lock(QDir(dataDir).filePath(QLatin1String(fileName)))
{
    // A harvest runs for days: only a holder that is gone makes the lock stale, never age.
    m_lock.setStaleLockTime(0);
}

bool DataDirLock::tryLock()
{
    if (m_lock.isLocked())
        return true;
    const QString folder = QDir::toNativeSeparators(m_dataDir);
    // The holder may let go between the attempt and the look at who it is: one more try.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_lock.tryLock(0)) {
            m_error.clear();
            return true;
        }
        if (m_lock.error() != QLockFile::LockFailedError) {
            m_error = QStringLiteral("The lock file %1 cannot be created in the data folder.")
                          .arg(QDir::toNativeSeparators(m_lock.fileName()));
            return false;
        }
        qint64 pid = 0;
        QString host;
        QString program;
        if (!m_lock.getLockInfo(&pid, &host, &program))
            continue;
        if (program.isEmpty())
            program = QStringLiteral("another program");
        const QString where = host.isEmpty() || host == QSysInfo::machineHostName()
                                  ? QString()
                                  : QStringLiteral(" on %1").arg(host);
        m_error = QStringLiteral("The data folder %1 is in use by %2 (process %3%4). Only one "
                                 "program at a time can harvest in a data folder: close that one "
                                 "first, or use another folder with --data-dir.")
                      .arg(folder, program, QString::number(pid), where);
        return false;
    }
    m_error = QStringLiteral("The data folder %1 is in use by another program.").arg(folder);
    return false;
}
