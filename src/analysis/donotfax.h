#pragma once

// Numbers that must not be faxed: the form they are matched by, and the reading of a list of
// them from a text or CSV file.

#include <QByteArray>
#include <QList>
#include <QString>

namespace DoNotFax {

// The form a number is matched by: its E.164 form ("+" and digits), so that "(212) 555-0187",
// "1-212-555-0187" and "+1 212 555 0187" are one number. North American numbers match by
// their ten digits even where the numbering plan calls them unassigned; other numbers need
// their country ("+", "00" or "011", or `region`, an ISO 3166 code for numbers written
// without it). Empty when the text is no telephone number.
QString matchKey(const QString &number, const QByteArray &region = QByteArray());

// The matching form of a number as the harvest stores it: its E.164 form when it has one,
// else "+" and the digits of the stored text (1-NNN-NNN-NNNN and the international form
// with its "+" carry the country code in their digits).
QString storedKey(const QString &fax, const QString &e164);

struct ListedNumber
{
    int line = 0;    // 1-based, in the file
    QString written; // as the file writes it
    QString key;     // matchKey
};

struct BadLine
{
    int line = 0;
    QString text; // the line, or the cell of the number column
};

struct ImportedList
{
    QList<ListedNumber> numbers; // in file order; repeats kept
    QList<BadLine> notNumbers;   // lines (or cells) that are no telephone number
    QString column;              // the header of the column read; empty: one number a line
};

// Reads a list of numbers: one number a line (a line of numbers between ";", "," or tabs, as
// a delimited export writes them, gives each), or a CSV file (comma, semicolon or tab) whose
// header names a column with the word "fax", "number" or "phone" in it (letter case ignored;
// a fax column wins over a number column, which wins over a phone column). Blank lines and
// lines starting with "#" are skipped; a UTF-8 byte order mark is dropped.
ImportedList readList(const QByteArray &file, const QByteArray &region = QByteArray());

} // namespace DoNotFax
