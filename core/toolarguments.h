#pragma once

#include "core/records.h"

#include <nlohmann/json_fwd.hpp>

// The text a tool receives for one argument value: strings unchanged, numbers
// as their decimal text, booleans "true"/"false", null "null", arrays and
// objects as compact JSON.
QString argumentValueText(const nlohmann::json &value);
// Every member of a JSON object as text; an empty map for anything else.
ToolArguments argumentsFromJson(const nlohmann::json &value);
// Parses an arguments text; text that is not a JSON object gives an empty map.
ToolArguments parseArgumentsJSON(const QString &text);
