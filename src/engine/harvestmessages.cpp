#include "harvestmessages.h"

#include <QStringList>

void ScriptedMessages::information(const QString &text)
{
    shown.append(Shown{text, QString(), false});
    if (onShown)
        onShown(text);
}

HarvestMessages::Answer ScriptedMessages::confirm(const QString &text, const QString &title)
{
    shown.append(Shown{text, title, true});
    if (onShown)
        onShown(text);
    return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
}

QStringList ScriptedMessages::texts() const
{
    QStringList out;
    for (const Shown &s : shown)
        out << s.text;
    return out;
}
