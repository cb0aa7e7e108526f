#include "platform/logging.h"

Q_LOGGING_CATEGORY(lcPlatform, "tovra.platform", QtWarningMsg)
