#include "SessionFile.h"

#include "DataAnalyzer.h"
#include "SaveFile.h"
#include "SessionXml.h"

#include <QDateTime>
#include <QFile>
#include <QFileDevice>
#include <QSaveFile>
#include <QBuffer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

using namespace SessionXml;

namespace SessionFile {

namespace {

const QString kClass = QStringLiteral("class");
// The last second that QDateTime and four-digit years can show: 9999-12-31 23:59:59 UTC.
constexpr qint64 kLastDateSecs = 253402300799LL;

QString fileNameOf(const QIODevice &device)
{
    const auto *file = qobject_cast<const QFileDevice *>(&device);
    return file ? file->fileName() : QString();
}

// ---- writing -------------------------------------------------------------------

QString intText(qint64 v) { return QString::number(v); }

// Measured traces (exact) are written so that they read back exactly: a re-analysis of the
// file must find what the analysis at measurement time found.
void writeTrace(QXmlStreamWriter &xml, const TimedTrace &trace, const QString &cls, const QString &firstLabel,
                const QString &secondLabel, int index = -1, bool exact = false)
{
    QVector<double> first, second;
    trace.toLists(first, second);
    Attributes attrs;
    if (!cls.isEmpty())
        attrs.insert(kClass, cls);
    attrs.insert(QStringLiteral("duration"), number(trace.duration));
    if (index >= 0)
        attrs.insert(QStringLiteral("index"), intText(index));
    VectorMap vectors;
    vectors.insert(firstLabel, first);
    vectors.insert(secondLabel, second);
    writeVectorElement(xml, QStringLiteral("trace"), vectors, attrs, exact);
}

void writeCurve(QXmlStreamWriter &xml, const CorrectedCurve &c, const QString &cls)
{
    VectorMap vectors;
    vectors.insert(QStringLiteral("I"), c.I);
    vectors.insert(QStringLiteral("V"), c.V);
    vectors.insert(QStringLiteral("stdI"), c.stdI);
    vectors.insert(QStringLiteral("stdV"), c.stdV);
    writeVectorElement(xml, QStringLiteral("data"), vectors, {{kClass, cls}});
}

qint64 dateSecs(const QDateTime &date)
{
    return date.isValid() ? std::clamp<qint64>(date.toSecsSinceEpoch(), 0, kLastDateSecs) : 0;
}

void writeScanElement(QXmlStreamWriter &xml, const ScanRecord &s)
{
    xml.writeStartElement(QStringLiteral("scanData"));

    TextMap status;
    status.insert(QStringLiteral("Error"), s.error);
    if (!s.measurementAlert.isEmpty())
        status.insert(QStringLiteral("measurementAlert"), s.measurementAlert);
    status.insert(QStringLiteral("currentRange"), intText(s.currentRange));
    status.insert(QStringLiteral("dCurrentRange"), number(s.dCurrentRange));
    status.insert(QStringLiteral("date"), intText(dateSecs(s.date)));
    status.insert(QStringLiteral("dcCScanVoltageEnd"), number(s.dcCScanVoltageEnd));
    status.insert(QStringLiteral("dcCScanVoltageStart"), number(s.dcCScanVoltageStart));
    status.insert(QStringLiteral("gainAutoSwitchVoltage"), number(s.gainAutoSwitchVoltage));
    status.insert(QStringLiteral("offsetCurrent"), number(s.offsetCurrent));
    status.insert(QStringLiteral("plasmaResistance"), number(s.plasmaResistance));
    status.insert(QStringLiteral("position"), number(s.position));
    status.insert(QStringLiteral("resolved_time"), number(s.resolvedTime));
    status.insert(QStringLiteral("scan_type"), intText(s.scanType));
    status.insert(QStringLiteral("temporal_position"), number(s.temporalPosition));
    writeMapElement(xml, QStringLiteral("Status"), status);

    // The measured inputs of the analysis (ion-current reading, initial scan, DC-correction
    // pre-scans, running sums) read back exactly; what the analysis derives keeps six digits.
    writeVec(xml, QStringLiteral("ionCurrent"), {s.ionCurrent[1], s.ionCurrent[0]}, true);

    writeTrace(xml, s.initScan, QStringLiteral("initScanData"), QStringLiteral("I"), QStringLiteral("V"), -1,
               true);
    // The derivative keeps dI/dV in the current place.
    writeTrace(xml, s.initScanDerivative, QStringLiteral("initScanDerivativeData"), QStringLiteral("dIdV"),
               QStringLiteral("V"));

    xml.writeStartElement(QStringLiteral("dcInitScanData"));
    xml.writeAttribute(QStringLiteral("traces"), intText(s.dcInitScans.size()));
    for (int i = 0; i < s.dcInitScans.size(); ++i)
        writeTrace(xml, s.dcInitScans.at(i), QString(), QStringLiteral("I"), QStringLiteral("V"), i, true);
    xml.writeEndElement();

    {
        QVector<double> sumV, sumVsq, sumI, sumIsq;
        s.accumulated.toLists(sumV, sumVsq, sumI, sumIsq);
        VectorMap vectors;
        vectors.insert(QStringLiteral("sumI"), sumI);
        vectors.insert(QStringLiteral("sumIsq"), sumIsq);
        vectors.insert(QStringLiteral("sumV"), sumV);
        vectors.insert(QStringLiteral("sumVsq"), sumVsq);
        writeVectorElement(xml, QStringLiteral("accumulatedTraces"), vectors,
                           {{QStringLiteral("accumulations"), intText(s.accumulated.count())},
                            {kClass, QStringLiteral("rawData")}},
                           true);
    }

    writeCurve(xml, s.corrected, QStringLiteral("correctedData"));
    if (!s.correctedDoubleProbe.V.isEmpty())
        writeCurve(xml, s.correctedDoubleProbe, QStringLiteral("correctedDoubleProbeData"));

    {
        VectorMap vectors;
        vectors.insert(QStringLiteral("EEDF"), s.eepf.EEDF);
        vectors.insert(QStringLiteral("EEDF_error"), s.eepf.EEDF_error);
        vectors.insert(QStringLiteral("EEDF_low_error"), s.eepf.EEDF_low_error);
        vectors.insert(QStringLiteral("energy"), s.eepf.energy);
        writeVectorElement(xml, QStringLiteral("eedf_data"), vectors, {{kClass, QStringLiteral("eedfResult")}});
    }

    TextMap results;
    for (int p = 0; p < ResultRecord::ePairCount; ++p) {
        results.insert(ResultRecord::valueKey(p), number(s.result.value(p)));
        results.insert(ResultRecord::errorKey(p), number(s.result.error(p)));
    }
    double v = 0;
    for (const QString& key : s.result.extraKeys()) // the opt-in analyses' keys, when they ran
        if (s.result.byKey(key, v))
            results.insert(key, number(v));
    writeMapElement(xml, QStringLiteral("results"), results);

    xml.writeEndElement(); // scanData
}

// ---- reading -------------------------------------------------------------------

qint64 parseInteger(const QString &text)
{
    bool ok = false;
    const QString t = text.trimmed();
    const qint64 v = t.toLongLong(&ok);
    if (ok)
        return v;
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d) || std::fabs(d) >= 9.0e18)
        return 0;
    return qint64(d);
}

// Moves to the next child start element of the current element and checks its
// name and, when given, its class.
bool nextElement(QXmlStreamReader &xml, const char *name, const char *cls = nullptr)
{
    if (!xml.readNextStartElement() || xml.name() != QLatin1String(name))
        return false;
    return !cls || xml.attributes().value(kClass) == QLatin1String(cls);
}

// Points are paired up to the shorter list.
bool readTrace(QXmlStreamReader &xml, TimedTrace &trace, const QString &firstLabel, const QString &secondLabel)
{
    trace = TimedTrace();
    trace.duration = parseNumber(xml.attributes().value(QStringLiteral("duration")).toString());
    VectorMap vectors;
    if (!readVectorElement(xml, vectors))
        return false;
    const QVector<double> first = vectors.value(firstLabel);
    const QVector<double> second = vectors.value(secondLabel);
    const int n = std::min(first.size(), second.size());
    trace.points.reserve(n);
    for (int i = 0; i < n; ++i)
        trace.append(first.at(i), second.at(i));
    return true;
}

void cutToShortest(std::initializer_list<QVector<double> *> lists)
{
    int n = std::numeric_limits<int>::max();
    for (const QVector<double> *l : lists)
        n = std::min(n, l->size());
    for (QVector<double> *l : lists)
        l->resize(n);
}

bool readCurve(QXmlStreamReader &xml, CorrectedCurve &c)
{
    VectorMap vectors;
    if (!readVectorElement(xml, vectors))
        return false;
    c.I = vectors.value(QStringLiteral("I"));
    c.V = vectors.value(QStringLiteral("V"));
    c.stdI = vectors.value(QStringLiteral("stdI"));
    c.stdV = vectors.value(QStringLiteral("stdV"));
    cutToShortest({&c.I, &c.V, &c.stdI, &c.stdV});
    return true;
}

void readStatus(const TextMap &status, ScanRecord &s)
{
    const auto real = [&status](const char *key) { return parseNumber(status.value(QLatin1String(key))); };
    const qint64 secs = std::clamp<qint64>(parseInteger(status.value(QStringLiteral("date"))), 0, kLastDateSecs);
    s.date = QDateTime::fromSecsSinceEpoch(secs);
    s.position = real("position");
    s.resolvedTime = real("resolved_time");
    s.offsetCurrent = real("offsetCurrent");
    s.gainAutoSwitchVoltage = real("gainAutoSwitchVoltage");
    s.dCurrentRange = real("dCurrentRange");
    s.dcCScanVoltageStart = real("dcCScanVoltageStart");
    s.dcCScanVoltageEnd = real("dcCScanVoltageEnd");
    s.plasmaResistance = real("plasmaResistance");
    s.temporalPosition = real("temporal_position");
    // Measuring ranges are 0..5; anything else would index past the range table.
    s.currentRange = unsigned(std::clamp<qint64>(parseInteger(status.value(QStringLiteral("currentRange"))), 0, 5));
    const auto type = status.constFind(QStringLiteral("scan_type"));
    if (type != status.constEnd())
        s.scanType = int(std::clamp<qint64>(parseInteger(*type), std::numeric_limits<int>::min(),
                                            std::numeric_limits<int>::max()));
    else // older writers: a resolved time (not-a-number included) marks a time-resolved scan
        s.scanType = s.resolvedTime != 0.0 ? ScanRecord::eOtherRun : ScanRecord::eSpatialRun;
    s.error = status.value(QStringLiteral("Error"));
    s.measurementAlert = status.value(QStringLiteral("measurementAlert"));
}

bool readScan(QXmlStreamReader &xml, ScanRecord &s)
{
    TextMap status;
    if (!nextElement(xml, "Status") || !readMapElement(xml, status))
        return false;
    readStatus(status, s);

    if (!nextElement(xml, "vec") || xml.attributes().value(QStringLiteral("label")) != QLatin1String("ionCurrent"))
        return false;
    const QVector<double> ion = parseVector(readText(xml));
    if (xml.hasError())
        return false;
    s.ionCurrent[1] = ion.value(0, 0.0); // the file lists the second member first
    s.ionCurrent[0] = ion.value(1, 0.0);

    if (!nextElement(xml, "trace", "initScanData")
        || !readTrace(xml, s.initScan, QStringLiteral("I"), QStringLiteral("V")))
        return false;
    if (!nextElement(xml, "trace", "initScanDerivativeData")
        || !readTrace(xml, s.initScanDerivative, QStringLiteral("dIdV"), QStringLiteral("V")))
        return false;

    if (!nextElement(xml, "dcInitScanData"))
        return false;
    // The "traces" count is not trusted: the children are what counts.
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("trace")) {
            xml.skipCurrentElement();
            continue;
        }
        TimedTrace t;
        if (!readTrace(xml, t, QStringLiteral("I"), QStringLiteral("V")))
            return false;
        s.dcInitScans.append(t);
    }
    if (xml.hasError())
        return false;

    if (!nextElement(xml, "accumulatedTraces", "rawData"))
        return false;
    {
        const qint64 count = parseInteger(xml.attributes().value(QStringLiteral("accumulations")).toString());
        VectorMap vectors;
        if (!readVectorElement(xml, vectors))
            return false;
        s.accumulated.reset();
        // Sums of fewer than one scan, or of unequal length, mean nothing: leave them empty.
        if (count >= 1 && count <= std::numeric_limits<int>::max()
            && !s.accumulated.setFromLists(vectors.value(QStringLiteral("sumV")),
                                           vectors.value(QStringLiteral("sumVsq")),
                                           vectors.value(QStringLiteral("sumI")),
                                           vectors.value(QStringLiteral("sumIsq")), int(count)))
            s.accumulated.reset();
    }

    if (!nextElement(xml, "data", "correctedData") || !readCurve(xml, s.corrected))
        return false;

    if (!xml.readNextStartElement())
        return false;
    if (xml.name() == QLatin1String("data")
        && xml.attributes().value(kClass) == QLatin1String("correctedDoubleProbeData")) {
        if (!readCurve(xml, s.correctedDoubleProbe) || !xml.readNextStartElement())
            return false;
    }
    if (xml.name() != QLatin1String("eedf_data") || xml.attributes().value(kClass) != QLatin1String("eedfResult"))
        return false;
    {
        VectorMap vectors;
        if (!readVectorElement(xml, vectors))
            return false;
        s.eepf.EEDF = vectors.value(QStringLiteral("EEDF"));
        s.eepf.EEDF_error = vectors.value(QStringLiteral("EEDF_error"));
        s.eepf.EEDF_low_error = vectors.value(QStringLiteral("EEDF_low_error"));
        s.eepf.energy = vectors.value(QStringLiteral("energy"));
        cutToShortest({&s.eepf.energy, &s.eepf.EEDF, &s.eepf.EEDF_error, &s.eepf.EEDF_low_error});
    }

    TextMap results;
    if (!nextElement(xml, "results") || !readMapElement(xml, results))
        return false;
    s.result.reset();
    for (auto it = results.cbegin(); it != results.cend(); ++it)
        s.result.setByKey(it.key(), parseNumber(it.value()));

    // Nothing may follow the results inside a scan.
    return !xml.readNextStartElement() && !xml.hasError();
}

// Everything a version-3 document holds, collected before the session is touched.
struct Staged {
    TextMap header;
    TextMap configMap;
    std::unique_ptr<ConfigParam> config;
    LangmuirSettings settings;
    EepfTable table;
    QVector<ScanRecord> scans;
    bool cutOff = false;
};

bool readVersion3(QXmlStreamReader &xml, const DataAnalyzer &session, Staged &st)
{
    if (!nextElement(xml, "header") || !readMapElement(xml, st.header))
        return false;

    if (!nextElement(xml, "settings", "configParam") || !readMapElement(xml, st.configMap))
        return false;
    st.config = configFromMap(st.configMap);

    TextMap settingsMap;
    if (!nextElement(xml, "settings", "AnalysisSettings") || !readMapElement(xml, settingsMap))
        return false;
    st.settings = settingsFromMaps(settingsMap, st.configMap, session.analysisSettings());

    if (!nextElement(xml, "EEDF_Table", "tableEEDF"))
        return false;
    VectorMap tableVectors;
    if (!readVectorElement(xml, tableVectors))
        return false;
    QVector<double> energies = tableVectors.value(QStringLiteral("eV"));
    QVector<double> resolutions = tableVectors.value(QStringLiteral("resolution"));
    cutToShortest({&energies, &resolutions});
    st.table.fromLists(energies, resolutions);

    // From here a document that merely stops (a journal, a crash while saving)
    // keeps the scans completed before the cut.
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("scanData"))
            return false;
        ScanRecord scan;
        if (!readScan(xml, scan))
            return (st.cutOff = xml.error() == QXmlStreamReader::PrematureEndOfDocumentError);
        st.scans.append(scan);
    }
    if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
        return (st.cutOff = true);
    if (xml.hasError())
        return false;
    // The whole document must be consumed: only the end may follow the root.
    while (!xml.atEnd())
        xml.readNext();
    return !xml.hasError();
}

// Where and why reading a version-3 document stopped.
QString stopText(const QXmlStreamReader &xml)
{
    const QString where = xml.name().isEmpty() ? QString() : QStringLiteral(" at element <%1>").arg(xml.name());
    const QString why = xml.hasError() ? xml.errorString() : QStringLiteral("unexpected element or class.");
    return QStringLiteral("Reading stopped%1 on line %2: %3").arg(where).arg(xml.lineNumber()).arg(why);
}

} // namespace

std::unique_ptr<ConfigParam> configFromMap(const QMap<QString, QString> &map)
{
    // The record kind follows the probe it describes; the file's record stands
    // on its own: fields it does not carry take the kind's defaults, not
    // whatever the session held before.
    SingleProbeConfigParam probe;
    probe.fromMap(map);
    std::unique_ptr<ConfigParam> config;
    if (SessionConfig::isDoubleProbeMode(probe.probeMode))
        config = std::make_unique<DoubleProbeConfigParam>();
    else
        config = std::make_unique<SingleProbeConfigParam>();
    config->fromMap(map);
    return config;
}

LangmuirSettings settingsFromMaps(QMap<QString, QString> settingsMap, const QMap<QString, QString> &configMap,
                                  const LangmuirSettings &base)
{
    // Older writers kept the current offset with the configuration.
    const QString offsetKey = QStringLiteral("offsetCurrent");
    if (!settingsMap.contains(offsetKey) && configMap.contains(offsetKey))
        settingsMap.insert(offsetKey, configMap.value(offsetKey));
    LangmuirSettings s = base;
    s.fromMap(settingsMap);
    return s;
}

void writeHead(QXmlStreamWriter &xml, const DataAnalyzer &session)
{
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("measuredData"));
    xml.writeAttribute(QStringLiteral("sensor"), QStringLiteral("Langmuir Probe"));
    xml.writeAttribute(QStringLiteral("version"), QString::number(currentVersion));

    const QDateTime now = QDateTime::currentDateTime();
    TextMap header;
    header.insert(QStringLiteral("comment"), session.comment());
    header.insert(QStringLiteral("date"), now.toString(QStringLiteral("dd.MM.yyyy")));
    header.insert(QStringLiteral("deviceID"), session.deviceID());
    header.insert(QStringLiteral("time"), now.toString(QStringLiteral("HH:mm:ss")));
    writeMapElement(xml, QStringLiteral("header"), header);

    writeMapElement(xml, QStringLiteral("settings"), session.configuration().toMap(),
                    {{kClass, QStringLiteral("configParam")}});
    writeMapElement(xml, QStringLiteral("settings"), session.analysisSettings().toMap(),
                    {{kClass, QStringLiteral("AnalysisSettings")}});

    QVector<double> energies, resolutions;
    session.eepfTable().toLists(energies, resolutions);
    writeVectorElement(xml, QStringLiteral("EEDF_Table"),
                       {{QStringLiteral("eV"), energies}, {QStringLiteral("resolution"), resolutions}},
                       {{kClass, QStringLiteral("tableEEDF")}});
}

void writeScan(QXmlStreamWriter &xml, const ScanRecord &scan)
{
    writeScanElement(xml, scan);
}

QString recoveredText(const ReadReport &report)
{
    if (!report.cutOff)
        return QString();
    return QStringLiteral("The file ends early: %1 complete scan%2 recovered.")
        .arg(report.scans)
        .arg(report.scans == 1 ? QString() : QStringLiteral("s"));
}

bool write(DataAnalyzer &session, QIODevice &device)
{
    const QString previousName = session.fileName();
    const QString name = fileNameOf(device);
    if (!name.isEmpty())
        session.setFileName(name);

    QXmlStreamWriter xml(&device);
    xml.setCodec("UTF-8");
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(4);
    writeHead(xml, session);

    for (int g = 0; g < session.groupCount(); ++g)
        for (const ScanRecord &scan : session.scansOfGroup(g)) {
            writeScanElement(xml, scan);
            if (xml.hasError())
                break;
        }

    xml.writeEndElement();
    xml.writeEndDocument();

    const bool ok = !xml.hasError();
    if (!ok)
        session.setFileName(previousName);
    return ok;
}

bool read(DataAnalyzer &session, QIODevice &device, QString *errorText, ReadReport *report)
{
    const auto refuse = [errorText](const QString &why) {
        if (errorText)
            *errorText = why;
        return false;
    };
    // A power cut can leave the last block of a journal allocated but never written:
    // zeros after the last write. Such a file is cut off where the zeros begin.
    if (!device.isSequential() && device.size() > 0) {
        const qint64 start = device.pos();
        const bool zeroAtEnd = device.seek(device.size() - 1) && device.read(1) == QByteArray(1, '\0');
        device.seek(start);
        if (zeroAtEnd) {
            QByteArray doc = device.readAll();
            while (doc.endsWith('\0'))
                doc.chop(1);
            QBuffer written(&doc);
            written.open(QIODevice::ReadOnly | QIODevice::Text);
            const bool ok = read(session, written, errorText, report);
            const QString name = fileNameOf(device);
            if (ok && !name.isEmpty())
                session.setFileName(name);
            return ok;
        }
    }
    QXmlStreamReader xml(&device);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("measuredData")
        || xml.attributes().value(QStringLiteral("sensor")) != QLatin1String("Langmuir Probe"))
        return refuse(QStringLiteral("The file is not a session file."));

    bool ok = false;
    const QString versionText = xml.attributes().value(QStringLiteral("version")).toString().trimmed();
    int version = versionText.toInt(&ok);
    if (!ok)
        version = 0;
    // Versions 1 and 2 used another vocabulary that is not mapped: such files are declined.
    if (version != currentVersion)
        return refuse(QStringLiteral("Session file version %1 is not supported.")
                          .arg(ok || versionText.isEmpty() ? QString::number(version) : versionText));

    Staged st;
    if (!readVersion3(xml, session, st))
        return refuse(stopText(xml));
    if (errorText)
        errorText->clear();

    session.setFileName(fileNameOf(device));
    if (st.header.contains(QStringLiteral("deviceID")))
        session.setDeviceID(st.header.value(QStringLiteral("deviceID")));
    if (st.header.contains(QStringLiteral("comment")))
        session.setComment(st.header.value(QStringLiteral("comment")));
    session.setConfiguration(*st.config);
    const int mode = st.config->probeMode;
    if (mode == 0 || mode == 3)
        emit session.updateProbeConfig(st.configMap, mode);
    session.setAnalysisSettings(st.settings);
    session.setEepfTable(st.table);
    session.clearScans();
    for (const ScanRecord &scan : qAsConst(st.scans))
        session.addScan(scan);
    if (report) {
        report->cutOff = st.cutOff;
        report->scans = st.scans.size();
        report->written = QDateTime::fromString(st.header.value(QStringLiteral("date")) + QLatin1Char(' ')
                                                    + st.header.value(QStringLiteral("time")),
                                                QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    }
    return true;
}

bool save(DataAnalyzer &session, const QString &fileName, QString *errorText)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    const QString previousName = session.fileName();
    const bool written = write(session, file);
    if (!written || !SaveFile::commitChecked(file)) {
        if (written)
            session.setFileName(previousName);
        if (errorText) {
            *errorText = file.errorString();
            if (file.error() == QFileDevice::NoError || errorText->isEmpty())
                *errorText = QStringLiteral("The file could not be written completely.");
        }
        if (!written)
            file.cancelWriting();
        return false;
    }
    return true;
}

bool load(DataAnalyzer &session, const QString &fileName, QString *errorText, ReadReport *report)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    return read(session, file, errorText, report);
}

} // namespace SessionFile
