#pragma once

// Message boxes answered by script: every message is recorded and the questions are
// answered from a queue (then defaultAnswer). onShown, when set, runs inside the "box" with
// the text, as a modal box would let other events run before the user answers.

#include "harvestmessages.h"

#include <QList>
#include <QStringList>
#include <functional>

class ScriptedMessages : public HarvestMessages
{
public:
    struct Shown
    {
        QString text;
        QString title; // empty for information()
        bool question = false;
        bool destructive = false; // a question that defaults to Cancel
        QString detail;           // how much a destructive question touches
    };

    void information(const QString &text) override
    {
        shown.append(Shown{text, QString(), false, false, QString()});
        if (onShown)
            onShown(text);
    }
    Answer confirm(const QString &text, const QString &title) override
    {
        shown.append(Shown{text, title, true, false, QString()});
        if (onShown)
            onShown(text);
        return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
    }
    Answer confirmDestructive(const QString &text, const QString &title,
                              const QString &detail) override
    {
        const Answer a = confirm(text, title);
        shown.last().destructive = true;
        shown.last().detail = detail;
        return a;
    }

    QStringList texts() const
    {
        QStringList out;
        for (const Shown &s : shown)
            out << s.text;
        return out;
    }

    QList<Shown> shown;
    QList<Answer> answers;
    Answer defaultAnswer = Cancel;
    std::function<void(const QString &text)> onShown;
};
