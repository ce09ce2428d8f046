// varnel-tool export: the export of the window, without it.

#include "tool.h"

#include "datadirlock.h"
#include "export.h"
#include "openstore.h"
#include "store.h"
#include "toolstore.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

static int runExport(const QStringList &args);

static ToolCommand cmd(
    "export",
    "varnel-tool export [--data-dir DIR | --store LOCATION] [--type semicolon|tab|lines|csv|xlsx] "
    "[--space] [--only-new] [--delete] FILE",
    "write every stored fax number to FILE (--delete empties the store afterwards); csv and "
    "xlsx write every column, the business's included, xlsx as text cells; --store "
    "names a database file or a server (postgresql://USER@HOST:PORT/DATABASE); numbers on the "
    "do-not-fax list are left out, with --only-new also those an earlier export wrote; exits "
    "with 4, writing nothing, when there is no number to write",
    runExport);

static int runExport(const QStringList &args)
{
    QString dataDir;
    QString storeOption;
    QString file;
    int type = FaxExport::Semicolon;
    bool space = false;
    bool deleteAfter = false;
    bool onlyNew = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--data-dir") && i + 1 < args.size()) {
            dataDir = args.at(++i);
        } else if (a == QLatin1String("--store") && i + 1 < args.size()) {
            storeOption = args.at(++i);
        } else if (a == QLatin1String("--type") && i + 1 < args.size()) {
            const QString t = args.at(++i);
            if (t == QLatin1String("semicolon"))
                type = FaxExport::Semicolon;
            else if (t == QLatin1String("tab"))
                type = FaxExport::Tab;
            else if (t == QLatin1String("lines"))
                type = FaxExport::Lines;
            else if (t == QLatin1String("csv"))
                type = FaxExport::Csv;
            else if (t == QLatin1String("xlsx"))
                type = FaxExport::Xlsx;
            else
                return Tool::usageError(cmd);
        } else if (a == QLatin1String("--space")) {
            space = true;
        } else if (a == QLatin1String("--delete")) {
            deleteAfter = true;
        } else if (a == QLatin1String("--only-new")) {
            onlyNew = true;
        } else if (a.startsWith(QLatin1String("--")) || !file.isEmpty()) {
            return Tool::usageError(cmd);
        } else {
            file = a;
        }
    }
    if (file.isEmpty())
        return Tool::usageError(cmd);
    const QString location = ToolStore::location(storeOption, dataDir);
    const QString shown =
        StoreLocation::isServer(location) ? location : ToolStore::filePath(location);

    // Exporting must not create a database: a mistyped folder is reported, not filled.
    if (!StoreLocation::isServer(location) && !QFileInfo(shown).isFile())
        return Tool::fileError(shown, QStringLiteral("no harvest database here"));

    // Emptying the store while a harvest runs in the folder would delete the numbers it
    // stores between the export and the deletion, unexported.
    const std::unique_ptr<DataDirLock> lock = ToolStore::lockFolder(location);
    if (deleteAfter && lock && !lock->tryLock()) {
        std::fprintf(stderr,
                     "varnel-tool: %s Nothing was exported or deleted (export without "
                     "--delete to keep the numbers).\n",
                     qPrintable(lock->errorString()));
        return 1;
    }

    const std::unique_ptr<Store> store = StoreLocation::open(location);
    Store &db = *store;
    const FaxExport::Result r = FaxExport::exportFaxes(db, file, type, space, onlyNew);
    if (r.nothingToWrite) {
        std::fprintf(stderr, "varnel-tool: %s\n", qPrintable(r.error));
        return 4;
    }
    if (!r.ok) {
        std::fprintf(stderr, "varnel-tool: %s\n", qPrintable(r.error));
        return 1;
    }
    std::fprintf(stdout, "%s\n", qPrintable(FaxExport::writtenLine(r, file)));
    const QString leftOut = FaxExport::leftOutText(r.counts);
    if (!leftOut.isEmpty())
        std::fprintf(stdout, "%s\n", qPrintable(leftOut));
    if (!r.warning.isEmpty())
        std::fprintf(stderr, "varnel-tool: %s\n", qPrintable(r.warning));
    if (deleteAfter && StoreLocation::isServer(location)) {
        // Other harvesters may have stored numbers since the export read them: those stay.
        if (!db.deleteExportedFaxes(r.numbers))
            return Tool::fileError(shown, QStringLiteral("the fax numbers could not be deleted"));
        std::fprintf(stdout, "Deleted the %d exported fax numbers from the store\n", r.count);
    } else if (deleteAfter) {
        if (!db.deleteAllFaxes() || db.countFaxes().value_or(-1) != 0)
            return Tool::fileError(shown, QStringLiteral("the fax numbers could not be deleted"));
        std::fprintf(stdout, "Deleted all fax numbers from the store\n");
    }
    return 0;
}
