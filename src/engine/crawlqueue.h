#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class Counters;
class Store;
class TextList;

// The crawl queue of the current search string: the backlog in the store, its head (List2,
// at most 21 sites taken out of the backlog, entry 0 next), the sites handed to a fetch slot
// since the backlog was last emptied, and the pending notes that keep every site taken out
// of the backlog until its page has been analysed, so that neither a kill nor a refused
// write loses a queued site.
//
// The store and the counters are not owned and must outlive the queue.
class CrawlQueue : public QObject
{
    Q_OBJECT
public:
    // Sites loaded into an empty head at a start (the newest of the backlog).
    static constexpr int HeadLoad = 20;
    // More slots need more sites at a start; never fewer than HeadLoad.
    void setHeadLoad(int sites) { m_headLoad = sites < HeadLoad ? HeadLoad : sites; }

    CrawlQueue(Store *store, Counters *counters, QObject *parent = nullptr);

    TextList *head() const { return m_head; }

    // WebsiteExists: the site (normalised in place) is in the backlog (letter case ignored),
    // in the head or handed out (both compared exactly). Nothing when the store cannot be
    // read: taking the site for known would lose it, and the caller stops instead.
    std::optional<bool> isKnown(QString &site);
    // Sites from a file join the backlog, each unless the queue knows it already, and count
    // as sites found. A write the store refuses, or a store that cannot be read, ends the
    // import there.
    struct ImportCount
    {
        int queued = 0;
        int known = 0;
    };
    ImportCount import(const QStringList &sites);
    // Empties the backlog, and with it the head, the handed-out sites, the pending notes and
    // the run's site counters. False when the store refused; nothing changes then.
    bool clearBacklog();
    // LoadWebsiteQueue: the newest sites of the backlog move into the head, each noted as
    // pending before it leaves the backlog. False (and nothing changes) when the backlog is
    // empty or cannot be read.
    bool loadHead();
    // Forgets the head, the handed-out sites and the run's site counters, leaving the store
    // as it is: a harvester joins the queue its team began.
    void clearLocal();
    // Sites wait in the backlog or the head.
    bool holdsSites();
    // The first backlog site in stored order leaves the backlog for the head, noted as
    // pending first (a kill in between keeps it); the empty text when there is none, nothing
    // when the store failed (it has said why).
    std::optional<QString> takeFirst();

    // Entry 0 of the head has been handed to a fetch slot; it leaves the head with the next
    // dispatch. A reloaded or emptied head holds no handed-out site.
    bool headHandedOut() const { return m_headHandedOut; }
    void handOutHead();
    void dropHandedOutHead();
    // Entry 0 will not be fetched: it leaves the head and its note goes.
    void dropHead();
    // Counts a site as handed out; "host" and "host/" fetch the same page.
    void markHandedOut(const QString &site);

    // A harvest starts: nothing of the head has been handed out in it yet, and every site
    // counts as done again until a write fails.
    void beginHarvest()
    {
        m_headHandedOut = false;
        m_writeFailed = false;
    }
    // A slot is done with its site (analysed, given up or skipped): its note goes, unless a
    // write failed in this harvest (then what its page yielded may be lost, and the site is
    // crawled again by Resume).
    void siteDone(const QString &site);
    // A download cut off by Stop or shutdown, or a page not kept whole: the site goes back
    // to the backlog (its note goes once it is there).
    void returnToBacklog(const QString &site);
    // Shutdown: the head and every other noted site go back to the backlog, and no note is
    // left.
    void returnHeadToBacklog();
    // Noted sites go back to the backlog, except one note for each site still in the head;
    // how many went back, or nothing when the store failed.
    std::optional<int> restorePending(bool exceptHead);

Q_SIGNALS:
    // loadHead() moved sites into the head.
    void headLoaded();

private:
    Store *m_store;
    Counters *m_counters;
    TextList *m_head;
    QSet<QString> m_handedOut;
    bool m_headHandedOut = false;
    bool m_writeFailed = false;
    int m_headLoad = HeadLoad;
};
