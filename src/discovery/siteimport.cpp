#include "siteimport.h"

#include "store.h"

#include <QSet>
#include <QStringDecoder>

namespace SiteImport {

namespace {

constexpr qsizetype kMaxEntry = 2048; // longer text is no site

const char *const kColumnNames[] = {"website", "url", "domain", "site"};

struct Record
{
    int line = 0;
    QStringList fields;
    QString raw; // the record as written, without its line break
};

// Splits text into records of fields, as CSV reads: a field in double quotes may hold the
// separator, line breaks and doubled quotes. With separator 0 every line is one field.
QList<Record> records(const QString &text, QChar separator)
{
    QList<Record> out;
    Record current;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    int line = 1;
    current.line = 1;
    qsizetype recordStart = 0;
    const qsizetype n = text.size();
    auto endRecord = [&](qsizetype end) {
        current.fields.append(field);
        current.raw = text.mid(recordStart, end - recordStart);
        out.append(current);
        current = Record();
        field.clear();
        fieldStarted = false;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        const qsizetype at = i;
        const bool lineBreak = c == QLatin1Char('\n') || c == QLatin1Char('\r');
        if (lineBreak && c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += lineBreak ? QChar(QLatin1Char('\n')) : c;
                if (lineBreak)
                    ++line;
            }
            continue;
        }
        if (lineBreak) {
            endRecord(at);
            ++line;
            current.line = line;
            recordStart = i + 1;
            continue;
        }
        if (!separator.isNull() && c == separator) {
            current.fields.append(field);
            field.clear();
            fieldStarted = false;
            continue;
        }
        if (!separator.isNull() && c == QLatin1Char('"') && !fieldStarted &&
            field.trimmed().isEmpty()) {
            field.clear();
            quoted = true;
            fieldStarted = true;
            continue;
        }
        field += c;
        if (!c.isSpace())
            fieldStarted = true;
    }
    if (!field.isEmpty() || !current.fields.isEmpty())
        endRecord(n);
    return out;
}

QString firstLine(const QString &text)
{
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (!t.isEmpty())
            return t;
    }
    return QString();
}

// The separator of a CSV header line: the most frequent of comma, semicolon and tab.
QChar separatorOf(const QString &header)
{
    QChar best;
    qsizetype bestCount = 0;
    for (const QChar c : {QLatin1Char(','), QLatin1Char(';'), QLatin1Char('\t')}) {
        const qsizetype count = header.count(c);
        if (count > bestCount) {
            best = c;
            bestCount = count;
        }
    }
    return best;
}

QString unquoted(QString field)
{
    field = field.trimmed();
    if (field.size() >= 2 && field.startsWith(QLatin1Char('"')) && field.endsWith(QLatin1Char('"')))
        field = field.mid(1, field.size() - 2).trimmed();
    return field;
}

int siteColumn(const QString &header, QChar separator)
{
    const QStringList names = separator.isNull() ? QStringList{header} : header.split(separator);
    for (const char *wanted : kColumnNames) {
        for (int i = 0; i < names.size(); ++i) {
            if (unquoted(names.at(i)).compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0)
                return i;
        }
    }
    return -1;
}

bool isLabel(QStringView label)
{
    if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-')) ||
        label.endsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : label) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('-')))
            return false;
    }
    return true;
}

} // namespace

bool isSite(const QString &normalised)
{
    if (normalised.isEmpty() || normalised.size() > kMaxEntry)
        return false;
    for (const QChar c : normalised) {
        if (c.isSpace() || c == QLatin1Char('@') || c == QLatin1Char('\\'))
            return false;
    }
    qsizetype end = normalised.size();
    for (const QChar stop : {QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('#')}) {
        const qsizetype at = normalised.indexOf(stop);
        if (at >= 0 && at < end)
            end = at;
    }
    QStringView host = QStringView(normalised).left(end);
    const qsizetype colon = host.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        const uint port = host.mid(colon + 1).toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return false;
        host = host.left(colon);
    }
    if (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    const QList<QStringView> labels = host.split(QLatin1Char('.'));
    if (labels.size() < 2)
        return false;
    for (const QStringView &l : labels) {
        if (!isLabel(l))
            return false;
    }
    const QStringView tld = labels.last();
    if (tld.startsWith(QLatin1String("xn--"), Qt::CaseInsensitive))
        return true;
    if (tld.size() < 2)
        return false;
    for (const QChar c : tld) {
        if (!c.isLetter())
            return false;
    }
    return true;
}

Result parseText(const QString &text)
{
    Result result;
    const QString header = firstLine(text);
    const QChar separator = separatorOf(header);
    const int column = siteColumn(header, separator);
    const bool csv = column >= 0;
    const QList<Record> rows = records(text, csv ? separator : QChar());

    QSet<QString> known;
    bool headerSkipped = false;
    for (const Record &row : rows) {
        const QString whole = row.raw;
        if (csv && !headerSkipped) {
            if (whole.trimmed().isEmpty())
                continue;
            headerSkipped = true; // the header line itself
            continue;
        }
        QString entry;
        if (csv) {
            if (whole.trimmed().isEmpty())
                continue; // a blank line between rows
            entry = unquoted(row.fields.value(column));
        } else {
            entry = row.fields.value(0).trimmed();
            if (entry.startsWith(QLatin1Char('#')))
                entry.clear();
        }
        if (entry.isEmpty()) {
            ++result.blank;
            continue;
        }
        const QString site = Store::normalizeSite(entry);
        if (!isSite(site)) {
            result.rejected.append({row.line, csv ? whole.trimmed() : entry});
            continue;
        }
        const QString key = site.toLower();
        if (known.contains(key)) {
            ++result.repeated;
            continue;
        }
        known.insert(key);
        result.sites.append(site);
    }
    if (csv)
        result.column =
            separator.isNull() ? unquoted(header) : unquoted(header.split(separator).value(column));
    return result;
}

Result parse(const QByteArray &bytes)
{
    if (const auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        return parseText(decoder.decode(bytes));
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    return parseText(utf8.hasError() ? QString::fromLatin1(bytes) : text);
}

} // namespace SiteImport
