#pragma once

// A page renderer for the engine's tests: answers from the event loop with the document set
// for a page's address, fails with a reason, or never answers; records what it was asked.

#include "pagerenderer.h"

#include <QHash>
#include <QStringList>
#include <QTimer>

class FakePageRenderer : public PageRenderer
{
public:
    QHash<QString, QByteArray> documents; // by address; a missing one fails
    QString failure = QStringLiteral("the renderer is out of order");
    bool silent = false; // never answer
    QStringList asked;   // the addresses, in order
    QList<quint64> cancelled;
    QList<quint64> open;

    void render(quint64 id, const QUrl &url, const QByteArray &) override
    {
        asked << url.toString();
        open << id;
        if (silent)
            return;
        const QString address = url.toString();
        QTimer::singleShot(0, this, [this, id, address] {
            if (!open.removeOne(id))
                return;
            if (documents.contains(address))
                Q_EMIT rendered(id, documents.value(address));
            else
                Q_EMIT failed(id, failure);
        });
    }
    void cancel(quint64 id) override
    {
        cancelled << id;
        open.removeOne(id);
    }
    // A late answer, for a page the harvest may have dropped.
    void answerNow(quint64 id, const QByteArray &html) { Q_EMIT rendered(id, html); }
};
