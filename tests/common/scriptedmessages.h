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
    };

    void information(const QString &text) override
    {
        shown.append(Shown{text, QString(), false});
        if (onShown)
            onShown(text);
    }
    Answer confirm(const QString &text, const QString &title) override
    {
        shown.append(Shown{text, title, true});
        if (onShown)
            onShown(text);
        return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
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
