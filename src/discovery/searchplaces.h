#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A search split by place: a list of places (districts, towns, postal codes; one a line)
// turns one search string into one search per place, "plumber" and "Springfield" giving
// "plumber Springfield". Each is then a search string of its own, with its own queue.
// Pure: the caller adds the searches.
namespace SearchPlaces {

// The most a list of places may hold. A list is typed or kept by hand; a larger file is
// not one (and each place is a search of its own, asked of the engine).
constexpr qsizetype MaxFileBytes = 1024 * 1024;
constexpr int MaxPlaces = 10000;

struct Result
{
    QStringList places; // in list order, each once, white space collapsed
    int repeated = 0;   // places listed earlier (letter case ignored)
    QString error;      // the list is too long; places is empty then
};

// Blank lines and comment lines ("#…") are passed over. UTF-8 or UTF-16 with a byte order
// mark, else Latin-1 when the bytes are no UTF-8.
Result parse(const QByteArray &bytes);
Result parseText(const QString &text);

// The searches of a search string with each place, in the places' order: the search
// string's own spaces are collapsed, the place follows after one space.
QStringList combine(const QString &search, const QStringList &places);

} // namespace SearchPlaces
