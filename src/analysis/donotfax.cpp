#include "donotfax.h"

#include "phonereading.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace DoNotFax {

namespace {

bool isPhoneCharacter(QChar c)
{
    return c.isDigit() || c == QLatin1Char(' ') || c == QLatin1Char('+') || c == QLatin1Char('(') ||
           c == QLatin1Char(')') || c == QLatin1Char('-') || c == QLatin1Char('.') ||
           c == QLatin1Char('/');
}

QString digitsOf(const QString &text)
{
    QString digits;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits += c;
    }
    return digits;
}

// NXX-NXX-XXXX, with or without the leading 1.
QString northAmericanTen(const QString &digits)
{
    const QString ten = digits.size() == 11 && digits.startsWith(QLatin1Char('1'))
                            ? digits.mid(1)
                            : (digits.size() == 10 ? digits : QString());
    if (ten.isEmpty() || ten.at(0) < QLatin1Char('2') || ten.at(3) < QLatin1Char('2'))
        return QString();
    return ten;
}

QString unquoted(QString cell)
{
    cell = cell.trimmed();
    if (cell.size() >= 2 && cell.startsWith(QLatin1Char('"')) && cell.endsWith(QLatin1Char('"')))
        cell = cell.mid(1, cell.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
    // A spreadsheet's text marker (our own CSV writes one before "+").
    if (cell.startsWith(QLatin1Char('\'')))
        cell.remove(0, 1);
    return cell.trimmed();
}

// A CSV record with the line it starts on: fields split at the delimiter outside quotes,
// quotes kept (unquoted() removes them), a quoted field may span lines.
struct Record
{
    int line = 0;
    QStringList fields;
};

QList<Record> csvRecords(const QString &text, QChar delimiter)
{
    QList<Record> records;
    Record current;
    QString field;
    bool quoted = false;
    int line = 1;
    current.line = 1;
    auto endRecord = [&] {
        current.fields << field;
        records << current;
        current = Record();
        field.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n'))
            ++line;
        if (quoted) {
            field += c;
            if (c == QLatin1Char('"'))
                quoted = false; // a doubled quote reopens at once below
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            field += c;
        } else if (c == delimiter) {
            current.fields << field;
            field.clear();
        } else if (c == QLatin1Char('\n')) {
            if (field.endsWith(QLatin1Char('\r')))
                field.chop(1);
            endRecord();
            current.line = line;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !current.fields.isEmpty())
        endRecord();
    return records;
}

bool skipped(const QString &line)
{
    const QString t = line.trimmed();
    return t.isEmpty() || t.startsWith(QLatin1Char('#'));
}

// How strongly a header names the number column: fax, then number, then phone.
int headerScore(const QString &cell)
{
    const QStringList words = unquoted(cell).toLower().split(
        QRegularExpression(QStringLiteral("[^a-z]+")), Qt::SkipEmptyParts);
    if (words.contains(QLatin1String("fax")) || words.contains(QLatin1String("telefax")) ||
        words.contains(QLatin1String("facsimile")))
        return 3;
    if (words.contains(QLatin1String("number")))
        return 2;
    if (words.contains(QLatin1String("phone")) || words.contains(QLatin1String("telephone")))
        return 1;
    return 0;
}

void take(ImportedList &list, int line, const QString &cell, const QByteArray &region)
{
    const QString written = unquoted(cell);
    if (written.isEmpty())
        return;
    const QString key = matchKey(written, region);
    if (key.isEmpty())
        list.notNumbers.append({line, written});
    else
        list.numbers.append({line, written, key});
}

} // namespace

QString matchKey(const QString &number, const QByteArray &region)
{
    const QString text = number.trimmed();
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), isPhoneCharacter))
        return QString();
    const QString digits = digitsOf(text);
    const PhoneReading reading = readPhoneNumber(text.toLatin1(), [&region] { return region; });
    if (reading.valid)
        return reading.e164;
    // Numbers the plans call unassigned (the 555 range of examples, say) still match.
    if (!text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1String("+1"))) {
        const QString ten = northAmericanTen(digits);
        if (!ten.isEmpty())
            return QStringLiteral("+1") + ten;
    }
    if (text.startsWith(QLatin1Char('+')) && digits.size() >= 7 && digits.size() <= 15 &&
        !digits.startsWith(QLatin1Char('0')))
        return QLatin1Char('+') + digits;
    return QString();
}

QString storedKey(const QString &fax, const QString &e164)
{
    if (!e164.isEmpty())
        return e164;
    return QLatin1Char('+') + digitsOf(fax);
}

ImportedList readList(const QByteArray &file, const QByteArray &region)
{
    ImportedList list;
    QString text = QString::fromUtf8(file);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(QLatin1Char('\n'));

    // A CSV file: its first line names the columns.
    int first = 0;
    while (first < lines.size() && skipped(lines.at(first)))
        ++first;
    if (first < lines.size()) {
        const QString header = lines.at(first);
        QChar delimiter;
        int most = 0;
        for (QChar d : {QLatin1Char(','), QLatin1Char(';'), QLatin1Char('\t')}) {
            const int n = int(header.count(d));
            if (n > most) {
                most = n;
                delimiter = d;
            }
        }
        if (most > 0) {
            const QStringList names = csvRecords(header, delimiter).value(0).fields;
            int column = -1;
            int best = 0;
            for (int i = 0; i < names.size(); ++i) {
                const int score = headerScore(names.at(i));
                if (score > best) {
                    best = score;
                    column = i;
                }
            }
            if (column >= 0) {
                list.column = unquoted(names.at(column));
                const QString rest = lines.mid(first + 1).join(QLatin1Char('\n'));
                for (const Record &r : csvRecords(rest, delimiter)) {
                    const int line = first + 1 + r.line;
                    if (r.fields.size() == 1 && skipped(r.fields.first()))
                        continue;
                    take(list, line, r.fields.value(column), region);
                }
                return list;
            }
        }
    }

    // One number a line; a line of several numbers between separators (an export of the
    // delimited kind) gives each of them.
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (skipped(line))
            continue;
        if (!matchKey(unquoted(line), region).isEmpty()) {
            take(list, i + 1, line, region);
            continue;
        }
        const QStringList parts =
            line.split(QRegularExpression(QStringLiteral("[;,\t]")), Qt::SkipEmptyParts);
        const bool allNumbers =
            parts.size() > 1 && std::all_of(parts.begin(), parts.end(), [&](const QString &p) {
                return unquoted(p).isEmpty() || !matchKey(unquoted(p), region).isEmpty();
            });
        if (!allNumbers) {
            list.notNumbers.append({i + 1, line.trimmed()});
            continue;
        }
        for (const QString &p : parts)
            take(list, i + 1, p, region);
    }
    return list;
}

} // namespace DoNotFax
