#include "SessionXml.h"

#include <QBuffer>
#include <QLocale>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

#include <clocale>
#include <cmath>
#include <limits>

using namespace SessionXml;

class TstSessionXml : public QObject
{
    Q_OBJECT

private slots:
    void numberText_data();
    void numberText();
    void numberTextUnderDecimalCommaLocale();
    void vectorTextSplitting_data();
    void vectorTextSplitting();
    void vectorRoundTripKeepsSixDigits();
    void elementsAreOrderedByCodeUnits();
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

void TstSessionXml::numberTextUnderDecimalCommaLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    QCOMPARE(number(0.5), QString("0.5"));
    QCOMPARE(vectorText({1.5, -2.25e-7}), QString(";1.5;-2.25e-07;"));
    QCOMPARE(parseVector(";1.5;2.5;"), (QVector<double>{1.5, 2.5}));
    QCOMPARE(parseNumber("0.25"), 0.25);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
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

void TstSessionXml::vectorRoundTripKeepsSixDigits()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const QVector<double> in{0.1234567, -9.87654321e-12, 3e20, nan, 0, -0.5};
    const QVector<double> back = parseVector(vectorText(in));
    QCOMPARE(back.size(), in.size());
    for (int i = 0; i < in.size(); ++i) {
        if (std::isnan(in[i]))
            QVERIFY(std::isnan(back[i]));
        else
            QCOMPARE(back[i], QString::number(in[i], 'g', 6).toDouble());
    }
}

void TstSessionXml::elementsAreOrderedByCodeUnits()
{
    QByteArray bytes;
    QBuffer buf(&bytes);
    QVERIFY(buf.open(QIODevice::WriteOnly));
    QXmlStreamWriter xml(&buf);
    TextMap map;
    map.insert("currentRange", "1");
    map.insert("Error", "");
    map.insert("date", "5");
    VectorMap vectors;
    vectors.insert("dIdV", {1});
    vectors.insert("V", {});
    Attributes attrs;
    attrs.insert("index", "0");
    attrs.insert("duration", "1.5");
    attrs.insert("class", "x");
    writeMapElement(xml, "Status", map);
    writeVectorElement(xml, "trace", vectors, attrs);
    QCOMPARE(QString::fromUtf8(bytes),
             QString("<Status><Error></Error><currentRange>1</currentRange><date>5</date></Status>"
                     "<trace class=\"x\" duration=\"1.5\" index=\"0\"><vec label=\"V\">;</vec>"
                     "<vec label=\"dIdV\">;1;</vec></trace>"));

    QByteArray doc = "<r>" + bytes + "</r>";
    QXmlStreamReader in(doc);
    QVERIFY(in.readNextStartElement());
    QVERIFY(in.readNextStartElement());
    TextMap back;
    QVERIFY(readMapElement(in, back));
    QCOMPARE(back, map);
    QVERIFY(in.readNextStartElement());
    VectorMap vback;
    QVERIFY(readVectorElement(in, vback));
    QCOMPARE(vback, vectors);
}

QTEST_GUILESS_MAIN(TstSessionXml)
#include "tst_sessionxml.moc"
