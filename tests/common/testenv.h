#pragma once

// Shared by the suites: a temporary data directory and the settings in test mode, so a
// test never touches a real user's data or options.

#include <QDir>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

namespace TestEnv {

inline void enterTestMode()
{
    QStandardPaths::setTestModeEnabled(true);
}

// A fresh temporary data directory below the build tree (or the system's temp folder).
inline QString tempRoot()
{
    const QString base = qEnvironmentVariable("VARNEL_TEST_TMP");
    if (!base.isEmpty()) {
        QDir().mkpath(base);
        return base;
    }
    return QDir::tempPath();
}

} // namespace TestEnv

// A data directory that lives as long as the object.
class TempDataDir
{
public:
    TempDataDir() : m_dir(TestEnv::tempRoot() + QStringLiteral("/varnel-XXXXXX")) {}
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};
