#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class SettingsStore;

// The five harvest counters (settings keys "lHistWebScanned" and "lHistEmailFound" for the
// historic ones). The run counters start at 0; the historic ones come from the settings store and
// are written through: a count after a quiet second is written at once, and a burst of counts is
// written once a second, because rewriting the settings file for every page of a fast crawl costs
// more than the crawl. Destruction and flush() write whatever is pending. A full counter stays at
// its maximum instead of wrapping.
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

    qint32 sitesScanned() const { return m_sitesScanned; }
    qint32 sitesFound() const { return m_sitesFound; }
    qint32 numbersFound() const { return m_numbersFound; }
    qint32 sitesScannedEver() const { return m_sitesScannedEver; }
    qint32 numbersFoundEver() const { return m_numbersFoundEver; }

    // AddStat: counts one event of the kind and refreshes the display (statsChanged). Any
    // other kind counts nothing but still refreshes.
    void add(qint16 kind);

    // The start values of LoadSettings: run counters 0, historic ones from the store.
    void loadFromSettings();
    // The resets that go with emptying the backlog and the numbers. Kept on purpose
    // (tst_crawlqueue clearBacklog_emptiesHeadCountersAndNotes): the first does not refresh the
    // display; the labels show the reset at the next count. The second does, so that deleted
    // numbers are not shown as found.
    void resetSiteCounts();
    void resetNumbersFound();

    // Writes the historic counters now if a count is waiting to be written.
    void flush();
    bool hasPendingWrite() const { return m_pendingScanned || m_pendingNumbers; }

Q_SIGNALS:
    // StatsD: the statistics labels are to be refreshed from the counters.
    void statsChanged();

private:
    void writeThrough(bool scanned);

    SettingsStore *m_settings;
    QTimer m_flushTimer;
    QElapsedTimer m_sinceWrite;
    bool m_pendingScanned = false;
    bool m_pendingNumbers = false;
    qint32 m_sitesScanned = 0;
    qint32 m_sitesFound = 0;
    qint32 m_numbersFound = 0;
    qint32 m_sitesScannedEver = 0;
    qint32 m_numbersFoundEver = 0;
};
