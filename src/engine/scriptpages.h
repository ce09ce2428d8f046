#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

class PageRenderer;

// Pages that need JavaScript, for the harvest: a finished page that is a script shell
// (ScriptShell) goes to the page renderer, and its slot's page goes on to the analysis once
// rendered; when rendering fails, as it was sent, and problem() says why. Without a renderer
// every page is read as sent.
//
// Ownership: the renderer belongs to the caller and must outlive this object (or be reset
// to null first).
class ScriptPages : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    void setRenderer(PageRenderer *renderer);
    PageRenderer *renderer() const { return m_renderer; }

    // True when slot's page (found at url, "http://host/path") is a shell and went to the
    // renderer: ready() follows for the slot, from the event loop. False: read it as sent.
    bool take(int slot, const QByteArray &url, const QByteArray &body);
    bool isRendering(int slot) const { return m_bySlot.contains(slot); }
    // The harvest stopped: the pages being rendered are dropped (no ready() for them).
    void dropAll();

    int rendered() const { return m_rendered; } // pages rendered since start-up
    int failures() const { return m_failures; }

Q_SIGNALS:
    // The page to analyse for slot: rendered, or as its server sent it.
    void ready(int slot, const QByteArray &body);
    void pageRendered(const QByteArray &url);
    // Why a page was read as sent; each reason once until a page is rendered again.
    void problem(const QString &text);

private:
    void renderedPage(quint64 id, const QByteArray &html);
    void renderFailed(quint64 id, const QString &reason);

    struct Page
    {
        int slot = -1;
        QByteArray url;
        QByteArray body;
    };
    PageRenderer *m_renderer = nullptr;
    quint64 m_tickets = 0;
    QHash<quint64, Page> m_pages;
    QHash<int, quint64> m_bySlot;
    QSet<QString> m_said;
    int m_rendered = 0;
    int m_failures = 0;
};
