#pragma once

// The fax numbers of one page: the reference scan of the fax line, and beside it the finder
// that reads the page as elements and text and takes what the line scan misses (labels in
// a previous cell, a heading, after the number, in other languages; structured data; fax
// links and icons). Pure: page bytes and address in, numbers with their evidence out.

#include "contactowner.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

// A number the finder read as a fax but did not keep, and why (for --explain).
struct DroppedNumber
{
    QString written; // as the page writes it
    QString how;     // a FoundHow word
    QString reason;  // "invalid in the numbering plan of US", ...
    QString context; // the text around it
};

struct FinderInput
{
    QString address;                 // the page's address (host and path, with or without scheme)
    bool allowInternational = false; // numbers outside North America too
    bool findBeyondFaxLine = true;   // the finder; off: the reference scan alone
    // When set (and the finder is on), gets the candidates labelled as faxes that were
    // dropped: numbers the numbering plans call invalid, numbers outside North America
    // when they are not allowed.
    QList<DroppedNumber> *dropped = nullptr;
    // When set, tells the numbers (E.164) whose owners need not be read: the harvest has
    // the owner read for them on another page of the same site. May be called from the
    // thread that runs the finder.
    std::function<bool(const QString &e164)> isStored;
};

// Short stable words for how a number was found (stored as they are).
namespace FoundHow {
inline constexpr char Reference[] = "reference";        // the fax line scan
inline constexpr char LabelBefore[] = "label-before";   // "Fax: 212 ..." on its line
inline constexpr char LabelAfter[] = "label-after";     // "212 ... (fax)"
inline constexpr char PreviousLine[] = "previous-line"; // "Fax:" ends the line above
inline constexpr char PreviousCell[] = "previous-cell"; // <td>Fax</td><td>212 ...</td>
inline constexpr char TableHeader[] = "table-header";   // the column's <th>
inline constexpr char Term[] = "term";                  // <dt>Fax</dt><dd>212 ...</dd>
inline constexpr char Heading[] = "heading";            // <h3>Fax</h3> above
inline constexpr char FormLabel[] = "form-label";       // <label>Fax</label>
inline constexpr char Icon[] = "icon";                  // fax icon, class, image text
inline constexpr char Microdata[] = "microdata";        // itemprop="faxNumber"
inline constexpr char Rdfa[] = "rdfa";                  // property="faxNumber"
inline constexpr char JsonLd[] = "json-ld";             // "faxNumber" in JSON-LD
inline constexpr char Meta[] = "meta";                  // <meta property="og:fax_number">
inline constexpr char FaxLink[] = "fax-link";           // href="fax:..."
inline constexpr char TelLink[] = "tel-link";           // href="tel:..." on a fax link
} // namespace FoundHow

// One number of a page, as page analysis hands it to the harvest. The first three fields are
// those of the reference: with the finder off they are the reference scan's, byte for byte.
struct FoundNumber
{
    QString number;      // as stored: 1-NNN-NNN-NNNN, or the international form
    QString location;    // the area code's label, or "Unknown/International"
    QString line;        // the text line it was found on
    QString e164;        // "+12125550187"; empty when the number has no valid reading
    QString countryCode; // ISO 3166 of the number ("US", "DE")
    QString countryName; // "United States", "Germany"
    QString label;       // the label as the page gives it: "Fax:", "Telefax", "faxNumber"
    QString how;         // a FoundHow word
    QString context;     // the text around the number, at most 200 characters
    bool noUnsolicitedFaxes = false; // the page says near it or in its footer that it takes none
    ContactOwner owner;              // whom it reaches, read from the same page (the finder only)
};

// The numbers of one page (the bytes as downloaded) in the order found: the reference
// scan's first, then the finder's. One number is listed once: by its text with the finder
// off (as the store of the reference keeps it), by its E.164 form with the finder on. With
// the finder on, a number the numbering plans call invalid is dropped, the reference
// scan's own finds included; every valid one the reference scan finds is kept.
QList<FoundNumber> findFaxNumbers(QByteArrayView page, const FinderInput &in);
// The same for a caller that has the page's text as the fax line scan reads it already
// (faxLineText of the page without its line breaks).
QList<FoundNumber> findFaxNumbers(QByteArrayView page, QByteArrayView faxLineText,
                                  const FinderInput &in);

// True when the page could hold a fax number the finder reads: a fax word of any language,
// a one-letter "F" before digits. Fast; most pages say neither.
bool mayHoldFaxNumber(QByteArrayView page);
