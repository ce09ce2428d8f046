#include "phonereading.h"

#include <QHash>
#include <QLocale>

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <string>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads one run from `i`; `out` holds it when it has at least one digit group. Returns
// where the scan goes on.
qsizetype readRun(QByteArrayView t, qsizetype i, qsizetype to, NumberRun *out)
{
    NumberRun run;
    run.begin = i;
    qsizetype pos = i;
    if (t[pos] == '+') {
        run.written.append('+');
        ++pos;
        if (pos < to && t[pos] == ' ')
            ++pos;
    }
    int openParen = -1; // where in `written` a "(" waits for its ")"
    qsizetype lastEnd = -1;
    for (;;) {
        const qsizetype groupStart = pos;
        const int writtenBefore = int(run.written.size());
        if (pos < to && t[pos] == '(' && openParen < 0) {
            openParen = int(run.written.size());
            run.written.append('(');
            ++pos;
            // "(0xx21)": the two letters stood for a carrier code to choose.
            if (pos + 2 < to && t[pos] == '0' && (t[pos + 1] == 'x' || t[pos + 1] == 'X') &&
                (t[pos + 2] == 'x' || t[pos + 2] == 'X')) {
                run.written.append('0');
                ++run.digits;
                pos += 3;
            }
        }
        const qsizetype digitsStart = pos;
        while (pos < to && isDigit(t[pos])) {
            run.written.append(t[pos]);
            ++run.digits;
            ++pos;
        }
        if (pos == digitsStart && !run.written.endsWith("(0")) {
            // No digits here: the run ended before this group.
            run.written.truncate(writtenBefore);
            if (openParen >= writtenBefore)
                openParen = -1;
            pos = groupStart;
            break;
        }
        if (openParen >= 0 && pos < to && t[pos] == ')') {
            run.written.append(')');
            openParen = -1;
            ++pos;
        }
        lastEnd = pos;
        run.groupEnds.append(int(run.written.size()));
        if (run.digits > 20)
            break;
        // What joins this group to the next: nothing after ")" or before "(", else one
        // space, dash, dot or slash with at most a space on each side.
        qsizetype q = pos;
        int signs = 0;
        char sign = ' ';
        while (q < to && q - pos < 3 &&
               (t[q] == ' ' || t[q] == '-' || t[q] == '.' || t[q] == '/')) {
            if (t[q] != ' ') {
                ++signs;
                sign = t[q];
            }
            ++q;
        }
        if (signs > 1 || q >= to)
            break;
        const bool joined = q > pos || run.written.endsWith(')') || t[q] == '(';
        if (!joined || !(isDigit(t[q]) || (t[q] == '(' && openParen < 0)))
            break;
        if (q > pos)
            run.written.append(sign);
        pos = q;
    }
    if (openParen >= 0)
        run.written.remove(openParen, 1); // "(860.657.4276)" encloses the whole number
    run.end = lastEnd < 0 ? i : lastEnd;
    *out = run;
    return lastEnd < 0 ? i + 1 : lastEnd;
}

// Only digits and "+", for the numbering plans' parser.
std::string digitsOf(QByteArrayView written)
{
    std::string s;
    for (char c : written) {
        if (isDigit(c) || c == '+')
            s.push_back(c);
    }
    return s;
}

// The number with the exit code (its first `length` digits) written as "+", the rest as
// written: "0043(0) 316/83 56 12" is "+43(0) 316/83 56 12", whose "(0)" the parser knows.
std::string afterExitCode(QByteArrayView written, int length)
{
    qsizetype k = 0;
    for (int seen = 0; k < written.size() && seen < length; ++k)
        seen += isDigit(written[k]);
    return '+' + written.sliced(k).toByteArray().toStdString();
}

// Whether the numbering plans call the number valid (IsValidNumber, with the region it
// belongs to looked up once, the costly part, and kept in `numberRegion`).
bool isValid(const PhoneNumber &number, std::string *numberRegion)
{
    const PhoneNumberUtil *util = PhoneNumberUtil::GetInstance();
    numberRegion->clear();
    util->GetRegionCodeForNumber(number, numberRegion);
    return util->IsValidNumberForRegion(number, *numberRegion);
}

// The number a text reads as from `region`, when the numbering plans call it valid.
bool parsesValid(const std::string &text, const char *region, PhoneNumber *number,
                 std::string *numberRegion)
{
    const PhoneNumberUtil *util = PhoneNumberUtil::GetInstance();
    if (util->Parse(text, region, number) != PhoneNumberUtil::NO_PARSING_ERROR)
        return false;
    // E.164 allows 15 digits; some plans' patterns let longer ones pass.
    std::string e164;
    util->Format(*number, PhoneNumberUtil::E164, &e164);
    return e164.size() <= 16 && isValid(*number, numberRegion);
}

// NNN-NNN-NNNN, (NNN) NNN-NNNN, NNN.NNN.NNNN, NNNNNNNNNN, each with or without a leading 1;
// area code and exchange begin with 2 to 9.
bool hasNorthAmericanLayout(QByteArrayView written)
{
    QList<int> groups;
    int length = 0;
    std::string digits;
    for (char c : written) {
        if (isDigit(c)) {
            ++length;
            digits.push_back(c);
        } else if (length) {
            groups.append(length);
            length = 0;
        }
    }
    if (length)
        groups.append(length);
    if (groups.size() == 4 && groups.first() == 1 && digits[0] == '1') {
        digits.erase(0, 1);
        groups.removeFirst();
    } else if (groups == QList<int>{11} && digits[0] == '1') {
        digits.erase(0, 1);
        groups = {10};
    }
    const bool layout = groups == QList<int>{3, 3, 4} || groups == QList<int>{10};
    return layout && digits.size() == 10 && digits[0] >= '2' && digits[3] >= '2';
}

PhoneReading readingOf(const PhoneNumber &number, const std::string &region)
{
    const PhoneNumberUtil *util = PhoneNumberUtil::GetInstance();
    PhoneReading r;
    r.valid = true;
    std::string s;
    util->Format(number, PhoneNumberUtil::E164, &s);
    r.e164 = QString::fromStdString(s);
    r.region = QString::fromStdString(region);
    r.countryName = countryNameOf(r.region);
    r.northAmerican = number.country_code() == 1;
    if (r.northAmerican) {
        std::string national;
        util->GetNationalSignificantNumber(number, &national);
        const QString n = QString::fromStdString(national);
        r.textForm = QStringLiteral("1-") + n.left(3) + QLatin1Char('-') + n.mid(3, 3) +
                     QLatin1Char('-') + n.mid(6);
    } else {
        s.clear();
        util->Format(number, PhoneNumberUtil::INTERNATIONAL, &s);
        r.textForm = QString::fromStdString(s).replace(QLatin1Char(' '), QLatin1Char('-'));
    }
    return r;
}

bool isNorthAmericanRegion(const QByteArray &region)
{
    return !region.isEmpty() &&
           PhoneNumberUtil::GetInstance()->GetCountryCodeForRegion(region.toStdString()) == 1;
}

} // namespace

QList<NumberRun> numberRuns(QByteArrayView text, qsizetype from, qsizetype to)
{
    QList<NumberRun> runs;
    qsizetype i = from;
    while (i < to) {
        const char c = text[i];
        const bool start = isDigit(c) ||
                           (c == '+' && i + 1 < to &&
                            (isDigit(text[i + 1]) ||
                             (text[i + 1] == ' ' && i + 2 < to && isDigit(text[i + 2])))) ||
                           (c == '(' && i + 1 < to && isDigit(text[i + 1]));
        if (!start) {
            ++i;
            continue;
        }
        NumberRun run;
        const qsizetype next = readRun(text, i, to, &run);
        if (run.digits >= 6 && run.digits <= 20)
            runs.append(run);
        // A run of too many digits is skipped whole, not read in pieces.
        if (run.digits > 20) {
            qsizetype k = next;
            while (k < to && (isDigit(text[k]) || text[k] == ' ' || text[k] == '-' ||
                              text[k] == '.' || text[k] == '/'))
                ++k;
            i = k;
            continue;
        }
        i = next;
    }
    return runs;
}

NumberRun firstGroups(const NumberRun &run, int k)
{
    NumberRun part;
    const int cut = run.groupEnds.value(k, int(run.written.size()));
    part.written = run.written.left(cut);
    part.begin = run.begin;
    for (char c : part.written)
        part.digits += isDigit(c);
    part.groupEnds = run.groupEnds.mid(0, k + 1);
    part.end = run.end;
    return part;
}

NumberRun lastGroups(const NumberRun &run, int k)
{
    NumberRun part;
    const int cut = run.groupEnds.value(k, int(run.written.size()));
    qsizetype from = cut;
    while (from < run.written.size() && !isDigit(run.written[from]) && run.written[from] != '(')
        ++from;
    part.written = run.written.mid(from);
    for (char c : part.written)
        part.digits += isDigit(c);
    for (int g = k + 1; g < run.groupEnds.size(); ++g)
        part.groupEnds.append(run.groupEnds[g] - int(from));
    part.begin = run.begin;
    part.end = run.end;
    return part;
}

namespace {

PhoneReading readUncached(QByteArrayView written, const std::string &digits,
                          const std::function<QByteArray()> &regionOnce)
{
    PhoneNumber number;
    std::string region;
    const std::string text = written.toByteArray().toStdString();
    // "+1" and ten digits: what the parser makes of it, built directly (parsing costs more
    // than the rest of a reading).
    if (digits.size() == 12 && digits.compare(0, 2, "+1") == 0 && digits[2] >= '2' &&
        digits[5] >= '2') {
        number.set_country_code(1);
        number.set_national_number(std::stoull(digits.substr(2)));
        return isValid(number, &region) ? readingOf(number, region) : PhoneReading();
    }
    if (digits[0] == '+')
        return parsesValid(text, "ZZ", &number, &region) ? readingOf(number, region)
                                                         : PhoneReading();
    if (digits.compare(0, 2, "00") == 0 && digits.compare(0, 3, "000") != 0) {
        if (parsesValid(afterExitCode(written, 2), "ZZ", &number, &region))
            return readingOf(number, region);
    }
    if (digits.compare(0, 3, "011") == 0) {
        // 011 leaves North America; elsewhere it may begin a city's number (Delhi, Sheffield).
        const QByteArray r = regionOnce();
        if (!r.isEmpty() && !isNorthAmericanRegion(r) &&
            parsesValid(text, r.constData(), &number, &region))
            return readingOf(number, region);
        if (parsesValid(afterExitCode(written, 3), "ZZ", &number, &region))
            return readingOf(number, region);
    }
    if (hasNorthAmericanLayout(written)) {
        // What the parser makes of this layout from "US": the last ten digits with country
        // code 1. Built directly, as parsing costs more than the rest of a reading.
        number.set_country_code(1);
        number.set_national_number(std::stoull(digits.substr(digits.size() - 10)));
        if (isValid(number, &region))
            return readingOf(number, region);
        number.Clear();
    }
    const QByteArray r = regionOnce();
    if (!r.isEmpty() && parsesValid(text, r.constData(), &number, &region))
        return readingOf(number, region);
    return PhoneReading();
}

// Readings already made, by the text as written, and for those that needed the page's
// region by text and region as well. Reading a number with the numbering plans costs tens
// of microseconds, and the pages of a site repeat their numbers. Per thread, bounded.
struct ReadingCache
{
    static constexpr int MaxEntries = 8192;
    struct Entry
    {
        PhoneReading reading;
        bool needsRegion = false; // the reading is under the key with the region
    };
    QHash<QByteArray, Entry> entries;

    void insert(const QByteArray &key, const Entry &e)
    {
        if (entries.size() >= MaxEntries)
            entries.clear();
        entries.insert(key, e);
    }
};

QByteArray withRegion(QByteArrayView written, const QByteArray &region)
{
    return written.toByteArray() + '\0' + region;
}

} // namespace

PhoneReading readPhoneNumber(QByteArrayView written, const std::function<QByteArray()> &pageRegion)
{
    const std::string digits = digitsOf(written);
    if (digits.size() < 6 || digits.size() > 20)
        return PhoneReading();
    thread_local ReadingCache cache;
    QByteArray region;
    bool regionAsked = false;
    auto regionOnce = [&]() {
        if (!regionAsked && pageRegion)
            region = pageRegion();
        regionAsked = true;
        return region;
    };
    // A number in a North American layout reads the same however it is laid out.
    QByteArray northAmerican;
    if (digits[0] != '+' && digits[0] != '0' && hasNorthAmericanLayout(written)) {
        northAmerican = QByteArrayLiteral("\x01") + QByteArray::fromStdString(digits).right(10);
        const auto it = cache.entries.constFind(northAmerican);
        if (it != cache.entries.cend())
            return it->reading;
    }
    // Whether a text needs the region is a matter of the text alone.
    const QByteArray key = written.toByteArray();
    const auto known = cache.entries.constFind(key);
    if (known != cache.entries.cend()) {
        if (!known->needsRegion)
            return known->reading;
        const auto withIt = cache.entries.constFind(withRegion(written, regionOnce()));
        if (withIt != cache.entries.cend())
            return withIt->reading;
    }
    const PhoneReading r = readUncached(written, digits, regionOnce);
    if (!northAmerican.isEmpty() && r.valid && r.northAmerican) {
        cache.insert(northAmerican, {r, false});
    } else if (!regionAsked) {
        cache.insert(key, {r, false});
    } else {
        cache.insert(key, {PhoneReading(), true});
        cache.insert(withRegion(written, region), {r, false});
    }
    return r;
}

bool phoneNumberOfE164(const QString &e164, PhoneNumber *number)
{
    // What the parser makes of "+" and digits, built directly: the country code is the one
    // prefix of one to three digits the plans know (no code begins another).
    const qsizetype n = e164.size();
    if (n < 4 || n > 16 || e164[0] != u'+')
        return false;
    for (qsizetype k = 1; k < n; ++k) {
        if (e164[k] < u'0' || e164[k] > u'9')
            return false;
    }
    const PhoneNumberUtil *util = PhoneNumberUtil::GetInstance();
    int code = 0;
    for (qsizetype digits = 1; digits <= 3 && digits + 2 <= n; ++digits) {
        code = code * 10 + (e164[digits].unicode() - '0');
        // 1, North America's, is most numbers the finder reads: no look-up for it.
        std::string region;
        if (code != 1)
            util->GetRegionCodeForCountryCode(code, &region);
        if (region == "ZZ")
            continue;
        const QString national = e164.mid(1 + digits);
        number->Clear();
        number->set_country_code(code);
        number->set_national_number(national.toULongLong());
        // As the parser keeps leading zeros (Italy's "06 ..."): all but the last one.
        if (national.size() > 1 && national[0] == u'0') {
            number->set_italian_leading_zero(true);
            int zeros = 1;
            while (zeros < national.size() - 1 && national[zeros] == u'0')
                ++zeros;
            if (zeros != 1)
                number->set_number_of_leading_zeros(zeros);
        }
        return true;
    }
    return false;
}

bool isTollFree(const QString &e164)
{
    // North America's toll-free area codes, without the plans' patterns.
    if (e164.size() == 12 && e164.startsWith(QLatin1String("+18"))) {
        // 800, 833, 844, 855, 866, 877, 888.
        const QChar a = e164[3], b = e164[4];
        return a == b && (a == u'0' || (a >= u'3' && a <= u'8'));
    }
    if (e164.startsWith(QLatin1String("+1")))
        return false;
    PhoneNumber number;
    return phoneNumberOfE164(e164, &number) &&
           PhoneNumberUtil::GetInstance()->GetNumberType(number) == PhoneNumberUtil::TOLL_FREE;
}

QString whyNoReading(QByteArrayView written, const QByteArray &pageRegion)
{
    const std::string digits = digitsOf(written);
    if (digits.size() < 6)
        return QStringLiteral("fewer than 6 digits");
    if (digits.size() > 20)
        return QStringLiteral("more than 20 digits");
    const bool international = digits[0] == '+' || digits.compare(0, 2, "00") == 0;
    // Ten digits (after a leading 1) read as North American even with an area code no
    // plan can have ("(111) 555-0100").
    const bool tenDigits =
        !international && (digits.size() == 10 || (digits.size() == 11 && digits[0] == '1'));
    const bool northAmerican =
        hasNorthAmericanLayout(written) || (tenDigits && pageRegion.isEmpty());
    if (!international && !northAmerican && pageRegion.isEmpty())
        return QStringLiteral("no country code and the page names no country");
    const std::string text = digits[0] != '+' && digits.compare(0, 2, "00") == 0
                                 ? afterExitCode(written, 2)
                                 : written.toByteArray().toStdString();
    const char *region = international ? "ZZ" : northAmerican ? "US" : pageRegion.constData();
    const PhoneNumberUtil *util = PhoneNumberUtil::GetInstance();
    PhoneNumber number;
    if (util->Parse(text, region, &number) != PhoneNumberUtil::NO_PARSING_ERROR)
        return QStringLiteral("not a telephone number");
    std::string numberRegion;
    util->GetRegionCodeForNumber(number, &numberRegion);
    const QString where =
        numberRegion.empty() || numberRegion == "ZZ"
            ? QStringLiteral("country code +") + QString::number(number.country_code())
            : QString::fromStdString(numberRegion);
    if (!util->IsPossibleNumber(number))
        return QStringLiteral("not a possible number of ") + where;
    return QStringLiteral("invalid in the numbering plan of ") + where;
}

QString countryNameOf(const QString &region)
{
    if (region.size() != 2)
        return QString();
    const QLocale::Territory t = QLocale::codeToTerritory(region);
    return t == QLocale::AnyTerritory ? QString() : QLocale::territoryToString(t);
}
