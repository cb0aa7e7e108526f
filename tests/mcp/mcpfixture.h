#pragma once

// The reference servers (npm ci --prefix tests puts them in tests/node_modules), run for real.
#include "mcp/mcpclient.h"
#include "mcp/stdiotransport.h"
#include "tests/support/testenvironment.h"

#include <QCoroTask>
#include <QTcpServer>

namespace Mcp {

inline QString script(const QString &package)
{
    return QStringLiteral(TOVRA_NODE_MODULES "/@modelcontextprotocol/") + package
           + QStringLiteral("/dist/index.js");
}

// Why the Node servers cannot run here; empty when they can.
inline QString nodeMissing()
{
    QProcess node;
    node.start(QStringLiteral("node"), {QStringLiteral("--version")});
    const bool ran = node.waitForFinished(10000) && node.exitCode() == 0;
    const int major
        = QString::fromLatin1(node.readAllStandardOutput()).mid(1).section(u'.', 0, 0).toInt();
    if (!ran || major < 20)
        return QStringLiteral("Skipped: the tool-server tests need Node 20 or newer (found %1).")
            .arg(ran ? QString::number(major) : QStringLiteral("none"));
    if (!QFileInfo::exists(script(QStringLiteral("server-everything"))))
        return QStringLiteral(
            "Skipped: the reference servers are missing; run npm ci --prefix tests.");
    return {};
}

// The folders a test server's command is found in: the test's own PATH.
inline QStringList folders()
{
    return qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts);
}

inline StdioServerCommand everything(QMap<QString, QString> env = {})
{
    return {QStringLiteral("node"),
            {script(QStringLiteral("server-everything")), QStringLiteral("stdio")},
            env,
            {},
            folders()};
}

inline StdioServerCommand pager(const QString &version = QStringLiteral("2025-06-18"))
{
    return {QStringLiteral(TOVRA_FIXTURES "/mcp_pager.py"), {version}, {}, {}, folders()};
}

inline std::unique_ptr<McpClient> client(std::unique_ptr<McpTransport> transport,
                                         std::chrono::milliseconds timeout
                                         = std::chrono::seconds(20))
{
    return std::make_unique<McpClient>(std::move(transport),
                                       McpClientOptions{QStringLiteral("test"), timeout});
}

// server-everything in its Streamable HTTP mode on a free loopback port.
class EverythingOverHttp
{
public:
    EverythingOverHttp()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
        probe.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PORT"), QString::number(port));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("node"),
                      {script(QStringLiteral("server-everything")),
                       QStringLiteral("streamableHttp")});
        QByteArray log;
        QDeadlineTimer deadline(20000);
        while (!log.contains("listening") && !deadline.hasExpired()
               && process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(500);
            log += process.readAll();
        }
        listening = log.contains("listening");
        if (!listening)
            qInfo("server-everything did not start: %s", log.constData());
    }
    ~EverythingOverHttp()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/mcp").arg(port); }

    QProcess process;
    int port = 0;
    bool listening = false;
};

} // namespace Mcp

#define SKIP_WITHOUT_NODE() \
    do { \
        if (const QString why = Mcp::nodeMissing(); !why.isEmpty()) \
            QSKIP(qPrintable(why)); \
    } while (false)
