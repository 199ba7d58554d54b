#include "CliInput.h"

#include <QList>
#include <QRegularExpression>
#include <cmath>

namespace cli {

namespace {

enum Column { eV, eI, eStdV, eStdI, eSkip };

QList<QByteArray> splitFields(const QByteArray& line, bool decimalComma)
{
    QList<QByteArray> parts;
    if (line.contains('\t'))
        parts = line.split('\t');
    else if (line.contains(';'))
        parts = line.split(';');
    else if (!decimalComma && line.contains(','))
        parts = line.split(',');
    else {
        for (const QByteArray& p : line.simplified().split(' '))
            parts << p;
        return parts;
    }
    for (QByteArray& p : parts)
        p = p.trimmed();
    return parts;
}

bool toNumber(QByteArray field, bool decimalComma, double& v)
{
    if (decimalComma)
        field.replace(',', '.');
    bool ok = false;
    v = field.toDouble(&ok);
    if (!ok) {
        const QByteArray l = field.toLower();
        if (l == "nan") {
            v = std::nan("");
            return true;
        }
    }
    return ok;
}

Column columnFromName(const QByteArray& raw)
{
    const QString n = QString::fromUtf8(raw).toLower().remove(QRegularExpression("[^a-z]"));
    const bool isStd = n.startsWith("std") || n.startsWith("sigma") || n.startsWith("dev");
    const QString rest = isStd ? n.mid(n.startsWith("sigma") ? 5 : 3) : n;
    const bool volt = rest.startsWith("v") || rest.startsWith("u") || rest.startsWith("volt");
    const bool curr = rest.startsWith("i") || rest.startsWith("curr") || rest.startsWith("a");
    if (volt)
        return isStd ? eStdV : eV;
    if (curr)
        return isStd ? eStdI : eI;
    return eSkip;
}

} // namespace

bool parseIvText(const QByteArray& text, const QString& name, bool decimalComma, IvText& out,
                 QString& error)
{
    out = IvText();
    const QList<QByteArray> lines = text.split('\n');
    QVector<Column> columns;
    bool sawData = false;
    auto fail = [&](int line, const QString& why) {
        error = QStringLiteral("%1:%2: %3").arg(name).arg(line).arg(why);
        return false;
    };
    for (int l = 0; l < lines.size(); ++l) {
        const QByteArray line = lines.at(l).trimmed();
        const int lineNo = l + 1;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> f = splitFields(line, decimalComma);
        QVector<double> nums;
        bool allNumbers = true;
        int bad = -1;
        for (int c = 0; c < f.size(); ++c) {
            double v = 0;
            if (!toNumber(f.at(c), decimalComma, v)) {
                allNumbers = false;
                if (bad < 0)
                    bad = c;
            }
            nums << v;
        }
        if (!allNumbers) {
            if (sawData || !columns.isEmpty())
                return fail(lineNo, QStringLiteral("column %1 is not a number: \"%2\"")
                                        .arg(bad + 1)
                                        .arg(QString::fromUtf8(f.at(bad))));
            static const char* const kRoles[] = {"voltage", "current", "voltage deviation",
                                                 "current deviation"};
            for (const QByteArray& h : f) {
                const Column c = columnFromName(h);
                if (c != eSkip && columns.contains(c))
                    return fail(lineNo, QStringLiteral("the header names more than one %1 column")
                                            .arg(QLatin1String(kRoles[c])));
                columns << c;
            }
            if (!columns.contains(eV) || !columns.contains(eI))
                return fail(lineNo, QStringLiteral("the header names no voltage and current column "
                                                   "(expected e.g. voltage,current,std_voltage,std_current)"));
            continue;
        }
        if (columns.isEmpty()) {
            if (f.size() < 2)
                return fail(lineNo, QStringLiteral("expected at least two columns (voltage, current), found %1").arg(f.size()));
            if (f.size() == 2)
                columns = {eV, eI};
            else if (f.size() == 3)
                columns = {eV, eI, eStdI};
            else
                columns = {eV, eI, eStdV, eStdI};
            while (columns.size() < f.size())
                columns << eSkip;
        }
        if (f.size() < columns.size())
            return fail(lineNo, QStringLiteral("expected %1 columns, found %2").arg(columns.size()).arg(f.size()));
        sawData = true;
        for (int c = 0; c < columns.size(); ++c) {
            switch (columns.at(c)) {
            case eV: out.V << nums.at(c); break;
            case eI: out.I << nums.at(c); break;
            case eStdV: out.stdV << nums.at(c); break;
            case eStdI: out.stdI << nums.at(c); break;
            case eSkip: break;
            }
        }
    }
    if (!sawData)
        return fail(lines.size(), QStringLiteral("no data lines"));
    return true;
}

bool parseSettingsText(const QByteArray& text, const QString& name, LangmuirSettings& s,
                       QString& error)
{
    const QList<QByteArray> lines = text.split('\n');
    for (int l = 0; l < lines.size(); ++l) {
        const QByteArray line = lines.at(l).trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const int eq = line.indexOf('=');
        if (eq < 1) {
            error = QStringLiteral("%1:%2: expected name = value").arg(name).arg(l + 1);
            return false;
        }
        const QString key = QString::fromUtf8(line.left(eq).trimmed());
        const QString value = QString::fromUtf8(line.mid(eq + 1).trimmed());
        QString why;
        if (!s.setField(key, value, &why)) {
            error = QStringLiteral("%1:%2: %3 \"%4\": %5").arg(name).arg(l + 1)
                        .arg(why == QLatin1String("unknown setting") ? QStringLiteral("unknown setting")
                                                                     : QStringLiteral("bad value for"))
                        .arg(why == QLatin1String("unknown setting") ? key : key + " = " + value)
                        .arg(why);
            return false;
        }
    }
    return true;
}

ScanRecord scanFromIvText(const IvText& iv, int sweeps)
{
    ScanRecord scan;
    scan.scanType = ScanRecord::eOtherRun;
    const int n = iv.V.size();
    const bool hasStd = !iv.stdV.isEmpty() || !iv.stdI.isEmpty();
    const int N = hasStd ? std::max(2, sweeps) : 1;
    QVector<double> sV(n), sVq(n), sI(n), sIq(n);
    for (int i = 0; i < n; ++i) {
        const double v = iv.V.at(i), c = iv.I.at(i);
        const double dv = i < iv.stdV.size() ? iv.stdV.at(i) : 0.0;
        const double dc = i < iv.stdI.size() ? iv.stdI.at(i) : 0.0;
        // sum = N mean; sum of squares from s^2 = (N sumsq - sum^2) / (N (N - 1)).
        sV[i] = N * v;
        sI[i] = N * c;
        sVq[i] = (dv * dv * N * (N - 1) + sV[i] * sV[i]) / N;
        sIq[i] = (dc * dc * N * (N - 1) + sI[i] * sI[i]) / N;
    }
    scan.accumulated.setFromLists(sV, sVq, sI, sIq, N);
    return scan;
}

} // namespace cli
