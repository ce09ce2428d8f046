#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

// Contact pages first, and a site left once its fax is found: the rule of the option "Stop a
// site once its fax is found" for one search. A page's links that name a contact page
// (PageFindings::contactLinks) are put ahead of the site's other pages, at most
// MaxContactPagesPerSite of them a site, and the site's other pages wait until those have
// been read (a page read beside the crawl would otherwise let them through before its fax
// is known). Once a page of the site has shown a fax, its other pages are no longer queued,
// and those queued already are passed over when their turn comes. The contact pages put
// first are still read: the ones a page with a fax links to often say more (a second
// office, a department's fax).
//
// A site is its host without a leading "www.", letter case ignored, so that a name and its
// "www." name are one site. The caller decides when the rule applies (the modern mode with
// the option on); off, it asks nothing here and the crawl is the reference one.
class ContactFirst
{
public:
    // Enough for a site's contact, imprint, about and location pages; a site whose every
    // link is called "contact" gains nothing beyond it.
    static constexpr int MaxContactPagesPerSite = 8;

    // The site of a queued site text (host/path) or of a page's address.
    static QByteArray siteOf(const QString &site);

    // A new link of a page: false when it is not to be queued at all (its site has shown a
    // fax and it is no contact page that may still go first).
    bool wanted(const QString &site, bool namesContact) const;
    // The link goes ahead of its site's other pages: true for a contact page while its site
    // has room for one more (counted here).
    bool putFirst(const QString &site, bool namesContact);
    // A page of this address (host/path) showed a fax.
    void faxFound(const QString &pageAddress);
    bool hasFax(const QString &site) const;
    // The site is about to be fetched: true when it is to be passed over instead (an
    // ordinary page of a site that has shown a fax). A page put first never is.
    bool passOver(const QString &site);
    // The host's site has contact pages put first and not yet read: its other pages wait.
    bool holdsBack(const QByteArray &host) const;
    // A site handed out is done with: read, passed over or given up.
    void siteDone(const QString &site);
    // Nothing is being fetched or read any more (a stop): no site waits for its contact
    // pages. Those not yet fetched are still never passed over.
    void forgetUnread();
    // A new search: every site starts afresh.
    void clear();

private:
    struct Site
    {
        int contactPages = 0; // put first
        int unread = 0;       // put first and not yet read
        bool fax = false;
    };
    QHash<QByteArray, Site> m_sites;
    QSet<QString> m_first;   // put first and not yet fetched
    QSet<QString> m_reading; // put first and being fetched or read
};
