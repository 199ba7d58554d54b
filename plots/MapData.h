#pragma once
// A result over position and time, without widgets: the grid a spatial
// time-resolved run holds (a profile at every time slice), for a map.
#include <QString>
#include <QVector>

class DataAnalyzer;

struct MapData {
    QVector<double> positions; // mm, rising: the frames of spatial scans
    QVector<double> times;     // us, rising: the time slices
    QVector<double> values;    // positions.size() x times.size(), by position then time; NaN where missing
    QString missing;           // why there is no map; empty when there is one

    bool isValid() const { return missing.isEmpty(); }
    double at(int p, int t) const { return values[p * times.size() + t]; }
    // The cell holding a position and a time (nearest column and row), or -1.
    int positionIndex(double mm) const;
    int timeIndex(double us) const;
    // Lowest and highest finite value.
    double low() const;
    double high() const;

    // The quantity's display values (results grid units) of every time slice
    // at every position. Needs two or more positions of a spatial run and two
    // or more time slices.
    static MapData of(const DataAnalyzer& data, int quantity);
};
