#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Reading a file of sites to harvest: one site or address per line, or a CSV file (comma,
// semicolon or tab separated, fields in double quotes allowed) whose header names a
// column website, url, domain or site. Each entry is normalised as the store normalises
// a site it adds. Pure: the caller queues the sites and reports the result.
namespace SiteImport {

// The most a file of sites may hold (some two million sites): a larger one, or a device
// that never ends, is refused rather than read into memory.
constexpr qsizetype MaxFileBytes = 64 * 1024 * 1024;

struct Rejected
{
    int line = 0; // 1-based line of the file where the entry starts
    QString text; // the entry as written
};

struct Result
{
    QStringList sites;        // normalised, in file order, each once
    QList<Rejected> rejected; // entries that are not a site
    int repeated = 0;         // entries naming a site listed earlier in the file
    int blank = 0;            // blank lines, comment lines ("#…") and empty CSV cells
    QString column;           // the CSV column read; empty for a list of lines
};

Result parse(const QByteArray &bytes); // UTF-8 or UTF-16 with a byte order mark, else Latin-1
Result parseText(const QString &text);

// Whether a normalised entry names a site: a host name of two or more labels with an
// alphabetic top-level domain, an optional port, an optional path, no white space.
bool isSite(const QString &normalised);

} // namespace SiteImport
