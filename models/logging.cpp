#include "models/logging.h"

Q_LOGGING_CATEGORY(lcModels, "tovra.models", QtWarningMsg)
