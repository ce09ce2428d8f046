// varnel-tool resources: where the program finds its read-only resources.

#include "tool.h"
#include "toolargs.h"

#include "datadir.h"

#include <QDir>

#include <cstdio>

static int runResources(const QStringList &args);

static ToolCommand cmd("resources", "varnel-tool resources [--data-dir DIR]",
                       "show where the help document, the sounds and the skin are found",
                       runResources);

static int runResources(const QStringList &args)
{
    ToolArgs parser(args);
    parser.addStoreOptions(false);
    QString error;
    if (!parser.parse(&error) || !parser.refuseWords(&error))
        return Tool::usageError(cmd);
    QString dataDir = parser.dataDir();
    if (dataDir.isEmpty())
        dataDir = DataDir::defaultPath();
    static const char *const names[] = {
        "Help.rtf",         "sounds/nextsearch.wav", "sounds/foundfax.wav", "sounds/finished.wav",
        "skin/varnel.skin", "skin/varnel.qss"};
    int missing = 0;
    for (const char *name : names) {
        const QString path = DataDir::resource(dataDir, QString::fromLatin1(name));
        if (path.isEmpty())
            ++missing;
        std::fprintf(stdout, "%s\t%s\n", name,
                     path.isEmpty() ? "(missing)" : qPrintable(QDir::toNativeSeparators(path)));
    }
    return missing == 0 ? 0 : 1;
}
