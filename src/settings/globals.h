#pragma once

#include <QObject>

class SettingsStore;

// The five harvest counters and AddStat. The run counters start at 0; the historic ones
// come from the settings store and are written through at every count. A full counter
// stays at its maximum instead of wrapping.
class Counters : public QObject
{
    Q_OBJECT
public:
    enum Kind : qint16 { SiteScanned = 0, SiteFound = 1, NumberFound = 2 };

    explicit Counters(SettingsStore *settings, QObject *parent = nullptr);

    qint32 lWebScanned() const { return m_webScanned; }
    qint32 lWebFound() const { return m_webFound; }
    qint32 lEmailFound() const { return m_emailFound; }
    qint32 lHistWebScanned() const { return m_histWebScanned; }
    qint32 lHistEmailFound() const { return m_histEmailFound; }

    // Count one event of the kind and refresh the display (statsChanged). Any other kind
    // counts nothing but still refreshes.
    void AddStat(qint16 kind);

    // The start values of LoadSettings: run counters 0, historic ones from the store.
    void loadFromSettings();
    // The resets of the store's DeleteAllWebsites and DeleteAllFaxes. They do not refresh
    // the display: the labels show the reset at the next count.
    void resetWebCounters();
    void resetEmailFound();

Q_SIGNALS:
    // StatsD: the statistics labels are to be refreshed from the counters.
    void statsChanged();

private:
    SettingsStore *m_settings;
    qint32 m_webScanned = 0;
    qint32 m_webFound = 0;
    qint32 m_emailFound = 0;
    qint32 m_histWebScanned = 0;
    qint32 m_histEmailFound = 0;
};
