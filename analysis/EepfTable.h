#pragma once
// The EEPF table: ordered (energy eV, resolution V) rows, its built-in default and
// its text file form ("Energy;Resolution" header, one "energy;resolution" row per line).

#include <QString>
#include <QVector>

struct EepfRow {
    double energy = 0;     // eV
    double resolution = 0; // V
    bool operator==(const EepfRow& o) const { return energy == o.energy && resolution == o.resolution; }
};

class EepfTable {
public:
    QVector<EepfRow> rows;

    static EepfTable defaultTable(); // the 20 built-in rows

    int size() const { return rows.size(); }
    bool isEmpty() const { return rows.isEmpty(); }

    void toLists(QVector<double>& energies, QVector<double>& resolutions) const;
    // False (table unchanged) when the lists differ in length.
    bool fromLists(const QVector<double>& energies, const QVector<double>& resolutions);

    // Empty error text on success; on error the table is left unchanged.
    QString readFile(const QString& path);
    QString writeFile(const QString& path) const;
    // The same on text, for callers that hold the file's content.
    QString parse(const QByteArray& content);

    bool operator==(const EepfTable& o) const { return rows == o.rows; }
};
