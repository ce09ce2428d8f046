#include "globals.h"

#include "settingsstore.h"

#include <limits>

static void bump(qint32 &counter)
{
    if (counter < std::numeric_limits<qint32>::max())
        ++counter;
}

Counters::Counters(SettingsStore *settings, QObject *parent)
    : QObject(parent), m_settings(settings)
{
}

void Counters::AddStat(qint16 kind)
{
    switch (kind) {
    case SiteScanned:
        bump(m_webScanned);
        bump(m_histWebScanned);
        if (m_settings)
            m_settings->write(QString::fromLatin1(SettingKeys::lHistWebScanned),
                              QString::number(m_histWebScanned));
        break;
    case SiteFound:
        bump(m_webFound);
        break;
    case NumberFound:
        bump(m_emailFound);
        bump(m_histEmailFound);
        if (m_settings)
            m_settings->write(QString::fromLatin1(SettingKeys::lHistEmailFound),
                              QString::number(m_histEmailFound));
        break;
    default:
        break;
    }
    Q_EMIT statsChanged();
}

void Counters::loadFromSettings()
{
    m_webScanned = m_webFound = m_emailFound = 0;
    if (m_settings) {
        m_histEmailFound = m_settings->readCounter(QString::fromLatin1(SettingKeys::lHistEmailFound));
        m_histWebScanned = m_settings->readCounter(QString::fromLatin1(SettingKeys::lHistWebScanned));
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
}
