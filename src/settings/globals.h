#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class SettingsStore;

// The five harvest counters and AddStat. The run counters start at 0; the historic ones
// come from the settings store and are written through: a count after a quiet second is
// written at once, and a burst of counts is written once a second, because rewriting the
// settings file for every page of a fast crawl costs more than the crawl. Destruction and
// flush() write whatever is pending. A full counter stays at its maximum instead of
// wrapping.
class Counters : public QObject
{
    Q_OBJECT
public:
    enum Kind : qint16
    {
        SiteScanned = 0,
        SiteFound = 1,
        NumberFound = 2
    };

    explicit Counters(SettingsStore *settings, QObject *parent = nullptr);
    ~Counters() override;

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
    // The resets that go with emptying the backlog and the numbers. The first does not
    // refresh the display (the labels show it at the next count); the second does, so that
    // deleted numbers are not shown as found.
    void resetWebCounters();
    void resetEmailFound();

    // Writes the historic counters now if a count is waiting to be written.
    void flush();
    bool hasPendingWrite() const { return m_pendingScanned || m_pendingEmail; }

Q_SIGNALS:
    // StatsD: the statistics labels are to be refreshed from the counters.
    void statsChanged();

private:
    void writeThrough(bool scanned);

    SettingsStore *m_settings;
    QTimer m_flushTimer;
    QElapsedTimer m_sinceWrite;
    bool m_pendingScanned = false;
    bool m_pendingEmail = false;
    qint32 m_webScanned = 0;
    qint32 m_webFound = 0;
    qint32 m_emailFound = 0;
    qint32 m_histWebScanned = 0;
    qint32 m_histEmailFound = 0;
};
