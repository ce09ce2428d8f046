#pragma once

#include "contactowner.h"

#include <QByteArray>
#include <QHash>
#include <QReadWriteLock>
#include <QString>

// The numbers (E.164) the harvest has stored or found stored, each with the owner read for
// it and the site it was read on, for the page analysis on its own thread: on another page
// of that site the finder reads no owner for such a number, and the harvest gives it the
// one read before (a site's pages repeat their footer and contact block). On another site
// the owner is read again: it may name another business. Written by the harvest's thread,
// read by the analysis thread.
class StoredNumbers
{
public:
    // site: the site of the page the owner was read on (ContactFirst::siteOf).
    void remember(const QString &e164, const QByteArray &site, const ContactOwner &owner)
    {
        if (e164.isEmpty())
            return;
        QWriteLocker lock(&m_lock);
        if (!m_numbers.contains(e164))
            m_numbers.insert(e164, {site, owner});
    }
    // The owner of the number was read on a page of site.
    bool readOn(const QString &e164, const QByteArray &site) const
    {
        QReadLocker lock(&m_lock);
        const auto it = m_numbers.constFind(e164);
        return it != m_numbers.cend() && it->site == site;
    }
    // The owner read for the number on a page of site; empty when it was read elsewhere.
    ContactOwner ownerOn(const QString &e164, const QByteArray &site) const
    {
        QReadLocker lock(&m_lock);
        const auto it = m_numbers.constFind(e164);
        return it != m_numbers.cend() && it->site == site ? it->owner : ContactOwner();
    }
    // Numbers were deleted: their owners are read again when they are found again.
    void clear()
    {
        QWriteLocker lock(&m_lock);
        m_numbers.clear();
    }

private:
    struct Read
    {
        QByteArray site;
        ContactOwner owner;
    };
    mutable QReadWriteLock m_lock;
    QHash<QString, Read> m_numbers;
};
