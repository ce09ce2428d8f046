#include "settingsstore.h"

#include <QDir>
#include <QSettings>

const char *const SettingsStore::applicationName = "Quorvex Fax Varnel";
const char *const SettingsStore::sectionName = "Settings";

SettingsStore::SettingsStore(const QString &iniPath)
{
    if (iniPath.isEmpty()) {
        m_settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                 QString::fromLatin1(applicationName),
                                                 QString::fromLatin1(applicationName));
    } else {
        m_settings = std::make_unique<QSettings>(iniPath, QSettings::IniFormat);
    }
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::iniPathForDataDir(const QString &dataDir)
{
    return QDir(dataDir).filePath(QStringLiteral("settings.ini"));
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

static QString fullKey(const QString &key)
{
    return QString::fromLatin1(SettingsStore::sectionName) + QLatin1Char('/') + key;
}

QString SettingsStore::read(const QString &key, const QString &def) const
{
    const QVariant v = m_settings->value(fullKey(key));
    if (!v.isValid())
        return def;
    return v.toString();
}

void SettingsStore::write(const QString &key, const QString &value)
{
    m_settings->setValue(fullKey(key), value);
    m_settings->sync();
    m_lastWriteOk = m_settings->status() == QSettings::NoError;
}

void SettingsStore::writeMany(const QList<QPair<QString, QString>> &values)
{
    for (const auto &kv : values)
        m_settings->setValue(fullKey(kv.first), kv.second);
    m_settings->sync();
    m_lastWriteOk = m_settings->status() == QSettings::NoError;
}

int SettingsStore::readInt(const QString &key, int def, int min, int max) const
{
    const QString text = read(key, QString::number(def)).trimmed();
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < min || v > max)
        return def;
    return int(v);
}

qint32 SettingsStore::readCounter(const QString &key) const
{
    return readInt(key, 0, 0, 2147483647);
}
