#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// One completed document, as the list builder reads it.
struct BrowserPage
{
    QString url;         // the document's address (LocationURL)
    QString html;        // the page text: the body's markup, or the response's HTML
    int httpStatus = 0;  // the response's HTTP status; 0 when the browser cannot tell
    bool answered = true; // false: no response at all (refused, unreachable, reset)
};
Q_DECLARE_METATYPE(BrowserPage)

// The embedded browser of the list builder, reduced to what a run uses: an address is
// loaded, loading can be stopped, and completion is reported with the address and the
// page's HTML. After stop() or a new navigate(), nothing more is reported for the
// earlier address.
class Browser : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Browser() override = default;

    virtual void navigate(const QString &url) = 0;
    virtual void stop() = 0;

Q_SIGNALS:
    // DocumentComplete of the top-level document.
    void documentComplete(const BrowserPage &page);
};
