#include "agent/logging.h"

Q_LOGGING_CATEGORY(lcAgent, "tovra.agent", QtWarningMsg)
