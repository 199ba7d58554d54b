#include "IvText.h"

#include "DataAnalyzer.h"

#include <QFile>
#include <QFileInfo>

#include <QBuffer>
#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace ivtext {

namespace {

enum Column { eV, eI, eStdV, eStdI, eSkip };

const char* const kRoles[] = {"voltage", "current", "voltage deviation", "current deviation"};
const char kCommaHint[] = " (decimal commas? use --decimal-comma)";

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

enum class Number { eFinite, eNotFinite, eNotANumber };

Number toNumber(QByteArray field, bool decimalComma, double& v)
{
    if (decimalComma)
        field.replace(',', '.');
    bool ok = false;
    v = field.toDouble(&ok);
    if (ok)
        return std::isfinite(v) ? Number::eFinite : Number::eNotFinite;
    if (std::isinf(v)) // overflow such as 1e999
        return Number::eNotFinite;
    QByteArray l = field.toLower();
    if (l.startsWith('+') || l.startsWith('-'))
        l.remove(0, 1);
    if (l != "nan" && l != "inf" && l != "infinity")
        return Number::eNotANumber;
    v = std::nan("");
    return Number::eNotFinite;
}

bool looksLikeDecimalComma(const QByteArray& field)
{
    static const QRegularExpression re(QStringLiteral("^[+-]?[0-9]*,[0-9]+([eE][+-]?[0-9]+)?$"));
    return re.match(QString::fromLatin1(field)).hasMatch();
}

Column columnFromName(const QString& raw)
{
    const QString n = raw.toLower().remove(QRegularExpression("[^a-z]"));
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

// A unit text: V or A, optionally with a decimal prefix, or the words volt(s), amp(s),
// ampere(s). Sets the power of ten that converts to V or A and whether it is a voltage.
bool knownUnit(const QString& u, int& exp10, bool& volt)
{
    const QString w = u.toLower();
    if (w == QLatin1String("volt") || w == QLatin1String("volts")) {
        exp10 = 0;
        volt = true;
        return true;
    }
    if (w == QLatin1String("amp") || w == QLatin1String("amps") || w == QLatin1String("ampere")
        || w == QLatin1String("amperes")) {
        exp10 = 0;
        volt = false;
        return true;
    }
    if (u.isEmpty() || u.size() > 2)
        return false;
    const QChar base = u.back().toLower();
    if (base != QLatin1Char('v') && base != QLatin1Char('a'))
        return false;
    volt = base == QLatin1Char('v');
    if (u.size() == 1) {
        exp10 = 0;
        return true;
    }
    switch (u.front().unicode()) {
    case 'n': exp10 = -9; return true;
    case 'u': case 0x00B5: case 0x03BC: exp10 = -6; return true; // u, micro sign, Greek mu
    case 'm': exp10 = -3; return true;
    case 'k': exp10 = 3; return true;
    default: return false;
    }
}

// Text that stands where a unit stands after '_', a blank or '/': a letter or two ending in
// V or A ("mA", "pA", "kv"), or a unit word.
bool looksLikeUnit(const QString& t)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z\\x{00B5}\\x{03BC}]?[VvAa]$"));
    int e;
    bool v;
    return re.match(t).hasMatch() || (t.size() > 2 && knownUnit(t, e, v));
}

struct HeaderColumn {
    Column role = eSkip;
    int exp10 = 0;
};

// One header field: a column name, optionally followed by a unit in brackets ("I [mA]",
// "current (uA)") or after '_', a blank or '/' ("I_mA", "V/kV"). Brackets that follow no
// complete name belong to the name ("std(I)"). Columns that are not used take any unit.
bool parseHeaderField(const QByteArray& raw, HeaderColumn& col, QString& why)
{
    const QString h = QString::fromUtf8(raw).trimmed();
    QString name = h, unit;
    if (h.endsWith(QLatin1Char(']')) || h.endsWith(QLatin1Char(')'))) {
        const int at = h.lastIndexOf(h.endsWith(QLatin1Char(']')) ? QLatin1Char('[') : QLatin1Char('('));
        if (at > 0 && columnFromName(h.left(at)) != eSkip) {
            name = h.left(at);
            unit = h.mid(at + 1, h.size() - at - 2).trimmed();
        }
    } else {
        const int at = std::max({h.lastIndexOf(QLatin1Char('_')), h.lastIndexOf(QLatin1Char(' ')),
                                 h.lastIndexOf(QLatin1Char('/'))});
        if (at > 0 && looksLikeUnit(h.mid(at + 1)) && columnFromName(h.left(at)) != eSkip) {
            name = h.left(at);
            unit = h.mid(at + 1);
        }
    }
    col.role = columnFromName(name);
    col.exp10 = 0;
    if (col.role == eSkip || unit.isEmpty())
        return true;
    bool volt = false;
    if (!knownUnit(unit, col.exp10, volt)) {
        why = QStringLiteral("unknown unit \"%1\" (known: nV uV mV V kV, nA uA mA A kA)").arg(unit);
        return false;
    }
    if (volt != (col.role == eV || col.role == eStdV)) {
        why = QStringLiteral("%1 is not a unit of %2").arg(unit, QLatin1String(kRoles[col.role]));
        return false;
    }
    return true;
}

// Converts to V or A; dividing keeps an exact decimal such as 1.5 mA correctly rounded.
double scaled(double v, int exp10)
{
    static const double kPow[] = {1, 1e3, 1e6, 1e9};
    return exp10 >= 0 ? v * kPow[exp10 / 3] : v / kPow[-exp10 / 3];
}

} // namespace

bool parseIvText(QIODevice& in, const QString& name, bool decimalComma, IvText& out,
                 QString& error, int maxSamples, int* statedSweeps)
{
    out = IvText();
    if (statedSweeps)
        *statedSweeps = 0;
    QVector<HeaderColumn> columns;
    bool sawData = false;
    bool endedWithNewline = true;
    int lineNo = 0;
    int samples = 0;
    auto fail = [&](int line, const QString& why) {
        error = QStringLiteral("%1:%2: %3").arg(name).arg(line).arg(why);
        return false;
    };
    // One buffer for all lines; readLine(buf, n) reads at most n - 1 bytes, so one byte more
    // than the limit tells a line that is too long.
    QByteArray buffer(int(kMaxLineBytes + 2), Qt::Uninitialized);
    while (true) {
        const qint64 got = in.readLine(buffer.data(), buffer.size());
        if (got <= 0)
            break;
        const QByteArray raw = QByteArray::fromRawData(buffer.constData(), int(got));
        ++lineNo;
        endedWithNewline = raw.endsWith('\n');
        if (!endedWithNewline && raw.size() > kMaxLineBytes)
            return fail(lineNo, QStringLiteral("line longer than %1 bytes").arg(kMaxLineBytes));
        // Spreadsheets may open UTF-8 text with a byte order mark.
        const QByteArray line = (lineNo == 1 && raw.startsWith("\xEF\xBB\xBF") ? raw.mid(3) : raw).trimmed();
        if (line.startsWith('#') && statedSweeps) {
            static const QRegularExpression stated(QStringLiteral("^#\\s*sweeps\\s*[:=]\\s*(\\d{1,9})\\s*$"),
                                                   QRegularExpression::CaseInsensitiveOption);
            const QRegularExpressionMatch m = stated.match(QString::fromLatin1(line));
            if (m.hasMatch())
                *statedSweeps = m.captured(1).toInt();
        }
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QList<QByteArray> f = splitFields(line, decimalComma);
        QVector<double> nums(f.size());
        int bad = -1;
        for (int c = 0; c < f.size(); ++c)
            if (toNumber(f.at(c), decimalComma, nums[c]) == Number::eNotANumber && bad < 0)
                bad = c;
        // Only on failure: a field such as "1,5" suggests decimal commas.
        const auto hint = [&]() {
            return !decimalComma && std::any_of(f.begin(), f.end(), looksLikeDecimalComma)
                       ? QString::fromLatin1(kCommaHint) : QString();
        };
        if (bad >= 0) {
            if (sawData || !columns.isEmpty())
                return fail(lineNo, QStringLiteral("column %1 is not a number: \"%2\"%3")
                                        .arg(bad + 1)
                                        .arg(QString::fromUtf8(f.at(bad)), hint()));
            // Blank-separated headers: a unit in brackets belongs to the name before it.
            for (int c = f.size() - 1; c > 0; --c)
                if (f.at(c).startsWith('[') || f.at(c).startsWith('(')) {
                    f[c - 1] += ' ' + f.at(c);
                    f.removeAt(c);
                }
            for (int c = 0; c < f.size(); ++c) {
                HeaderColumn col;
                QString why;
                if (!parseHeaderField(f.at(c), col, why))
                    return fail(lineNo, QStringLiteral("column %1 \"%2\": %3")
                                            .arg(c + 1)
                                            .arg(QString::fromUtf8(f.at(c)), why));
                for (const HeaderColumn& other : columns)
                    if (col.role != eSkip && other.role == col.role)
                        return fail(lineNo, QStringLiteral("the header names more than one %1 column")
                                                .arg(QLatin1String(kRoles[col.role])));
                columns << col;
            }
            const auto has = [&](Column r) {
                return std::any_of(columns.begin(), columns.end(),
                                   [r](const HeaderColumn& c) { return c.role == r; });
            };
            if (!has(eV) || !has(eI))
                return fail(lineNo, QStringLiteral("the header names no voltage and current column "
                                                   "(expected e.g. voltage,current,std_voltage,std_current)")
                                        + hint());
            continue;
        }
        if (columns.isEmpty()) {
            if (f.size() < 2)
                return fail(lineNo, QStringLiteral("expected at least two columns (voltage, current), found %1").arg(f.size()));
            const Column layout[] = {eV, eI, f.size() == 3 ? eStdI : eStdV, eStdI};
            for (int c = 0; c < f.size(); ++c)
                columns << HeaderColumn{c < 4 ? layout[c] : eSkip, 0};
        }
        if (f.size() != columns.size())
            return fail(lineNo, QStringLiteral("expected %1 columns, found %2%3")
                                    .arg(columns.size())
                                    .arg(f.size())
                                    .arg(!decimalComma && f.size() > columns.size() && !line.contains(';')
                                                 && !line.contains('\t')
                                             ? QString::fromLatin1(kCommaHint) : QString()));
        if (++samples > maxSamples)
            return fail(lineNo, QStringLiteral("more than %1 samples").arg(maxSamples));
        sawData = true;
        for (int c = 0; c < columns.size(); ++c) {
            const HeaderColumn& col = columns.at(c);
            if (col.role == eSkip)
                continue;
            const double v = nums.at(c);
            if (!std::isfinite(v))
                return fail(lineNo, QStringLiteral("the %1 in column %2 is not finite: \"%3\"")
                                        .arg(QLatin1String(kRoles[col.role]))
                                        .arg(c + 1)
                                        .arg(QString::fromUtf8(f.at(c))));
            QVector<double>* target[] = {&out.V, &out.I, &out.stdV, &out.stdI};
            target[col.role]->append(scaled(v, col.exp10));
        }
    }
    if (!sawData)
        return fail(endedWithNewline ? lineNo + 1 : lineNo, QStringLiteral("no data lines"));
    return true;
}

bool parseIvText(const QByteArray& text, const QString& name, bool decimalComma, IvText& out,
                 QString& error)
{
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return parseIvText(buffer, name, decimalComma, out, error);
}

int firstDescendingSample(const IvText& iv)
{
    for (int i = 1; i < iv.V.size(); ++i)
        if (iv.V.at(i) < iv.V.at(i - 1))
            return i;
    return -1;
}

void sortByVoltage(IvText& iv)
{
    const int n = iv.V.size();
    QVector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return iv.V.at(a) < iv.V.at(b); });
    IvText s;
    for (int k = 0; k < n;) {
        int e = k;
        double I = 0, sv2 = 0, si2 = 0;
        for (; e < n && iv.V.at(order.at(e)) == iv.V.at(order.at(k)); ++e) {
            const int i = order.at(e);
            I += iv.I.at(i);
            if (!iv.stdV.isEmpty())
                sv2 += iv.stdV.at(i) * iv.stdV.at(i);
            if (!iv.stdI.isEmpty())
                si2 += iv.stdI.at(i) * iv.stdI.at(i);
        }
        const int m = e - k;
        s.V << iv.V.at(order.at(k));
        s.I << I / m;
        if (!iv.stdV.isEmpty())
            s.stdV << std::sqrt(sv2 / m);
        if (!iv.stdI.isEmpty())
            s.stdI << std::sqrt(si2 / m);
        k = e;
    }
    iv = s;
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

bool parseProbeMode(const QString& text, int& mode)
{
    static const QPair<const char*, int> kModes[] = {
        {"single", 0}, {"reference", 1}, {"double", 3}, {"spherical", 4}, {"mach", 5},
        {"0", 0}, {"1", 1}, {"3", 3}, {"4", 4}, {"5", 5},
    };
    for (const auto& m : kModes)
        if (text.compare(QLatin1String(m.first), Qt::CaseInsensitive) == 0) {
            mode = m.second;
            return true;
        }
    return false;
}

QString unknownProbeModeText(const QString& text)
{
    return QStringLiteral("unknown probe mode \"%1\" (single, reference, double, spherical, mach)").arg(text);
}

ScanRecord scanFromIvText(const IvText& iv, int sweeps)
{
    ScanRecord scan;
    scan.scanType = ScanRecord::eOtherRun;
    const int n = iv.V.size();
    auto nonZero = [](const QVector<double>& v) {
        return std::any_of(v.begin(), v.end(), [](double x) { return x != 0; });
    };
    const bool hasStd = nonZero(iv.stdV) || nonZero(iv.stdI);
    const int N = hasStd && sweeps >= 2 ? sweeps : 1;
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

QString descendingNote(const QString& name, int index)
{
    return QStringLiteral("%1: the voltage falls at sample %2").arg(name).arg(index + 1);
}

namespace {
// One file as a scan record; false with the reason in error.
bool importOne(const QString& path, const ImportOptions& o, ScanRecord& scan, QStringList& found, QString& error)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: cannot open: %2").arg(path, in.errorString());
        return false;
    }
    IvText iv;
    if (!parseIvText(in, path, o.decimalComma, iv, error))
        return false;
    const int descent = firstDescendingSample(iv);
    if (o.sort)
        sortByVoltage(iv);
    else if (descent > 0)
        found << descendingNote(path, descent);
    scan = scanFromIvText(iv, std::max(2, o.sweeps));
    scan.scanType = ScanRecord::eOtherRun;
    scan.date = QFileInfo(path).lastModified();
    scan.sourceName = QFileInfo(path).fileName();
    return true;
}
} // namespace

int importEach(const QStringList& files, const ImportOptions& o, DataAnalyzer& into, QStringList& notes,
               QStringList& failures)
{
    int added = 0;
    for (const QString& path : files) {
        ScanRecord scan;
        QString error;
        if (!importOne(path, o, scan, notes, error)) {
            failures << error;
            continue;
        }
        into.addScan(scan);
        ++added;
    }
    return added;
}

bool importFiles(const QStringList& files, const ImportOptions& o, DataAnalyzer& into, QStringList& notes,
                 QString& error)
{
    QVector<ScanRecord> scans;
    QStringList found;
    for (const QString& path : files) {
        ScanRecord scan;
        if (!importOne(path, o, scan, found, error))
            return false;
        scans.append(scan);
    }
    for (const ScanRecord& scan : scans)
        into.addScan(scan);
    notes << found;
    return true;
}

} // namespace ivtext
