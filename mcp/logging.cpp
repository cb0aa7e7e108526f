#include "mcp/logging.h"

Q_LOGGING_CATEGORY(lcMcp, "tovra.mcp", QtWarningMsg)
