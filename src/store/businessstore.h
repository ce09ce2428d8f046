#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A business as the harvest met it: one site (registrable domain) and one organisation,
// with who it is and where, as the pages showed them. Numbers found beside it point to it.
struct BusinessRow
{
    qint64 id = 0; // the business's key in the store
    QString site;  // the registrable domain of its pages ("example.co.uk")
    QString organization;
    QString unit; // the office or department of the first fax found
    QString street;
    QString postalCode;
    QString city;
    QString region;
    QString country; // ISO 3166 alpha-2 of the address
    QString phone;   // the main voice number, E.164
    QString email;
    // Where each part was read: "organization=json-ld address=block city=geocoder" (the
    // reader's source words); a part that is unknown is left out.
    QString sources;
    QDateTime date; // when it was first found

    // What the store keeps with it (read by BusinessStore::businesses()).
    QStringList faxes;    // E.164 forms of its stored faxes, in the order found
    QStringList phones;   // its voice numbers, E.164, in the order found
    QStringList searches; // the search strings that found it, in the order found
    qint64 pages = 0;     // the pages its numbers were found on
};

// A fax of a business as a page showed it (with the main phone beside it, when the page
// showed one: business.phone).
struct BusinessFax
{
    BusinessRow business; // site and owner; its lists are not read
    QString fax;          // the E.164 form, never empty
    QString page;         // the page it was on, as the numbers table writes pages
    QString search;       // the search string that found the page
    QDateTime date;       // when (read back only; a write is dated now)
};

// The businesses of the harvest: one row per site and organisation, with its faxes,
// phones, pages and search strings. Errors as for every operation of the store: a write
// answers false when nothing of it is stored, a read nothing when the store cannot be read.
class BusinessStore
{
public:
    virtual ~BusinessStore() = default;

    // Notes the fax under its business, all or nothing. The business is the site's one of
    // that organisation (letter case ignored), or, for an owner without an organisation,
    // the site's first business; a new one is created. Parts it lacks are taken from this
    // owner, those it has are kept. The search string, the page with the fax (and the main
    // phone) are added once each; the fax points to the business that showed it first.
    [[nodiscard]] virtual bool addBusinessFax(const BusinessFax &found) = 0;
    // The businesses that have a stored fax, in the order found, each with its lists. With
    // a text, only those whose organisation, site or city holds it (letter case ignored).
    virtual std::optional<QList<BusinessRow>> businesses(const QString &text = QString()) = 0;
    // Every business with every fax, phone, page and search string it was found with, stored
    // faxes or not, as the writes that make it again in another store: in the order found,
    // so that each fax points to the same business there.
    virtual std::optional<QList<BusinessFax>> allBusinessFaxes() = 0;
};
