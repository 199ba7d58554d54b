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
    // Access by key, the opt-in analyses' keys included; false for an unknown key (byKey also
    // for a key whose group is absent).
    bool setByKey(const QString& key, double v);
    bool byKey(const QString& key, double& v) const;

    // The 32 doubles in pair order (value, error, value, error, ...).
    const std::array<double, 32>& raw() const { return d_; }
    bool operator==(const ResultRecord& o) const;

    // Results of the opt-in analyses, each group present only when its analysis ran (a reset
    // removes them). They are not pairs: the regime and the flag have no error.
    enum Extra {
        eNiFit, eNiFitError, eIonExponent, eIonExponentError, eIonRegime,
        eTeCold, eTeColdError, eTeHot, eTeHotError, eHotFraction, eHotFractionError, eTwoTFlag,
        eExtraCount
    };
    enum ExtraGroup { eIonFitGroup, eTwoTemperatureGroup };
    static QString extraKey(int extra);
    static ExtraGroup groupOf(int extra);
    bool hasGroup(ExtraGroup g) const { return present_[g]; }
    // Not-a-number when its group is absent.
    double extra(int extra) const;
    // Sets one value and makes its group present (the group's other values stay as they were,
    // not-a-number at first).
    void setExtra(int extra, double v);
    // The keys of the present groups, in key order of Extra.
    QStringList extraKeys() const;

private:
    std::array<double, 32> d_;
    std::array<double, eExtraCount> x_;
    bool present_[2] = {false, false};
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
