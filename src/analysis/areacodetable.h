#pragma once

// The built-in North American area code directory: 393 entries ordered by code, each a
// description "RR  region text" with its trailing spaces kept exactly.
struct AreaCodeEntry
{
    short code;
    const char *description;
};

extern const AreaCodeEntry kAreaCodeTable[];
extern const int kAreaCodeCount;
