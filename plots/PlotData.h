#pragma once
// Series the session window draws, built from the session data without
// widgets: trends across frames or within a frame, and per-scan curves.
#include <QVector>

class DataAnalyzer;
class QString;
class ResultRecord;
struct ScanGroup;
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

// The time-resolved runs among a frame's scans, [begin, end) each: two or more
// scans with rising resolved times, equally spaced (the slices of one SYNC
// period). A time-averaged scan before a run whose first slice lies after 0 us
// rises too, but out of step: it is no time slice.
struct Run {
    int begin = 0, end = 0;
};
QVector<Run> timeSliceRuns(const QVector<ScanRecord>& scans);
bool isTimeSlice(const QVector<ScanRecord>& scans, int index);
// What the navigation labels read for a scan of a frame: its position
// ("4.0 [mm]", "--- [mm]") and its time ("12.5 [s]" in a timed run,
// "0.000 [<span>&mu;</span>s]" for a time slice, else "---").
QString positionText(const QVector<ScanRecord>& scans, int index, const ScanGroup* group);
QString timeText(const QVector<ScanRecord>& scans, int index, const ScanGroup* group);
// A trace's name in a list or a legend, by where and when it was measured:
// "4.0 mm", "4.0 mm, 12.500 us", "12.500 us", "30.0 s", else "Frame 2, trace 3"
// (counted from 1); plain text.
QString traceName(const DataAnalyzer& data, int group, int index);

} // namespace PlotData
