#include "tool.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <cstdio>
#include <vector>

namespace {
std::vector<const ToolCommand *> &registry()
{
    static std::vector<const ToolCommand *> commands;
    return commands;
}

void printHelp(FILE *out)
{
    std::fprintf(out, "varnel-tool: the command-line companion of Quorvex Fax Varnel\n\n"
                      "usage: varnel-tool COMMAND [ARGS...]\n\ncommands:\n");
    for (const ToolCommand *c : registry())
        std::fprintf(out, "  %s\n      %s\n", c->usage, c->summary);
    std::fprintf(out, "\nText taken from pages (text, faxes, links, domains, the harvest's "
                      "messages) is printed\nwith every control character but the tab and the "
                      "line end as \\xHH (ESC as \\x1b,\nDEL as \\x7f), so that a page "
                      "cannot retitle, clear or rewrite the terminal.\n");
}
} // namespace

ToolCommand::ToolCommand(const char *n, const char *u, const char *s, Run r)
    : name(n), usage(u), summary(s), run(r)
{
    registry().push_back(this);
}

int Tool::usageError(const ToolCommand &cmd)
{
    std::fprintf(stderr, "usage: %s\n", cmd.usage);
    return 2;
}

int Tool::fileError(const QString &path, const QString &reason)
{
    std::fprintf(stderr, "varnel-tool: %s: %s\n", qPrintable(path), qPrintable(reason));
    return 1;
}

bool Tool::writeStdout(const QByteArray &bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
}

static void appendEscaped(QByteArray &out, uint code)
{
    static const char hex[] = "0123456789abcdef";
    out += "\\x";
    out += hex[(code >> 4) & 0xf];
    out += hex[code & 0xf];
}

QByteArray Tool::escapeControls(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = uchar(bytes.at(i));
        const bool lineEnd =
            c == '\n' || (c == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n');
        if ((c < 0x20 && c != '\t' && !lineEnd) || c == 0x7f)
            appendEscaped(out, c);
        else
            out += char(c);
    }
    return out;
}

QByteArray Tool::jsonString(const QString &text)
{
    QByteArray out = "\"";
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) {
            out += "\\u00";
            out += QByteArray::number(int(c), 16).rightJustified(2, '0');
        } else {
            out += QString(ch).toUtf8();
        }
    }
    // A lone surrogate cannot be written in UTF-8; QString::toUtf8 of one char gives "?".
    return out + '"';
}

QByteArray Tool::printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if ((c < 0x20 && c != '\t') || (c >= 0x7f && c <= 0x9f)) {
            QByteArray escaped;
            appendEscaped(escaped, c);
            out += QLatin1String(escaped);
        } else {
            out += ch;
        }
    }
    return out.toUtf8();
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quorvex Fax Varnel"));
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty()) {
        printHelp(stderr);
        return 2;
    }
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        printHelp(stdout);
        return 0;
    }
    for (const ToolCommand *c : registry()) {
        if (name == QLatin1String(c->name)) {
            const int rc = c->run(args);
            std::fflush(stdout);
            return rc;
        }
    }
    std::fprintf(stderr, "varnel-tool: unknown command '%s' (see varnel-tool --help)\n",
                 qPrintable(name));
    return 2;
}
