#pragma once
// A result over position and time as a map (QwtPlotSpectrogram): position
// across, time up, the value in colour with a colour bar beside it; the
// cursor reads position, time and value of the cell under it. When the
// session lacks one of the two axes the graph says which.
#include "MapData.h"
#include "ThreeTracePlotter.h"

class QwtPlotSpectrogram;

class MapPlot : public ThreeTracePlotter
{
    Q_OBJECT
public:
    explicit MapPlot(QWidget* parent = nullptr);
    ~MapPlot() override;

    // name and unit plain ("Ne", "m^-3"), axisTitle rich (the colour bar's title).
    void setMap(const MapData& map, const QString& name, const QString& unit, const QString& axisTitle);
    const MapData& map() const { return m_map; }
    QwtPlotSpectrogram* spectrogram() const { return m_spectrogram; }
    // "x = 5.0 mm   t = 10.000 µs   Ne = 1.2e+16 m^-3"; empty off the map or in a missing cell.
    QString readoutAt(const QPoint& canvasPos) const;

signals:
    void readout(const QString& text);

private:
    MapData m_map;
    QString m_name, m_unit;
    QwtPlotSpectrogram* m_spectrogram;
    class Picker;
    Picker* m_picker;
};
