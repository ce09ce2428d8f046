#include "pagerenderer.h"

#include "logging.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

namespace {

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The most a rendered document may hold; a larger answer is a broken helper.
constexpr qint64 kMostRendered = 64 * 1024 * 1024;

} // namespace

ProcessPageRenderer::ProcessPageRenderer(const QString &program, const QStringList &arguments,
                                         QObject *parent)
    : PageRenderer(parent), m_program(program), m_arguments(arguments)
{
    m_deadlines = new QTimer(this);
    m_deadlines->setInterval(500);
    connect(m_deadlines, &QTimer::timeout, this, &ProcessPageRenderer::checkDeadlines);
}

ProcessPageRenderer::~ProcessPageRenderer()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->closeWriteChannel(); // the helper ends at the end of its input
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
}

QString ProcessPageRenderer::defaultProgram()
{
    const QString set = qEnvironmentVariable("VARNEL_RENDER");
    if (!set.isEmpty())
        return set;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("varnel-render"));
}

void ProcessPageRenderer::setTimes(int pageMs, int slackMs)
{
    m_pageMs = pageMs;
    m_slackMs = slackMs;
}

bool ProcessPageRenderer::ensureStarted()
{
    if (m_process && m_process->state() != QProcess::NotRunning)
        return true;
    if (!QFileInfo(m_program).isExecutable()) {
        failAll(QStringLiteral("the program %1 is not there (it comes with the windowed "
                               "program)")
                    .arg(m_program));
        return false;
    }
    delete m_process;
    m_buffer.clear();
    m_process = new QProcess(this);
    // The browser engine's chatter goes to the log (QT_LOGGING_RULES="varnel.engine.debug=true").
    connect(m_process, &QProcess::readyReadStandardError, this, [this] {
        const QByteArray said = m_process->readAllStandardError();
        qCDebug(lcEngine).noquote() << "varnel-render:" << QString::fromLocal8Bit(said).trimmed();
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &ProcessPageRenderer::readAnswers);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            processEnded(QStringLiteral("the program %1 could not be started (%2)")
                             .arg(m_program, m_process->errorString()));
    });
    connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        processEnded(
            status == QProcess::CrashExit
                ? QStringLiteral("the program %1 crashed").arg(m_program)
                : QStringLiteral("the program %1 ended (status %2)").arg(m_program).arg(code));
    });
    m_process->start(m_program, m_arguments);
    return true;
}

void ProcessPageRenderer::render(quint64 id, const QUrl &url, const QByteArray &html)
{
    m_waiting.push_back(Waiting{id, url.toEncoded(), html});
    sendWaiting();
}

void ProcessPageRenderer::sendWaiting()
{
    while (!m_waiting.empty() && m_pending.size() < InFlight) {
        const Waiting w = m_waiting.front();
        m_waiting.pop_front();
        m_pending.insert(w.id, now() + m_pageMs + m_slackMs);
        if (!ensureStarted())
            return; // every page failed, the waiting ones too
        m_process->write("render " + QByteArray::number(w.id) + ' ' + QByteArray::number(m_pageMs) +
                         ' ' + w.url + ' ' + QByteArray::number(w.html.size()) + '\n');
        m_process->write(w.html);
        m_deadlines->start();
    }
}

void ProcessPageRenderer::cancel(quint64 id)
{
    // A page handed over is still answered by the helper; the answer is dropped.
    m_pending.remove(id);
    for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it) {
        if (it->id == id) {
            m_waiting.erase(it);
            break;
        }
    }
    sendWaiting();
}

void ProcessPageRenderer::readAnswers()
{
    m_buffer += m_process->readAllStandardOutput();
    for (;;) {
        const qsizetype eol = m_buffer.indexOf('\n');
        if (eol < 0)
            return;
        const QList<QByteArray> words = m_buffer.left(eol).split(' ');
        bool ok = false;
        const quint64 id = words.value(1).toULongLong(&ok);
        if (words.value(0) == "rendered" && ok && words.size() == 3) {
            const qint64 length = words.value(2).toLongLong(&ok);
            if (!ok || length < 0 || length > kMostRendered)
                break;
            if (m_buffer.size() < eol + 1 + length)
                return; // the document is still on its way
            const QByteArray html = m_buffer.mid(eol + 1, length);
            m_buffer.remove(0, eol + 1 + length);
            if (m_pending.remove(id))
                Q_EMIT rendered(id, html);
            sendWaiting();
            continue;
        }
        if (words.value(0) == "failed" && ok) {
            const QString reason =
                QString::fromUtf8(m_buffer.mid(0, eol).split(' ').mid(2).join(' '));
            m_buffer.remove(0, eol + 1);
            if (m_pending.remove(id))
                Q_EMIT failed(id, reason);
            sendWaiting();
            continue;
        }
        break;
    }
    // An answer out of turn: the helper cannot be trusted with the pages it holds.
    qCWarning(lcEngine) << "page renderer answered out of turn:" << m_buffer.left(80);
    m_process->disconnect(this);
    m_process->kill();
    m_process->waitForFinished(3000);
    failAll(QStringLiteral("the program %1 answered out of turn").arg(m_program));
}

void ProcessPageRenderer::processEnded(const QString &why)
{
    failAll(why);
}

void ProcessPageRenderer::checkDeadlines()
{
    const qint64 t = now();
    QList<quint64> late;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        if (it.value() <= t)
            late << it.key();
    }
    if (m_pending.isEmpty())
        m_deadlines->stop();
    if (late.isEmpty())
        return;
    // A helper that keeps a page this long is stuck: it is ended, and the pages it held fail.
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(3000);
    }
    failAll(QStringLiteral("the page was not rendered within %1 seconds")
                .arg((m_pageMs + m_slackMs) / 1000.0));
}

void ProcessPageRenderer::failAll(const QString &reason)
{
    QList<quint64> ids = m_pending.keys();
    for (const Waiting &w : m_waiting)
        ids << w.id;
    std::sort(ids.begin(), ids.end());
    m_pending.clear();
    m_waiting.clear();
    m_buffer.clear();
    for (const quint64 id : ids)
        Q_EMIT failed(id, reason);
}
