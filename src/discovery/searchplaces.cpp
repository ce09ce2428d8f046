#include "searchplaces.h"

#include <QSet>
#include <QStringDecoder>

namespace SearchPlaces {

Result parseText(const QString &text)
{
    Result result;
    QSet<QString> seen;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString place = line.simplified();
        if (place.isEmpty() || place.startsWith(QLatin1Char('#')))
            continue;
        const QString key = place.toCaseFolded();
        if (seen.contains(key)) {
            ++result.repeated;
            continue;
        }
        if (result.places.size() >= MaxPlaces) {
            result.places.clear();
            result.error = QStringLiteral("it lists more than %1 places, the most one list may; "
                                          "split it into smaller lists")
                               .arg(MaxPlaces);
            return result;
        }
        seen.insert(key);
        result.places << place;
    }
    return result;
}

Result parse(const QByteArray &bytes)
{
    if (bytes.size() > MaxFileBytes) {
        Result result;
        result.error = QStringLiteral("it holds more than %1 MiB, the most a list of places may")
                           .arg(MaxFileBytes / (1024 * 1024));
        return result;
    }
    if (const auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        return parseText(decoder.decode(bytes));
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    return parseText(utf8.hasError() ? QString::fromLatin1(bytes) : text);
}

QStringList combine(const QString &search, const QStringList &places)
{
    const QString base = search.simplified();
    QStringList searches;
    searches.reserve(places.size());
    for (const QString &place : places)
        searches << (base.isEmpty() ? place : base + QLatin1Char(' ') + place);
    return searches;
}

} // namespace SearchPlaces
