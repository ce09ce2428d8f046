// Telling script shells from ordinary pages, and reading a list of places.
#include "scriptshell.h"
#include "searchplaces.h"

#include <QSet>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)ScriptShell::isShell(bytes);
    // Every place once, trimmed, on one line, never a comment.
    const SearchPlaces::Result r = SearchPlaces::parse(bytes);
    QSet<QString> seen;
    for (const QString &place : r.places) {
        if (place.isEmpty() || place != place.simplified() || place.startsWith(QLatin1Char('#')) ||
            seen.contains(place.toCaseFolded()))
            __builtin_trap();
        seen.insert(place.toCaseFolded());
    }
    return 0;
}
