#include "Hdf5Export.h"

#include "DataAnalyzer.h"
#include "ProgramInfo.h"
#include "ResultRecord.h"
#include "Trace.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>
#include <QVariant>

#include <hdf5.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace Hdf5Export {

namespace {

// One HDF5 identifier, closed with its kind's function when it goes.
template <herr_t (*Close)(hid_t)>
class Handle {
public:
    explicit Handle(hid_t id = H5I_INVALID_HID) : id_(id) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    hid_t get() const { return id_; }
    bool valid() const { return id_ >= 0; }
    herr_t close()
    {
        const herr_t r = id_ >= 0 ? Close(id_) : 0;
        id_ = H5I_INVALID_HID;
        return r;
    }

private:
    hid_t id_;
};
using FileH = Handle<H5Fclose>;
using GroupH = Handle<H5Gclose>;
using DatasetH = Handle<H5Dclose>;
using SpaceH = Handle<H5Sclose>;
using TypeH = Handle<H5Tclose>;
using AttrH = Handle<H5Aclose>;
using PlistH = Handle<H5Pclose>;

const char* const kPairUnits[ResultRecord::ePairCount] = {
    "V", "V", "V", "eV", "A/m^2", "m^-3", "A/m^2", "m^-3", "V", "m", "m^-3", "eV", "eV", "A", "1", "m/s",
};
// The opt-in analyses' keys, in ResultRecord::Extra order ("1": a pure number).
const char* const kExtraUnits[ResultRecord::eExtraCount] = {
    "m^-3", "m^-3", "1", "1", "1", "eV", "eV", "eV", "eV", "1", "1", "1",
};
const char* const kEepfUnit = "m^-3 eV^-3/2";

// HDF5's own message for the failed call (the outermost entry of its error stack).
herr_t lastMessage(unsigned, const H5E_error2_t* e, void* out)
{
    if (e && e->desc && *e->desc)
        *static_cast<QString*>(out) = QString::fromLocal8Bit(e->desc);
    return 0;
}

class Writer {
public:
    Writer()
        : text_(H5Tcopy(H5T_C_S1)), bool_(H5Tenum_create(H5T_NATIVE_INT8)), groupPlist_(H5Pcreate(H5P_GROUP_CREATE)),
          scanPlist_(H5Pcreate(H5P_GROUP_CREATE)), compact_(H5Pcreate(H5P_DATASET_CREATE)),
          scalar_(H5Screate(H5S_SCALAR))
    {
        check(H5Tset_size(text_.get(), H5T_VARIABLE), "string type");
        check(H5Tset_cset(text_.get(), H5T_CSET_UTF8), "string type");
        // The enumeration h5py and others read as a boolean.
        const signed char no = 0, yes = 1;
        check(H5Tenum_insert(bool_.get(), "FALSE", &no), "boolean type");
        check(H5Tenum_insert(bool_.get(), "TRUE", &yes), "boolean type");
        // Groups list their members in the order written (scans by index, not by name).
        check(H5Pset_link_creation_order(groupPlist_.get(), H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED),
              "group order");
        check(H5Pset_link_creation_order(scanPlist_.get(), H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED),
              "group order");
        // A scan's status and results stay in its object header: fast to write and read.
        check(H5Pset_attr_phase_change(scanPlist_.get(), 64, 48), "attribute storage");
        check(H5Pset_layout(compact_.get(), H5D_COMPACT), "dataset layout");
    }

    bool ok() const { return ok_; }
    QString why() const { return why_; }

    bool check(hid_t r, const char* what)
    {
        if (r < 0 && ok_) {
            ok_ = false;
            QString message;
            H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, lastMessage, &message);
            why_ = QStringLiteral("HDF5 could not write the %1").arg(QLatin1String(what));
            if (!message.isEmpty())
                why_ += QStringLiteral(": ") + message;
        }
        return r >= 0;
    }

    hid_t group(hid_t loc, const QString& name, bool scan = false)
    {
        const hid_t g = H5Gcreate2(loc, name.toUtf8().constData(), H5P_DEFAULT,
                                   scan ? scanPlist_.get() : groupPlist_.get(), H5P_DEFAULT);
        check(g, "group");
        return g;
    }

    void attribute(hid_t loc, const char* name, hid_t type, const void* data)
    {
        if (!ok_)
            return;
        AttrH a(H5Acreate2(loc, name, type, scalar_.get(), H5P_DEFAULT, H5P_DEFAULT));
        if (check(a.get(), "attribute"))
            check(H5Awrite(a.get(), type, data), "attribute");
    }
    void text(hid_t loc, const char* name, const QString& value)
    {
        const QByteArray utf8 = value.toUtf8();
        const char* p = utf8.constData();
        attribute(loc, name, text_.get(), &p);
    }
    void real(hid_t loc, const char* name, double v) { attribute(loc, name, H5T_NATIVE_DOUBLE, &v); }
    void integer(hid_t loc, const char* name, qint32 v) { attribute(loc, name, H5T_NATIVE_INT32, &v); }
    void typed(hid_t loc, const QString& key, const QVariant& v)
    {
        const QByteArray name = key.toUtf8();
        switch (v.userType()) {
        case QMetaType::Bool: {
            const signed char b = v.toBool() ? 1 : 0;
            attribute(loc, name.constData(), bool_.get(), &b);
            break;
        }
        case QMetaType::UInt: {
            const quint32 u = v.toUInt();
            attribute(loc, name.constData(), H5T_NATIVE_UINT32, &u);
            break;
        }
        case QMetaType::Int:
            integer(loc, name.constData(), v.toInt());
            break;
        case QMetaType::Double:
            real(loc, name.constData(), v.toDouble());
            break;
        default:
            text(loc, name.constData(), v.toString());
        }
    }

    // A compound of one text member per named quantity, with its values: the `units`
    // attribute of objects that hold several quantities. Made once, written to many; its
    // members are fixed-length texts, stored in the attribute itself.
    struct Units {
        explicit Units(size_t size) : type(H5Tcreate(H5T_COMPOUND, size)), data(size, '\0') {}
        TypeH type;
        std::vector<char> data;
    };
    std::unique_ptr<Units> makeUnits(const QStringList& names, const QStringList& units)
    {
        size_t size = 0;
        for (const QString& u : units)
            size += size_t(u.toUtf8().size()) + 1;
        auto u = std::make_unique<Units>(size);
        check(u->type.get(), "units type");
        size_t offset = 0;
        for (int i = 0; i < names.size() && ok_; ++i) {
            const QByteArray text = units.at(i).toUtf8();
            TypeH member(H5Tcopy(H5T_C_S1));
            check(H5Tset_size(member.get(), size_t(text.size()) + 1), "units type");
            check(H5Tset_cset(member.get(), H5T_CSET_UTF8), "units type");
            check(H5Tinsert(u->type.get(), names.at(i).toUtf8().constData(), offset, member.get()), "units type");
            std::memcpy(u->data.data() + offset, text.constData(), size_t(text.size()));
            offset += size_t(text.size()) + 1;
        }
        return u;
    }
    void units(hid_t loc, const Units& u) { attribute(loc, "units", u.type.get(), u.data.data()); }
    void units(hid_t loc, const QStringList& names, const QStringList& units) { this->units(loc, *makeUnits(names, units)); }

    void dataset(hid_t loc, const char* name, const QVector<double>& values, const char* unit)
    {
        if (!ok_)
            return;
        const hsize_t n = hsize_t(values.size());
        SpaceH space(H5Screate_simple(1, &n, nullptr));
        // Small lists live in the object header (one write instead of an allocation).
        const bool compact = n > 0 && n * sizeof(double) <= 16384;
        DatasetH d(H5Dcreate2(loc, name, H5T_IEEE_F64LE, space.get(), H5P_DEFAULT,
                              compact ? compact_.get() : H5P_DEFAULT, H5P_DEFAULT));
        if (!check(d.get(), "dataset"))
            return;
        if (n > 0)
            check(H5Dwrite(d.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.constData()),
                  "dataset");
        text(d.get(), "units", QString::fromLatin1(unit));
    }

    hid_t textType() const { return text_.get(); }

private:
    TypeH text_, bool_;
    PlistH groupPlist_, scanPlist_, compact_;
    SpaceH scalar_;
    bool ok_ = true;
    QString why_;
};

QString isoDate(const QDateTime& d)
{
    return d.isValid() ? d.toUTC().toString(Qt::ISODate) : QString();
}

// The numbers a scan group holds as attributes, with their units; the opt-in analyses' keys
// of the groups in `extras` (bit 0: ion fit, bit 1: two temperatures) follow the 32.
void scanUnits(QStringList& names, QStringList& units, int extras)
{
    names = QStringList{"position", "temporal_position", "resolved_time", "ionCurrent", "ionCurrentVoltage",
                        "offsetCurrent", "gainAutoSwitchVoltage", "dCurrentRange", "dcCScanVoltageStart",
                        "dcCScanVoltageEnd", "plasmaResistance"};
    units = QStringList{"mm", "s", "us", "A", "V", "A", "V", "A", "V", "V", "Ohm"};
    for (int p = 0; p < ResultRecord::ePairCount; ++p) {
        names << ResultRecord::valueKey(p) << ResultRecord::errorKey(p);
        units << QLatin1String(kPairUnits[p]) << QLatin1String(kPairUnits[p]);
    }
    for (int k = 0; k < ResultRecord::eExtraCount; ++k)
        if (extras & (1 << ResultRecord::groupOf(k))) {
            names << ResultRecord::extraKey(k);
            units << QLatin1String(kExtraUnits[k]);
        }
}

int extraGroups(const ResultRecord& r)
{
    return (r.hasGroup(ResultRecord::eIonFitGroup) ? 1 : 0)
           | (r.hasGroup(ResultRecord::eTwoTemperatureGroup) ? 2 : 0);
}

void writeScan(Writer& w, hid_t loc, const ScanRecord& s, int k, const Writer::Units& units)
{
    // Status, by the session file's keys.
    w.text(loc, "Error", s.error);
    w.text(loc, "date", isoDate(s.date));
    w.integer(loc, "scan_type", s.scanType);
    w.real(loc, "position", s.position);
    w.real(loc, "temporal_position", s.temporalPosition);
    w.real(loc, "resolved_time", s.resolvedTime);
    w.real(loc, "ionCurrent", s.ionCurrent[0]);
    w.real(loc, "ionCurrentVoltage", s.ionCurrent[1]);
    w.real(loc, "offsetCurrent", s.offsetCurrent);
    w.real(loc, "gainAutoSwitchVoltage", s.gainAutoSwitchVoltage);
    const quint32 range = s.currentRange;
    w.attribute(loc, "currentRange", H5T_NATIVE_UINT32, &range);
    w.real(loc, "dCurrentRange", s.dCurrentRange);
    w.real(loc, "dcCScanVoltageStart", s.dcCScanVoltageStart);
    w.real(loc, "dcCScanVoltageEnd", s.dcCScanVoltageEnd);
    w.real(loc, "plasmaResistance", s.plasmaResistance);
    w.integer(loc, "accumulations", s.accumulated.count());
    const QStringList keys = ResultRecord::keys();
    for (int c = 0; c < keys.size(); ++c)
        w.real(loc, keys.at(c).toLatin1().constData(), s.result.raw()[size_t(c)]);
    for (int k = 0; k < ResultRecord::eExtraCount; ++k)
        if (s.result.hasGroup(ResultRecord::groupOf(k)))
            w.real(loc, ResultRecord::extraKey(k).toLatin1().constData(), s.result.extra(k));
    w.units(loc, units);

    QVector<double> sumV, sumVsq, sumI, sumIsq;
    s.accumulated.toLists(sumV, sumVsq, sumI, sumIsq);
    w.dataset(loc, "sumV", sumV, "V");
    w.dataset(loc, "sumI", sumI, "A");
    w.dataset(loc, "sumVsq", sumVsq, "V^2");
    w.dataset(loc, "sumIsq", sumIsq, "A^2");

    w.dataset(loc, "V", s.corrected.V, "V");
    w.dataset(loc, "I", s.corrected.I, "A");
    w.dataset(loc, "stdV", s.corrected.stdV, "V");
    w.dataset(loc, "stdI", s.corrected.stdI, "A");
    if (!s.correctedDoubleProbe.isEmpty()) {
        w.dataset(loc, "doubleProbe_V", s.correctedDoubleProbe.V, "V");
        w.dataset(loc, "doubleProbe_I", s.correctedDoubleProbe.I, "A");
        w.dataset(loc, "doubleProbe_stdV", s.correctedDoubleProbe.stdV, "V");
        w.dataset(loc, "doubleProbe_stdI", s.correctedDoubleProbe.stdI, "A");
    }

    // The derivatives the export and the graphs show: window half-width of the settings.
    QVector<double> xc, slope, xc2, slope2;
    curve::derivative(s.corrected.V, s.corrected.I, k, xc, slope);
    curve::derivative(xc, slope, k, xc2, slope2);
    w.dataset(loc, "dIdV", slope, "A/V");
    w.dataset(loc, "dIdV_V", xc, "V");
    w.dataset(loc, "d2IdV2", slope2, "A/V^2");
    w.dataset(loc, "d2IdV2_V", xc2, "V");

    w.dataset(loc, "energy", s.eepf.energy, "eV");
    w.dataset(loc, "EEDF", s.eepf.EEDF, kEepfUnit);
    w.dataset(loc, "EEDF_error", s.eepf.EEDF_error, kEepfUnit);
    w.dataset(loc, "EEDF_low_error", s.eepf.EEDF_low_error, kEepfUnit);
}

// One row per scan: group, index, position, time, resolved time, the 32 result doubles, then
// the opt-in analyses' keys that any scan has (not-a-number in a scan without them).
void writeResultsTable(Writer& w, hid_t file, const DataAnalyzer& session)
{
    int groups = 0;
    for (int g = 0; g < session.groupCount(); ++g)
        for (const ScanRecord& s : session.scansOfGroup(g))
            groups |= extraGroups(s.result);
    QVector<int> extras;
    for (int k = 0; k < ResultRecord::eExtraCount; ++k)
        if (groups & (1 << ResultRecord::groupOf(k)))
            extras << k;
    constexpr size_t kFixed = 2 * sizeof(qint32) + 3 * sizeof(double);
    constexpr size_t kResults = kFixed + 2 * ResultRecord::ePairCount * sizeof(double);
    const size_t rowBytes = kResults + size_t(extras.size()) * sizeof(double);
    TypeH type(H5Tcreate(H5T_COMPOUND, rowBytes));
    w.check(H5Tinsert(type.get(), "group", 0, H5T_NATIVE_INT32), "results type");
    w.check(H5Tinsert(type.get(), "index", 4, H5T_NATIVE_INT32), "results type");
    w.check(H5Tinsert(type.get(), "position", 8, H5T_NATIVE_DOUBLE), "results type");
    w.check(H5Tinsert(type.get(), "time", 16, H5T_NATIVE_DOUBLE), "results type");
    w.check(H5Tinsert(type.get(), "resolved_time", 24, H5T_NATIVE_DOUBLE), "results type");
    QStringList names{"group", "index", "position", "time", "resolved_time"};
    QStringList units{"1", "1", "mm", "s", "us"};
    const QStringList keys = ResultRecord::keys();
    for (int c = 0; c < keys.size(); ++c) {
        w.check(H5Tinsert(type.get(), keys.at(c).toLatin1().constData(), kFixed + size_t(c) * sizeof(double),
                          H5T_NATIVE_DOUBLE),
                "results type");
        names << keys.at(c);
        units << QLatin1String(kPairUnits[c / 2]);
    }
    for (int c = 0; c < extras.size(); ++c) {
        const QString key = ResultRecord::extraKey(extras.at(c));
        w.check(H5Tinsert(type.get(), key.toLatin1().constData(), kResults + size_t(c) * sizeof(double),
                          H5T_NATIVE_DOUBLE),
                "results type");
        names << key;
        units << QLatin1String(kExtraUnits[extras.at(c)]);
    }

    const hsize_t rows = hsize_t(session.scanCount());
    std::vector<char> buffer(size_t(rows) * rowBytes);
    char* row = buffer.data();
    for (int g = 0; g < session.groupCount(); ++g) {
        const QVector<ScanRecord>& scans = session.scansOfGroup(g);
        for (int i = 0; i < scans.size(); ++i, row += rowBytes) {
            const ScanRecord& s = scans.at(i);
            const qint32 gi[2] = {g, i};
            const double fixed[3] = {s.placePosition(), s.temporalPosition, s.resolvedTime};
            std::memcpy(row, gi, sizeof gi);
            std::memcpy(row + 8, fixed, sizeof fixed);
            std::memcpy(row + kFixed, s.result.raw().data(), 2 * ResultRecord::ePairCount * sizeof(double));
            for (int c = 0; c < extras.size(); ++c) {
                const double v = s.result.extra(extras.at(c));
                std::memcpy(row + kResults + size_t(c) * sizeof(double), &v, sizeof v);
            }
        }
    }
    SpaceH space(H5Screate_simple(1, &rows, nullptr));
    DatasetH d(H5Dcreate2(file, "results", type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
    if (!w.check(d.get(), "results table"))
        return;
    if (rows > 0)
        w.check(H5Dwrite(d.get(), type.get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, buffer.data()), "results table");
    w.units(d.get(), names, units);

    // The same units once more as plain UTF-8 text attributes, one per quantity: readers
    // that take a compound's text members as bytes get text here.
    GroupH all(w.group(file, QStringLiteral("units")));
    QStringList scanNames, scanUnitTexts;
    scanUnits(scanNames, scanUnitTexts, groups);
    names << scanNames;
    units << scanUnitTexts;
    QSet<QString> written;
    for (int i = 0; i < names.size() && all.valid(); ++i)
        if (!written.contains(names.at(i))) {
            written.insert(names.at(i));
            w.text(all.get(), names.at(i).toUtf8().constData(), units.at(i));
        }
}

bool writeSession(const DataAnalyzer& session, hid_t file, QString& why)
{
    Writer w;
    w.text(file, "device", session.deviceID());
    // The file's name only: the folders it was read from are nobody else's business.
    w.text(file, "file", QFileInfo(session.fileName()).fileName());
    QDateTime first;
    for (int g = 0; g < session.groupCount() && !first.isValid(); ++g)
        if (!session.scansOfGroup(g).isEmpty())
            first = session.scansOfGroup(g).first().date;
    w.text(file, "date", isoDate(first));
    w.text(file, "comment", session.comment());
    w.text(file, "program", QStringLiteral("Quendrix Langmuir"));
    w.text(file, "program_version", ProgramInfo::version());

    {
        GroupH config(w.group(file, QStringLiteral("config")));
        const QMap<QString, QVariant> map = session.configuration().typedMap();
        for (auto it = map.cbegin(); it != map.cend() && config.valid(); ++it)
            w.typed(config.get(), it.key(), it.value());
    }
    {
        GroupH settings(w.group(file, QStringLiteral("analysis_settings")));
        const QMap<QString, QVariant> map = session.analysisSettings().typedMap();
        for (auto it = map.cbegin(); it != map.cend() && settings.valid(); ++it)
            w.typed(settings.get(), it.key(), it.value());
    }
    {
        GroupH table(w.group(file, QStringLiteral("eepf_table")));
        QVector<double> energies, resolutions;
        session.eepfTable().toLists(energies, resolutions);
        if (table.valid()) {
            w.dataset(table.get(), "energy", energies, "eV");
            w.dataset(table.get(), "resolution", resolutions, "V");
        }
    }
    {
        const int k = session.analysisSettings().nDerivativePoints;
        // One units attribute per combination of opt-in groups, made when first needed.
        std::unique_ptr<Writer::Units> units[4];
        GroupH scans(w.group(file, QStringLiteral("scans")));
        for (int g = 0; g < session.groupCount() && w.ok(); ++g) {
            GroupH group(w.group(scans.get(), QString::number(g)));
            if (!group.valid())
                break;
            w.real(group.get(), "position", session.group(g)->position);
            w.real(group.get(), "temporal_position", session.group(g)->temporalPosition);
            w.units(group.get(), {QStringLiteral("position"), QStringLiteral("temporal_position")},
                    {QStringLiteral("mm"), QStringLiteral("s")});
            const QVector<ScanRecord>& list = session.scansOfGroup(g);
            for (int i = 0; i < list.size() && w.ok(); ++i) {
                GroupH scan(w.group(group.get(), QString::number(i), true));
                const int extras = extraGroups(list.at(i).result);
                if (!units[extras]) {
                    QStringList names, unitTexts;
                    scanUnits(names, unitTexts, extras);
                    units[extras] = w.makeUnits(names, unitTexts);
                }
                if (scan.valid())
                    writeScan(w, scan.get(), list.at(i), k, *units[extras]);
            }
        }
    }
    writeResultsTable(w, file, session);
    why = w.why();
    return w.ok();
}

} // namespace

bool writeFile(const DataAnalyzer& session, const QString& fileName, QString* errorText)
{
    const auto fail = [errorText](const QString& why) {
        if (errorText)
            *errorText = why;
        return false;
    };
    const QFileInfo target(fileName);
    QTemporaryFile temp(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    if (!temp.open())
        return fail(temp.errorString());
    temp.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                        | QFileDevice::ReadOther);
    const QByteArray tempName = QFile::encodeName(temp.fileName());
    temp.close();

    // Errors are reported through the text, not printed by the library.
    H5E_auto2_t oldFunc = nullptr;
    void* oldData = nullptr;
    H5Eget_auto2(H5E_DEFAULT, &oldFunc, &oldData);
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    QString why;
    bool ok = false;
    {
        // The file format of HDF5 1.8 and later (as older MATLAB releases read): compact
        // groups and attributes, creation order kept.
        PlistH fapl(H5Pcreate(H5P_FILE_ACCESS));
        H5Pset_libver_bounds(fapl.get(), H5F_LIBVER_V18, H5F_LIBVER_LATEST);
        FileH file(H5Fcreate(tempName.constData(), H5F_ACC_TRUNC, H5P_DEFAULT, fapl.get()));
        if (!file.valid()) {
            why = QStringLiteral("HDF5 could not create the file");
        } else {
            ok = writeSession(session, file.get(), why);
            if (file.close() < 0 && ok) {
                ok = false;
                why = QStringLiteral("HDF5 could not complete the file");
            }
        }
    }
    H5Eset_auto2(H5E_DEFAULT, oldFunc, oldData);
    if (!ok)
        return fail(why);
    if (std::rename(tempName.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

} // namespace Hdf5Export
