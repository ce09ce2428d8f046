#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <memory>

class QSettings;

// The per-user settings store: text values under the application "Quorvex Fax Varnel",
// section "Settings". Every write goes to disk at once. Owned by whoever builds the
// harvest (the session or a test); not thread-safe.
class SettingsStore
{
public:
    static const char *const applicationName; // "Quorvex Fax Varnel"
    static const char *const sectionName;     // "Settings"

    // iniPath empty: the per-user location (honours QStandardPaths test mode).
    explicit SettingsStore(const QString &iniPath = QString());
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // The settings file for a data directory given on the command line: such a
    // directory carries its own options, so that a test or a second profile never
    // touches the user's own.
    static QString iniPathForDataDir(const QString &dataDir);

    QString fileName() const;

    // GetSetting: the stored text, or def when the key is absent.
    QString read(const QString &key, const QString &def) const;
    // SaveSetting: write and flush at once.
    void write(const QString &key, const QString &value);
    // Several keys with one write of the file.
    void writeMany(const QList<QPair<QString, QString>> &values);

    // A stored value that is not a decimal integer, or lies outside [min, max],
    // reads as def: a damaged or hand-edited file never stops the program.
    int readInt(const QString &key, int def, int min, int max) const;
    qint32 readCounter(const QString &key) const; // >= 0, default 0

    // False when the last write could not reach the file.
    bool lastWriteOk() const { return m_lastWriteOk; }

private:
    std::unique_ptr<QSettings> m_settings;
    bool m_lastWriteOk = true;
};

// The keys outside the option table (options.h), each with its default.
namespace SettingKeys {
inline const char *const lHistEmailFound = "lHistEmailFound"; // 0
inline const char *const lHistWebScanned = "lHistWebScanned"; // 0
inline const char *const showHelp = "showHelp";               // "1"
} // namespace SettingKeys
