// Result record and quantities; analysis settings in the settings store and the map form.
#include "LangmuirSettings.h"
#include "ErrorText.h"
#include "ResultRecord.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void resultRecordKeysAndReset()
    {
        ResultRecord r;
        QCOMPARE(ResultRecord::keys().size(), 32);
        QCOMPARE(ResultRecord::valueKey(ResultRecord::eIsat), QString("isat"));
        QCOMPARE(ResultRecord::errorKey(ResultRecord::eIsat), QString("isat_err"));
        QCOMPARE(ResultRecord::errorKey(ResultRecord::eLdebye), QString("Ldebye_error"));
        QCOMPARE(ResultRecord::errorKey(ResultRecord::eVdrift), QString("vdrift_err"));
        for (int i = 0; i < 32; ++i)
            QVERIFY(std::isnan(r.raw()[i]));
        int k = 0;
        for (const QString& key : ResultRecord::keys())
            QVERIFY(r.setByKey(key, ++k));
        QVERIFY(!r.setByKey("nonsense", 1));
        double v = 0;
        QVERIFY(r.byKey("eedf_kTe_error", v));
        QCOMPARE(v, 2.0 * ResultRecord::eEedfKTe + 2);
        r.reset();
        QCOMPARE(r.value(ResultRecord::eIsat), 27.0);
        QCOMPARE(r.error(ResultRecord::eIsat), 28.0);
        QVERIFY(std::isnan(r.value(ResultRecord::eVp)));
        QVERIFY(std::isnan(r.error(ResultRecord::eVdrift)));
        QVERIFY(std::isnan(r.value(99)));
        ResultRecord copy = r;
        QVERIFY(copy == r); // not-a-number fields compare equal bitwise
    }

    void quantities_data()
    {
        QTest::addColumn<int>("q");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("pair");
        QTest::addColumn<double>("factor");
        QTest::newRow("Vp") << 0 << "Vp" << "Vp (V)" << 1 << 1.0;
        QTest::newRow("Debye") << 7 << "Debye Length" << "<font>Debye Length (&micro;m)</font>" << 9 << 1e6;
        QTest::newRow("Isat") << 11 << "Isat" << "Ion current saturation (mA)" << 13 << 1000.0;
        QTest::newRow("Vd") << 13 << "Vd" << "Vd (ms^-1" << 15 << 1.0;
        QTest::newRow("past the end") << 14 << "Unknown" << "Unknown" << -1 << 0.0;
        QTest::newRow("negative") << -1 << "Unknown" << "Unknown" << -1 << 0.0;
    }

    void quantities()
    {
        QFETCH(int, q);
        QFETCH(QString, name);
        QFETCH(QString, label);
        QFETCH(int, pair);
        QFETCH(double, factor);
        ResultRecord r;
        for (int p = 0; p < ResultRecord::ePairCount; ++p) {
            r.setValue(p, 10 + p);
            r.setError(p, 0.5 + p);
        }
        QCOMPARE(ResultQuantity::name(q), name);
        QCOMPARE(ResultQuantity::label(q), label);
        QCOMPARE(ResultQuantity::pair(q), pair);
        if (pair < 0) {
            QCOMPARE(ResultQuantity::value(r, q), 0.0);
            QCOMPARE(ResultQuantity::displayValue(r, q), 0.0);
            return;
        }
        QCOMPARE(ResultQuantity::value(r, q), 10.0 + pair);
        QCOMPARE(ResultQuantity::displayValue(r, q), (10.0 + pair) * factor);
        QCOMPARE(ResultQuantity::error(r, q), 0.5 + pair); // never scaled
    }

    void settingsStoreRoundTripAndCrops()
    {
        QTemporaryDir dir;
        QSettings store(dir.filePath("s.ini"), QSettings::IniFormat);
        LangmuirSettings empty;
        empty.probeLength = 0.5;
        empty.readSettings(store, "Settings");
        QCOMPARE(empty.probeLength, 0.01); // the store's default is the Defaults button's and the simulated probe's
        QCOMPARE(empty.ionMass, 40.0);

        LangmuirSettings s;
        s.ionMass = 4;
        s.probeRadius = 5e-5;
        s.correctDC = true;
        s.bUse2ndDerivativeZeroVp = true;
        s.kfactor = 2.5;
        s.startCrop = 501;
        s.endCrop = 7;
        s.nDerivativePoints = 9; // not kept in the store
        s.noiseRobust = true;
        s.writeSettings(store, "Settings");
        QCOMPARE(store.value("Settings/noiseRobust").toBool(), true);
        QCOMPARE(s.startCrop, 0); // above 500: set to 0 before writing
        LangmuirSettings back;
        back.readSettings(store, "Settings");
        QCOMPARE(back.ionMass, 4.0);
        QCOMPARE(back.probeRadius, 5e-5);
        QVERIFY(back.correctDC && back.bUse2ndDerivativeZeroVp);
        QCOMPARE(back.kfactor, 2.5);
        QCOMPARE(back.startCrop, 0);
        QCOMPARE(back.endCrop, 7);
        QCOMPARE(back.nDerivativePoints, 3);
        QVERIFY(back.noiseRobust);
        QVERIFY(!empty.noiseRobust); // a store without the key: off

        store.setValue("Settings/start_crop", 501);
        store.setValue("Settings/end_crop", 12.9);
        back.readSettings(store, "Settings");
        QCOMPARE(back.startCrop, 0);
        QCOMPARE(back.endCrop, 12); // truncated to a whole number
    }

    void unusableValuesAreRefused()
    {
        QTemporaryDir dir;
        QSettings store(dir.filePath("s.ini"), QSettings::IniFormat);
        store.beginGroup("G");
        store.setValue("temperature", 0);
        store.setValue("ion_mass", 0);
        store.setValue("kfactor", 0);
        store.setValue("probe_radius", "nan");
        store.setValue("pressure", "inf");
        store.setValue("start_crop", -4);
        store.endGroup();
        LangmuirSettings s;
        s.gasTemperature = 290;
        s.startCrop = 3;
        s.readSettings(store, "G");
        QCOMPARE(s.gasTemperature, 290.0);
        QCOMPARE(s.ionMass, 40.0);
        QCOMPARE(s.kfactor, 1.34);
        QCOMPARE(s.probeRadius, 0.000195);
        QCOMPARE(s.pressure, 0.0024);
        QCOMPARE(s.startCrop, 0); // negative counts become 0

        QMap<QString, QString> m{{"gas_temperature", "0"}, {"ionmass", "0"}, {"kfactor", "0"},
                                 {"sigmaN", "-1"}, {"nDerivativePoints", "0"}, {"endCrop", "-2"},
                                 {"VsatFactor", "0.7"}, {"probe_length", "abc"}};
        const QStringList refused = s.fromMap(m);
        QCOMPARE(refused, (QStringList{"ionmass", "probe_length", "gas_temperature", "sigmaN", "kfactor"}));
        QCOMPARE(s.gasTemperature, 290.0);
        QCOMPARE(s.nDerivativePoints, 1);
        QCOMPARE(s.endCrop, 0);
        QCOMPARE(s.VsatFactor, 0.7);
    }

    void mapFormAndFields()
    {
        LangmuirSettings s;
        s.pressure = 0.123456789;
        s.bUseUserVp = true;
        s.nDerivativePoints = 5;
        s.setVp = -1.5;
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QMap<QString, QString> m = s.toMap();
        QLocale::setDefault(saved);
        QCOMPARE(m.size(), 21);
        QCOMPARE(m.value("noiseRobust"), QString("0"));
        QCOMPARE(m.value("pressure"), QString("0.123457"));
        QCOMPARE(m.value("probe_radius"), QString("0.000195"));
        QCOMPARE(m.value("sigmaEn"), QString("4.14e-20"));
        QCOMPARE(m.value("bUseUserVp"), QString("1"));
        QCOMPARE(m.value("correctDC"), QString("0"));
        QCOMPARE(m.value("nDerivativePoints"), QString("5"));
        QCOMPARE(m.value("setVp"), QString("-1.5"));
        QCOMPARE(m.value("electronReflectVoltage"), QString("-60"));
        LangmuirSettings back;
        QVERIFY(back.fromMap(m).isEmpty());
        s.pressure = 0.123457;
        QVERIFY(back == s);

        // Only the keys present change.
        LangmuirSettings one;
        QVERIFY(one.fromMap({{"VsatFactor", "0.5"}}).isEmpty());
        LangmuirSettings expect;
        expect.VsatFactor = 0.5;
        QVERIFY(one == expect);

        QString why;
        QVERIFY(!one.setField("nosuch", "1", &why));
        QVERIFY(!one.setField("kfactor", "x", &why));
        QCOMPARE(why, QString("not a number"));
        QVERIFY(!one.setField("ionmass", "0", &why));
        QVERIFY(one.setField("bUse2ndDerivativeZeroVp", "true"));
        QVERIFY(one.bUse2ndDerivativeZeroVp);
        QVERIFY(one.setField("nDerivativePoints", "-3"));
        QCOMPARE(one.nDerivativePoints, 1); // a derivative window is at least 1
        QVERIFY(LangmuirSettings::fieldNames().contains("probe_holder"));
        QVERIFY(!LangmuirSettings::accepts("gas_temperature", 0));
        QVERIFY(!LangmuirSettings::accepts("kfactor", qInf()));
        QVERIFY(LangmuirSettings::accepts("kfactor", -1.34));
        QVERIFY(LangmuirSettings::accepts("pressure", 0)); // collisionless: finite constants
    }

    void defaultsKeepCrops()
    {
        LangmuirSettings s;
        s.ionMass = 2;
        s.startCrop = 4;
        s.endCrop = 6;
        s.resetDefaults();
        QCOMPARE(s.ionMass, 40.0);
        QCOMPARE(s.startCrop, 4);
        QCOMPARE(s.endCrop, 6);
    }

    // Errors as people read them: two significant digits of the error, the value to the same
    // last digit, percentages to two significant digits, never "0.0 %".
    void errorTexts_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("error");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("withError");
        QTest::addColumn<QString>("percent");
        const double nan = std::nan("");
        QTest::newRow("volts") << 8.26983 << 0.00141 << "V" << "8.2698 \u00b1 0.0014 V" << "0.017 %";
        QTest::newRow("rounds up a digit") << 2.9501 << 0.0996 << "eV" << "2.95 \u00b1 0.10 eV" << "3.4 %";
        QTest::newRow("whole numbers") << 12345.0 << 234.0 << "m/s" << "12350 \u00b1 230 m/s" << "1.9 %";
        QTest::newRow("negative") << -9.11056 << 9.21918 << "V" << "-9.1 \u00b1 9.2 V" << "100 %";
        QTest::newRow("density") << 9.8098e15 << 2.5186e14 << "m^-3" << "9.81e+15 \u00b1 2.5e+14 m^-3" << "2.6 %";
        QTest::newRow("tiny relative") << 5.0 << 1e-6 << "V" << "5.0000000 \u00b1 0.0000010 V" << "< 0.001 %";
        QTest::newRow("no error") << 3.0 << nan << "eV" << "3 eV" << "---";
        QTest::newRow("zero error") << 3.0 << 0.0 << "" << "3" << "< 0.001 %";
        QTest::newRow("no value") << nan << 0.1 << "V" << "---" << "---";
        QTest::newRow("value 0") << 0.0 << 0.5 << "V" << "0.00 \u00b1 0.50 V" << "---";
        QTest::newRow("rounds to zero") << -0.0001 << 0.05 << "V" << "0.000 \u00b1 0.050 V" << "50000 %";
    }
    void errorTexts()
    {
        QFETCH(double, value);
        QFETCH(double, error);
        QFETCH(QString, unit);
        QFETCH(QString, withError);
        QFETCH(QString, percent);
        QCOMPARE(errortext::valueWithError(value, error, unit), withError);
        QCOMPARE(errortext::percent(value, error), percent);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
