#include "logging.h"

Q_LOGGING_CATEGORY(lcFetch, "varnel.fetch", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStore, "varnel.store", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDiscovery, "varnel.discovery", QtWarningMsg)
Q_LOGGING_CATEGORY(lcEngine, "varnel.engine", QtWarningMsg)
