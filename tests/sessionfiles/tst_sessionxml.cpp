#include "SessionXml.h"

#include <QtTest>

#include <limits>

using namespace SessionXml;

class TstSessionXml : public QObject
{
    Q_OBJECT

private slots:
    void numberText_data();
    void numberText();
    void vectorTextSplitting_data();
    void vectorTextSplitting();
};

void TstSessionXml::numberText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("half") << 0.5 << "0.5";
    QTest::newRow("millionth") << 1e-6 << "1e-06";
    QTest::newRow("large") << 1234567.0 << "1.23457e+06";
    QTest::newRow("six digits plain") << 123456.0 << "123456";
    QTest::newRow("exponent -4 stays plain") << 0.0001 << "0.0001";
    QTest::newRow("rounds") << 0.123456789 << "0.123457";
    QTest::newRow("negative") << -50.0 << "-50";
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "nan";
    QTest::newRow("negative nan") << -std::numeric_limits<double>::quiet_NaN() << "nan";
    QTest::newRow("inf") << std::numeric_limits<double>::infinity() << "inf";
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << "-inf";
    QTest::newRow("three-digit exponent") << 1e100 << "1e+100";
}

void TstSessionXml::numberText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(number(value), text);
    QByteArray bytes("x");
    appendNumber(bytes, value);
    QCOMPARE(QString::fromLatin1(bytes), "x" + text);
}

void TstSessionXml::vectorTextSplitting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVector<double>>("values");
    QTest::newRow("lone separator") << ";" << QVector<double>{};
    QTest::newRow("empty text") << "" << QVector<double>{};
    QTest::newRow("blank text") << "  \n " << QVector<double>{};
    QTest::newRow("current form") << ";1;2;" << QVector<double>{1, 2};
    QTest::newRow("legacy commas") << "3,4" << QVector<double>{3, 4};
    QTest::newRow("negative first") << ";-1;2;" << QVector<double>{-1, 2};
    QTest::newRow("legacy minus first") << "-1,2.5" << QVector<double>{-1, 2.5};
    QTest::newRow("legacy plus first") << "+1,2" << QVector<double>{1, 2};
    QTest::newRow("legacy point first") << ".5,1" << QVector<double>{0.5, 1};
    QTest::newRow("other separator") << "|1|2|" << QVector<double>{1, 2};
    QTest::newRow("empty pieces dropped") << ";;1;;;2" << QVector<double>{1, 2};
    QTest::newRow("garbage piece gives 0") << ";1;abc;3x;2;" << QVector<double>{1, 0, 0, 2};
    QTest::newRow("exponents") << ";1e-06;-2.5E+3;" << QVector<double>{1e-6, -2500};
    QTest::newRow("out of range gives 0") << ";1e999;" << QVector<double>{0};
}

void TstSessionXml::vectorTextSplitting()
{
    QFETCH(QString, text);
    QFETCH(QVector<double>, values);
    QCOMPARE(parseVector(text), values);
}

QTEST_GUILESS_MAIN(TstSessionXml)
#include "tst_sessionxml.moc"
