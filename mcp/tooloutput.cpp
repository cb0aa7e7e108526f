#include "mcp/tooloutput.h"

#include <QRegularExpression>

#include <algorithm>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

qint64 decodedSize(const QString &base64)
{
    const qint64 padding = base64.endsWith(QLatin1String("==")) ? 2 : base64.endsWith(u'=') ? 1 : 0;
    return base64.size() / 4 * 3 - padding;
}

QString contentText(const json &item, QStringList &images)
{
    const QString type = textMember(item, "type");
    if (type == QLatin1String("text"))
        return textMember(item, "text");
    const QString mimeType = textMember(item, "mimeType");
    const QString data = textMember(item, "data");
    if (type == QLatin1String("image")) {
        const QString size = McpToolText::sizeText(decodedSize(data));
        if (mimeType == QLatin1String("image/png") || mimeType == QLatin1String("image/jpeg")) {
            images.append(QStringLiteral("data:") + mimeType + QStringLiteral(";base64,") + data);
            return QStringLiteral("[Image: %1, %2, shown to the user in the chat]")
                .arg(mimeType, size);
        }
        return QStringLiteral("[Image: %1, %2, not shown]").arg(mimeType, size);
    }
    if (type == QLatin1String("audio"))
        return QStringLiteral("[Audio: %1, %2, not played]")
            .arg(mimeType, McpToolText::sizeText(decodedSize(data)));
    if (type == QLatin1String("resource_link")) {
        QString text = QStringLiteral("[Resource link: %1 <%2>")
                           .arg(textMember(item, "name"), textMember(item, "uri"));
        if (!mimeType.isEmpty())
            text += QStringLiteral(" (%1)").arg(mimeType);
        text += u']';
        if (const QString description = textMember(item, "description"); !description.isEmpty())
            text += u' ' + description;
        return text;
    }
    if (type == QLatin1String("resource")) {
        const json resource = item.value("resource", json::object());
        const QString uri = textMember(resource, "uri");
        if (resource.contains("text"))
            return QStringLiteral("[Resource %1]\n").arg(uri) + textMember(resource, "text");
        return QStringLiteral("[Resource %1: %2, %3]")
            .arg(uri,
                 textMember(resource, "mimeType"),
                 McpToolText::sizeText(decodedSize(textMember(resource, "blob"))));
    }
    return QStringLiteral("[Content of type %1]")
        .arg(type.isEmpty() ? QStringLiteral("(none)") : type);
}

// The kinds of JSON a schema allows for one property; empty when it does not say.
QStringList allowedTypes(const json &property)
{
    QStringList types;
    if (!property.is_object())
        return types;
    const auto type = property.find("type");
    if (type != property.end() && type->is_string())
        types.append(qText(type->get<std::string>()));
    else if (type != property.end() && type->is_array()) {
        for (const json &each : *type) {
            if (each.is_string())
                types.append(qText(each.get<std::string>()));
        }
    }
    return types;
}

bool fits(const json &value, const QString &type)
{
    if (type == QLatin1String("integer"))
        return value.is_number_integer();
    if (type == QLatin1String("number"))
        return value.is_number();
    if (type == QLatin1String("boolean"))
        return value.is_boolean();
    if (type == QLatin1String("object"))
        return value.is_object();
    if (type == QLatin1String("array"))
        return value.is_array();
    if (type == QLatin1String("null"))
        return value.is_null();
    return false;
}

} // namespace

namespace McpToolText {

McpToolOutput fromReply(const RpcReply &reply)
{
    McpToolOutput output;
    if (!reply.ok()) {
        output.isError = true;
        output.text = QStringLiteral("Error: ") + reply.error->message;
        return output;
    }
    QStringList parts;
    bool hasText = false;
    const json content = reply.result.value("content", json::array());
    for (const json &item : content.is_array() ? content : json::array()) {
        hasText = hasText || textMember(item, "type") == QLatin1String("text");
        parts.append(contentText(item, output.images));
    }
    // Servers should repeat structured content as text; for one that does not, the model
    // reads the JSON itself.
    if (const auto structured = reply.result.find("structuredContent");
        structured != reply.result.end() && !hasText)
        parts.append(qText(structured->dump(2, ' ', false, json::error_handler_t::replace)));
    output.text = parts.join(u'\n');
    if (reply.result.value("isError", false)) {
        output.isError = true;
        output.text
            = QStringLiteral("Error: ")
              + (output.text.isEmpty() ? QStringLiteral("The tool failed without saying why.")
                                       : output.text);
    }
    return output;
}

json arguments(const ToolArguments &arguments, const json &inputSchema)
{
    json object = json::object();
    const json properties = inputSchema.is_object()
                                ? inputSchema.value("properties", json::object())
                                : json::object();
    for (auto it = arguments.cbegin(); it != arguments.cend(); ++it) {
        const std::string key = stdText(it.key());
        const QStringList types
            = allowedTypes(properties.is_object() ? properties.value(key, json()) : json());
        json value = stdText(it.value());
        if (!types.contains(QLatin1String("string"))) {
            const QByteArray utf8 = it.value().toUtf8();
            const json parsed = json::parse(utf8.cbegin(), utf8.cend(), nullptr, false);
            const bool wanted
                = !parsed.is_discarded()
                  && (types.isEmpty()
                          ? !parsed.is_string()
                          : std::any_of(types.cbegin(), types.cend(), [&](const QString &type) {
                                return fits(parsed, type);
                            }));
            if (wanted)
                value = parsed;
        }
        object[key] = std::move(value);
    }
    return object;
}

QString exposedName(const QString &server, const QString &tool, const QStringList &taken)
{
    static const QRegularExpression outside(QStringLiteral("[^A-Za-z0-9_-]"));
    QString name = QStringLiteral("mcp__") + QString(server).replace(outside, QStringLiteral("_"))
                   + QStringLiteral("__") + QString(tool).replace(outside, QStringLiteral("_"));
    name.truncate(nameLimit);
    QString unique = name;
    for (int number = 2; taken.contains(unique); ++number) {
        const QString suffix = u'_' + QString::number(number);
        unique = name.left(nameLimit - suffix.size()) + suffix;
    }
    return unique;
}

int tokenEstimate(const json &definitions)
{
    const std::size_t bytes
        = definitions.dump(-1, ' ', false, json::error_handler_t::replace).size();
    return int((bytes + 3) / 4);
}

QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return bytes == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

} // namespace McpToolText
