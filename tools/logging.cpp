#include "tools/logging.h"

Q_LOGGING_CATEGORY(lcTools, "tovra.tools", QtWarningMsg)
