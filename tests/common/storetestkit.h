#pragma once

// Rows put into a store by tests.

#include "store.h"

inline bool addFax(Store &store, const QString &number, const QString &website,
                   const QString &search, const QString &location)
{
    FaxRow row;
    row.fax = number;
    row.website = website;
    row.search = search;
    row.location = location;
    return store.addFax(row);
}
