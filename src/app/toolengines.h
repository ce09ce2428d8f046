#pragma once

// The engine definitions of a varnel-tool command.

#include "searchengines.h"

#include <memory>

namespace ToolEngines {

// The definitions shipped with the program and those of the data folder's engines/ (the
// default data folder when dataDir is empty). A definition that cannot be read is named on
// standard error, with its line and what is wrong.
std::shared_ptr<const SearchEngines::Catalog> load(const QString &dataDir);

} // namespace ToolEngines
