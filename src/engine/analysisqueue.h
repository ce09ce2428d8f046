#pragma once

#include "pageanalysis.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>

class BackgroundJobs;

// Pages analysed beside the crawl: the fax finder costs as much as the rest of a page, so a
// downloaded page is analysed on a thread of its own while its slot goes on. Findings come
// back in the order the pages were handed over. A page taken back (a stop) is never
// answered; a stop that keeps the pages still waiting analyses them here and now.
class AnalysisQueue : public QObject
{
    Q_OBJECT
public:
    struct Page
    {
        QString site;    // the queue entry, pending until the findings are kept
        QString website; // where the page was found (host and path)
        int slot = -1;   // whose page files it had
        QByteArray body;
        PageAddress address;
    };

    explicit AnalysisQueue(QObject *parent = nullptr);
    ~AnalysisQueue() override;

    void submit(const Page &page, const AnalysisOptions &options);
    int size() const { return int(m_pages.size()); }
    bool isEmpty() const { return m_pages.isEmpty(); }
    // The bodies of the pages waiting, in bytes.
    qint64 bytesWaiting() const { return m_bytes; }

    // Every page still waiting is taken out and analysed on the caller's thread, oldest
    // first, and handed to keep; while goOn() holds. Not re-entered from keep.
    void drainNow(const AnalysisOptions &options, const std::function<bool()> &goOn,
                  const std::function<void(const Page &, const PageFindings &)> &keep);
    // Every page still waiting, oldest first; none is answered any more.
    QList<Page> takeAll();

Q_SIGNALS:
    // A page's findings, on the caller's thread; the page has left the queue.
    void done(const AnalysisQueue::Page &page, const PageFindings &found);

private:
    bool take(quint64 ticket, Page *page);

    BackgroundJobs *m_jobs;
    QMap<quint64, Page> m_pages; // by ticket: oldest first
    qint64 m_bytes = 0;
    bool m_draining = false;
};
