#include "mcp/stdiotransport.h"

#include "mcp/commandsearch.h"
#include "mcp/logging.h"

#include "platform/processreaper.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

namespace {

// The kept tail may start inside a multi-byte character; start it at the next whole one.
QByteArray wholeCharacters(const QByteArray &tail)
{
    qsizetype start = 0;
    while (start < tail.size() && start < 4 && (uchar(tail.at(start)) & 0xC0) == 0x80)
        ++start;
    return tail.mid(start);
}

} // namespace

StdioTransport::StdioTransport(StdioServerCommand server, QObject *parent)
    : McpTransport(parent)
    , m_server(std::move(server))
{}

StdioTransport::~StdioTransport()
{
    killProcessGroupNow(m_process);
}

QMap<QString, QString> StdioTransport::serverEnvironment(const StdioServerCommand &server)
{
    const QProcessEnvironment app = QProcessEnvironment::systemEnvironment();
    QMap<QString, QString> environment;
    for (const char *name : {"HOME", "LOGNAME", "SHELL", "TERM", "USER"}) {
        const QString key = QString::fromLatin1(name);
        if (app.contains(key))
            environment.insert(key, app.value(key));
    }
    environment.insert(QStringLiteral("PATH"), server.searchFolders.join(u':'));
    for (auto it = server.environment.cbegin(); it != server.environment.cend(); ++it)
        environment.insert(it.key(), it.value());
    return environment;
}

qint64 StdioTransport::processId() const
{
    return m_process ? m_process->processId() : 0;
}

QCoro::Task<QString> StdioTransport::open()
{
    if (!m_server.workingDirectory.isEmpty() && !QFileInfo(m_server.workingDirectory).isDir())
        co_return QStringLiteral("The folder %1 does not exist.").arg(m_server.workingDirectory);
    const std::optional<QString> program
        = CommandSearch::find(m_server.command, m_server.searchFolders, m_server.workingDirectory);
    if (!program)
        co_return CommandSearch::notFoundText(m_server.command, m_server.searchFolders);

    auto *process = new QProcess(this);
    m_process = process;
    QProcessEnvironment environment;
    const QMap<QString, QString> variables = serverEnvironment(m_server);
    for (auto it = variables.cbegin(); it != variables.cend(); ++it)
        environment.insert(it.key(), it.value());
    process->setProcessEnvironment(environment);
    if (!m_server.workingDirectory.isEmpty())
        process->setWorkingDirectory(m_server.workingDirectory);
    endWithApp(process, ProcessGroup::Own);
    connect(process, &QProcess::readyReadStandardOutput, this, &StdioTransport::readOutput);
    connect(process, &QProcess::readyReadStandardError, this, &StdioTransport::readErrors);
    connect(process, &QProcess::finished, this, &StdioTransport::onFinished);

    QPointer<QProcess> watched = process;
    const bool started = co_await startProcess(watched, *program, m_server.arguments);
    if (!watched)
        co_return QStringLiteral("The server was closed while it started.");
    if (!started)
        co_return QStringLiteral("Could not start %1: %2").arg(*program, watched->errorString());
    qCDebug(lcMcp) << "started" << *program << m_server.arguments << "pid" << watched->processId();
    co_return QString();
}

void StdioTransport::send(const nlohmann::json &message)
{
    if (!m_process || m_process->state() != QProcess::Running)
        return;
    std::string line = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    line.push_back('\n');
    m_process->write(line.data(), qint64(line.size()));
}

void StdioTransport::readOutput()
{
    if (!m_process)
        return;
    m_buffer += m_process->readAllStandardOutput();
    qsizetype start = 0;
    for (qsizetype end = m_buffer.indexOf('\n'); end >= 0; end = m_buffer.indexOf('\n', start)) {
        QByteArrayView line(m_buffer.constData() + start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const auto message = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
        if (message.is_discarded()) {
            // Something printed to the protocol's stream; the user may want to see it.
            qCDebug(lcMcp) << "not a message:" << line;
            appendLog("stdout: " + line.toByteArray() + '\n');
            continue;
        }
        deliver(message);
        if (!m_process)
            return;
    }
    m_buffer.remove(0, start);
    if (m_buffer.size() > messageLimit) {
        appendLog("A message of more than 64 MB without a line break: the server was stopped.\n");
        m_buffer.clear();
        killProcessGroupNow(m_process);
    }
}

void StdioTransport::readErrors()
{
    if (m_process)
        appendLog(m_process->readAllStandardError());
}

void StdioTransport::appendLog(const QByteArray &bytes)
{
    m_log += bytes;
    if (m_log.size() > logLimit)
        m_log = wholeCharacters(m_log.right(logLimit));
}

QString StdioTransport::log() const
{
    return QString::fromUtf8(m_log);
}

void StdioTransport::onFinished()
{
    if (!m_process)
        return;
    readOutput();
    readErrors();
    const QString name = QFileInfo(m_server.command).fileName();
    const QString reason
        = m_process->exitStatus() == QProcess::CrashExit
              ? QStringLiteral("%1 stopped (signal %2).").arg(name).arg(m_process->exitCode())
              : QStringLiteral("%1 exited with code %2.").arg(name).arg(m_process->exitCode());
    qCDebug(lcMcp) << reason;
    m_process->deleteLater();
    m_process = nullptr;
    if (!m_closing)
        reportClosed(reason);
}

QCoro::Task<> StdioTransport::close()
{
    m_closing = true;
    QPointer<QProcess> process = m_process;
    co_await endProcessGroup(process, shutdownGrace);
}
