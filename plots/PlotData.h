#pragma once
// Series the session window draws, built from the session data without
// widgets: trends across frames or within a frame, and per-scan curves.
#include <QVector>

class DataAnalyzer;
struct ScanRecord;

namespace PlotData {

struct Series {
    QVector<double> x, y;
    int size() const { return x.size(); }
};

// For each frame, the scan at traceIndex; frames without that scan are skipped.
// x is the frame's position for spatial scans, else its temporal position.
// Empty when fewer than two points result.
Series trendAcrossFrames(const DataAnalyzer& data, int traceIndex, int quantity);
// For each scan of one frame: x its resolved time (us), y the quantity.
// Empty when the frame holds fewer than two scans.
Series trendWithinFrame(const DataAnalyzer& data, int group, int quantity);

// First and second derivative of a scan's corrected curve with half-width k.
void correctedDerivatives(const ScanRecord& scan, int k, Series& d1, Series& d2);
// Mean raw sweep of the accumulated sums.
Series meanRawSweep(const ScanRecord& scan);

} // namespace PlotData
