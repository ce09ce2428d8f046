#pragma once

#include "store.h"

#include <QByteArray>
#include <QList>
#include <QString>

class Store;
struct FaxRow;

// The export of the stored numbers to a text file, shared by the export window and
// `varnel-tool export`. The output type is the index of the window's Combo1.
namespace FaxExport {

enum Type : int
{
    Unpicked = -1,      // nothing picked yet: written as the semicolon type
    Semicolon = 0,      // "Semi-Colon Delimited (;)"
    Tab = 1,            // "Tab Delimited (^t)"
    Lines = 2,          // "Line Feed Delimited (one per line)"
    Csv = 3,            // "CSV (all columns)", for programs
    CsvSpreadsheet = 4, // "CSV for spreadsheets": the same, marked as UTF-8 for spreadsheets
    Xlsx = 5,           // "Excel workbook (.xlsx)": the same columns, every cell text
};

// The type writes one CSV table of every column (Csv, CsvSpreadsheet).
bool isCsv(int type);

// The delimiter table of the delimited types: ";" (or "; " with the space) for -1 and 0,
// a tab for 1, CR LF for 2, nothing for any other index. The space counts only for the
// semicolon type.
QByteArray delimiterFor(int type, bool space);

// Each number followed by the delimiter, the last one included, then one CR LF.
QByteArray formatDelimited(const QList<FaxRow> &rows, const QByteArray &delimiter);

// The cell as a spreadsheet shows it as text: a cell that starts with "=", "+", "-", "@", a
// tab, a carriage return or a line feed, which a spreadsheet would take for a formula, gets
// an apostrophe (the spreadsheets' text marker) before it. "+44-20-7946-0958" is written
// "'+44-20-7946-0958".
QString neutralizeCell(const QString &text);

// A cell that holds a telephone number as the harvest stores it (digits with dashes, spaces,
// dots, slashes or brackets, a "+" only in front, beginning with a digit, "+" or "("): it can
// carry no formula, so it is written as it is.
bool isTelephoneText(const QString &text);

// A header line of the numbers window's column titles (Number, Date, Page, Search String,
// Region, E.164, Country, Label, How Found, Text Around It, then the business's:
// Organization, Unit, Street, Postal Code, City, State or Province, Address Country, Main
// Phone, Email, Business Site) and one RFC 4180 record per number in that order: the date
// as ISO 8601, the region without the spaces around it, the number, the E.164 form and the
// main phone as they are, every other cell neutralised as above; fields quoted where they
// hold a comma, a quote or a line break; CR LF line ends; UTF-8, with a byte-order mark for
// spreadsheets (which otherwise take the file for their own code page). businesses holds
// each row's business (empty cells for a row without one, or past its end).
QByteArray formatCsv(const QList<FaxRow> &rows, bool byteOrderMark = false);
QByteArray formatCsv(const QList<FaxRow> &rows, const QList<BusinessRow> &businesses,
                     bool byteOrderMark);
// The same columns as an Excel workbook of one sheet, every cell a text cell (so that no
// spreadsheet turns "+1 212 ..." into a sum or a float); empty when it cannot be made.
QByteArray formatXlsx(const QList<FaxRow> &rows, const QList<BusinessRow> &businesses);

// The file contents for an output type.
QByteArray format(const QList<FaxRow> &rows, int type, bool space,
                  const QList<BusinessRow> &businesses = {});

// The name the file dialog proposes, and its choice of file types, for an output type:
// "export.csv" and CSV files for both CSV types, "export.xlsx" and workbooks for the
// workbook, "export.txt" and text files otherwise.
QString defaultFileName(int type);
QString fileFilter(int type);

struct Result
{
    bool ok = false;             // a file was written
    bool nothingToWrite = false; // there was no number to write, so no file was
    int count = 0;               // numbers written
    ExportCounts counts;         // with what was left out
    QString error;               // for the user, names the file or the store; empty when ok
    // The file was written, but the ledger could not note it: a later export of only the
    // new numbers writes these again.
    QString warning;
    QStringList numbers; // the numbers written, as stored
};

// The line that tells how many numbers went to which file.
QString writtenLine(const Result &result, const QString &path);
// What an export leaves out, e.g. "2 left out: 1 on the do-not-fax list, 1 whose page
// says it takes no unsolicited faxes"; empty when nothing is.
QString leftOutText(const ExportCounts &counts);

// Writes the stored numbers to the file, replacing any earlier file of that name, and notes
// the export in the ledger. Numbers on the do-not-fax list are left out, and with onlyNew
// those that an earlier export wrote. Nothing is written when there is no number to write,
// when the store cannot be read, or when the path is the store itself or one of its -wal,
// -shm and -journal files (by any name, links resolved). A file that cannot be created or
// written is reported and leaves an existing file of that name as it was. A pipe, a device
// or anything else that is not a regular file is written into directly (opening a pipe
// waits for its reader) and stays what it is; a failed write is reported.
Result exportFaxes(Store &store, const QString &path, int type, bool space, bool onlyNew = false);

} // namespace FaxExport

// The last part of a path after its last separator ("\" or "/"); the whole text when it has
// none; empty for an empty path.
QString FileNamePart(const QString &path);

// True when a normal file (not a folder, not hidden, not a device or pipe) of that path exists.
bool FileExists(const QString &path);
