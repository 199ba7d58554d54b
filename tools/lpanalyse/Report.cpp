#include "Report.h"

#include "ErrorText.h"
#include "ResultRecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cmath>

namespace {

QJsonValue jsonNumber(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
}

QJsonArray jsonList(const QVector<double>& v)
{
    QJsonArray a;
    for (double x : v)
        a.append(jsonNumber(x));
    return a;
}

QByteArray number(double v, int precision)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    return QLocale::c().toString(v, 'g', precision).toLatin1();
}

QByteArray csvField(const QString& s)
{
    QString t = s;
    t.replace('"', QLatin1String("\"\""));
    return "\"" + t.toUtf8() + "\"";
}

} // namespace

namespace report {

QByteArray json(const QVector<ReportEntry>& entries, bool withEepf)
{
    QJsonArray scans;
    const QStringList keys = ResultRecord::keys();
    for (const ReportEntry& en : entries) {
        const ScanRecord& s = *en.record;
        QJsonObject results;
        for (int k = 0; k < keys.size(); ++k)
            results.insert(keys.at(k), jsonNumber(s.result.raw()[k]));
        double v = 0;
        for (const QString& key : s.result.extraKeys()) // the opt-in analyses', when they ran
            if (s.result.byKey(key, v))
                results.insert(key, jsonNumber(v));
        QJsonObject o{{QStringLiteral("file"), en.file},
                      {QStringLiteral("group"), en.group},
                      {QStringLiteral("scan"), en.scan},
                      {QStringLiteral("error"), s.error},
                      {QStringLiteral("results"), results}};
        if (en.located) {
            o.insert(QStringLiteral("position"), jsonNumber(s.placePosition()));
            o.insert(QStringLiteral("time"), jsonNumber(s.temporalPosition));
            o.insert(QStringLiteral("resolved_time"), jsonNumber(s.resolvedTime));
        }
        if (withEepf)
            o.insert(QStringLiteral("eepf"),
                     QJsonObject{{QStringLiteral("energy"), jsonList(s.eepf.energy)},
                                 {QStringLiteral("EEDF"), jsonList(s.eepf.EEDF)},
                                 {QStringLiteral("EEDF_error"), jsonList(s.eepf.EEDF_error)},
                                 {QStringLiteral("EEDF_low_error"), jsonList(s.eepf.EEDF_low_error)}});
        scans.append(o);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("scans"), scans}}).toJson(QJsonDocument::Indented);
}

QByteArray csv(const QVector<ReportEntry>& entries, bool withEepf, int precision)
{
    // The opt-in analyses' columns follow when any scan has them (empty where one has not).
    QStringList extra;
    for (const ReportEntry& en : entries)
        for (const QString& k : en.record->result.extraKeys())
            if (!extra.contains(k))
                extra << k;
    QStringList ordered;
    for (int k = 0; k < ResultRecord::eExtraCount; ++k)
        if (extra.contains(ResultRecord::extraKey(k)))
            ordered << ResultRecord::extraKey(k);
    QByteArray out = "file,group,scan,position,time,resolved_time,error";
    for (const QString& k : ResultRecord::keys() + ordered)
        out += "," + k.toLatin1();
    out += "\n";
    for (const ReportEntry& en : entries) {
        out += csvField(en.file) + "," + QByteArray::number(en.group) + "," + QByteArray::number(en.scan);
        const ScanRecord& s = *en.record;
        out += en.located ? "," + number(s.placePosition(), precision) + "," + number(s.temporalPosition, precision)
                                + "," + number(s.resolvedTime, precision)
                          : QByteArray(",,,");
        out += "," + csvField(s.error);
        for (double v : en.record->result.raw())
            out += "," + number(v, precision);
        for (const QString& k : ordered) {
            double v = 0;
            out += en.record->result.byKey(k, v) ? "," + number(v, precision) : QByteArray(",");
        }
        out += "\n";
    }
    if (withEepf) {
        out += "\nfile,group,scan,energy,EEDF,EEDF_error,EEDF_low_error\n";
        for (const ReportEntry& en : entries) {
            const EepfLists& l = en.record->eepf;
            for (int i = 0; i < l.energy.size(); ++i)
                out += csvField(en.file) + "," + QByteArray::number(en.group) + ","
                       + QByteArray::number(en.scan) + "," + number(l.energy.at(i), precision) + ","
                       + number(l.EEDF.value(i, NAN), precision) + ","
                       + number(l.EEDF_error.value(i, NAN), precision) + ","
                       + number(l.EEDF_low_error.value(i, NAN), precision) + "\n";
        }
    }
    return out;
}

QByteArray summary(const QVector<ReportEntry>& entries)
{
    static const struct {
        const char* name;
        int pair;
        const char* unit;
    } kShown[] = {{"kTe", ResultRecord::eKTe, "eV"},
                  {"Vp", ResultRecord::eVp, "V"},
                  {"Vf", ResultRecord::eVf, "V"},
                  {"Ne", ResultRecord::eNe, "m^-3"}};
    bool severalFiles = false;
    QSet<QString> timeResolved; // files with a scan away from 0 us: their scans say when
    for (const ReportEntry& en : entries) {
        severalFiles = severalFiles || en.file != entries.first().file;
        if (en.located && en.record->resolvedTime != 0)
            timeResolved.insert(en.file);
    }
    QString out;
    for (const ReportEntry& en : entries) {
        const ResultRecord& r = en.record->result;
        QStringList parts;
        for (const auto& q : kShown)
            parts << QStringLiteral("%1 %2").arg(QLatin1String(q.name),
                                                 errortext::valueWithError(r.value(q.pair), r.error(q.pair),
                                                                           QLatin1String(q.unit)));
        // Where and when the scan was measured, as far as the file knows it.
        QStringList place;
        if (en.located && std::isfinite(en.record->placePosition()))
            place << QStringLiteral("%1 mm").arg(en.record->placePosition());
        if (timeResolved.contains(en.file))
            place << QString::fromUtf8("%1 \u00b5s").arg(en.record->resolvedTime);
        out += QStringLiteral("  %1frame %2 scan %3%4: %5\n")
                   .arg(severalFiles ? en.file + QLatin1Char(' ') : QString())
                   .arg(en.group)
                   .arg(en.scan)
                   .arg(place.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(place.join(QLatin1String(", "))))
                   .arg(parts.join(QLatin1String(", ")));
        if (!en.record->error.isEmpty())
            out += QStringLiteral("    %1\n").arg(QString(en.record->error).replace(QLatin1Char('\n'), QLatin1String("; ")));
    }
    return out.toUtf8();
}

} // namespace report
