// The binding of a configuration control to its record field, alone (no
// panel, no main window): an edit lands in the field, a field's value shows in
// the control, a value the rule refuses is put back, and the follow-up and the
// note come once per edit.
#include "ConfigBinder.h"
#include "PrompterFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QButtonGroup>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>

namespace {

// One kind of control bound to one field: how the user sets it, what it shows,
// and the field itself.
struct Kind {
    std::function<QWidget*(ConfigBinder&)> make;
    std::function<void(QWidget*, const QVariant&)> set;
    std::function<QVariant(QWidget*)> shown;
    std::function<QVariant(const ConfigParam&)> field;
    std::function<void(ConfigParam&, const QVariant&)> put;
};

Kind kind(const QString& name)
{
    auto spinSet = [](QWidget* w, const QVariant& v) { static_cast<QSpinBox*>(w)->setValue(v.toInt()); };
    auto spinShown = [](QWidget* w) { return QVariant(static_cast<QSpinBox*>(w)->value()); };
    if (name == "double box")
        return {[](ConfigBinder& b) {
                    auto* box = new QDoubleSpinBox;
                    box->setRange(0, 1000);
                    box->setDecimals(2);
                    b.bindField(box, [](auto& c) -> auto& { return c.sync.start; });
                    return box;
                },
                [](QWidget* w, const QVariant& v) { static_cast<QDoubleSpinBox*>(w)->setValue(v.toDouble()); },
                [](QWidget* w) { return QVariant(static_cast<QDoubleSpinBox*>(w)->value()); },
                [](const ConfigParam& c) { return QVariant(c.sync.start); },
                [](ConfigParam& c, const QVariant& v) { c.sync.start = v.toDouble(); }};
    if (name == "int box, unsigned count")
        return {[](ConfigBinder& b) {
                    auto* box = new QSpinBox;
                    box->setRange(0, std::numeric_limits<int>::max());
                    b.bindField(box, [](auto& c) -> auto& { return c.dataScanRunScans; });
                    return box;
                },
                spinSet, spinShown, [](const ConfigParam& c) { return QVariant(qulonglong(c.dataScanRunScans)); },
                [](ConfigParam& c, const QVariant& v) { c.dataScanRunScans = quint32(v.toULongLong()); }};
    if (name == "int box, fractional percent")
        return {[](ConfigBinder& b) {
                    auto* box = new QSpinBox;
                    box->setRange(0, 100);
                    b.bindField(box, [](auto& c) -> auto& { return c.initScanDerivativeDrop; });
                    return box;
                },
                spinSet, spinShown, [](const ConfigParam& c) { return QVariant(c.initScanDerivativeDrop); },
                [](ConfigParam& c, const QVariant& v) { c.initScanDerivativeDrop = v.toDouble(); }};
    if (name == "check box")
        return {[](ConfigBinder& b) {
                    auto* box = new QCheckBox;
                    b.bindField(box, [](auto& c) -> auto& { return c.sync.averaging; });
                    return box;
                },
                [](QWidget* w, const QVariant& v) { static_cast<QCheckBox*>(w)->setChecked(v.toBool()); },
                [](QWidget* w) { return QVariant(static_cast<QCheckBox*>(w)->isChecked()); },
                [](const ConfigParam& c) { return QVariant(c.sync.averaging); },
                [](ConfigParam& c, const QVariant& v) { c.sync.averaging = v.toBool(); }};
    if (name == "combo box")
        return {[](ConfigBinder& b) {
                    auto* box = new QComboBox;
                    box->addItems({"a", "b", "c", "d"});
                    b.bindField(box, [](auto& c) -> auto& { return c.userChosenCMRange; });
                    return box;
                },
                [](QWidget* w, const QVariant& v) {
                    auto* box = static_cast<QComboBox*>(w);
                    box->setCurrentIndex(v.toInt());
                    emit box->activated(v.toInt()); // as a user's choice does
                },
                [](QWidget* w) { return QVariant(static_cast<QComboBox*>(w)->currentIndex()); },
                [](const ConfigParam& c) { return QVariant(qulonglong(c.userChosenCMRange)); },
                [](ConfigParam& c, const QVariant& v) { c.userChosenCMRange = quint32(v.toULongLong()); }};
    // name == "line edit": text in, rounded number kept
    return {[](ConfigBinder& b) {
                auto* line = new QLineEdit;
                b.bind(
                    line, [](const ConfigParam& c) { return QString::number(std::lround(c.extTriggerDelay)); },
                    [](ConfigParam& c, QString t) {
                        bool ok = false;
                        const double v = t.toDouble(&ok);
                        if (!ok)
                            return ConfigVerdict::refuse();
                        c.extTriggerDelay = std::round(v);
                        return ConfigVerdict();
                    });
                return line;
            },
            [](QWidget* w, const QVariant& v) {
                auto* line = static_cast<QLineEdit*>(w);
                line->setText(v.toString());
                emit line->editingFinished();
            },
            [](QWidget* w) { return QVariant(static_cast<QLineEdit*>(w)->text()); },
            [](const ConfigParam& c) { return QVariant(c.extTriggerDelay); },
            [](ConfigParam& c, const QVariant& v) { c.extTriggerDelay = v.toDouble(); }};
}

// The record field as the row states it (QVariant compares types too).
bool same(const QVariant& a, const QVariant& b)
{
    return a.toString() == b.toString();
}

} // namespace

class TestConfigBinder : public QObject, PrompterFixture::Prompted<>
{
    Q_OBJECT
private slots:
    void initTestCase() { isolate(); }
    void init() { installPrompter(); }
    void cleanup() { tearDown(); }
    void editAndShow_data();
    void editAndShow();
    void rules_data();
    void rules();
    void followUp_data();
    void followUp();
    void showingIsNoEdit();
    void noRecordNoEdit();
};

void TestConfigBinder::editAndShow_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QVariant>("edit");     // set through the control
    QTest::addColumn<QVariant>("stored");   // the field afterwards
    QTest::addColumn<QVariant>("echo");     // what the control shows then
    QTest::addColumn<QVariant>("put");      // then written into the field
    QTest::addColumn<QVariant>("shownNow"); // the control after showAll()
    QTest::newRow("double box") << "double box" << QVariant(12.5) << QVariant(12.5) << QVariant(12.5)
                                << QVariant(3.25) << QVariant(3.25);
    QTest::newRow("int box, unsigned count") << "int box, unsigned count" << QVariant(7) << QVariant(7)
                                             << QVariant(7) << QVariant(4000000000ULL)
                                             << QVariant(std::numeric_limits<int>::max());
    QTest::newRow("int box, fractional percent") << "int box, fractional percent" << QVariant(55) << QVariant(55.0)
                                                 << QVariant(55) << QVariant(79.6) << QVariant(80);
    QTest::newRow("check box") << "check box" << QVariant(false) << QVariant(false) << QVariant(false)
                               << QVariant(true) << QVariant(true);
    QTest::newRow("combo box, beyond the list") << "combo box" << QVariant(2) << QVariant(2) << QVariant(2)
                                                << QVariant(9) << QVariant(3);
    QTest::newRow("line edit, rounded") << "line edit" << QVariant("1234.4") << QVariant(1234.0)
                                        << QVariant("1234") << QVariant(77.6) << QVariant("78");
}

void TestConfigBinder::editAndShow()
{
    QFETCH(QString, kind);
    QFETCH(QVariant, edit);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, echo);
    QFETCH(QVariant, put);
    QFETCH(QVariant, shownNow);
    SingleProbeConfigParam rec;
    QWidget owner;
    ConfigBinder binder(&owner);
    binder.setSource([&rec] { return &rec; });
    const Kind k = ::kind(kind);
    std::unique_ptr<QWidget> control(k.make(binder));
    binder.showAll(); // the control starts from the record, so the edit below is a change
    QSignalSpy edited(&binder, &ConfigBinder::edited);
    k.set(control.get(), edit);
    QVERIFY2(same(k.field(rec), stored), qPrintable(k.field(rec).toString()));
    QVERIFY2(same(k.shown(control.get()), echo), qPrintable(k.shown(control.get()).toString()));
    QCOMPARE(edited.count(), 0); // a plain field asks for no follow-up
    k.put(rec, put);
    binder.showAll();
    QVERIFY2(same(k.shown(control.get()), shownNow), qPrintable(k.shown(control.get()).toString()));
    QVERIFY2(same(k.field(rec), put), "showing must not write the record");
    QVERIFY(m_prompter->asked.isEmpty());
}

void TestConfigBinder::rules_data()
{
    QTest::addColumn<double>("edit");
    QTest::addColumn<double>("stored");
    QTest::addColumn<int>("followUps");
    QTest::addColumn<int>("icon"); // QMessageBox::Icon of the note, NoIcon: none
    QTest::addColumn<QString>("note");
    QTest::newRow("taken") << 5.0 << 5.0 << 1 << int(QMessageBox::NoIcon) << QString();
    QTest::newRow("taken, with a note") << 6.0 << 6.0 << 1 << int(QMessageBox::Information) << "six is odd";
    QTest::newRow("refused, with a warning") << 50.0 << 1.0 << 0 << int(QMessageBox::Warning) << "too large";
    QTest::newRow("refused silently") << 7.0 << 1.0 << 0 << int(QMessageBox::NoIcon) << QString();
}

void TestConfigBinder::rules()
{
    QFETCH(double, edit);
    QFETCH(double, stored);
    QFETCH(int, followUps);
    QFETCH(int, icon);
    QFETCH(QString, note);
    SingleProbeConfigParam rec;
    rec.sync.resolution = 1.0;
    QWidget owner;
    ConfigBinder binder(&owner);
    binder.setSource([&rec] { return &rec; });
    auto* box = new QDoubleSpinBox(&owner);
    box->setRange(0, 100);
    binder.bind(
        box, [](const ConfigParam& c) { return c.sync.resolution; },
        [](ConfigParam& c, double v) {
            if (v > 10)
                return ConfigVerdict::refuse("too large", "Limit", true);
            if (v == 7)
                return ConfigVerdict::refuse();
            c.sync.resolution = v;
            return v == 6 ? ConfigVerdict::say("six is odd") : ConfigVerdict();
        },
        ConfigBinder::Estimate);
    binder.showAll();
    QSignalSpy edited(&binder, &ConfigBinder::edited);
    box->setValue(edit);
    QCOMPARE(rec.sync.resolution, stored);
    QCOMPARE(box->value(), stored); // a refused value is put back
    QCOMPARE(edited.count(), followUps);
    if (followUps)
        QCOMPARE(edited[0][0].toUInt(), unsigned(ConfigBinder::Estimate));
    if (icon == QMessageBox::NoIcon) {
        QVERIFY(m_prompter->asked.isEmpty());
    } else {
        QCOMPARE(m_prompter->asked.size(), 1);
        QCOMPARE(int(m_prompter->asked[0].icon), icon);
        QCOMPARE(m_prompter->asked[0].text, note);
        QCOMPARE(m_prompter->asked[0].title, QString(icon == QMessageBox::Warning ? "Limit" : ""));
    }
}

void TestConfigBinder::followUp_data()
{
    QTest::addColumn<unsigned>("follow");
    QTest::addColumn<bool>("otherShown"); // the control of the field the rule also changed
    QTest::newRow("none") << unsigned(ConfigBinder::Nothing) << false;
    QTest::newRow("estimate") << unsigned(ConfigBinder::Estimate) << false;
    QTest::newRow("enables and estimate") << unsigned(ConfigBinder::Enables | ConfigBinder::Estimate) << false;
    QTest::newRow("show all") << unsigned(ConfigBinder::ShowAll | ConfigBinder::Enables) << true;
}

void TestConfigBinder::followUp()
{
    QFETCH(unsigned, follow);
    QFETCH(bool, otherShown);
    SingleProbeConfigParam rec;
    rec.useExtTrigger = true;
    QWidget owner;
    ConfigBinder binder(&owner);
    binder.setSource([&rec] { return &rec; });
    auto* clean = new QCheckBox(&owner);
    auto* trigger = new QCheckBox(&owner);
    int afters = 0;
    // Like automatic cleaning, this rule turns another field off.
    binder.bind(
        clean, [](const ConfigParam& c) { return c.clean.autoClean; },
        [](ConfigParam& c, bool on) {
            c.clean.autoClean = on;
            c.useExtTrigger = false;
            return ConfigVerdict();
        },
        follow, [&afters](ConfigParam& c) { afters += c.clean.autoClean ? 1 : 100; });
    binder.bindField(trigger, [](auto& c) -> auto& { return c.useExtTrigger; });
    binder.showAll();
    QVERIFY(trigger->isChecked());
    QSignalSpy edited(&binder, &ConfigBinder::edited);
    clean->click();
    QVERIFY(rec.clean.autoClean && !rec.useExtTrigger);
    QCOMPARE(afters, 1); // once, after the record took the edit
    QCOMPARE(edited.count(), follow == ConfigBinder::Nothing ? 0 : 1);
    if (edited.count())
        QCOMPARE(edited[0][0].toUInt(), follow);
    QCOMPARE(trigger->isChecked(), !otherShown);
}

// Showing a record moves controls (an exclusive pair unchecks its partner);
// none of that is an edit.
void TestConfigBinder::showingIsNoEdit()
{
    SingleProbeConfigParam rec;
    QWidget owner;
    ConfigBinder binder(&owner);
    binder.setSource([&rec] { return &rec; });
    auto* averaged = new QRadioButton(&owner);
    auto* resolved = new QRadioButton(&owner);
    auto* pair = new QButtonGroup(&owner);
    pair->addButton(averaged);
    pair->addButton(resolved);
    int rules = 0;
    binder.bindShown(averaged, [](const ConfigParam& c) { return !c.sync.bUseSyncScan; });
    binder.bind(
        resolved, [](const ConfigParam& c) { return c.sync.bUseSyncScan; },
        [&rules](ConfigParam& c, bool on) {
            ++rules;
            c.sync.bUseSyncScan = on;
            return ConfigVerdict();
        },
        ConfigBinder::Enables);
    QSignalSpy edited(&binder, &ConfigBinder::edited);
    for (bool resolvedMode : {true, false, true}) {
        rec.sync.bUseSyncScan = resolvedMode;
        binder.showAll();
        QCOMPARE(resolved->isChecked(), resolvedMode);
        QCOMPARE(averaged->isChecked(), !resolvedMode);
    }
    QCOMPARE(rules, 0);
    QCOMPARE(edited.count(), 0);
    // The user's click on the partner is an edit of the bound button's field.
    averaged->click();
    QCOMPARE(rules, 1);
    QVERIFY(!rec.sync.bUseSyncScan);
    QCOMPARE(edited.count(), 1);
    // edit() runs the same path as the control.
    binder.edit(resolved, true);
    QCOMPARE(rules, 2);
    QVERIFY(rec.sync.bUseSyncScan && resolved->isChecked());
}

void TestConfigBinder::noRecordNoEdit()
{
    QWidget owner;
    ConfigBinder binder(&owner);
    ConfigParam* current = nullptr;
    binder.setSource([&current] { return current; });
    auto* box = new QSpinBox(&owner);
    box->setRange(0, 100);
    int rules = 0;
    binder.bind(
        box, [](const ConfigParam& c) { return int(c.dataScanRunScans); },
        [&rules](ConfigParam& c, int v) {
            ++rules;
            c.dataScanRunScans = quint32(v);
            return ConfigVerdict();
        },
        ConfigBinder::Estimate);
    QSignalSpy edited(&binder, &ConfigBinder::edited);
    box->setValue(42);
    binder.showAll();
    QCOMPARE(rules, 0);
    QCOMPARE(edited.count(), 0);
    QCOMPARE(box->value(), 42);
    // The source is asked at each edit: a record that comes later is the one edited.
    SingleProbeConfigParam rec;
    current = &rec;
    box->setValue(43);
    QCOMPARE(rec.dataScanRunScans, 43u);
    QCOMPARE(edited.count(), 1);
}

QTEST_MAIN(TestConfigBinder)
#include "tst_configbinder.moc"
