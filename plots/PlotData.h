#pragma once
// Series the session window draws, built from the session data without
// widgets: trends across frames or within a frame, and per-scan curves.
#include <QVector>

class DataAnalyzer;
class QString;
class ResultRecord;
struct ScanRecord;

namespace PlotData {

struct Series {
    QVector<double> x, y;
    QVector<double> err; // y errors in y's units (trends); empty when none
    int size() const { return x.size(); }
};

// For each frame, the scan at traceIndex; frames without that scan are skipped.
// x is the frame's position for spatial scans, else its temporal position;
// err the quantity's error (0 where unknown). Empty when fewer than two
// points result.
Series trendAcrossFrames(const DataAnalyzer& data, int traceIndex, int quantity);
// The time-resolved scans of one frame: x their resolved time (us), y the
// quantity, err its error. A time-resolved run files its time slices one
// after another with rising times; a time-averaged scan of the same frame is
// no time slice and is left out. Of several such runs in a frame, the one
// holding traceIndex (else the last). Empty when fewer than two slices.
Series trendWithinFrame(const DataAnalyzer& data, int group, int quantity, int traceIndex = -1);

// The results as tab-separated text for the clipboard: a heading, then each
// quantity in the grid's order with its value and error in its unit to two
// significant digits of the error ("8.2698 ± 0.0014 V") and the relative
// error in %; "---" where there is no value. No record: every row "---".
QString resultsText(const ResultRecord* result, int traceIndex);

// First and second derivative of a scan's corrected curve with half-width k.
void correctedDerivatives(const ScanRecord& scan, int k, Series& d1, Series& d2);
// Mean raw sweep of the accumulated sums.
Series meanRawSweep(const ScanRecord& scan);

} // namespace PlotData
