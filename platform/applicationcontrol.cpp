#include "platform/applicationcontrol.h"

#include "platform/xdgapplicationcontrol.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

std::shared_ptr<ApplicationControl> ApplicationControl::createDefault()
{
#if defined(Q_OS_MACOS)
    return std::make_shared<MacApplicationControl>();
#else
    return std::make_shared<XdgApplicationControl>();
#endif
}

// Regular applications are those with a Dock icon; JSON keeps names with odd characters intact.
const QString MacApplicationControl::runningApplicationsScript = QStringLiteral(
    "ObjC.import('AppKit');\n"
    "const apps = $.NSWorkspace.sharedWorkspace.runningApplications;\n"
    "const names = [];\n"
    "for (let i = 0; i < apps.count; i++) {\n"
    "  const app = apps.objectAtIndex(i);\n"
    "  if (app.activationPolicy !== $.NSApplicationActivationPolicyRegular) continue;\n"
    "  const name = ObjC.unwrap(app.localizedName);\n"
    "  if (typeof name === 'string') names.push(name);\n"
    "}\n"
    "JSON.stringify(names);");

MacApplicationControl::MacApplicationControl(AppleScriptExecutor executor)
    : m_executor(std::move(executor))
{}

std::optional<QString> MacApplicationControl::openScript(const QString &name)
{
    const auto literal = AppleScriptExecutor::stringLiteral(name);
    if (!literal)
        return std::nullopt;
    return QStringLiteral("tell application ") + *literal + QStringLiteral(" to activate");
}

std::optional<QString> MacApplicationControl::closeScript(const QString &name)
{
    const auto literal = AppleScriptExecutor::stringLiteral(name);
    if (!literal)
        return std::nullopt;
    return QStringLiteral("tell application ") + *literal + QStringLiteral(" to quit");
}

QCoro::Task<std::optional<ServiceError>> MacApplicationControl::open(QString name)
{
    co_return co_await runTell(openScript(name));
}

QCoro::Task<std::optional<ServiceError>> MacApplicationControl::close(QString name)
{
    co_return co_await runTell(closeScript(name));
}

QCoro::Task<std::optional<ServiceError>> MacApplicationControl::runTell(std::optional<QString> script)
{
    if (!script) {
        co_return ServiceError{
            QStringLiteral("AppleScript"),
            -1,
            QStringLiteral("An application name cannot contain line breaks or control characters")};
    }
    const AppleScriptExecutor executor = m_executor;
    const ServiceResult<QString> result = co_await executor.run(*script);
    if (!result.ok())
        co_return result.error();
    co_return std::nullopt;
}

QCoro::Task<ServiceResult<QStringList>> MacApplicationControl::runningApplicationNames()
{
    const AppleScriptExecutor executor = m_executor;
    const ServiceResult<QString> result
        = co_await executor.runJavaScript(runningApplicationsScript);
    if (!result.ok())
        co_return result.error();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(result.value().toUtf8(), &parseError);
    if (!document.isArray()) {
        co_return ServiceError{QStringLiteral("AppleScript"),
                               -1,
                               QStringLiteral("Unexpected list of applications: ") + result.value()};
    }
    QStringList names;
    for (const QJsonValue &value : document.array()) {
        if (value.isString())
            names.append(value.toString());
    }
    std::sort(names.begin(), names.end());
    co_return names;
}
