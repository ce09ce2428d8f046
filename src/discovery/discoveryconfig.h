#pragma once

#include <QHash>
#include <QString>

#include <memory>

namespace SearchEngines {
class Catalog;
}
namespace EngineRests {
class Book;
}

// Which engines the list builder knows and where it asks them, and where engines that
// refused rest. Tests point an engine at a loopback fake engine and shorten the page time
// limit.
struct DiscoveryConfig
{
    // The engine definitions; none: those shipped with the program.
    std::shared_ptr<const SearchEngines::Catalog> engines;
    // Where engines that refused a search rest (shared by the runs of this config); none: no
    // engine rests.
    std::shared_ptr<EngineRests::Book> rests;
    // A result page that has not completed after this long counts as a page that added
    // no new name.
    int pageTimeoutMs = 60000;
    // Scheme, host and port (and a folder, if any) that take the place of an engine's own,
    // by its tool name ("brave"): a mirror, or a test's loopback engine.
    QHash<QString, QString> engineOrigins;
};
