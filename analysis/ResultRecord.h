#pragma once
// The 16 value/error pairs of one scan's analysis, with the keys under which files,
// exports and the data server write them, and the numbered quantities the views show.

#include <QString>
#include <QStringList>
#include <array>

class ResultRecord {
public:
    enum Pair {
        eVpmax, eVp, eVf, eKTe, eJe, eNe, eJp, eNi, eVsat, eLdebye,
        eEedfNe, eEedfAvgEnergy, eEedfKTe, eIsat, eMachNumber, eVdrift,
        ePairCount
    };

    ResultRecord(); // every value not-a-number
    // Every double becomes not-a-number except the isat pair, which keeps its value.
    void reset();

    double value(int pair) const;
    double error(int pair) const;
    void setValue(int pair, double v);
    void setError(int pair, double e);

    static QString valueKey(int pair);
    static QString errorKey(int pair);
    // The 32 keys in pair order, value key before error key.
    static QStringList keys();
    // Access by key; false for an unknown key.
    bool setByKey(const QString& key, double v);
    bool byKey(const QString& key, double& v) const;

    // The 32 doubles in pair order (value, error, value, error, ...).
    const std::array<double, 32>& raw() const { return d_; }
    bool operator==(const ResultRecord& o) const;

private:
    std::array<double, 32> d_;
};

// The 14 quantities offered by the views (0 .. 13), each reading one pair of a record.
namespace ResultQuantity {
constexpr int eCount = 14;
QString name(int quantity);  // "Unknown" outside 0 .. 13
QString label(int quantity); // "Unknown" outside 0 .. 13
int pair(int quantity);      // -1 outside 0 .. 13
double displayFactor(int quantity);
double value(const ResultRecord& r, int quantity);        // raw; 0 outside 0 .. 13
double displayValue(const ResultRecord& r, int quantity); // raw times the display factor
double error(const ResultRecord& r, int quantity);        // raw, never scaled
} // namespace ResultQuantity
