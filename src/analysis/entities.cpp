#include "entities.h"

#include "cp1252.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

struct Entity
{
    const char *name;
    short lower; // the code of the name as written in lower case; -1: the empty text
    short upper; // the code when the name has an upper-case letter
};

// quot gives nothing; the single-code names give the same code in any letter case.
const Entity kEntities[] = {
    {"quot", -1, -1},     {"amp", '&', '&'},    {"lt", '<', '<'},     {"gt", '>', '>'},
    {"nbsp", 160, 160},   {"iexcl", 161, 161},  {"cent", 162, 162},   {"pound", 163, 163},
    {"curren", 164, 164}, {"yen", 165, 165},    {"brvbar", 166, 166}, {"sect", 167, 167},
    {"uml", 168, 168},    {"copy", 169, 169},   {"ordf", 170, 170},   {"laquo", 171, 171},
    {"not", 172, 172},    {"shy", 173, 173},    {"reg", 174, 174},    {"macr", 175, 175},
    {"deg", 176, 176},    {"plusmn", 177, 177}, {"sup2", 178, 178},   {"sup3", 179, 179},
    {"acute", 180, 180},  {"micro", 181, 181},  {"para", 182, 182},   {"middot", 183, 183},
    {"cedil", 184, 184},  {"supl", 185, 185},   {"ordm", 186, 186},   {"raquo", 187, 187},
    {"frac14", 188, 188}, {"frac12", 189, 189}, {"frac34", 190, 190}, {"iquest", 191, 191},
    {"agrave", 224, 192}, {"aacute", 225, 193}, {"acirc", 226, 194},  {"atilde", 227, 195},
    {"auml", 228, 196},   {"aring", 229, 197},  {"aelig", 230, 198},  {"ccedil", 231, 199},
    {"egrave", 232, 200}, {"eacute", 233, 201}, {"ecirc", 234, 202},  {"euml", 235, 203},
    {"igrave", 236, 204}, {"iacute", 237, 205}, {"icirc", 238, 206},  {"iuml", 239, 207},
    {"eth", 240, 208},    {"ntilde", 241, 209}, {"ograve", 242, 210}, {"oacute", 243, 211},
    {"ocirc", 244, 212},  {"otilde", 245, 213}, {"ouml", 246, 214},   {"oslash", 248, 216},
    {"ugrave", 249, 217}, {"uacute", 250, 218}, {"ucirc", 251, 219},  {"uuml", 252, 220},
    {"yacute", 253, 221}, {"thorn", 254, 222},  {"times", 215, 215},  {"szlig", 223, 223},
    {"divide", 247, 247}, {"yuml", 255, 255},
};
static_assert(sizeof(kEntities) / sizeof(kEntities[0]) == 70, "the table holds 70 names");

// A name of at most eight characters packed into one number, for a binary search.
uint64_t keyOf(const char *s, qsizetype n)
{
    uint64_t k = 0;
    for (qsizetype i = 0; i < 8; ++i)
        k = (k << 8) | (i < n ? uchar(s[i]) : 0);
    return k;
}

struct Index
{
    std::array<std::pair<uint64_t, const Entity *>, 70> byKey;
    Index()
    {
        int i = 0;
        for (const Entity &e : kEntities) {
            const qsizetype n = qsizetype(std::char_traits<char>::length(e.name));
            byKey[size_t(i++)] = {keyOf(e.name, n), &e};
        }
        std::sort(byKey.begin(), byKey.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
    }
};

const Entity *find(const char *lowerName, qsizetype n)
{
    static const Index index;
    if (n == 0 || n > 6)
        return nullptr;
    const uint64_t k = keyOf(lowerName, n);
    auto it = std::lower_bound(index.byKey.begin(), index.byKey.end(), k,
                               [](const auto &e, uint64_t key) { return e.first < key; });
    return (it != index.byKey.end() && it->first == k) ? it->second : nullptr;
}

} // namespace

int decodeEntityInto(char *out, QByteArrayView name)
{
    const char *s = name.data();
    qsizetype n = name.size();
    bool hasUpper = false;
    if (n > 0 && s[0] == '#') {
        ++s;
        --n;
    }
    // A decimal number: digits only.
    bool digits = n > 0;
    for (qsizetype i = 0; i < n && digits; ++i)
        digits = s[i] >= '0' && s[i] <= '9';
    if (digits) {
        uint64_t v = 0;
        for (qsizetype i = 0; i < n; ++i) {
            v = v * 10 + uint64_t(s[i] - '0');
            if (v > 0x10FFFF)
                return 0; // beyond every character
        }
        const int b = v <= 255 ? int(v) : Cp1252::byteOfCodePoint(uint(v));
        if (b < 0)
            return 0;
        *out = char(b);
        return 1;
    }
    char lower[8];
    if (n > 6)
        return 0;
    for (qsizetype i = 0; i < n; ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') {
            hasUpper = true;
            c = char(c + 32);
        }
        lower[i] = c;
    }
    // The name as written counts, "#" included: "#Eacute" has an upper-case letter too.
    const Entity *e = find(lower, n);
    if (!e)
        return 0;
    const short code = hasUpper ? e->upper : e->lower;
    if (code < 0)
        return 0;
    *out = char(code);
    return 1;
}

QByteArray DecodeEntities(QByteArrayView name)
{
    char c;
    return decodeEntityInto(&c, name) ? QByteArray(1, c) : QByteArray();
}
