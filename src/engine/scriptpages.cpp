#include "scriptpages.h"

#include "pagerenderer.h"
#include "scriptshell.h"

#include <QUrl>

void ScriptPages::setRenderer(PageRenderer *renderer)
{
    if (m_renderer)
        m_renderer->disconnect(this);
    dropAll();
    m_renderer = renderer;
    if (!renderer)
        return;
    // Queued: an answer given at once (a helper that cannot start) still reaches the slot
    // only after its page was handed over.
    connect(renderer, &PageRenderer::rendered, this, &ScriptPages::renderedPage,
            Qt::QueuedConnection);
    connect(renderer, &PageRenderer::failed, this, &ScriptPages::renderFailed,
            Qt::QueuedConnection);
    connect(renderer, &QObject::destroyed, this, [this] {
        m_renderer = nullptr;
        dropAll();
    });
}

bool ScriptPages::take(int slot, const QByteArray &url, const QByteArray &body)
{
    if (!m_renderer || m_bySlot.contains(slot) || !ScriptShell::isShell(body))
        return false;
    const quint64 id = ++m_tickets;
    m_pages.insert(id, Page{slot, url, body});
    m_bySlot.insert(slot, id);
    m_renderer->render(id, QUrl::fromEncoded(url), body);
    return true;
}

void ScriptPages::dropAll()
{
    for (auto it = m_pages.cbegin(); it != m_pages.cend(); ++it) {
        if (m_renderer)
            m_renderer->cancel(it.key());
    }
    m_pages.clear();
    m_bySlot.clear();
}

void ScriptPages::renderedPage(quint64 id, const QByteArray &html)
{
    const auto it = m_pages.find(id);
    if (it == m_pages.end())
        return;
    const Page page = *it;
    m_pages.erase(it);
    m_bySlot.remove(page.slot);
    ++m_rendered;
    m_said.clear(); // a renderer working again: a later failure is news
    Q_EMIT pageRendered(page.url);
    Q_EMIT ready(page.slot, html);
}

void ScriptPages::renderFailed(quint64 id, const QString &reason)
{
    const auto it = m_pages.find(id);
    if (it == m_pages.end())
        return;
    const Page page = *it;
    m_pages.erase(it);
    m_bySlot.remove(page.slot);
    ++m_failures;
    if (!m_said.contains(reason)) {
        m_said.insert(reason);
        Q_EMIT problem(QStringLiteral("A page that needs JavaScript (%1) was read as sent: %2")
                           .arg(QString::fromUtf8(page.url), reason));
    }
    Q_EMIT ready(page.slot, page.body);
}
