#pragma once

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
    Unpicked = -1, // nothing picked yet: written as the semicolon type
    Semicolon = 0, // "Semi-Colon Delimited (;)"
    Tab = 1,       // "Tab Delimited (^t)"
    Lines = 2,     // "Line Feed Delimited (one per line)"
    Csv = 3,       // "CSV (all columns)"
};

// The delimiter table of the delimited types: ";" (or "; " with the space) for -1 and 0,
// a tab for 1, CR LF for 2, nothing for any other index. The space counts only for the
// semicolon type.
QByteArray delimiterFor(int type, bool space);

// Each number followed by the delimiter, the last one included, then one CR LF.
QByteArray formatDelimited(const QList<FaxRow> &rows, const QByteArray &delimiter);

// A header line and one RFC 4180 record per number (fax, Date as ISO 8601, website, search,
// location, e164, country, label, how, context), fields quoted where they hold a comma, a
// quote or a line break, CR LF line ends, UTF-8.
QByteArray formatCsv(const QList<FaxRow> &rows);

// The file contents for an output type.
QByteArray format(const QList<FaxRow> &rows, int type, bool space);

struct Result
{
    bool ok = false;
    int count = 0;       // numbers written
    QStringList numbers; // the numbers written, as stored
    QString error;       // for the user, names the file or the store; empty when ok
};

// Reads every stored number and writes the file, replacing any earlier file of that name.
// Nothing is written when the store cannot be read, or when the path is the store itself or
// one of its -wal, -shm and -journal files (by any name, links resolved). A file that cannot
// be created or written is reported and leaves an existing file of that name as it was.
// A pipe, a device or anything else that is not a regular file is written into directly
// (opening a pipe waits for its reader) and stays what it is; a failed write is reported.
Result exportFaxes(Store &store, const QString &path, int type, bool space);

} // namespace FaxExport

// The last part of a path after its last separator ("\" or "/"); the whole text when it has
// none; empty for an empty path.
QString FileNamePart(const QString &path);

// True when a normal file (not a folder, not hidden, not a device or pipe) of that path exists.
bool FileExists(const QString &path);
