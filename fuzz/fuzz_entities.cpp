// The entity decoder on any name, including numbers far outside 0..255.
#include "entities.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView name(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray decoded = DecodeEntities(name);
    if (decoded.size() > 1 && decoded != "&" && decoded != "<" && decoded != ">")
        __builtin_trap(); // one character, a fixed text, or nothing
    char out[8];
    const int n = decodeEntityInto(out, name);
    if (n < 0 || n > 1)
        __builtin_trap();
    return 0;
}
