// varnel-tool domains: the names the list builder would take from one result page.

#include "tool.h"

#include "domainextractor.h"

#include <QFile>
#include <QStringDecoder>

static int runDomains(const QStringList &args);

static ToolCommand cmd("domains", "varnel-tool domains FILE",
                       "print the domain names a search result page (HTML in FILE) yields, one a line",
                       runDomains);

static int runDomains(const QStringList &args)
{
    if (args.size() != 1 || args.at(0).startsWith(QLatin1String("--")))
        return Tool::usageError(cmd);
    QFile file(args.at(0));
    if (!file.open(QIODevice::ReadOnly))
        return Tool::fileError(args.at(0), file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Tool::fileError(args.at(0), file.errorString());

    // Pages saved from a browser are UTF-8; anything else is read byte for byte, which
    // keeps every ASCII host name intact.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);

    DomainExtractor::SeenNames seen;
    const QStringList names = DomainExtractor::extractDomainNames(text, seen);
    QByteArray out;
    for (const QString &name : names)
        out += Tool::printable(name) + '\n';
    if (!Tool::writeStdout(out))
        return Tool::fileError(QStringLiteral("standard output"), QStringLiteral("write failed"));
    return 0;
}
