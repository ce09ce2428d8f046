#include "toolargs.h"

#include "toolstore.h"

#include <QHash>

ToolArgs::ToolArgs(const QStringList &args) : m_args(args)
{
    m_parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

void ToolArgs::addSwitch(const QString &name)
{
    m_parser.addOption(QCommandLineOption(name));
}

void ToolArgs::addValue(const QString &name, const QString &valueName)
{
    m_parser.addOption(QCommandLineOption(name, QString(), valueName));
    m_withValue << name;
}

void ToolArgs::addStoreOptions(bool withStore)
{
    addValue(QStringLiteral("data-dir"), QStringLiteral("DIR"));
    if (withStore)
        addValue(QStringLiteral("store"), QStringLiteral("LOCATION"));
}

bool ToolArgs::parse(QString *error)
{
    // The parser wants the program's name first. A word of one dash is no option of the
    // tool's: it is refused as unknown, as "--" words the tool does not know are.
    const bool parsed = m_parser.parse(QStringList{QStringLiteral("varnel-tool")} + m_args);
    const QStringList unknown = m_parser.unknownOptionNames();
    for (int i = 0; i < m_args.size(); ++i) {
        const QString &a = m_args.at(i);
        if (a == QLatin1String("--"))
            break;
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-"))
            continue;
        const bool doubleDash = a.startsWith(QLatin1String("--"));
        const QString name = a.mid(doubleDash ? 2 : 1).section(QLatin1Char('='), 0, 0);
        const bool hasValue = a.contains(QLatin1Char('='));
        if (!doubleDash || unknown.contains(name) || (hasValue && !m_withValue.contains(name))) {
            *error = QStringLiteral("unknown option '%1'").arg(a);
            return false;
        }
        if (m_withValue.contains(name) && !hasValue) {
            if (i + 1 >= m_args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            ++i; // its value, whatever it looks like
        }
    }
    if (!parsed) {
        *error = m_parser.errorText();
        return false;
    }
    return true;
}

bool ToolArgs::refuseWords(QString *error) const
{
    const QStringList words = positional();
    if (words.isEmpty())
        return true;
    *error = QStringLiteral("unknown option '%1'").arg(words.first());
    return false;
}

QList<QPair<QString, QString>> ToolArgs::inOrder() const
{
    QList<QPair<QString, QString>> found;
    QHash<QString, int> taken;
    for (const QString &name : m_parser.optionNames()) {
        QString v;
        if (m_withValue.contains(name))
            v = m_parser.values(name).value(taken[name]++);
        found.append({name, v});
    }
    return found;
}

QString ToolArgs::storeLocation() const
{
    return ToolStore::location(storeOption(), dataDir());
}
