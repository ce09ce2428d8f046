#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

// One completed document, as the list builder reads it.
struct BrowserPage
{
    QString url;          // the document's address (LocationURL)
    QString html;         // the page text: the body's markup, or the response's HTML
    int httpStatus = 0;   // the response's HTTP status; 0 when the browser cannot tell
    bool answered = true; // false: no response at all (refused, unreachable, reset)
    QString finalUrl;     // the address after redirects; empty when the browser cannot tell
    QString errorText;    // why there was no response, in words
};
Q_DECLARE_METATYPE(BrowserPage)

// A request as a search engine wants it: the method, a form body, the headers a desktop
// browser sends, cookies, and a token that the engine's home page form holds.
struct BrowserRequest
{
    using Fields = QList<QPair<QByteArray, QByteArray>>;

    QString url;
    QByteArray method = "GET"; // GET or POST
    QByteArray body;           // POST: the form body, application/x-www-form-urlencoded
    Fields headers;            // sent as given, after the browser's own
    Fields cookies;            // name and value, for the request's host
    // When set, this page is loaded first (once per session) and the value of its hidden
    // input named tokenField fills the field of that name in the body (or the address).
    QString tokenPageUrl;
    QByteArray tokenField;

    // The address and body to send once the token is known: the token fills its field in
    // the body of a POST, in the address's query otherwise (the field is added when the
    // form lacks it).
    QUrl urlWithToken(const QString &token) const;
    QByteArray bodyWithToken(const QString &token) const;
};

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
    // A browser that can send only plain addresses loads the request's address.
    virtual void load(const BrowserRequest &request) { navigate(request.url); }

Q_SIGNALS:
    // DocumentComplete of the top-level document.
    void documentComplete(const BrowserPage &page);
};
