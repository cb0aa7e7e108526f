#pragma once

#include <QLoggingCategory>

// Silent unless switched on, e.g. QT_LOGGING_RULES="tovra.mcp.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcMcp)
