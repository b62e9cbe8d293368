#include "core/Logging.h"

namespace vantor {

Q_LOGGING_CATEGORY(lcSimulator, "vantor.simulator", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSettings, "vantor.settings", QtWarningMsg)
Q_LOGGING_CATEGORY(lcConfig, "vantor.config", QtWarningMsg)

}  // namespace vantor
