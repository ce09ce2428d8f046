#include "ontop.h"

#include <QWidget>
#include <QWindow>

void SetTopMost(QWidget *window, bool topMost)
{
    if (!window)
        return;
    QWidget *w = window->window();
    Qt::WindowFlags flags = w->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, topMost);
    if (flags == w->windowFlags())
        return;
    if (QWindow *handle = w->windowHandle()) {
        // Changing the platform window's flags in place: QWidget::setWindowFlags would hide
        // and re-create a visible window.
        w->overrideWindowFlags(flags);
        handle->setFlags(flags);
    } else {
        w->setWindowFlags(flags);
    }
}
