#include "datadir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace DataDir {

QString defaultPath()
{
    // The location does not depend on the QCoreApplication's names set by a test.
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(base).filePath(QStringLiteral("Quorvex Fax Varnel"));
}

bool ensure(const QString &dir, QString *error)
{
    QDir d(dir);
    if (!d.exists() && !QDir().mkpath(dir)) {
        if (error)
            *error = QStringLiteral("The data folder %1 cannot be created.")
                         .arg(QDir::toNativeSeparators(dir));
        return false;
    }
    QTemporaryFile probe(d.filePath(QStringLiteral(".write-test-XXXXXX")));
    if (!probe.open()) {
        if (error)
            *error = QStringLiteral("The data folder %1 is not writable.")
                         .arg(QDir::toNativeSeparators(dir));
        return false;
    }
    return true;
}

namespace {

QStringList sharedCandidates(const QString &relativeName)
{
    QStringList candidates;
    if (QCoreApplication::instance()) {
        const QString appDir = QCoreApplication::applicationDirPath();
        candidates << QDir(appDir).filePath(QStringLiteral("../share/quorvex-fax-varnel/") +
                                            relativeName);
    }
    candidates << QDir(QStringLiteral(VARNEL_SHARE_DIR)).filePath(relativeName);
    candidates << QDir(QStringLiteral(VARNEL_SOURCE_DIR "/resources")).filePath(relativeName);
    return candidates;
}

} // namespace

QString resource(const QString &dataDir, const QString &relativeName)
{
    QStringList candidates;
    if (!dataDir.isEmpty())
        candidates << QDir(dataDir).filePath(relativeName);
    candidates << sharedCandidates(relativeName);
    for (const QString &c : qAsConst(candidates)) {
        if (QFileInfo(c).isFile())
            return QDir::cleanPath(c);
    }
    return QString();
}

QString sharedFolder(const QString &relativeName)
{
    const QStringList candidates = sharedCandidates(relativeName);
    for (const QString &c : candidates) {
        if (QFileInfo(c).isDir())
            return QDir::cleanPath(c);
    }
    return QString();
}

} // namespace DataDir
