#pragma once

// Runs varnel-tool while the test's own loopback servers keep answering (the test's event
// loop runs meanwhile), bounded in time.

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

struct ToolRun
{
    QProcess process;
    QByteArray out;
    QByteArray err;
    qint64 elapsedMs = 0;

    // args after the program; prefix, when given, runs the tool through /bin/sh -c prefix
    // (e.g. "ulimit -f 16; trap '' XFSZ;").
    bool run(const QStringList &args, int timeoutMs = 60000, const QString &shellPrefix = {})
    {
        if (shellPrefix.isEmpty()) {
            process.start(QStringLiteral(VARNEL_TOOL_PATH), args);
        } else {
            process.start(QStringLiteral("/bin/sh"),
                          QStringList{QStringLiteral("-c"),
                                      shellPrefix + QStringLiteral(" exec \"$0\" \"$@\""),
                                      QStringLiteral(VARNEL_TOOL_PATH)} +
                              args);
        }
        if (!process.waitForStarted())
            return false;
        QElapsedTimer t;
        t.start();
        while (process.state() != QProcess::NotRunning && t.elapsed() < timeoutMs)
            QTest::qWait(20);
        elapsedMs = t.elapsed();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
            out += process.readAllStandardOutput();
            err += process.readAllStandardError();
            return false;
        }
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        return process.exitStatus() == QProcess::NormalExit;
    }
    int exitCode() const { return process.exitCode(); }
};
