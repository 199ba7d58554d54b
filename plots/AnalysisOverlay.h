#pragma once
// The analysis drawn over a scan's graphs, from what the analysis kept (no
// refitting here): on the IV graph the markers at Vf, Vp and the knee Vsat
// with their values, the ion-saturation region, the electron-retardation fit
// (straight on the log scale), the ion current model and the electron current
// I - I_ion; on the EEPF graph the mean energy and the Maxwellian of the
// EEPF's kTe. The session window owns one and shows or detaches it.
#include <QRectF>
#include <QString>
#include <QVector>
#include <memory>

class PlotErrorBarCurve;
class QwtPlot;
class QwtPlotMarker;
class QwtPlotZoneItem;
struct ScanRecord;

class AnalysisOverlay
{
public:
    enum Line { eRetardFit, eIonModel, eElectronCurrent, eMaxwellian, eLineCount };
    enum Mark { eVf, eVp, eKnee, eMeanEnergy, eMarkCount };

    AnalysisOverlay();
    ~AnalysisOverlay();

    // Draws on the IV graph; on a log axis only what is positive is drawn.
    void showIv(QwtPlot* plot, const ScanRecord& scan, bool logAxis);
    void showEepf(QwtPlot* plot, const ScanRecord& scan);
    void detach();

    // What is drawn (tests, pictures).
    const PlotErrorBarCurve* line(Line l) const { return m_line[l].get(); }
    bool lineShown(Line l) const;
    QString markLabel(Mark m) const; // empty when not shown
    double markValue(Mark m) const;
    // Where a mark's label was last drawn (canvas pixels); empty when not drawn.
    QRectF labelRect(Mark m) const;
    bool regionShown() const;
    double regionLow() const;
    double regionHigh() const;

private:
    void setLine(Line l, QwtPlot* plot, QVector<double> x, QVector<double> y, bool logAxis);
    void setMark(Mark m, QwtPlot* plot, double value, const QString& name, const QString& unit);

    std::unique_ptr<PlotErrorBarCurve> m_line[eLineCount];
    QVector<double> m_x[eLineCount], m_y[eLineCount];
    class PlacedMark;
    std::unique_ptr<PlacedMark> m_mark[eMarkCount];
    std::unique_ptr<QwtPlotZoneItem> m_region;
    class LabelArranger;
    std::unique_ptr<LabelArranger> m_arranger;
};
