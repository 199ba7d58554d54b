#include "EepfTable.h"

#include <QFile>
#include <QLocale>
#include <QSaveFile>

namespace {
const char kOpenError[] = "Error - cannot open EEPF table File.";
const char kCorrupt[] = "Error - EEPF table File Corrupt.";
const char kWriteError[] = "Error - cannot write EEPF table file.";
} // namespace

EepfTable EepfTable::defaultTable()
{
    static const double kRows[20][2] = {
        {0.5, 0.4}, {1, 0.5}, {1.5, 0.5}, {2, 0.5}, {3, 1},  {4, 1},  {5, 1},
        {6, 1},     {7, 1},   {8, 1},     {9, 1},   {10, 2}, {12, 2}, {14, 2},
        {16, 2},    {18, 2},  {20, 3},    {23, 3},  {26, 3}, {29, 3},
    };
    EepfTable t;
    for (const auto& r : kRows)
        t.rows.append(EepfRow{r[0], r[1]});
    return t;
}

void EepfTable::toLists(QVector<double>& energies, QVector<double>& resolutions) const
{
    energies.clear();
    resolutions.clear();
    for (const EepfRow& r : rows) {
        energies.append(r.energy);
        resolutions.append(r.resolution);
    }
}

bool EepfTable::fromLists(const QVector<double>& energies, const QVector<double>& resolutions)
{
    if (energies.size() != resolutions.size())
        return false;
    rows.clear();
    for (int i = 0; i < energies.size(); ++i)
        rows.append(EepfRow{energies.at(i), resolutions.at(i)});
    return true;
}

QString EepfTable::parse(const QByteArray& content)
{
    QList<QByteArray> lines = content.split('\n');
    if (lines.isEmpty() || !lines.first().startsWith("Energy;Resolution"))
        return QString::fromLatin1(kCorrupt);
    QVector<EepfRow> parsed;
    for (int l = 1; l < lines.size(); ++l) {
        const QByteArray line = lines.at(l).trimmed();
        const int sep = line.indexOf(';', 1);
        if (sep < 0)
            continue;
        int end = line.indexOf(';', sep + 1);
        if (end < 0)
            end = line.size();
        bool ok1 = false, ok2 = false;
        const double e = line.left(sep).trimmed().toDouble(&ok1);
        const double r = line.mid(sep + 1, end - sep - 1).trimmed().toDouble(&ok2);
        if (!ok1 || !ok2)
            continue;
        parsed.append(EepfRow{e, r});
    }
    if (parsed.isEmpty())
        return QString::fromLatin1(kCorrupt);
    rows = parsed;
    return QString();
}

QString EepfTable::readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString::fromLatin1(kOpenError);
    return parse(f.readAll());
}

QString EepfTable::writeFile(const QString& path) const
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString::fromLatin1(kWriteError);
    QByteArray out("Energy;Resolution\n");
    const QLocale c = QLocale::c();
    for (const EepfRow& r : rows) {
        out += c.toString(r.energy, 'g', QLocale::FloatingPointShortest).toLatin1();
        out += ';';
        out += c.toString(r.resolution, 'g', QLocale::FloatingPointShortest).toLatin1();
        out += '\n';
    }
    if (f.write(out) != out.size() || !f.commit())
        return QString::fromLatin1(kWriteError);
    return QString();
}
