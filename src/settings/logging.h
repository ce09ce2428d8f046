#pragma once

#include <QLoggingCategory>

// The program's logging categories. Warnings show by default; debug output is turned on
// per category, e.g. QT_LOGGING_RULES="varnel.fetch.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcFetch)     // "varnel.fetch": connections, downloads, watchdogs
Q_DECLARE_LOGGING_CATEGORY(lcStore)     // "varnel.store": the database
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery) // "varnel.discovery": search engine result pages
Q_DECLARE_LOGGING_CATEGORY(lcEngine)    // "varnel.engine": the harvest session
