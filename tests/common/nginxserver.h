#pragma once

// A real nginx (the Debian package) for end-to-end tests and benchmarks, started in the
// foreground with a configuration of its own below a prefix folder (logs, pid, temporary
// files), listening on free loopback ports, and killed when the object goes. Virtual
// hosts by name: plain ones on port(), TLS ones on tlsPort() with the test web server's
// self-signed certificate.
//
//   NginxServer nginx(tempDir);
//   QVERIFY2(nginx.start({{"a.example", rootA}, {"b.example", rootB, "", true}}, &error), ...);
//   ResolveMap plain; plain.add("*", "127.0.0.1", nginx.port());

#include <QList>
#include <QProcess>
#include <QString>

class NginxServer
{
public:
    struct Site
    {
        QString host;        // server_name
        QString root;        // document root
        QString extraConfig; // more directives inside the server block
        bool tls = false;
    };

    // The nginx program, or empty when it is not installed.
    static QString executable();

    explicit NginxServer(const QString &prefixDir);
    ~NginxServer();
    NginxServer(const NginxServer &) = delete;
    NginxServer &operator=(const NginxServer &) = delete;

    // Writes the configuration, starts nginx and waits (bounded) until it accepts
    // connections. False with *error (including nginx's own log) when it does not.
    bool start(const QList<Site> &sites, QString *error = nullptr);
    // Before start(): every request is logged to path as a line "PORT HOST URI STATUS",
    // PORT being the port it came in on.
    void setAccessLog(const QString &path) { m_accessLog = path; }
    void stop();
    quint16 port() const { return m_port; }
    quint16 tlsPort() const { return m_tlsPort; }

    static quint16 freePort();

private:
    QString m_prefix;
    QProcess m_process;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    QString m_accessLog;
};
