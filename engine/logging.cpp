#include "engine/logging.h"

Q_LOGGING_CATEGORY(lcEngine, "tovra.engine", QtWarningMsg)
