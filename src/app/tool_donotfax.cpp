// varnel-tool donotfax: the do-not-fax list of a store, without the window.

#include "tool.h"
#include "toolargs.h"

#include "donotfax.h"
#include "openstore.h"
#include "store.h"
#include "toolstore.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

static int runDoNotFax(const QStringList &args);

static ToolCommand
    cmd("donotfax",
        "varnel-tool donotfax [--data-dir DIR | --store LOCATION] [--region CC] "
        "import FILE | add NUMBER | remove NUMBER | list",
        "the numbers no export writes: import a text or CSV file of them (one number a line, or "
        "a column named fax, number or phone), add one (an opt-out request), take one off, or "
        "list them with the date and the reason; --region names the country (ISO 3166 code) of "
        "numbers written without theirs",
        runDoNotFax);

namespace {

void printLine(const QString &text)
{
    std::fprintf(stdout, "%s\n", Tool::printable(text).constData());
}

int importFile(DoNotFaxStore &store, const QString &path, const QByteArray &region)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Tool::fileError(path, f.errorString());
    const DoNotFax::ImportedList list = DoNotFax::readList(f.readAll(), region);
    int added = 0;
    int known = 0;
    bool ok = true;
    store.beginBatch();
    for (const DoNotFax::ListedNumber &n : list.numbers) {
        bool isNew = false;
        if (!(ok = store.addDoNotFax(n.written, n.key, DoNotFaxStore::reasonImported, &isNew)))
            break;
        (isNew ? added : known)++;
    }
    store.endBatch();
    if (!ok || !store.lastError().isEmpty())
        return Tool::fileError(
            store.location(), QStringLiteral("the list could not be stored (%1); nothing was added")
                                  .arg(store.lastError()));
    printLine(QStringLiteral("Added %1 numbers to the do-not-fax list (%2 listed already)")
                  .arg(added)
                  .arg(known));
    if (!list.notNumbers.isEmpty()) {
        printLine(QStringLiteral("%1 lines are no telephone numbers:").arg(list.notNumbers.size()));
        for (const DoNotFax::BadLine &bad : list.notNumbers)
            printLine(QStringLiteral("  line %1: %2").arg(bad.line).arg(bad.text));
    }
    return 0;
}

} // namespace

static int runDoNotFax(const QStringList &args)
{
    ToolArgs parser(args);
    parser.addStoreOptions();
    parser.addValue(QStringLiteral("region"), QStringLiteral("CC"));
    QString error;
    if (!parser.parse(&error))
        return Tool::usageError(cmd);
    const QByteArray region = parser.value(QStringLiteral("region")).toUpper().toLatin1();
    const QStringList words = parser.positional();
    const QString action = words.value(0);
    const bool takesOne = action == QLatin1String("import") || action == QLatin1String("add") ||
                          action == QLatin1String("remove");
    if (!(takesOne && words.size() == 2) && !(action == QLatin1String("list") && words.size() == 1))
        return Tool::usageError(cmd);

    const QString location = parser.storeLocation();
    // Reading must not create a database: a mistyped folder is reported, not filled. A list
    // may be imported before the first harvest.
    if (action == QLatin1String("list") && !StoreLocation::isServer(location) &&
        !QFileInfo(ToolStore::filePath(location)).isFile())
        return Tool::fileError(ToolStore::filePath(location),
                               QStringLiteral("no harvest database here"));
    const std::unique_ptr<Store> store = ToolStore::open(location);

    if (action == QLatin1String("import"))
        return importFile(*store, words.at(1), region);
    if (action == QLatin1String("list")) {
        const std::optional<QList<DoNotFaxEntry>> entries = store->doNotFaxList();
        if (!entries)
            return Tool::fileError(store->location(), store->lastError());
        for (const DoNotFaxEntry &e : *entries)
            printLine(e.number + QLatin1Char('\t') + e.key + QLatin1Char('\t') +
                      e.date.toString(Qt::ISODate) + QLatin1Char('\t') + e.reason);
        return 0;
    }
    const QString key = DoNotFax::matchKey(words.at(1), region);
    if (key.isEmpty()) {
        std::fprintf(stderr, "varnel-tool: %s is no telephone number%s\n",
                     Tool::printable(words.at(1)).constData(),
                     region.isEmpty() ? " (give --region for a number without its country)" : "");
        return 2;
    }
    if (action == QLatin1String("remove")) {
        if (!store->removeDoNotFax({key}))
            return Tool::fileError(store->location(), store->lastError());
        printLine(QStringLiteral("%1 is off the do-not-fax list").arg(key));
        return 0;
    }
    bool added = false;
    if (!store->addDoNotFax(words.at(1), key, Store::reasonOptOut, &added))
        return Tool::fileError(store->location(), store->lastError());
    printLine(added ? QStringLiteral("%1 is on the do-not-fax list").arg(key)
                    : QStringLiteral("%1 was on the do-not-fax list already").arg(key));
    return 0;
}
