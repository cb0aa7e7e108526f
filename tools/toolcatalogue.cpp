#include "tools/toolcatalogue.h"

#include "platform/wording.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

QList<ToolEntry> buildCatalogue()
{
    const auto p = [](const char *name, const char *description) {
        return ToolParameter{QString::fromUtf8(name), QString::fromUtf8(description)};
    };
    struct Traits
    {
        int promptPosition = 0;
        bool runsWithoutApproval = false;
        bool checksArguments = true;
    };
    const auto tool = [](const char *name,
                         const char *title,
                         const char *subtitle,
                         const char *description,
                         QList<ToolParameter> parameters,
                         Traits traits) {
        // "macOS" in the texts reads "desktop" on other platforms.
        return ToolEntry{QString::fromUtf8(name),
                         QString::fromUtf8(title),
                         platformWording(QString::fromUtf8(subtitle)),
                         platformWording(QString::fromUtf8(description)),
                         std::move(parameters),
                         traits.runsWithoutApproval,
                         traits.checksArguments,
                         traits.promptPosition};
    };
    return {
        tool("take_screenshot",
             "Take Screenshot",
             "Capture the current screen",
             "Capture the current screen. Returns base64 encoded image.",
             {},
             {.promptPosition = 5}),
        tool("read_file",
             "Read File",
             "Read contents of a file",
             "Read contents of a file at the given path.",
             {p("path", "The absolute file path to read")},
             {.promptPosition = 2}),
        tool("write_file",
             "Write File",
             "Write content to a file",
             "Write content to a file.",
             {p("path", "The absolute file path"), p("content", "The content to write")},
             {.promptPosition = 3}),
        tool("list_files",
             "List Files",
             "List files in a directory",
             "List files in a directory.",
             {p("directory", "The directory path to list")},
             {.promptPosition = 1}),
        tool("delete_file",
             "Delete File",
             "Move a file to Trash",
             "Move a file to Trash.",
             {p("path", "The file path to delete")},
             {.promptPosition = 4}),
        tool("open_app",
             "Open Application",
             "Launch an application",
             "Launch a macOS application.",
             {p("app_name", "Name of the app to open")},
             {.promptPosition = 6}),
        tool("close_app",
             "Close Application",
             "Close an application",
             "Close a running application.",
             {p("app_name", "Name of the app to close")},
             {.promptPosition = 7}),
        tool("list_open_apps",
             "List Open Apps",
             "Get list of running apps",
             "Get list of currently running applications.",
             {},
             {.promptPosition = 8, .runsWithoutApproval = true}),
        tool("get_system_info",
             "Get System Info",
             "Get macOS system information",
             "Get macOS system information including version, RAM, disk space.",
             {},
             {.promptPosition = 9, .runsWithoutApproval = true}),
        tool("get_clipboard",
             "Get Clipboard",
             "Read current clipboard",
             "Get current clipboard contents.",
             {},
             {.promptPosition = 10, .runsWithoutApproval = true}),
        tool("set_clipboard",
             "Set Clipboard",
             "Set clipboard content",
             "Set clipboard to specified text.",
             {p("text", "Text to copy to clipboard")},
             {.promptPosition = 11}),
        tool("list_local_models",
             "List Local Models",
             "List available local models",
             "List locally downloaded GGUF models.",
             {},
             {.runsWithoutApproval = true}),
        tool("download_model",
             "Download Model",
             "Download a model",
             "Download a model (use the Models tab instead).",
             {p("model_name", "Name of the model to download")},
             {.checksArguments = false}),
        tool("set_active_model",
             "Set Active Model",
             "Switch to a different model",
             "Switch the active model (use the Models tab instead).",
             {p("model_name", "Name of the model to activate")},
             {.checksArguments = false}),
    };
}

} // namespace

const QList<ToolEntry> &ToolCatalogue::tools()
{
    static const QList<ToolEntry> catalogue = buildCatalogue();
    return catalogue;
}

bool ToolCatalogue::needsApproval(const QString &name)
{
    const ToolEntry *entry = find(name);
    return !entry || !entry->runsWithoutApproval;
}

QString ToolCatalogue::promptToolLine()
{
    QList<const ToolEntry *> named;
    for (const ToolEntry &entry : tools()) {
        if (entry.promptPosition > 0)
            named.append(&entry);
    }
    std::ranges::sort(named, {}, &ToolEntry::promptPosition);
    QStringList names;
    for (const ToolEntry *entry : named)
        names.append(entry->name);
    return QStringLiteral("Tools: ") + names.join(QStringLiteral(", "));
}

const ToolEntry *ToolCatalogue::find(const QString &name)
{
    for (const ToolEntry &entry : tools()) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

nlohmann::json ToolCatalogue::toolDefinitions()
{
    using nlohmann::json;
    json definitions = json::array();
    for (const ToolEntry &entry : tools()) {
        json properties = json::object();
        json required = json::array();
        for (const ToolParameter &parameter : entry.parameters) {
            properties[parameter.name.toStdString()]
                = {{"type", "string"}, {"description", parameter.description.toStdString()}};
            required.push_back(parameter.name.toStdString());
        }
        definitions.push_back(
            {{"type", "function"},
             {"function",
              {{"name", entry.name.toStdString()},
               {"description", entry.description.toStdString()},
               {"parameters",
                {{"type", "object"}, {"properties", properties}, {"required", required}}}}}});
    }
    return definitions;
}

QString ToolCatalogue::displayTitle(const QString &name)
{
    const ToolEntry *entry = find(name);
    return entry ? entry->title : name;
}

QString ToolCatalogue::displaySubtitle(const QString &name)
{
    const ToolEntry *entry = find(name);
    return entry ? entry->subtitle : QString();
}

QString ToolCatalogue::argumentIcon(const QString &key)
{
    const QString k = key.toLower();
    if (k == QLatin1String("path") || k == QLatin1String("directory"))
        return QStringLiteral("folder");
    if (k == QLatin1String("content"))
        return QStringLiteral("doc.text");
    if (k == QLatin1String("app_name") || k == QLatin1String("name"))
        return QStringLiteral("app.badge");
    if (k == QLatin1String("text"))
        return QStringLiteral("text.quote");
    return QStringLiteral("chevron.right");
}
