#include "areacodetable.h"

// Filled in with the whole directory.
const AreaCodeEntry kAreaCodeTable[] = {
    {201, "NJ  N New Jersey: Jersey City, Hackensack (see split 973, overlay 551)  "},
};
const int kAreaCodeCount = int(sizeof(kAreaCodeTable) / sizeof(kAreaCodeTable[0]));
