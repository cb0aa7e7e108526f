#pragma once

#include "mcp/transport.h"

#include <QByteArray>
#include <QMap>
#include <QPointer>
#include <QStringList>

#include <chrono>

class QProcess;

// What starts a local server.
struct StdioServerCommand
{
    QString command; // as configured: a name looked up in searchFolders, or a path
    QStringList arguments;
    QMap<QString, QString> environment; // on top of the few variables every server gets
    QString workingDirectory;           // empty: the app's
    QStringList searchFolders;          // see CommandSearch::searchFolders
};

// A local server as a child process speaking newline-delimited JSON-RPC on its standard
// input and output. Its error stream is its log; the last 64 KiB are kept for the screens.
// It runs in a process group of its own, which the kernel ends with the app.
class StdioTransport : public McpTransport
{
    Q_OBJECT

public:
    static constexpr qsizetype logLimit = 64 * 1024;
    // A message longer than this without a line break ends the connection.
    static constexpr qsizetype messageLimit = 64 * 1024 * 1024;
    // Closing: input closed, this long to end; then SIGTERM, this long again; then SIGKILL.
    static constexpr std::chrono::milliseconds shutdownGrace{2000};

    explicit StdioTransport(StdioServerCommand server, QObject *parent = nullptr);
    // Kills a server that is still running: it must never outlive the app.
    ~StdioTransport() override;

    QCoro::Task<QString> open() override;
    void send(const nlohmann::json &message) override;
    QCoro::Task<> close() override;
    QString log() const override;
    QString kind() const override { return QStringLiteral("stdio"); }

    // The environment a server starts with: HOME, LOGNAME, SHELL, TERM and USER as the app has
    // them, PATH made of the search folders, then the configured variables.
    static QMap<QString, QString> serverEnvironment(const StdioServerCommand &server);
    qint64 processId() const;

private:
    void readOutput();
    void readErrors();
    void appendLog(const QByteArray &bytes);
    void onFinished();

    StdioServerCommand m_server;
    QPointer<QProcess> m_process;
    QByteArray m_buffer; // output after the last complete line
    QByteArray m_log;
    bool m_closing = false;
};
