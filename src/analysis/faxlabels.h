#pragma once

// The words that label a telephone number on a page, and the phrases by which a page says
// it takes no unsolicited faxes. Plain tables: a new language is a few more rows.

#include <QByteArrayView>

enum class LabelKind : unsigned char
{
    Fax,   // the number is a fax number
    Phone, // telephone, mobile, toll-free, TTY, direct line: never a fax
    Other, // e-mail, address, web: a field of its own, so no fax either
};

enum LabelFlag : unsigned char
{
    Word = 1,       // stands as a word: no letter directly before or after it
    NeedsColon = 2, // only a label when a ":" follows ("Office:", not "Office Fax")
    OneLetter = 4,  // "F", "T": only directly before a number
};

struct LabelWord
{
    const char *text; // UTF-8; ASCII letters in lower case match either case
    LabelKind kind;
    unsigned char flags;
};

extern const LabelWord kLabelWords[];
extern const int kLabelWordCount;

// Words that may stand between a label and its number without changing what it labels
// ("Fax number:", "Fax no.", "Fax us at"). Lower case.
extern const char *const kFillerWords[];
extern const int kFillerWordCount;

// Words that join a telephone and a fax label into one that covers both ("Tel/Fax",
// "Phone and fax"). Lower case.
extern const char *const kLabelJoiners[];
extern const int kLabelJoinerCount;

// Words after which a fax label in running text reaches its number over a longer stretch:
// "you may fax the signed form to: 212 ...".
extern const char *const kLeadInWords[];
extern const int kLeadInWordCount;

// A "no unsolicited faxes" notice: `first`, then `second` at most `maxGap` bytes after its
// end (an empty `second`: `first` alone). ASCII letters match either case.
struct NoticePhrase
{
    const char *language;
    const char *first;
    const char *second;
    int maxGap;
};

extern const NoticePhrase kNoFaxNotices[];
extern const int kNoFaxNoticeCount;

// The longest label word of the table that starts at `pos` of UTF-8 text and stands there
// as its flags ask (a word, a colon after it, a number right after a one-letter label).
// length 0 when none does.
struct LabelMatch
{
    int length = 0;
    const LabelWord *word = nullptr;
};
LabelMatch matchLabelAt(QByteArrayView text, qsizetype pos);

// False when no label word can start at `pos` (a test of two bytes; most words fail it).
bool mayStartLabel(QByteArrayView text, qsizetype pos);

// True for a byte that begins a letter for the word boundaries above: an ASCII letter or
// the lead byte of a two-byte UTF-8 letter (Latin, Greek, Cyrillic, Hebrew, Arabic).
bool isLetterByte(unsigned char c);

// True when `word` (any ASCII letter case) is one of the `count` lower-case `words`.
bool isOneOf(QByteArrayView word, const char *const *words, int count);
