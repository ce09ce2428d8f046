#include "faxlabels.h"

#include "bytetext.h"

#include <QVarLengthArray>

#include <cstring>

namespace {
constexpr LabelKind F = LabelKind::Fax;
constexpr LabelKind P = LabelKind::Phone;
constexpr LabelKind O = LabelKind::Other;
constexpr unsigned char W = Word;
} // namespace

// Longer spellings first within a language only for readability: the matcher takes the
// longest entry at a position whatever the order.
const LabelWord kLabelWords[] = {
    // Fax, Latin script
    {"fax", F, W},
    {"faxes", F, W},
    {"faxed", F, W},
    {"faxing", F, W},
    {"faxno", F, W},
    {"faxnr", F, W},
    {"faxnummer", F, W},
    {"faxnumber", F, W},
    {"freefax", F, W},
    {"telefax", F, W},
    {"telefaxnummer", F, W},
    {"telefaks", F, W},
    {"faks", F, W},
    {"facsimile", F, W},
    {"facsimil", F, W},
    {"facs\xc3\xadmil", F, W}, // facsímil
    {"fac-simile", F, W},
    {"t\xc3\xa9l\xc3\xa9"
     "copie",
     F, W}, // télécopie
    {"t\xc3\xa9l\xc3\xa9"
     "copieur",
     F, W}, // télécopieur
    {"telecopie", F, W},
    {"telecopieur", F, W},
    {"telecopia", F, W},
    {"f", F, W | OneLetter},
    // Fax, other scripts
    {"\xe4\xbc\xa0\xe7\x9c\x9f", F, 0},                                     // 传真
    {"\xe5\x82\xb3\xe7\x9c\x9f", F, 0},                                     // 傳真
    {"\xe3\x83\x95\xe3\x82\xa1\xe3\x83\x83\xe3\x82\xaf\xe3\x82\xb9", F, 0}, // ファックス
    {"\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xaf\xe3\x82\xb9", F, 0},             // ファクス
    {"\xed\x8c\xa9\xec\x8a\xa4", F, 0},                                     // 팩스
    {"\xd1\x84\xd0\xb0\xd0\xba\xd1\x81", F, W},                             // факс
    {"\xd0\xa4\xd0\xb0\xd0\xba\xd1\x81", F, W},                             // Факс
    {"\xd0\xa4\xd0\x90\xd0\x9a\xd0\xa1", F, W},                             // ФАКС
    {"\xcf\x86\xce\xb1\xce\xbe", F, W},                                     // φαξ
    {"\xce\xa6\xce\xb1\xce\xbe", F, W},                                     // Φαξ
    {"\xce\xa6\xce\x91\xce\x9e", F, W},                                     // ΦΑΞ
    {"\xd7\xa4\xd7\xa7\xd7\xa1", F, W},                                     // פקס
    {"\xd9\x81\xd8\xa7\xd9\x83\xd8\xb3", F, W},                             // فاكس
    {"\xe0\xb9\x81\xe0\xb8\x9f\xe0\xb8\x81\xe0\xb8\x8b\xe0\xb9\x8c", F, 0}, // แฟกซ์

    // Telephone, mobile, toll-free, TTY, direct lines
    {"tel", P, W},
    {"tel-nr", P, W},
    {"tel.-nr", P, W},
    {"tele", P, W},
    {"telephone", P, W},
    {"telephones", P, W},
    {"phone", P, W},
    {"phones", P, W},
    {"ph", P, W},
    {"fon", P, W},
    {"telefon", P, W},
    {"telefone", P, W},
    {"telefono", P, W},
    {"tel\xc3\xa9"
     "fono",
     P, W},                            // teléfono
    {"t\xc3\xa9l\xc3\xa9phone", P, W}, // téléphone
    {"t\xc3\xa9l", P, W},              // tél
    {"telephone number", P, W},
    {"mobile", P, W},
    {"mobil", P, W},
    {"mob", P, W},
    {"cell", P, W},
    {"cellphone", P, W},
    {"cellular", P, W},
    {"handy", P, W},
    {"celular", P, W},
    {"cellulare", P, W},
    {"toll free", P, W},
    {"toll-free", P, W},
    {"tollfree", P, W},
    {"freecall", P, W},
    {"freephone", P, W},
    {"free phone", P, W},
    {"hotline", P, W},
    {"tty", P, W},
    {"tdd", P, W},
    {"voice", P, W},
    {"call", P, W},
    {"pabx", P, W},
    {"whatsapp", P, W},
    {"sms", P, W},
    {"direct", P, W | NeedsColon},
    {"office", P, W | NeedsColon},
    {"main", P, W | NeedsColon},
    {"t", P, W | OneLetter},
    {"p", P, W | OneLetter},
    {"m", P, W | OneLetter},
    {"c", P, W | OneLetter},
    {"\xe7\x94\xb5\xe8\xaf\x9d", P, 0},                                 // 电话
    {"\xe9\x9b\xbb\xe8\xa9\xb1", P, 0},                                 // 電話
    {"\xe6\x89\x8b\xe6\x9c\xba", P, 0},                                 // 手机
    {"\xe6\x90\xba\xe5\xb8\xaf", P, 0},                                 // 携帯
    {"\xec\xa0\x84\xed\x99\x94", P, 0},                                 // 전화
    {"\xd1\x82\xd0\xb5\xd0\xbb", P, W},                                 // тел
    {"\xd0\xa2\xd0\xb5\xd0\xbb", P, W},                                 // Тел
    {"\xd1\x82\xd0\xb5\xd0\xbb\xd0\xb5\xd1\x84\xd0\xbe\xd0\xbd", P, W}, // телефон
    {"\xd0\xa2\xd0\xb5\xd0\xbb\xd0\xb5\xd1\x84\xd0\xbe\xd0\xbd", P, W}, // Телефон
    {"\xcf\x84\xce\xb7\xce\xbb", P, W},                                 // τηλ
    {"\xce\xa4\xce\xb7\xce\xbb", P, W},                                 // Τηλ
    {"t\xce\xb7\xce\xbb", P, W},                                        // Tηλ (a Latin T)
    {"\xd7\x98\xd7\x9c", P, W},                                         // טל
    {"\xd9\x87\xd8\xa7\xd8\xaa\xd9\x81", P, W},                         // هاتف

    // Fields of another kind
    {"email", O, W},
    {"e-mail", O, W},
    {"mail", O, W},
    {"web", O, W},
    {"website", O, W},
    {"www", O, W},
    {"url", O, W},
    {"address", O, W},
    {"adresse", O, W},
};
const int kLabelWordCount = int(sizeof(kLabelWords) / sizeof(kLabelWords[0]));

const char *const kFillerWords[] = {
    "number",
    "numbers",
    "no",
    "nr",
    "num",
    "nummer",
    "numero",
    "num\xc3\xa9ro",
    "n\xc3\xbamero",
    "line",
    "us",
    "at",
    "on",
    "to",
    "is",
    "our",
    "the",
    "please",
    "de",
    "du",
    "del",
    "der",
    "des",
    "da",
    "do",
    "only",
    "and",
    "\xe5\x8f\xb7\xe7\xa0\x81", /* 号码 */
    "\xe7\x95\xaa\xe5\x8f\xb7", /* 番号 */
    "\xe8\x99\x9f\xe7\xa2\xbc", /* 號碼 */
};
const int kFillerWordCount = int(sizeof(kFillerWords) / sizeof(kFillerWords[0]));

const char *const kLabelJoiners[] = {"/",    "&", "+", ",",  "and", "or", "und",
                                     "oder", "y", "o", "et", "ou",  "e",  "-"};
const int kLabelJoinerCount = int(sizeof(kLabelJoiners) / sizeof(kLabelJoiners[0]));

const char *const kLeadInWords[] = {
    "to", "at", "on", "an", "unter", "au", "al", "a", "\xc3\xa0" /* à */, "per", "via"};
const int kLeadInWordCount = int(sizeof(kLeadInWords) / sizeof(kLeadInWords[0]));

const NoticePhrase kNoFaxNotices[] = {
    {"en", "unsolicited", "fax", 40},
    {"en", "junk fax", "", 0},
    {"en", "advertising fax", "", 0},
    {"en", "fax advertis", "", 0},
    {"en", "faxed advertis", "", 0},
    {"en", "fax solicitation", "", 0},
    {"de", "werbefax", "", 0},
    {"de", "werbe-fax", "", 0},
    {"de", "werbung", "fax", 20},
    {"de", "fax", "werbung", 8},
    {"de", "unerw\xc3\xbcnschte", "fax", 20}, // unerwünschte
    {"de", "unaufgeforderte", "fax", 20},
    {"de", "fax", "unerw\xc3\xbcnscht", 10},
    {"fr", "publicit", "fax", 30},
    {"fr", "fax", "publicit", 10},
    {"fr",
     "t\xc3\xa9l\xc3\xa9"
     "copie",
     "publicit", 20},
    {"fr", "fax non sollicit", "", 0},
    {"fr",
     "t\xc3\xa9l\xc3\xa9"
     "copies non sollicit",
     "", 0},
    {"es", "publicidad", "fax", 20},
    {"es", "fax", "publicitari", 10},
    {"es", "fax no solicitad", "", 0},
    {"es", "faxes no solicitad", "", 0},
    {"it", "fax pubblicitar", "", 0},
    {"it", "pubblicit\xc3\xa0", "fax", 20},
    {"it", "fax non richiest", "", 0},
    {"it", "fax indesiderat", "", 0},
    {"nl", "ongevraagde", "fax", 20},
    {"nl", "reclame", "fax", 20},
    {"pt", "fax n\xc3\xa3o solicitad", "", 0},
    {"pt", "publicidade", "fax", 20},
    {"ja", "\xe5\x96\xb6\xe6\xa5\xad", "fax", 6},              // 営業 FAX
    {"ja", "fax", "\xe3\x81\x8a\xe6\x96\xad\xe3\x82\x8a", 30}, // FAX … お断り
    {"ja", "\xe3\x83\x95\xe3\x82\xa1\xe3\x83\x83\xe3\x82\xaf\xe3\x82\xb9",
     "\xe3\x81\x8a\xe6\x96\xad\xe3\x82\x8a", 30},
};
const int kNoFaxNoticeCount = int(sizeof(kNoFaxNotices) / sizeof(kNoFaxNotices[0]));

bool isOneOf(QByteArrayView word, const char *const *words, int count)
{
    for (int i = 0; i < count; ++i) {
        if (ByteText::equalsCaseless(word,
                                     QByteArrayView(words[i], qsizetype(std::strlen(words[i])))))
            return true;
    }
    return false;
}

bool isLetterByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xC3 && c <= 0xDF);
}

namespace {

// The entries by their first byte (ASCII letters in lower case).
// The entries by their first byte (ASCII letters in lower case), with the second byte (0
// for a one-byte entry) to pass over most of them at one comparison.
struct LabelIndex
{
    QVarLengthArray<short, 8> byFirst[256];
    QVarLengthArray<short, 128> length;
    QVarLengthArray<uchar, 128> second;
    quint64 pairs[65536 / 64] = {}; // the first two bytes of every entry, in any letter case
    LabelIndex()
    {
        for (int i = 0; i < kLabelWordCount; ++i) {
            const char *t = kLabelWords[i].text;
            byFirst[uchar(t[0])].append(short(i));
            length.append(short(std::strlen(t)));
            second.append(uchar(t[length.last() > 1 ? 1 : 0]));
            for (int b = 0; b < 256; ++b) {
                // A one-letter label is followed by anything but a letter.
                const bool follows = length.last() > 1 ? ByteText::lowerAscii(char(b)) == t[1]
                                                       : !isLetterByte(uchar(b));
                if (follows) {
                    setPair(uchar(t[0]), uchar(b));
                    if (t[0] >= 'a' && t[0] <= 'z')
                        setPair(uchar(t[0] - 32), uchar(b));
                }
            }
        }
    }
    void setPair(uchar a, uchar b)
    {
        pairs[(a << 8 | b) >> 6] |= quint64(1) << ((a << 8 | b) & 63);
    }
    bool hasPair(uchar a, uchar b) const
    {
        return pairs[(a << 8 | b) >> 6] >> ((a << 8 | b) & 63) & 1;
    }
};

const LabelIndex &labelIndex()
{
    static const LabelIndex index;
    return index;
}

bool isAsciiLetter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The byte before `pos` ends a word, a mail address or a host name.
bool boundaryBefore(const uchar *s, qsizetype pos)
{
    if (pos == 0)
        return true;
    uchar c = s[pos - 1];
    if (c == '@' || isAsciiLetter(c))
        return false;
    if (c == '.' && pos >= 2 && isAsciiLetter(s[pos - 2]))
        return false;
    if (c >= 0x80 && c < 0xC0) {
        // A continuation byte: the letter test goes by the sequence's lead byte.
        qsizetype k = pos - 1;
        while (k > 0 && s[k] >= 0x80 && s[k] < 0xC0 && pos - k < 4)
            --k;
        return !isLetterByte(s[k]);
    }
    return !isLetterByte(c);
}

bool boundaryAfter(const uchar *s, qsizetype n, qsizetype end)
{
    if (end >= n)
        return true;
    const uchar c = s[end];
    if (c == '@' || isLetterByte(c))
        return false;
    if (c == '.' && end + 1 < n && isAsciiLetter(s[end + 1]))
        return false;
    return true;
}

bool startsNumber(uchar c)
{
    return (c >= '0' && c <= '9') || c == '+' || c == '(';
}

} // namespace

bool mayStartLabel(QByteArrayView text, qsizetype pos)
{
    const uchar a = uchar(text[pos]);
    const uchar b = pos + 1 < text.size() ? uchar(text[pos + 1]) : uchar(' ');
    return labelIndex().hasPair(a, b);
}

LabelMatch matchLabelAt(QByteArrayView text, qsizetype pos)
{
    LabelMatch best;
    const uchar *s = reinterpret_cast<const uchar *>(text.data());
    const qsizetype n = text.size();
    if (pos < 0 || pos >= n)
        return best;
    const LabelIndex &index = labelIndex();
    const auto &candidates = index.byFirst[uchar(ByteText::lowerAscii(char(s[pos])))];
    bool before = false;
    bool beforeKnown = false;
    const uchar next = pos + 1 < n ? uchar(ByteText::lowerAscii(char(s[pos + 1]))) : 0;
    for (short i : candidates) {
        const qsizetype len = index.length[i];
        if (len > 1 && index.second[i] != next)
            continue;
        const LabelWord &w = kLabelWords[i];
        if (len <= best.length || pos + len > n)
            continue;
        if (!ByteText::matchesCaselessAt(text.data() + pos, w.text, len))
            continue;
        if (w.flags & Word) {
            if (!beforeKnown) {
                before = boundaryBefore(s, pos);
                beforeKnown = true;
            }
            if (!before || !boundaryAfter(s, n, pos + len))
                continue;
        }
        if (w.flags & NeedsColon) {
            qsizetype k = pos + len;
            while (k < n && (s[k] == ' ' || s[k] == '.'))
                ++k;
            if (k >= n || s[k] != ':')
                continue;
        }
        if (w.flags & OneLetter) {
            // "F: 212", "F. 212", "F +27": the number follows within a few signs.
            qsizetype k = pos + len;
            const qsizetype stop = qMin(n, k + 4);
            while (k < stop && (s[k] == ' ' || s[k] == '.' || s[k] == ':'))
                ++k;
            if (k == pos + len || k >= n || !startsNumber(s[k]))
                continue;
        }
        best.length = int(len);
        best.word = &w;
    }
    return best;
}
