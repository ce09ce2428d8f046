#pragma once

// Reads the owner of each fax number of one page (contactowner.h): built once per page by
// the fax finder, asked once per number. Pure; costs nothing on pages without a number.

#include "contactowner.h"
#include "pagetext.h"
#include "phonereading.h"

#include <QHash>
#include <QList>

#include <functional>
#include <memory>

// A number the page shows as a voice line (labelled telephone, a tel: link) or without a
// label, at its place in the text.
struct PhoneMention
{
    qsizetype begin = 0;
    qsizetype end = 0;
    QByteArray written;
    bool labelled = false; // a telephone label names it
};

class OwnerReader
{
public:
    using ReadNumber = std::function<PhoneReading(const QByteArray &written)>;

    // `faxes`: where the page's fax numbers stand in the text (they bound the blocks).
    OwnerReader(const PageText &pt, ReadNumber read, QList<PhoneMention> phones,
                QList<qsizetype> faxes);
    ~OwnerReader();
    OwnerReader(const OwnerReader &) = delete;
    OwnerReader &operator=(const OwnerReader &) = delete;

    // The owner of the fax `fax` that stands at text offset `at` (-1: only in markup).
    ContactOwner ownerOf(qsizetype at, const PhoneReading &fax);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The parts of an address line, as the per-country patterns read it (empty when none).
struct AddressParts
{
    QString street;
    QString postalCode;
    QString city;
    QString region;
    QString
        country; // ISO 3166 alpha-2 when the line names the country or the pattern is one country's
    bool countryNamed = false; // the lines name the country (else it is the pattern's)
};

// Reads the address in `lines` (the lines of a block, top to bottom), trying the patterns
// of `country` first (ISO code of the number; may be empty).
AddressParts readAddress(const QStringList &lines, const QString &country);
// The same read the slow way, each pattern over the whole text: what readAddress must agree
// with (for the fuzz target and tests).
AddressParts readAddressSlowly(const QStringList &lines, const QString &country);

// False when no address pattern can read anything in `line`, however the lines around it
// read: cheap, for passing over lines before a block's lines are read as an address.
bool mayHoldAddress(const QString &line);
// The same for a line as UTF-8 bytes (single spaces, as the page's text holds it).
bool mayHoldAddress(QByteArrayView line);

// A street line: a street word ("Road", "Straße", "Suite", "PO Box") or a house number
// beside words.
bool looksLikeStreet(const QString &line);
bool isStreetWord(const QString &word);

// The ISO code of a country as pages name it ("USA", "Deutschland", "ENGLAND"); "" if none.
QString countryOfName(const QString &name);
// False when the UTF-8 text is surely no country's name countryOfName knows: a look at the
// bytes, for the many short lines of a page.
bool mayNameCountry(QByteArrayView text);

// The place a number belongs to by the numbering plans' geography (libphonenumber's
// offline geocoder), in `language` (ISO 639) where the data has it: "New York, NY",
// "Köln", "Chania". Empty for numbers of no one place. `region`: the number's ISO code
// when the caller knows it already.
QString placeOfNumber(const QString &e164, const QString &language,
                      const QString &region = QString());
