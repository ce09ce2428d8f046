#include "hostnames.h"

#include "logging.h"

#include <QHostInfo>
#include <QTimer>

HostNames::HostNames(QObject *parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_clock.start();
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &HostNames::checkTimeouts);
}

QByteArray HostNames::keyOf(const QByteArray &name)
{
    QByteArray k = name;
    for (char &c : k) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return k;
}

HostNames::State HostNames::state(const QByteArray &name) const
{
    const auto it = m_names.constFind(keyOf(name));
    if (it != m_names.cend())
        return it->state;
    QHostAddress literal;
    return literal.setAddress(QString::fromLatin1(name)) ? State::Known : State::Unknown;
}

QList<QHostAddress> HostNames::addresses(const QByteArray &name) const
{
    QHostAddress literal;
    if (literal.setAddress(QString::fromLatin1(name)))
        return {literal};
    const auto it = m_names.constFind(keyOf(name));
    return it != m_names.cend() && it->state == State::Known ? it->addresses
                                                             : QList<QHostAddress>();
}

QString HostNames::failure(const QByteArray &name) const
{
    return m_names.value(keyOf(name)).failure;
}

void HostNames::lookUp(const QByteArray &name)
{
    if (state(name) != State::Unknown)
        return;
    const QByteArray key = keyOf(name);
    Entry &e = m_names[key];
    e.state = State::Looking;
    e.generation = m_generation;
    m_waiting.push_back(key);
    sendWaiting();
}

void HostNames::sendWaiting()
{
    while (!m_waiting.empty() && m_outstanding < MaxLookups) {
        const QByteArray key = m_waiting.front();
        m_waiting.pop_front();
        const auto it = m_names.find(key);
        if (it == m_names.end() || it->state != State::Looking || it->sentAt >= 0)
            continue;
        send(key);
    }
}

void HostNames::send(const QByteArray &key)
{
    Entry &e = m_names[key];
    e.sentAt = m_clock.elapsed();
    ++m_outstanding;
    const quint64 generation = e.generation;
    // An answer is handled from the event loop, never inside the caller's lookUp(), even
    // should the system side answer at once.
    m_sending = true;
    QHostInfo::lookupHost(
        QString::fromLatin1(key), this, [this, key, generation](const QHostInfo &info) {
            const QList<QHostAddress> addresses = info.addresses();
            const QString error =
                info.error() == QHostInfo::NoError ? QString() : info.errorString();
            if (!m_sending) {
                answered(key, generation, addresses, error);
                return;
            }
            QMetaObject::invokeMethod(
                this, [=] { answered(key, generation, addresses, error); }, Qt::QueuedConnection);
        });
    m_sending = false;
    if (!m_timer->isActive())
        m_timer->start(m_timeoutMs);
}

void HostNames::answered(const QByteArray &key, quint64 generation,
                         const QList<QHostAddress> &addresses, const QString &error)
{
    --m_outstanding;
    const auto it = m_names.find(key);
    // Given up on (the time limit, or a new run) meanwhile: the answer is left.
    if (it != m_names.end() && it->state == State::Looking && it->sentAt >= 0 &&
        it->generation == generation && generation == m_generation) {
        it->addresses = addresses;
        if (!error.isEmpty() || addresses.isEmpty()) {
            it->failure = error.isEmpty() ? QStringLiteral("no address") : error;
            settle(key, *it, State::Failed);
        } else {
            settle(key, *it, State::Known);
        }
    }
    sendWaiting();
}

void HostNames::settle(const QByteArray &key, Entry &e, State state)
{
    e.state = state;
    e.sentAt = -1;
    qCDebug(lcFetch) << "name" << key << (state == State::Known ? "known" : "failed:") << e.failure;
    m_settled.push_back(key);
    trim();
    Q_EMIT lookedUp(key);
}

void HostNames::checkTimeouts()
{
    const qint64 now = m_clock.elapsed();
    qint64 next = -1;
    QList<QByteArray> late;
    for (auto it = m_names.begin(); it != m_names.end(); ++it) {
        if (it->state != State::Looking || it->sentAt < 0)
            continue;
        const qint64 due = it->sentAt + m_timeoutMs;
        if (due <= now)
            late << it.key();
        else if (next < 0 || due - now < next)
            next = due - now;
    }
    for (const QByteArray &key : qAsConst(late)) {
        const auto it = m_names.find(key);
        if (it == m_names.end())
            continue;
        it->failure = QStringLiteral("no answer within %1 ms").arg(m_timeoutMs);
        settle(key, *it, State::Failed);
    }
    if (next >= 0 && !m_timer->isActive())
        m_timer->start(int(next));
}

void HostNames::forget()
{
    ++m_generation;
    m_names.clear();
    m_waiting.clear();
    m_settled.clear();
    m_timer->stop();
}

void HostNames::trim()
{
    while (int(m_settled.size()) > MaxNames) {
        const QByteArray key = m_settled.front();
        m_settled.pop_front();
        const auto it = m_names.find(key);
        if (it != m_names.end() && it->state != State::Looking)
            m_names.erase(it);
    }
}
