#include "ui/components/logging.h"

Q_LOGGING_CATEGORY(lcUi, "tovra.ui", QtWarningMsg)
