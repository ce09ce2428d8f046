// varnel-tool numbers: the stored numbers with their businesses, for a terminal or a script.

#include "tool.h"
#include "toolargs.h"

#include "numberfields.h"
#include "openstore.h"
#include "store.h"
#include "toolstore.h"

#include <QFileInfo>

#include <cstdio>

static int runNumbers(const QStringList &args);

static ToolCommand
    cmd("numbers", "varnel-tool numbers [--data-dir DIR | --store LOCATION] [--json | --csv]",
        "every stored number with every column, its business's included (organisation, address, "
        "main phone, site): a table to read, or with --json one object per line (the keys of "
        "faxes --json, and date, search, business), with --csv a header of those keys and a "
        "record per number",
        runNumbers);

namespace {

// Rows read from the store at a time: a million numbers are never held at once.
constexpr int kPageRows = 2000;

QByteArray csvField(const QString &text)
{
    QByteArray f = text.toUtf8();
    if (f.contains(',') || f.contains('"') || f.contains('\r') || f.contains('\n')) {
        f.replace('"', "\"\"");
        f = '"' + f + '"';
    }
    return f;
}

using NumberFields::Field;

// The keys that JSON writes as numbers or leaves out.
QByteArray jsonLine(const ListedFax &fax)
{
    QByteArray out = "{";
    for (int i = 0; i < NumberFields::FieldCount; ++i) {
        const Field f = Field(i);
        if (i > 0)
            out += ',';
        out += '"' + NumberFields::key(f).toLatin1() + "\":";
        const QString text = NumberFields::text(fax, f);
        out += f == NumberFields::Business ? (text.isEmpty() ? QByteArray("null") : text.toLatin1())
                                           : Tool::jsonString(text);
    }
    return out + "}\n";
}

QByteArray csvLine(const ListedFax &fax)
{
    QByteArray out;
    for (int i = 0; i < NumberFields::FieldCount; ++i) {
        if (i > 0)
            out += ',';
        out += csvField(NumberFields::text(fax, Field(i)));
    }
    return out + "\r\n";
}

// The table to read: the columns a user looks for first, each as wide as the widest of its
// cells among the first rows read, up to a limit (longer ones are cut with "…"); the rows
// are printed as they are read, so that a million numbers are never held at once.
const Field kTableFields[] = {NumberFields::Number, NumberFields::Organization, NumberFields::City,
                              NumberFields::Phone,  NumberFields::Search,       NumberFields::Date,
                              NumberFields::Page};
constexpr int kCellLimit = 32;

QString cell(const QString &text, int width)
{
    QString t = text;
    t.replace(QLatin1Char('\t'), QLatin1Char(' '));
    t.replace(QLatin1Char('\n'), QLatin1Char(' '));
    t.replace(QLatin1Char('\r'), QLatin1Char(' '));
    if (t.size() > kCellLimit)
        t = t.left(kCellLimit - 1) + QChar(0x2026);
    return t.leftJustified(width);
}

// The table's column widths: each title's, widened to the cells of the first rows.
QList<int> tableWidths(const QList<ListedFax> &rows)
{
    QList<int> widths;
    for (Field f : kTableFields)
        widths << int(NumberFields::title(f).size());
    for (const ListedFax &r : rows) {
        for (int c = 0; c < int(std::size(kTableFields)); ++c)
            widths[c] =
                std::min(kCellLimit,
                         std::max(widths[c], int(NumberFields::text(r, kTableFields[c]).size())));
    }
    return widths;
}

template <typename TextOf> QByteArray tableLine(const QList<int> &widths, TextOf textOf)
{
    QStringList cells;
    for (int c = 0; c < int(std::size(kTableFields)); ++c)
        cells << cell(textOf(kTableFields[c]), widths[c]);
    return Tool::printable(cells.join(QStringLiteral("  ")).trimmed()) + '\n';
}

} // namespace

static int runNumbers(const QStringList &args)
{
    ToolArgs parser(args);
    parser.addStoreOptions();
    parser.addSwitch(QStringLiteral("json"));
    parser.addSwitch(QStringLiteral("csv"));
    QString error;
    if (!parser.parse(&error) || !parser.refuseWords(&error))
        return Tool::usageError(cmd);
    enum
    {
        Table,
        Json,
        Csv
    } form = Table;
    // One form, given once.
    for (const auto &option : parser.inOrder()) {
        if (option.first != QLatin1String("json") && option.first != QLatin1String("csv"))
            continue;
        if (form != Table)
            return Tool::usageError(cmd);
        form = option.first == QLatin1String("json") ? Json : Csv;
    }
    const QString location = parser.storeLocation();
    // Reading must not create a database: a mistyped folder is reported, not made.
    if (!StoreLocation::isServer(location) && !QFileInfo(ToolStore::filePath(location)).isFile())
        return Tool::fileError(ToolStore::filePath(location),
                               QStringLiteral("no harvest database here"));
    const std::unique_ptr<Store> store = ToolStore::open(location);
    if (!store->isUsable())
        return 1; // the store said which and why

    QList<int> widths; // the table's, from its first rows
    if (form == Csv) {
        QStringList keys;
        for (int i = 0; i < NumberFields::FieldCount; ++i)
            keys << NumberFields::key(Field(i));
        if (!Tool::writeStdout(keys.join(QLatin1Char(',')).toLatin1() + "\r\n"))
            return 1;
    }
    for (qint64 offset = 0;; offset += kPageRows) {
        const std::optional<QList<ListedFax>> page =
            store->faxPage(FaxFilter(), FaxSort(), offset, kPageRows);
        if (!page)
            return 1;
        QByteArray out;
        if (form == Table && widths.isEmpty()) {
            widths = tableWidths(*page);
            out += tableLine(widths, [](Field f) { return NumberFields::title(f); });
        }
        for (const ListedFax &f : *page) {
            if (form == Json)
                out += jsonLine(f);
            else if (form == Csv)
                out += csvLine(f);
            else
                out +=
                    tableLine(widths, [&f](Field field) { return NumberFields::text(f, field); });
        }
        if (!out.isEmpty() && !Tool::writeStdout(out))
            return 1;
        if (page->size() < kPageRows)
            break;
    }
    return 0;
}
