#include <QtTest>
class TestStatsWindows : public QObject {
    Q_OBJECT
};
QTEST_MAIN(TestStatsWindows)
#include "TestStatsWindows.moc"
