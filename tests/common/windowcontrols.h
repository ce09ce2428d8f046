#pragma once

// A window's control found by its object name (the original program's control names), as a
// test drives the windows from outside. A name that no control has ends the test program:
// the window lost a name that docs/names.md promises.

#include <QObject>
#include <QString>
#include <QtGlobal>

template <class T> T *control(const QObject *window, const QString &name)
{
    T *found = window ? window->findChild<T *>(name) : nullptr;
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return found;
}
