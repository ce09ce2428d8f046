#include "backgroundjobs.h"

BackgroundJobs::BackgroundJobs(const QString &threadName, QThread::Priority priority,
                               QObject *parent)
    : QObject(parent), m_name(threadName), m_priority(priority)
{
}

BackgroundJobs::~BackgroundJobs()
{
    m_thread.quit();
    m_thread.wait();
}

QObject *BackgroundJobs::worker()
{
    if (!m_worker) {
        m_worker = new QObject;
        m_worker->moveToThread(&m_thread);
        connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread.setObjectName(m_name);
        m_thread.start(m_priority);
    }
    return m_worker;
}

void BackgroundJobs::adopt(QObject *object)
{
    object->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, object, &QObject::deleteLater);
    (void)worker();
}
