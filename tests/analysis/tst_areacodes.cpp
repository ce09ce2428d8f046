#include "areacodetable.h"

#include <QTest>

class TestAreaCodes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void tableHasEntries() { QVERIFY(kAreaCodeCount > 0); }
};

QTEST_GUILESS_MAIN(TestAreaCodes)
#include "tst_areacodes.moc"
