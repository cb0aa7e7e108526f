#pragma once

#include <QList>
#include <QString>

#include <nlohmann/json_fwd.hpp>

// One text parameter of a tool; every parameter is required.
struct ToolParameter
{
    QString name;
    QString description;
};

// A tool the model may ask for.
struct ToolEntry
{
    QString name;        // e.g. "read_file"; matched exactly, case-sensitive
    QString title;       // shown by the approval prompt
    QString subtitle;    // shown by the approval prompt under the title
    QString description; // offered to the model
    QList<ToolParameter> parameters;
    bool runsWithoutApproval = false; // only reads what the user may see anyway
    bool checksArguments = true;      // a call missing a parameter is answered, not run
    int promptPosition = 0;           // place in the system prompt's tool line; 0: not named
};

// The fixed catalogue of the fourteen tools, always in the same order.
class ToolCatalogue
{
public:
    static const QList<ToolEntry> &tools();
    // The tool of that exact name, or nullptr.
    static const ToolEntry *find(const QString &name);
    static bool isKnownTool(const QString &name) { return find(name) != nullptr; }
    // Unknown tools always ask.
    static bool needsApproval(const QString &name);
    // "Tools: " and the tools the prompt names, in their prompt order.
    static QString promptToolLine();

    // The definitions for a chat request's "tools" key: a JSON array of
    // {"type":"function","function":{"name","description","parameters"}} in catalogue order.
    static nlohmann::json toolDefinitions();

    // Title of a known tool; an unknown name is returned unchanged, which is what the
    // approval prompt shows for it.
    static QString displayTitle(const QString &name);
    // Subtitle of a known tool; empty for an unknown name (no description line).
    static QString displaySubtitle(const QString &name);
    // Symbol name of the icon the approval prompt shows beside an argument, chosen by the
    // lower-cased key: "folder", "doc.text", "app.badge", "text.quote" or "chevron.right".
    static QString argumentIcon(const QString &key);
};
