#include "globals.h"

#include "settingsstore.h"

#include <limits>

static void bump(qint32 &counter)
{
    if (counter < std::numeric_limits<qint32>::max())
        ++counter;
}

static constexpr int kWriteIntervalMs = 1000;

Counters::Counters(SettingsStore *settings, QObject *parent) : QObject(parent), m_settings(settings)
{
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &Counters::flush);
}

Counters::~Counters()
{
    flush();
}

void Counters::writeThrough(bool scanned)
{
    if (!m_settings)
        return;
    (scanned ? m_pendingScanned : m_pendingEmail) = true;
    if (!m_sinceWrite.isValid() || m_sinceWrite.hasExpired(kWriteIntervalMs)) {
        flush();
    } else if (!m_flushTimer.isActive()) {
        m_flushTimer.start(int(kWriteIntervalMs - m_sinceWrite.elapsed()));
    }
}

void Counters::flush()
{
    m_flushTimer.stop();
    if (!m_settings || !hasPendingWrite())
        return;
    QList<QPair<QString, QString>> values;
    if (m_pendingScanned)
        values.append(
            {QString::fromLatin1(SettingKeys::lHistWebScanned), QString::number(m_histWebScanned)});
    if (m_pendingEmail)
        values.append(
            {QString::fromLatin1(SettingKeys::lHistEmailFound), QString::number(m_histEmailFound)});
    m_settings->writeMany(values);
    m_pendingScanned = m_pendingEmail = false;
    m_sinceWrite.start();
}

void Counters::AddStat(qint16 kind)
{
    switch (kind) {
    case SiteScanned:
        bump(m_webScanned);
        bump(m_histWebScanned);
        writeThrough(true);
        break;
    case SiteFound:
        bump(m_webFound);
        break;
    case NumberFound:
        bump(m_emailFound);
        bump(m_histEmailFound);
        writeThrough(false);
        break;
    default:
        break;
    }
    Q_EMIT statsChanged();
}

void Counters::loadFromSettings()
{
    flush();
    m_webScanned = m_webFound = m_emailFound = 0;
    if (m_settings) {
        m_histEmailFound =
            m_settings->readCounter(QString::fromLatin1(SettingKeys::lHistEmailFound));
        m_histWebScanned =
            m_settings->readCounter(QString::fromLatin1(SettingKeys::lHistWebScanned));
    }
}

void Counters::resetWebCounters()
{
    m_webFound = 0;
    m_webScanned = 0;
}

void Counters::resetEmailFound()
{
    m_emailFound = 0;
    Q_EMIT statsChanged(); // the statistics show the count that was deleted no more
}
