#include "platform/applescriptexecutor.h"

#include "platform/processreaper.h"

#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>

#include <memory>

namespace {

const std::chrono::milliseconds endGrace = std::chrono::seconds(1);

ServiceError scriptError(const QString &description)
{
    return ServiceError{QStringLiteral("AppleScript"), -1, description};
}

} // namespace

AppleScriptExecutor::AppleScriptExecutor(QString program)
    : m_program(std::move(program))
{}

QCoro::Task<ServiceResult<QString>> AppleScriptExecutor::run(QString source) const
{
    QStringList arguments;
    arguments << QStringLiteral("-e") << source;
    co_return co_await runProgram(std::move(arguments));
}

QCoro::Task<ServiceResult<QString>> AppleScriptExecutor::runJavaScript(QString source) const
{
    QStringList arguments;
    arguments << QStringLiteral("-l") << QStringLiteral("JavaScript") << QStringLiteral("-e")
              << source;
    co_return co_await runProgram(std::move(arguments));
}

QCoro::Task<ServiceResult<QString>> AppleScriptExecutor::runProgram(QStringList arguments) const
{
    // Copied: the executor may be a temporary that is gone while the script runs.
    const QString program = m_program.isEmpty()
                                ? QStandardPaths::findExecutable(QStringLiteral("osascript"))
                                : m_program;
    if (program.isEmpty() || !QFileInfo(program).isExecutable())
        co_return scriptError(QStringLiteral("Could not create script"));

    auto process = std::make_unique<QProcess>();
    process->setStandardInputFile(QProcess::nullDevice());
    const QPointer<QProcess> running = process.get();
    if (!co_await startProcess(running, program, arguments))
        co_return scriptError(QStringLiteral("Could not create script"));

    if (!co_await awaitExit(running, timeout)) {
        co_await endProcess(running, endGrace);
        co_return scriptError(
            QStringLiteral("The script did not finish within %1 seconds").arg(timeout.count()));
    }

    QString output = QString::fromUtf8(process->readAllStandardOutput());
    if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0) {
        QString message = QString::fromUtf8(process->readAllStandardError()).trimmed();
        if (message.isEmpty())
            message
                = QStringLiteral("The script failed with exit code %1").arg(process->exitCode());
        co_return scriptError(message);
    }
    if (output.endsWith(QLatin1Char('\n')))
        output.chop(1);
    co_return output;
}

std::optional<QString> AppleScriptExecutor::stringLiteral(const QString &text)
{
    QString literal;
    literal.reserve(text.size() + 2);
    literal += QLatin1Char('"');
    for (const QChar c : text) {
        // Line breaks (including U+2028/U+2029) and other control characters are refused
        // rather than escaped: a literal that spans lines is easy to get wrong.
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            return std::nullopt;
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            literal += QLatin1Char('\\');
        literal += c;
    }
    literal += QLatin1Char('"');
    return literal;
}
