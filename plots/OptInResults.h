#pragma once
// Rows of the session window's results grid for the opt-in analyses (ion density from the
// ion branch, two electron temperatures): each group of rows is shown only for a scan whose
// result record holds its values, the whole box not at all when it holds none.

#include "ResultRecord.h"

#include <QWidget>

class QLabel;

class OptInResults : public QWidget {
    Q_OBJECT
public:
    explicit OptInResults(QWidget* parent = nullptr);

    // The values of r (nullptr: no scan).
    void showRecord(const ResultRecord* r);

    // The texts shown for one value of ResultRecord::Extra (empty for the error places).
    QString valueText(int extra) const;
    QString errorText(int extra) const;
    bool rowShown(int extra) const;

    // "OML", "Laframboise", "Bohm", "OML (lower bound)"; "---" for anything else.
    static QString regimeText(double regime);
    // "two", "one", "failed"; "---" for anything else.
    static QString flagText(double flag);

private:
    struct Row {
        int value = -1, error = -1; // ResultRecord::Extra places; error -1: none
        QLabel *name = nullptr, *valueLabel = nullptr, *unit = nullptr, *errorLabel = nullptr,
               *percent = nullptr;
    };
    QVector<Row> m_rows;
    const Row* rowOf(int extra) const;
};
