#include "app/utils.h"
#include <QtTest>
class TestUtils : public QObject
{
    Q_OBJECT private slots : void x()
    {
        QCOMPARE(Utils::anyAddress(), QStringLiteral("0.0.0.0"));
    }
};
QTEST_GUILESS_MAIN(TestUtils)
#include "tst_utils.moc"
