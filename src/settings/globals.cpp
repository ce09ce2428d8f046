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
    (scanned ? m_pendingScanned : m_pendingNumbers) = true;
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
        values.append({QString::fromLatin1(SettingKeys::lHistWebScanned),
                       QString::number(m_sitesScannedEver)});
    if (m_pendingNumbers)
        values.append({QString::fromLatin1(SettingKeys::lHistEmailFound),
                       QString::number(m_numbersFoundEver)});
    m_settings->writeMany(values);
    m_pendingScanned = m_pendingNumbers = false;
    m_sinceWrite.start();
}

void Counters::add(qint16 kind)
{
    switch (kind) {
    case SiteScanned:
        bump(m_sitesScanned);
        bump(m_sitesScannedEver);
        writeThrough(true);
        break;
    case SiteFound:
        bump(m_sitesFound);
        break;
    case NumberFound:
        bump(m_numbersFound);
        bump(m_numbersFoundEver);
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
    m_sitesScanned = m_sitesFound = m_numbersFound = 0;
    if (m_settings) {
        m_numbersFoundEver =
            m_settings->readCounter(QString::fromLatin1(SettingKeys::lHistEmailFound));
        m_sitesScannedEver =
            m_settings->readCounter(QString::fromLatin1(SettingKeys::lHistWebScanned));
    }
}

void Counters::resetSiteCounts()
{
    m_sitesFound = 0;
    m_sitesScanned = 0;
}

void Counters::resetNumbersFound()
{
    m_numbersFound = 0;
    Q_EMIT statsChanged(); // the statistics show the count that was deleted no more
}
