#include "core/toolarguments.h"

#include <nlohmann/json.hpp>

#include <charconv>

QString argumentValueText(const nlohmann::json &value)
{
    using nlohmann::json;
    switch (value.type()) {
    case json::value_t::string: {
        const auto &s = value.get_ref<const std::string &>();
        return QString::fromUtf8(s.data(), qsizetype(s.size()));
    }
    case json::value_t::number_integer:
        return QString::number(value.get<qint64>());
    case json::value_t::number_unsigned:
        return QString::number(value.get<quint64>());
    case json::value_t::number_float: {
        // Shortest text that reads back as the same number.
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.get<double>());
        return QString::fromLatin1(buffer, result.ptr - buffer);
    }
    case json::value_t::boolean:
        return value.get<bool>() ? QStringLiteral("true") : QStringLiteral("false");
    case json::value_t::null:
        return QStringLiteral("null");
    default:
        return QString::fromStdString(value.dump(-1, ' ', false, json::error_handler_t::replace));
    }
}

ToolArguments argumentsFromJson(const nlohmann::json &value)
{
    ToolArguments arguments;
    if (!value.is_object())
        return arguments;
    for (const auto &[key, member] : value.items())
        arguments.insert(QString::fromStdString(key), argumentValueText(member));
    return arguments;
}

ToolArguments parseArgumentsJSON(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    const auto document = nlohmann::json::parse(utf8.cbegin(), utf8.cend(), nullptr, false);
    if (document.is_discarded())
        return {};
    return argumentsFromJson(document);
}
