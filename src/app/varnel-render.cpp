// varnel-render: renders pages that need JavaScript for the harvest, with Qt WebEngine and
// without a window, so that the harvest itself links no browser engine. It reads requests on
// standard input and answers on standard output, until its input ends:
//   render ID MILLISECONDS URL LENGTH\n<LENGTH bytes of the page as its server sent it>
//   rendered ID LENGTH\n<LENGTH bytes of the document once its scripts have built it>
//   failed ID REASON\n
// A page is read once its scripts have left it unchanged for half a second, or when its
// time is up (then as it stands). Options: --resolve PATTERN=ADDRESS:PORT (the harvest's own
// host map, for the scripts and styles the page loads).

#include "webenginesetup.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <unistd.h>
#include <vector>

namespace {

// Pages rendered at once; more wait their turn.
constexpr int kAtOnce = 4;
constexpr int kQuietMs = 500;
constexpr int kPollMs = 100;
// Chromium takes a page given whole up to this size.
constexpr qsizetype kMostPage = 2 * 1024 * 1024 - 64 * 1024;
constexpr int kMostMs = 60000;

const char *const kWatchChanges = R"(
(function () {
    window.__varnelChanged = Date.now();
    new MutationObserver(function () { window.__varnelChanged = Date.now(); })
        .observe(document, {childList: true, subtree: true, characterData: true,
                            attributes: true, attributeFilter: ['href']});
})();
)";
const char *const kQuietFor =
    "window.__varnelChanged === undefined ? -1 : Date.now() - window.__varnelChanged";

void writeAll(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(1, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the harvest went away; the input's end ends this program
        done += n;
    }
}

struct Request
{
    quint64 id = 0;
    int ms = 10000;
    QUrl url;
    QByteArray html;
};

class Renderer : public QObject
{
public:
    explicit Renderer(QObject *parent = nullptr)
        : QObject(parent), m_profile(new QWebEngineProfile(this))
    {
        // Off the record: nothing of a page is kept on disk.
        m_profile->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, false);
        m_profile->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        m_profile->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        QWebEngineScript watch;
        watch.setName(QStringLiteral("varnel-watch-changes"));
        watch.setInjectionPoint(QWebEngineScript::DocumentCreation);
        watch.setWorldId(QWebEngineScript::ApplicationWorld);
        watch.setSourceCode(QLatin1String(kWatchChanges));
        m_profile->scripts()->insert(watch);
        m_input = new QSocketNotifier(0, QSocketNotifier::Read, this);
        connect(m_input, &QSocketNotifier::activated, this, &Renderer::readInput);
    }

private:
    void readInput()
    {
        char chunk[65536];
        const ssize_t n = ::read(0, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            return;
        if (n <= 0) {
            m_input->setEnabled(false);
            m_inputEnded = true;
            quitWhenIdle();
            return;
        }
        m_buffer.append(chunk, n);
        parse();
    }

    void parse()
    {
        for (;;) {
            const qsizetype eol = m_buffer.indexOf('\n');
            if (eol < 0)
                return;
            const QList<QByteArray> w = m_buffer.left(eol).split(' ');
            bool okId = false, okMs = false, okLength = false;
            Request r;
            r.id = w.value(1).toULongLong(&okId);
            r.ms = w.value(2).toInt(&okMs);
            r.url = QUrl::fromEncoded(w.value(3));
            const qsizetype length = w.value(4).toLongLong(&okLength);
            if (w.size() != 5 || w.at(0) != "render" || !okId || !okMs || !okLength || length < 0) {
                std::fprintf(stderr, "varnel-render: a request that cannot be read\n");
                QCoreApplication::exit(2);
                return;
            }
            if (m_buffer.size() < eol + 1 + length)
                return;
            r.html = m_buffer.mid(eol + 1, length);
            m_buffer.remove(0, eol + 1 + length);
            r.ms = qBound(500, r.ms, kMostMs);
            m_waiting.push_back(r);
            startNext();
        }
    }

    void startNext()
    {
        while (m_running.size() < kAtOnce && !m_waiting.empty()) {
            Request r = m_waiting.front();
            m_waiting.pop_front();
            if (r.html.size() > kMostPage) {
                fail(r.id, "the page is larger than the browser takes whole");
                continue;
            }
            if (!r.url.isValid() || (r.url.scheme() != QLatin1String("http") &&
                                     r.url.scheme() != QLatin1String("https"))) {
                fail(r.id, "the page's address is no web address");
                continue;
            }
            auto *page = new QWebEnginePage(m_profile, this);
            m_running.insert(r.id, page);
            auto *clock = new QElapsedTimer;
            clock->start();
            // The page's time: whatever it shows then is read.
            QTimer::singleShot(r.ms, page, [this, id = r.id] { read(id); });
            connect(page, &QWebEnginePage::loadFinished, page,
                    [this, id = r.id, page, clock, ms = r.ms](bool) {
                        waitQuiet(id, page, clock, ms);
                    });
            connect(page, &QObject::destroyed, [clock] { delete clock; });
            page->setContent(r.html, QStringLiteral("text/html"), r.url);
        }
    }

    void waitQuiet(quint64 id, QWebEnginePage *page, QElapsedTimer *clock, int ms)
    {
        QPointer<QWebEnginePage> p(page);
        page->runJavaScript(QLatin1String(kQuietFor), QWebEngineScript::ApplicationWorld,
                            [this, id, p, clock, ms](const QVariant &quiet) {
                                if (!p || !m_running.contains(id))
                                    return;
                                const qint64 q = quiet.isValid() ? quiet.toLongLong() : -1;
                                if (q >= kQuietMs || clock->elapsed() >= ms) {
                                    read(id);
                                    return;
                                }
                                QTimer::singleShot(kPollMs, p, [this, id, p, clock, ms] {
                                    if (p)
                                        waitQuiet(id, p, clock, ms);
                                });
                            });
    }

    void read(quint64 id)
    {
        QWebEnginePage *page = m_running.value(id);
        if (!page || m_reading.contains(id))
            return;
        m_reading.insert(id);
        page->runJavaScript(
            QStringLiteral("document.documentElement ? document.documentElement.outerHTML : ''"),
            QWebEngineScript::ApplicationWorld, [this, id](const QVariant &html) {
                const QByteArray bytes = html.toString().toUtf8();
                writeAll("rendered " + QByteArray::number(id) + ' ' +
                         QByteArray::number(bytes.size()) + '\n' + bytes);
                done(id);
            });
    }

    void fail(quint64 id, const char *reason)
    {
        writeAll("failed " + QByteArray::number(id) + ' ' + reason + '\n');
    }

    void done(quint64 id)
    {
        m_reading.remove(id);
        if (QWebEnginePage *page = m_running.take(id))
            page->deleteLater();
        startNext();
        quitWhenIdle();
    }

    void quitWhenIdle()
    {
        if (m_inputEnded && m_running.isEmpty() && m_waiting.empty())
            QCoreApplication::quit();
    }

    QWebEngineProfile *m_profile;
    QSocketNotifier *m_input = nullptr;
    QByteArray m_buffer;
    bool m_inputEnded = false;
    std::deque<Request> m_waiting;
    QHash<quint64, QWebEnginePage *> m_running;
    QSet<quint64> m_reading;
};

} // namespace

int main(int argc, char **argv)
{
    // No window is ever shown.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QByteArray rules;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--resolve" && i + 1 < argc) {
            // "host=127.0.0.1:8080" becomes Chromium's "MAP host 127.0.0.1:8080".
            const QByteArray m = argv[++i];
            const qsizetype eq = m.indexOf('=');
            if (eq <= 0) {
                std::fprintf(stderr, "varnel-render: --resolve is PATTERN=ADDRESS:PORT\n");
                return 2;
            }
            rules += (rules.isEmpty() ? "" : ",") + QByteArray("MAP ") + m.left(eq) + ' ' +
                     m.mid(eq + 1);
        } else {
            std::fprintf(stderr, "usage: varnel-render [--resolve PATTERN=ADDRESS:PORT]...\n"
                                 "renders pages that need JavaScript for varnel-tool and varnel; "
                                 "requests come on standard input\n");
            return 2;
        }
    }
    prepareWebEngine();
    // Chromium takes its switches from the program's arguments after "--webEngineArgs",
    // unless the environment's list is set, which it splits at spaces: the rules hold spaces,
    // so every switch goes into the arguments.
    std::vector<QByteArray> kept = {QByteArray(argv[0]), QByteArray("--webEngineArgs")};
    for (const QByteArray &flag : qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").split(' ')) {
        if (!flag.isEmpty())
            kept.push_back(flag);
    }
    qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!rules.isEmpty())
        kept.push_back("--host-resolver-rules=" + rules);
    std::vector<char *> args;
    for (QByteArray &k : kept)
        args.push_back(k.data());
    args.push_back(nullptr);
    int count = int(kept.size());
    QGuiApplication app(count, args.data());
    Renderer renderer;
    return app.exec();
}
