#pragma once

#include "platform/applescriptexecutor.h"
#include "platform/serviceresult.h"

#include <QCoroTask>
#include <QStringList>

#include <memory>
#include <optional>

// Opening, closing and listing the user's applications by their display name.
// An application name is only ever data: it is escaped into script text or compared,
// never handed to a shell.
class ApplicationControl
{
public:
    virtual ~ApplicationControl() = default;

    // Nothing on success, otherwise the error whose description the user sees.
    virtual QCoro::Task<std::optional<ServiceError>> open(QString name) = 0;
    virtual QCoro::Task<std::optional<ServiceError>> close(QString name) = 0;
    // Names of the running ordinary applications, sorted in plain code-unit order.
    virtual QCoro::Task<ServiceResult<QStringList>> runningApplicationNames() = 0;

    // The host's own: osascript on macOS, XDG desktop entries elsewhere.
    static std::shared_ptr<ApplicationControl> createDefault();
};

// macOS: AppleScript "tell application … to activate/quit", and NSWorkspace's regular
// applications through JavaScript for Automation.
class MacApplicationControl : public ApplicationControl
{
public:
    explicit MacApplicationControl(AppleScriptExecutor executor = AppleScriptExecutor());

    QCoro::Task<std::optional<ServiceError>> open(QString name) override;
    QCoro::Task<std::optional<ServiceError>> close(QString name) override;
    QCoro::Task<ServiceResult<QStringList>> runningApplicationNames() override;

    // The script texts, or nothing when the name cannot be written as a string literal.
    static std::optional<QString> openScript(const QString &name);
    static std::optional<QString> closeScript(const QString &name);
    static const QString runningApplicationsScript;

private:
    QCoro::Task<std::optional<ServiceError>> runTell(std::optional<QString> script);

    AppleScriptExecutor m_executor;
};
