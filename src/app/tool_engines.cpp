// varnel-tool engines: the search engines discovery can ask.

#include "tool.h"

#include "searchengines.h"

static int runEngines(const QStringList &args);

static ToolCommand cmd("engines", "varnel-tool engines",
                       "list the search engines: the name for --engine, the name in the engine "
                       "list, the address asked",
                       runEngines);

static int runEngines(const QStringList &args)
{
    if (!args.isEmpty())
        return Tool::usageError(cmd);
    QByteArray out;
    for (const SearchEngines::SearchEngine &e : SearchEngines::all()) {
        out += e.toolName.toUtf8() + '\t' + e.displayName.toUtf8() + '\t' +
               (e.post ? "POST " : "GET ") + (e.origin + e.firstPage).toUtf8() + '\n';
    }
    if (!Tool::writeStdout(out))
        return Tool::fileError(QStringLiteral("standard output"), QStringLiteral("write failed"));
    return 0;
}
