#include "areacodetable.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QTest>

namespace {

// The directory's codes, in the order the table must hold them.
const int kExpectedCodes[] = {
    201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 211, 212, 213, 214, 215, 216, 217, 218, 219,
    224, 225, 228, 229, 231, 234, 236, 239, 240, 242, 246, 248, 249, 250, 251, 252, 253, 254, 256,
    260, 262, 264, 267, 268, 269, 270, 276, 278, 280, 281, 282, 283, 284, 289, 301, 302, 303, 304,
    305, 306, 307, 308, 309, 310, 311, 312, 313, 314, 315, 316, 317, 318, 319, 320, 321, 323, 325,
    327, 330, 331, 334, 336, 337, 339, 340, 341, 345, 347, 351, 352, 353, 354, 358, 360, 361, 369,
    380, 381, 383, 385, 386, 401, 402, 403, 404, 405, 406, 407, 408, 409, 410, 411, 412, 413, 414,
    415, 416, 417, 418, 419, 420, 423, 424, 425, 430, 432, 434, 435, 438, 440, 441, 442, 443, 445,
    450, 456, 464, 469, 470, 473, 475, 478, 479, 480, 484, 500, 501, 502, 503, 504, 505, 506, 507,
    508, 509, 510, 511, 512, 513, 514, 515, 516, 517, 518, 519, 520, 530, 540, 541, 546, 551, 555,
    557, 559, 561, 562, 563, 564, 567, 570, 571, 573, 574, 580, 585, 586, 590, 600, 601, 602, 603,
    604, 605, 606, 607, 608, 609, 610, 611, 612, 613, 614, 615, 616, 617, 618, 619, 620, 623, 626,
    627, 628, 630, 631, 636, 641, 646, 647, 649, 650, 651, 657, 660, 661, 662, 664, 669, 670, 671,
    678, 679, 682, 684, 689, 700, 701, 702, 703, 704, 705, 706, 707, 708, 709, 710, 711, 712, 713,
    714, 715, 716, 717, 718, 719, 720, 724, 727, 731, 732, 734, 737, 740, 747, 752, 754, 757, 758,
    760, 763, 764, 765, 767, 770, 772, 773, 774, 775, 778, 780, 781, 784, 785, 786, 787, 800, 801,
    802, 803, 804, 805, 806, 807, 808, 809, 810, 811, 812, 813, 814, 815, 816, 817, 818, 819, 822,
    828, 830, 831, 832, 833, 835, 836, 843, 844, 845, 847, 848, 850, 855, 856, 857, 858, 859, 860,
    861, 862, 863, 864, 865, 866, 867, 868, 869, 870, 872, 876, 877, 878, 880, 881, 882, 888, 900,
    901, 902, 903, 904, 905, 906, 907, 908, 909, 910, 911, 912, 913, 914, 915, 916, 917, 918, 919,
    920, 925, 928, 931, 935, 936, 937, 939, 940, 941, 947, 949, 951, 952, 954, 956, 957, 959, 969,
    970, 971, 972, 973, 975, 976, 978, 979, 980, 984, 985, 989, 999,
};

const char *descriptionOf(int code)
{
    for (int i = 0; i < kAreaCodeCount; ++i) {
        if (kAreaCodeTable[i].code == code)
            return kAreaCodeTable[i].description;
    }
    return nullptr;
}

QByteArray regionOf(int index)
{
    return QByteArray(kAreaCodeTable[index].description).left(2);
}

int trailingSpaces(const QByteArray &text)
{
    int n = 0;
    while (n < text.size() && text.at(text.size() - 1 - n) == ' ')
        ++n;
    return n;
}

bool isRegionCode(const QByteArray &region)
{
    if (region == "--")
        return true;
    return region.size() == 2 && region.at(0) >= 'A' && region.at(0) <= 'Z' &&
           region.at(1) >= 'A' && region.at(1) <= 'Z';
}

} // namespace

class TestAreaCodes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void codes_exactListInOrderOnce();
    void regionCounts_matchDirectory_data();
    void regionCounts_matchDirectory();
    void regionCounts_noRegionOutsideDirectory();
    void trailingSpaces_oneTwoOrNone();
    void descriptions_regionTwoSpacesText();
    void tellingEntries_wordForWord_data();
    void tellingEntries_wordForWord();
};

void TestAreaCodes::codes_exactListInOrderOnce()
{
    const int expectedCount = int(sizeof(kExpectedCodes) / sizeof(kExpectedCodes[0]));
    QCOMPARE(expectedCount, 393);
    QCOMPARE(kAreaCodeCount, expectedCount);
    for (int i = 0; i < kAreaCodeCount; ++i) {
        QVERIFY2(kAreaCodeTable[i].code == kExpectedCodes[i],
                 qPrintable(QStringLiteral("entry %1 holds %2, expected %3")
                                .arg(i)
                                .arg(kAreaCodeTable[i].code)
                                .arg(kExpectedCodes[i])));
        QVERIFY(kAreaCodeTable[i].description != nullptr);
        // Strictly ascending, so each code appears once.
        if (i > 0)
            QVERIFY(kAreaCodeTable[i - 1].code < kAreaCodeTable[i].code);
    }
}

void TestAreaCodes::regionCounts_matchDirectory_data()
{
    QTest::addColumn<QByteArray>("region");
    QTest::addColumn<int>("count");
    QTest::newRow("--") << QByteArray("--") << 49;
    QTest::newRow("CA") << QByteArray("CA") << 38;
    QTest::newRow("TX") << QByteArray("TX") << 25;
    QTest::newRow("FL") << QByteArray("FL") << 20;
    QTest::newRow("MI") << QByteArray("MI") << 15;
    QTest::newRow("IL") << QByteArray("IL") << 14;
    QTest::newRow("NY") << QByteArray("NY") << 14;
    QTest::newRow("PA") << QByteArray("PA") << 13;
    QTest::newRow("OH") << QByteArray("OH") << 12;
    QTest::newRow("MA") << QByteArray("MA") << 9;
    QTest::newRow("NJ") << QByteArray("NJ") << 9;
    QTest::newRow("VA") << QByteArray("VA") << 9;
    QTest::newRow("GA") << QByteArray("GA") << 8;
    QTest::newRow("MO") << QByteArray("MO") << 8;
    QTest::newRow("NC") << QByteArray("NC") << 8;
    QTest::newRow("ON") << QByteArray("ON") << 8;
    QTest::newRow("MD") << QByteArray("MD") << 7;
    QTest::newRow("MN") << QByteArray("MN") << 7;
    QTest::newRow("WI") << QByteArray("WI") << 7;
    QTest::newRow("IN") << QByteArray("IN") << 6;
    QTest::newRow("TN") << QByteArray("TN") << 6;
    QTest::newRow("WA") << QByteArray("WA") << 6;
    QTest::newRow("AZ") << QByteArray("AZ") << 5;
    QTest::newRow("IA") << QByteArray("IA") << 5;
    QTest::newRow("KY") << QByteArray("KY") << 5;
    QTest::newRow("LA") << QByteArray("LA") << 5;
    QTest::newRow("QC") << QByteArray("QC") << 5;
    QTest::newRow("AL") << QByteArray("AL") << 4;
    QTest::newRow("CO") << QByteArray("CO") << 4;
    QTest::newRow("CT") << QByteArray("CT") << 4;
    QTest::newRow("KS") << QByteArray("KS") << 4;
    QTest::newRow("AR") << QByteArray("AR") << 3;
    QTest::newRow("BC") << QByteArray("BC") << 3;
    QTest::newRow("MS") << QByteArray("MS") << 3;
    QTest::newRow("OK") << QByteArray("OK") << 3;
    QTest::newRow("OR") << QByteArray("OR") << 3;
    QTest::newRow("SC") << QByteArray("SC") << 3;
    QTest::newRow("UT") << QByteArray("UT") << 3;
    QTest::newRow("AB") << QByteArray("AB") << 2;
    QTest::newRow("ME") << QByteArray("ME") << 2;
    QTest::newRow("NE") << QByteArray("NE") << 2;
    QTest::newRow("NM") << QByteArray("NM") << 2;
    QTest::newRow("NV") << QByteArray("NV") << 2;
    QTest::newRow("PR") << QByteArray("PR") << 2;
    QTest::newRow("AK") << QByteArray("AK") << 1;
    QTest::newRow("DC") << QByteArray("DC") << 1;
    QTest::newRow("DE") << QByteArray("DE") << 1;
    QTest::newRow("GU") << QByteArray("GU") << 1;
    QTest::newRow("HI") << QByteArray("HI") << 1;
    QTest::newRow("ID") << QByteArray("ID") << 1;
    QTest::newRow("MB") << QByteArray("MB") << 1;
    QTest::newRow("MP") << QByteArray("MP") << 1;
    QTest::newRow("MT") << QByteArray("MT") << 1;
    QTest::newRow("NB") << QByteArray("NB") << 1;
    QTest::newRow("ND") << QByteArray("ND") << 1;
    QTest::newRow("NF") << QByteArray("NF") << 1;
    QTest::newRow("NH") << QByteArray("NH") << 1;
    QTest::newRow("NS") << QByteArray("NS") << 1;
    QTest::newRow("RI") << QByteArray("RI") << 1;
    QTest::newRow("SD") << QByteArray("SD") << 1;
    QTest::newRow("SK") << QByteArray("SK") << 1;
    QTest::newRow("VT") << QByteArray("VT") << 1;
    QTest::newRow("WV") << QByteArray("WV") << 1;
    QTest::newRow("WY") << QByteArray("WY") << 1;
    QTest::newRow("YT") << QByteArray("YT") << 1;
}

void TestAreaCodes::regionCounts_matchDirectory()
{
    QFETCH(QByteArray, region);
    QFETCH(int, count);
    int found = 0;
    for (int i = 0; i < kAreaCodeCount; ++i) {
        if (regionOf(i) == region)
            ++found;
    }
    QCOMPARE(found, count);
}

void TestAreaCodes::regionCounts_noRegionOutsideDirectory()
{
    // The rows above name 65 regions whose counts add up to the whole table, so a region
    // code outside them (a typo such as "NL" or "Ca") shows up here.
    QSet<QByteArray> regions;
    for (int i = 0; i < kAreaCodeCount; ++i)
        regions.insert(regionOf(i));
    QCOMPARE(regions.size(), 65);
}

void TestAreaCodes::trailingSpaces_oneTwoOrNone()
{
    int one = 0;
    int two = 0;
    QList<int> none;
    for (int i = 0; i < kAreaCodeCount; ++i) {
        const int n = trailingSpaces(kAreaCodeTable[i].description);
        QVERIFY2(
            n <= 2,
            qPrintable(QStringLiteral("%1 ends in %2 spaces").arg(kAreaCodeTable[i].code).arg(n)));
        if (n == 1)
            ++one;
        else if (n == 2)
            ++two;
        else
            none.append(kAreaCodeTable[i].code);
    }
    QCOMPARE(one, 279);
    QCOMPARE(two, 112);
    QCOMPARE(none, (QList<int>{473, 868}));
}

void TestAreaCodes::descriptions_regionTwoSpacesText()
{
    int longestCode = 0;
    int longest = 0;
    for (int i = 0; i < kAreaCodeCount; ++i) {
        const QByteArray text(kAreaCodeTable[i].description);
        const QByteArray where = QByteArray::number(kAreaCodeTable[i].code) + ": " + text;
        QVERIFY2(isRegionCode(text.left(2)), where.constData());
        QVERIFY2(text.mid(2, 2) == "  ", where.constData());
        // The region text follows the two spaces at once and is not blank.
        QVERIFY2(text.size() > 4 && text.at(4) != ' ', where.constData());
        // Printable ASCII: the text reaches the page files and the preview byte for byte.
        for (char c : text)
            QVERIFY2(c >= 0x20 && c < 0x7f, where.constData());
        if (text.size() > longest) {
            longest = int(text.size());
            longestCode = kAreaCodeTable[i].code;
        }
    }
    QCOMPARE(longestCode, 845);
    QCOMPARE(longest, 240);
}

void TestAreaCodes::tellingEntries_wordForWord_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("description");
    QTest::newRow("201") << 201
                         << QByteArray("NJ  N New Jersey: Jersey City, Hackensack (see split "
                                       "973, overlay 551)  ");
    QTest::newRow("202") << 202 << QByteArray("DC  Washington, D.C. ");
    QTest::newRow("204") << 204 << QByteArray("MB  Canada: Manitoba ");
    QTest::newRow("211") << 211 << QByteArray("--  Local community info / referral services ");
    QTest::newRow("212") << 212
                         << QByteArray("NY  New York City, New York (Manhattan; see 646, 718) ");
    QTest::newRow("242") << 242 << QByteArray("--  Bahamas ");
    QTest::newRow("340") << 340 << QByteArray("--  US Virgin Islands (see also 809) ");
    QTest::newRow("354") << 354 << QByteArray("--  Canada (region unknown) ");
    QTest::newRow("416") << 416
                         << QByteArray("ON  Canada: S Cent. Ontario: Toronto (see overlay 647, "
                                       "eff 3/5/01)  ");
    QTest::newRow("473") << 473 << QByteArray("--  Grenada");
    QTest::newRow("555") << 555
                         << QByteArray("--  Reserved for directory assistance applications  ");
    QTest::newRow("600") << 600 << QByteArray("--  Canadian Services ");
    QTest::newRow("671") << 671 << QByteArray("GU  Guam ");
    QTest::newRow("787") << 787 << QByteArray("PR  Puerto Rico (see overlay 939, perm 8/1/01)  ");
    QTest::newRow("800") << 800
                         << QByteArray("--  US/Canada toll free (see 888, 877, 866, 855, 844, "
                                       "833, 822) ");
    QTest::newRow("809") << 809
                         << QByteArray("--  Dominican Republic (see splits 264, 268, 284, 340, "
                                       "441, 473, 664, 758, 767, 784, 868, 876)  ");
    QTest::newRow("845") << 845
                         << QByteArray("NY  New York: Poughkeepsie; Nyack, Nanuet, Valley "
                                       "Cottage, New City, Putnam, Dutchess, Rockland, Orange, "
                                       "Ulster and parts of Sullivan counties in New York's "
                                       "lower Hudson Valley and Delaware County in the "
                                       "Catskills (see 914; perm 6/5/2000)  ");
    QTest::newRow("868") << 868 << QByteArray("--  Trinidad and Tobago");
    QTest::newRow("900") << 900
                         << QByteArray("--  US toll calls -- prices vary with the number called ");
    QTest::newRow("911") << 911 << QByteArray("--  Emergency ");
    QTest::newRow("976") << 976 << QByteArray("--  Pay services ");
    QTest::newRow("989") << 989
                         << QByteArray("MI  Upper central Michigan: Mt Pleasant, Saginaw (split "
                                       "from 517; perm 4/7/01)  ");
    QTest::newRow("999") << 999
                         << QByteArray("--  Often used by carriers to indicate that the area "
                                       "code information is unavailable for CNID, even though "
                                       "the rest of the number is present ");
}

void TestAreaCodes::tellingEntries_wordForWord()
{
    QFETCH(int, code);
    QFETCH(QByteArray, description);
    const char *actual = descriptionOf(code);
    QVERIFY(actual != nullptr);
    QCOMPARE(QByteArray(actual), description);
}

QTEST_GUILESS_MAIN(TestAreaCodes)
#include "tst_areacodes.moc"
