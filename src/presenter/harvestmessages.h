#pragma once

#include <QString>
#include <QtGlobal>

// The message boxes of session control. The window shows a QMessageBox (modal: socket and
// timer events keep running while it is open, and the harvest stays correct meanwhile);
// tests answer by script. Not owned by the presenter.
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
    // A question whose OK cannot be undone: Cancel is what Enter answers, and detail (may be
    // empty) says how much it touches ("86 fax numbers will be deleted."), beside the
    // question's own text. As confirm() unless a seam shows more.
    virtual Answer confirmDestructive(const QString &text, const QString &title,
                                      const QString &detail)
    {
        Q_UNUSED(detail);
        return confirm(text, title);
    }
};
