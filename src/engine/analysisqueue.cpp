#include "analysisqueue.h"

#include "backgroundjobs.h"

AnalysisQueue::AnalysisQueue(QObject *parent)
    : QObject(parent),
      m_jobs(new BackgroundJobs(QStringLiteral("page analysis"), QThread::InheritPriority, this))
{
}

// A page still being analysed is left; its result is never delivered.
AnalysisQueue::~AnalysisQueue() = default;

void AnalysisQueue::submit(const Page &page, const AnalysisOptions &options)
{
    const QByteArray body = page.body; // shared with the thread's copy
    const PageAddress address = page.address;
    const quint64 ticket =
        m_jobs->submit([body, address, options] { return analysePage(body, address, options); },
                       [this](quint64 ticket, const PageFindings &found) {
                           Page page;
                           if (take(ticket, &page))
                               Q_EMIT done(page, found);
                       });
    m_pages.insert(ticket, page);
    m_bytes += body.size();
}

bool AnalysisQueue::take(quint64 ticket, Page *page)
{
    const auto it = m_pages.find(ticket);
    if (it == m_pages.end())
        return false;
    *page = std::move(*it);
    m_pages.erase(it);
    m_bytes -= page->body.size();
    (void)m_jobs->takeBack(ticket);
    return true;
}

void AnalysisQueue::drainNow(const AnalysisOptions &options, const std::function<bool()> &goOn,
                             const std::function<void(const Page &, const PageFindings &)> &keep)
{
    if (m_draining)
        return;
    m_draining = true;
    const QList<quint64> tickets = m_pages.keys();
    for (const quint64 ticket : tickets) {
        if (!goOn())
            break;
        Page page;
        if (!take(ticket, &page))
            continue;
        keep(page, analysePage(page.body, page.address, options));
    }
    m_draining = false;
}

QList<AnalysisQueue::Page> AnalysisQueue::takeAll()
{
    QList<Page> pages = m_pages.values();
    m_pages.clear();
    m_bytes = 0;
    m_jobs->takeBackAll();
    return pages;
}
