#include "Report.h"

#include "ResultRecord.h"

#include <QLocale>
#include <cmath>
#include <cstring>

namespace {

QByteArray number(double v, const char* nanText)
{
    if (std::isnan(v))
        return nanText;
    if (std::isinf(v))
        return std::strcmp(nanText, "null") == 0 ? "null" : (v > 0 ? "inf" : "-inf");
    return QLocale::c().toString(v, 'g', 6).toLatin1();
}

QByteArray jsonString(const QString& s)
{
    QByteArray out = "\"";
    for (const QChar ch : s) {
        const ushort u = ch.unicode();
        if (u == '"')
            out += "\\\"";
        else if (u == '\\')
            out += "\\\\";
        else if (u == '\n')
            out += "\\n";
        else if (u == '\t')
            out += "\\t";
        else if (u < 0x20)
            out += QByteArray("\\u00") + QByteArray::number(u, 16).rightJustified(2, '0');
        else
            out += QString(ch).toUtf8();
    }
    return out + "\"";
}

QByteArray jsonList(const QVector<double>& v)
{
    QByteArray out = "[";
    for (int i = 0; i < v.size(); ++i) {
        if (i)
            out += ", ";
        out += number(v.at(i), "null");
    }
    return out + "]";
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
    QByteArray out = "{\n  \"scans\": [";
    for (int e = 0; e < entries.size(); ++e) {
        const ReportEntry& en = entries.at(e);
        const ScanRecord& s = *en.record;
        out += e ? ",\n    {\n" : "\n    {\n";
        out += "      \"file\": " + jsonString(en.file) + ",\n";
        out += "      \"group\": " + QByteArray::number(en.group) + ",\n";
        out += "      \"scan\": " + QByteArray::number(en.scan) + ",\n";
        out += "      \"error\": " + jsonString(s.error) + ",\n";
        out += "      \"results\": {";
        const QStringList keys = ResultRecord::keys();
        for (int k = 0; k < keys.size(); ++k) {
            const double v = s.result.raw()[k];
            out += (k ? ",\n        " : "\n        ") + jsonString(keys.at(k)) + ": " + number(v, "null");
        }
        out += "\n      }";
        if (withEepf) {
            out += ",\n      \"eepf\": {\n";
            out += "        \"energy\": " + jsonList(s.eepf.energy) + ",\n";
            out += "        \"EEDF\": " + jsonList(s.eepf.EEDF) + ",\n";
            out += "        \"EEDF_error\": " + jsonList(s.eepf.EEDF_error) + ",\n";
            out += "        \"EEDF_low_error\": " + jsonList(s.eepf.EEDF_low_error) + "\n      }";
        }
        out += "\n    }";
    }
    out += entries.isEmpty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

QByteArray csv(const QVector<ReportEntry>& entries, bool withEepf)
{
    QByteArray out = "file,group,scan,error";
    for (const QString& k : ResultRecord::keys())
        out += "," + k.toLatin1();
    out += "\n";
    for (const ReportEntry& en : entries) {
        out += csvField(en.file) + "," + QByteArray::number(en.group) + "," + QByteArray::number(en.scan)
               + "," + csvField(en.record->error);
        for (double v : en.record->result.raw())
            out += "," + number(v, "nan");
        out += "\n";
    }
    if (withEepf) {
        out += "\nfile,group,scan,energy,EEDF,EEDF_error,EEDF_low_error\n";
        for (const ReportEntry& en : entries) {
            const EepfLists& l = en.record->eepf;
            for (int i = 0; i < l.energy.size(); ++i)
                out += csvField(en.file) + "," + QByteArray::number(en.group) + ","
                       + QByteArray::number(en.scan) + "," + number(l.energy.at(i), "nan") + ","
                       + number(l.EEDF.value(i, NAN), "nan") + "," + number(l.EEDF_error.value(i, NAN), "nan")
                       + "," + number(l.EEDF_low_error.value(i, NAN), "nan") + "\n";
        }
    }
    return out;
}

} // namespace report
