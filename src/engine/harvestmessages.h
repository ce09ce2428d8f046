#pragma once

#include <QList>
#include <QString>
#include <functional>

// The message boxes of session control. The window shows a QMessageBox (modal: socket and
// timer events keep running while it is open, and the engine stays correct meanwhile);
// tests and the headless tool answer by script. Not owned by the engine.
class HarvestMessages
{
public:
    enum Answer
    {
        Ok,
        Cancel
    };

    virtual ~HarvestMessages() = default;
    // A message box with an OK button, no title of its own.
    virtual void information(const QString &text) = 0;
    // A question with OK and Cancel buttons.
    virtual Answer confirm(const QString &text, const QString &title) = 0;
};

// Records every message and answers the questions from a queue (then defaultAnswer).
// onShown, when set, runs inside the "box" with the text, as a modal box would let other
// events run before the user answers.
class ScriptedMessages : public HarvestMessages
{
public:
    struct Shown
    {
        QString text;
        QString title; // empty for information()
        bool question = false;
    };

    void information(const QString &text) override;
    Answer confirm(const QString &text, const QString &title) override;

    QList<Shown> shown;
    QList<Answer> answers;
    Answer defaultAnswer = Cancel;
    std::function<void(const QString &text)> onShown;

    QStringList texts() const;
};
