#include "tools/toolexecutor.h"

#include "platform/applicationcontrol.h"
#include "platform/paths.h"
#include "platform/screencapture.h"
#include "tools/fileactions.h"
#include "tools/screenshot.h"
#include "tools/systemactions.h"
#include "tools/toolcatalogue.h"

#include <exception>

namespace {

QString errorText(const ServiceError &error)
{
    return QStringLiteral("Error: ") + error.description;
}

QString resultText(const ServiceResult<QString> &result)
{
    return result.ok() ? result.value() : errorText(result.error());
}

// The tools that only point to the Models tab take whatever they are given.
QString missingArgumentsMessage(const ToolEntry &entry)
{
    QStringList names;
    for (const ToolParameter &parameter : entry.parameters)
        names.append(QLatin1Char('\'') + parameter.name + QLatin1Char('\''));
    return QStringLiteral("Missing ") + names.join(QStringLiteral(" or "))
           + QStringLiteral(" argument");
}

QCoro::Task<QString> dispatch(ToolServices services, ToolCall call)
{
    const QString &tool = call.name;
    const ToolEntry *entry = ToolCatalogue::find(tool);
    if (!entry)
        co_return QStringLiteral("Unknown tool: ") + tool;

    const ToolArguments &arguments = call.arguments;
    if (entry->checksArguments) {
        for (const ToolParameter &parameter : entry->parameters) {
            if (!arguments.contains(parameter.name))
                co_return missingArgumentsMessage(*entry);
        }
    }
    const auto argument
        = [&](const char *key) { return arguments.value(QString::fromLatin1(key)); };

    if (tool == QLatin1String("take_screenshot"))
        co_return co_await Screenshot::take(services.screen);
    if (tool == QLatin1String("read_file"))
        co_return resultText(FileActions::readFile(argument("path")));
    if (tool == QLatin1String("write_file"))
        co_return resultText(FileActions::writeFile(argument("path"), argument("content")));
    if (tool == QLatin1String("list_files"))
        co_return resultText(FileActions::listFiles(argument("directory")));
    if (tool == QLatin1String("delete_file"))
        co_return resultText(FileActions::deleteFile(argument("path")));
    if (tool == QLatin1String("open_app") || tool == QLatin1String("close_app")) {
        const QString name = argument("app_name");
        const bool open = tool == QLatin1String("open_app");
        // Two statements: GCC 12 mishandles co_await inside a conditional expression.
        std::optional<ServiceError> error;
        if (open)
            error = co_await services.applications->open(name);
        else
            error = co_await services.applications->close(name);
        if (error)
            co_return errorText(*error);
        co_return (open ? QStringLiteral("Opened ") : QStringLiteral("Closed ")) + name;
    }
    if (tool == QLatin1String("list_open_apps")) {
        const ServiceResult<QStringList> names
            = co_await services.applications->runningApplicationNames();
        if (!names.ok())
            co_return errorText(names.error());
        co_return names.value().join(QLatin1Char('\n'));
    }
    if (tool == QLatin1String("get_system_info"))
        co_return SystemActions::systemInfo();
    if (tool == QLatin1String("get_clipboard"))
        co_return SystemActions::clipboardText();
    if (tool == QLatin1String("set_clipboard"))
        co_return SystemActions::setClipboardText(argument("text"));
    if (tool == QLatin1String("list_local_models")) {
        const QString folder = services.modelsDirectory.isEmpty() ? Paths::modelsDirectory()
                                                                  : services.modelsDirectory;
        co_return SystemActions::localModels(folder);
    }
    if (tool == QLatin1String("download_model"))
        co_return QStringLiteral("Use the Models tab to download models from HuggingFace.");
    if (tool == QLatin1String("set_active_model"))
        co_return QStringLiteral("Use the Models tab to load a model.");
    co_return QStringLiteral("Unknown tool: ") + tool;
}

} // namespace

ToolExecutor::ToolExecutor()
    : ToolExecutor(ToolServices{})
{}

ToolExecutor::ToolExecutor(ToolServices services)
    : m_services(std::move(services))
{
    if (!m_services.applications)
        m_services.applications = ApplicationControl::createDefault();
    if (!m_services.screen)
        m_services.screen = ScreenCapture::createDefault();
}

ToolExecutor::~ToolExecutor() = default;

QCoro::Task<QString> ToolExecutor::execute(ToolCall call) const
{
    // Copied before the first suspension: the executor may be gone by the time an action resumes.
    ToolServices services = m_services;
    try {
        co_return co_await dispatch(std::move(services), std::move(call));
    } catch (const std::exception &exception) {
        co_return QStringLiteral("Error: ") + QString::fromLocal8Bit(exception.what());
    } catch (...) {
        co_return QStringLiteral("Error: The tool failed unexpectedly");
    }
}
