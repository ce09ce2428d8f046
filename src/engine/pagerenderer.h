#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <deque>

class QProcess;
class QTimer;

// Renders a page as a browser shows it once its scripts have run: the seam between the
// harvest and a browser engine, which the harvest itself does not link. A request is
// answered exactly once, by rendered() or by failed(), unless it is cancelled first.
class PageRenderer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // html: the page as its server sent it; url: where it was found (its relative links,
    // scripts and styles resolve against it).
    virtual void render(quint64 id, const QUrl &url, const QByteArray &html) = 0;
    // No answer for id will come.
    virtual void cancel(quint64 id) = 0;

Q_SIGNALS:
    void rendered(quint64 id, const QByteArray &html);
    void failed(quint64 id, const QString &reason);
};

// The helper program varnel-render (Qt WebEngine, without a window) as a page renderer,
// started at the first page and kept for the next ones. Requests go to its standard input
// and answers come from its standard output:
//   render ID MILLISECONDS URL LENGTH\n<LENGTH bytes of the page>
//   rendered ID LENGTH\n<LENGTH bytes of the rendered document>   or   failed ID REASON\n
// A page not answered within its time fails; a helper that cannot be started, crashes or
// answers out of turn fails every page it holds, and the next page starts it again.
class ProcessPageRenderer : public PageRenderer
{
    Q_OBJECT
public:
    // The time the helper is given for a page, and the client's bound beyond it (the first
    // page also waits for the browser engine to start).
    static constexpr int PageMs = 10000;
    static constexpr int SlackMs = 20000;
    // Pages handed to the helper at once; the others wait here, and their time starts when
    // they are handed over.
    static constexpr int InFlight = 4;

    // program: the helper's path; arguments: passed on (e.g. "--resolve", "HOST=ADDR:PORT").
    explicit ProcessPageRenderer(const QString &program, const QStringList &arguments = {},
                                 QObject *parent = nullptr);
    ~ProcessPageRenderer() override;

    // varnel-render beside the running program, or $VARNEL_RENDER when set.
    static QString defaultProgram();
    // The time a page is given (PageMs) and the bound beyond it (SlackMs) unless set.
    void setTimes(int pageMs, int slackMs);

    void render(quint64 id, const QUrl &url, const QByteArray &html) override;
    void cancel(quint64 id) override;

private:
    bool ensureStarted();
    void readAnswers();
    void processEnded(const QString &why);
    void checkDeadlines();
    void failAll(const QString &reason);
    void sendWaiting();

    struct Waiting
    {
        quint64 id = 0;
        QByteArray url;
        QByteArray html;
    };

    QString m_program;
    QStringList m_arguments;
    int m_pageMs = PageMs;
    int m_slackMs = SlackMs;
    QProcess *m_process = nullptr;
    QTimer *m_deadlines = nullptr;
    QByteArray m_buffer;
    QHash<quint64, qint64> m_pending; // handed over: id -> deadline (ms since the epoch)
    std::deque<Waiting> m_waiting;
};
