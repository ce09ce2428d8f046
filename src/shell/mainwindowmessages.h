#pragma once

#include "harvestmessages.h"

#include <QPointer>
#include <QWidget>

// The message boxes of session control on the desktop: a modal QMessageBox over the main
// window. information() has an OK button and the program's name as its title; confirm() has
// OK and Cancel and the title it is given; confirmDestructive() the same with Cancel as the
// default button. The box runs a nested event loop; the harvest
// stays consistent meanwhile.
class MessageBoxMessages : public HarvestMessages
{
public:
    explicit MessageBoxMessages(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    void information(const QString &text) override;
    Answer confirm(const QString &text, const QString &title) override;
    // The question with the detail below it; Cancel is the default button.
    Answer confirmDestructive(const QString &text, const QString &title,
                              const QString &detail) override;

private:
    QPointer<QWidget> m_parent;
};
