#pragma once

// The arguments of one varnel-tool command, read by QCommandLineParser. Options are long
// ("--name VALUE" or "--name=VALUE"); the errors are worded as the tool words them, naming
// the argument as it was typed.

#include <QCommandLineParser>
#include <QPair>
#include <QString>
#include <QStringList>

class ToolArgs
{
public:
    // args: those after the command's name.
    explicit ToolArgs(const QStringList &args);

    // An option without a value (a switch), or with one when valueName is given.
    void addSwitch(const QString &name);
    void addValue(const QString &name, const QString &valueName);
    // --data-dir DIR, and --store LOCATION where the command can work on a server or file.
    void addStoreOptions(bool withStore = true);

    // False with *error set on an unknown option ("unknown option '--x'"), an option that
    // misses its value ("--x needs a value") or one given a value it takes none of. Words
    // that are no option are kept (positional()); a command that takes none says so with
    // refuseWords().
    bool parse(QString *error);
    // The first word, as an unknown option is refused: true when there is none.
    bool refuseWords(QString *error) const;

    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    QString value(const QString &name) const { return m_parser.value(name); }
    QStringList values(const QString &name) const { return m_parser.values(name); }
    QStringList positional() const { return m_parser.positionalArguments(); }
    // Each option found with its value (empty for a switch), in the order they were given.
    QList<QPair<QString, QString>> inOrder() const;

    // --data-dir as given (empty: the default folder); --store as given.
    QString dataDir() const { return value(QStringLiteral("data-dir")); }
    QString storeOption() const { return value(QStringLiteral("store")); }
    // The store the command works on: --store when given, else the data folder's file.
    QString storeLocation() const;

private:
    QStringList m_args;
    QCommandLineParser m_parser;
    QStringList m_withValue;
};
