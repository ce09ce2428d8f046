#include "nginxserver.h"

#include "testwebserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <unistd.h>

QString NginxServer::executable()
{
    return QStandardPaths::findExecutable(
        QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                  QStringLiteral("/usr/local/sbin"), QStringLiteral("/usr/bin")});
}

NginxServer::NginxServer(const QString &prefixDir) : m_prefix(QDir(prefixDir).absolutePath()) {}

NginxServer::~NginxServer()
{
    stop();
}

quint16 NginxServer::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

static bool writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

bool NginxServer::start(const QList<Site> &sites, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        stop();
        return false;
    };
    const QString nginx = executable();
    if (nginx.isEmpty())
        return fail(QStringLiteral("nginx is not installed"));
    QDir().mkpath(m_prefix + QStringLiteral("/tmp"));
    QDir().mkpath(m_prefix + QStringLiteral("/logs"));
    writeText(m_prefix + QStringLiteral("/cert.pem"), TestWebServer::certificatePem());
    writeText(m_prefix + QStringLiteral("/key.pem"), TestWebServer::privateKeyPem());
    m_port = freePort();
    m_tlsPort = freePort();
    while (m_tlsPort == m_port)
        m_tlsPort = freePort();

    const QByteArray p = m_prefix.toUtf8();
    QByteArray conf;
    // As root the workers would drop to a user that may not read the test's folders.
    if (::geteuid() == 0)
        conf += "user root;\n";
    conf +=
        "worker_processes 1;\npid " + p + "/nginx.pid;\nerror_log " + p +
        "/logs/error.log;\n"
        "events { worker_connections 1024; }\n"
        "http {\n" +
        (m_accessLog.isEmpty() ? QByteArray("  access_log off;\n")
                               : "  log_format varnel '$server_port $host $request_uri $status';\n"
                                 "  access_log " +
                                     m_accessLog.toUtf8() + " varnel;\n") +
        "  types { text/html htm html; text/plain txt; }\n"
        "  default_type text/html;\n"
        "  client_body_temp_path " +
        p +
        "/tmp/body;\n"
        "  proxy_temp_path " +
        p +
        "/tmp/proxy;\n"
        "  fastcgi_temp_path " +
        p +
        "/tmp/fastcgi;\n"
        "  uwsgi_temp_path " +
        p +
        "/tmp/uwsgi;\n"
        "  scgi_temp_path " +
        p +
        "/tmp/scgi;\n"
        "  server { listen 127.0.0.1:" +
        QByteArray::number(m_port) +
        " default_server; return 404; }\n"
        "  server { listen 127.0.0.1:" +
        QByteArray::number(m_tlsPort) +
        " ssl default_server;\n"
        "    ssl_certificate " +
        p + "/cert.pem; ssl_certificate_key " + p + "/key.pem; return 404; }\n";
    for (const Site &s : sites) {
        conf += "  server {\n";
        if (s.tls)
            conf += "    listen 127.0.0.1:" + QByteArray::number(m_tlsPort) +
                    " ssl;\n"
                    "    ssl_certificate " +
                    p + "/cert.pem; ssl_certificate_key " + p + "/key.pem;\n";
        else
            conf += "    listen 127.0.0.1:" + QByteArray::number(m_port) + ";\n";
        conf += "    server_name " + s.host.toUtf8() + ";\n    root " +
                QDir(s.root).absolutePath().toUtf8() + ";\n    index index.htm index.html;\n    " +
                s.extraConfig.toUtf8() + "\n  }\n";
    }
    conf += "}\n";
    const QString confPath = m_prefix + QStringLiteral("/nginx.conf");
    if (!writeText(confPath, conf))
        return fail(QStringLiteral("cannot write %1").arg(confPath));

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(nginx, {QStringLiteral("-p"), m_prefix, QStringLiteral("-c"), confPath,
                            QStringLiteral("-e"), m_prefix + QStringLiteral("/logs/error.log"),
                            QStringLiteral("-g"), QStringLiteral("daemon off;")});
    if (!m_process.waitForStarted(5000))
        return fail(QStringLiteral("nginx did not start: %1").arg(m_process.errorString()));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        if (m_process.state() != QProcess::Running) {
            QFile log(m_prefix + QStringLiteral("/logs/error.log"));
            log.open(QIODevice::ReadOnly);
            return fail(
                QStringLiteral("nginx ended: %1 %2")
                    .arg(QString::fromUtf8(m_process.readAll()), QString::fromUtf8(log.readAll())));
        }
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(200)) {
            QTcpSocket tlsProbe;
            tlsProbe.connectToHost(QHostAddress::LocalHost, m_tlsPort);
            if (tlsProbe.waitForConnected(200))
                return true;
        }
        QThread::msleep(50);
    }
    return fail(QStringLiteral("nginx does not answer on port %1").arg(m_port));
}

void NginxServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}
