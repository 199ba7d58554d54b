#include "AnalysisOverlay.h"

#include "AxisRange.h"
#include "LabelPlacement.h"
#include "PlotErrorBarCurve.h"
#include "ResultRecord.h"
#include "ScanRecord.h"

#include <qwt_plot.h>
#include <qwt_plot_marker.h>
#include <qwt_scale_map.h>
#include <qwt_plot_zoneitem.h>
#include <qwt_symbol.h>
#include <QLocale>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {
const char* const kLineTitles[AnalysisOverlay::eLineCount] = {
    "Electron retardation fit", "Ion current model", "Electron current I - I_ion", "Maxwellian"};
const QColor kLineColours[AnalysisOverlay::eLineCount] = {QColor(230, 120, 0), QColor(0, 140, 140),
                                                          QColor(120, 60, 170), QColor(40, 40, 40)};
const QColor kMarkColours[AnalysisOverlay::eMarkCount] = {QColor(0, 140, 60), QColor(200, 30, 30),
                                                          QColor(0, 90, 200), QColor(200, 100, 0)};
// Points of the drawn fit line (a straight line on the log axis, curved on the linear one).
constexpr int kFitPoints = 60;
} // namespace

// A mark whose label goes where the arranger placed it (vertical text).
class AnalysisOverlay::PlacedMark : public QwtPlotMarker
{
public:
    QRectF placed;

protected:
    void drawLabel(QPainter* painter, const QRectF&, const QPointF&) const override
    {
        if (placed.isEmpty() || label().isEmpty())
            return;
        painter->save();
        painter->translate(placed.bottomLeft());
        painter->rotate(-90);
        label().draw(painter, QRectF(0, 0, placed.height(), placed.width()));
        painter->restore();
    }
};

// Drawn just before the marks: places their labels beside their lines so that
// none covers another (Vp and the knee often lie a few pixels apart), at the
// size the labels have in this drawing (screen or figure).
class AnalysisOverlay::LabelArranger : public QwtPlotItem
{
public:
    explicit LabelArranger(AnalysisOverlay* owner) : m_owner(owner) { setZ(29); }
    int rtti() const override { return QwtPlotItem::Rtti_PlotUserItem + 32; }
    void draw(QPainter*, const QwtScaleMap& xMap, const QwtScaleMap&, const QRectF& canvas) const override
    {
        QVector<LabelPlacement::Label> labels;
        QVector<int> marks;
        for (int m = 0; m < eMarkCount; ++m) {
            PlacedMark* mark = m_owner->m_mark[m].get();
            mark->placed = QRectF();
            if (mark->plot() != plot())
                continue;
            QSizeF size = mark->label().textSize(mark->label().font());
            size.transpose();
            labels.append({xMap.transform(mark->xValue()), size, m == eKnee});
            marks.append(m);
        }
        const QVector<LabelPlacement::Place> where = LabelPlacement::place(labels, canvas);
        for (int i = 0; i < marks.size(); ++i)
            m_owner->m_mark[marks[i]]->placed = LabelPlacement::rectFor(labels[i], where[i], canvas);
    }

private:
    AnalysisOverlay* m_owner;
};

AnalysisOverlay::AnalysisOverlay()
{
    for (int l = 0; l < eLineCount; ++l) {
        m_line[l] = std::make_unique<PlotErrorBarCurve>(QString::fromLatin1(kLineTitles[l]));
        m_line[l]->setStyle(QwtPlotCurve::Lines);
        const Qt::PenStyle style = l == eElectronCurrent ? Qt::SolidLine : Qt::DashLine;
        m_line[l]->setPen(QPen(kLineColours[l], l == eElectronCurrent ? 1.0 : 1.6, style));
        m_line[l]->setSymbol(new QwtSymbol(QwtSymbol::NoSymbol));
        m_line[l]->setZ(25);
    }
    for (int m = 0; m < eMarkCount; ++m) {
        m_mark[m] = std::make_unique<PlacedMark>();
        m_mark[m]->setLineStyle(QwtPlotMarker::VLine);
        m_mark[m]->setLinePen(QPen(kMarkColours[m], 1.2, Qt::DashDotLine));
        m_mark[m]->setZ(30);
    }
    m_region = std::make_unique<QwtPlotZoneItem>();
    m_region->setOrientation(Qt::Vertical);
    m_region->setBrush(QColor(255, 200, 60, 50));
    m_region->setPen(QPen(QColor(220, 160, 0, 120), 1));
    m_region->setTitle(QStringLiteral("Ion saturation region"));
    m_region->setZ(5);
    m_arranger = std::make_unique<LabelArranger>(this);
    m_arranger->setItemAttribute(QwtPlotItem::Legend, false);
}

AnalysisOverlay::~AnalysisOverlay() = default;

void AnalysisOverlay::detach()
{
    for (auto& l : m_line)
        l->detach();
    for (auto& m : m_mark)
        m->detach();
    m_region->detach();
    m_arranger->detach();
}

void AnalysisOverlay::setLine(Line l, QwtPlot* plot, QVector<double> x, QVector<double> y, bool logAxis)
{
    if (logAxis) {
        const std::vector<double> shown = AxisRange::positiveOnly(y.constData(), y.size());
        y = QVector<double>(shown.begin(), shown.end());
    }
    m_x[l] = std::move(x);
    m_y[l] = std::move(y);
    m_line[l]->setSamplesPlain(m_x[l].constData(), m_y[l].constData(), m_x[l].size());
    // Nothing drawable (the negative ion current on a log axis): not on the graph, nor in the legend.
    if (std::any_of(m_y[l].cbegin(), m_y[l].cend(), [](double v) { return std::isfinite(v); }))
        m_line[l]->attach(plot);
}

void AnalysisOverlay::setMark(Mark m, QwtPlot* plot, double value, const QString& name, const QString& unit)
{
    if (!std::isfinite(value))
        return;
    m_mark[m]->setXValue(value);
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QwtText label(QStringLiteral("%1 = %2 %3").arg(name, locale.toString(value, 'g', 4), unit));
    label.setColor(kMarkColours[m]);
    QFont f = label.font();
    f.setPointSize(8);
    label.setFont(f);
    m_mark[m]->setLabel(label);
    m_mark[m]->attach(plot);
    m_arranger->attach(plot);
}

void AnalysisOverlay::showIv(QwtPlot* plot, const ScanRecord& scan, bool logAxis)
{
    detach();
    const ResultRecord& r = scan.result;
    setMark(eVf, plot, r.value(ResultRecord::eVf), QStringLiteral("Vf"), QStringLiteral("V"));
    setMark(eVp, plot, r.value(ResultRecord::eVp), QStringLiteral("Vp"), QStringLiteral("V"));
    setMark(eKnee, plot, r.value(ResultRecord::eVsat), QStringLiteral("Vsat"), QStringLiteral("V"));

    const IvFit& fit = scan.fit;
    if (!fit.valid)
        return; // a scan read from a file keeps its results, not its fits
    if (fit.ionRegionHigh > fit.ionRegionLow) {
        m_region->setInterval(fit.ionRegionLow, fit.ionRegionHigh);
        m_region->attach(plot);
    }
    QVector<double> x, y;
    for (double V : scan.corrected.V)
        if (V <= fit.Vp) {
            x.append(V);
            y.append(fit.ionCurrent(V));
        }
    setLine(eIonModel, plot, x, y, logAxis);
    x.clear();
    y.clear();
    for (const IvPoint& p : scan.electronCurrent.points) {
        x.append(p.voltage);
        y.append(p.current);
    }
    setLine(eElectronCurrent, plot, x, y, logAxis);
    if (fit.hasRetardFit()) {
        x.clear();
        y.clear();
        const double a = fit.retardLow, b = std::max(fit.retardHigh, fit.Vp);
        for (int i = 0; i < kFitPoints; ++i) {
            const double V = a + (b - a) * i / (kFitPoints - 1);
            x.append(V);
            y.append(fit.retardCurrent(V));
        }
        setLine(eRetardFit, plot, x, y, logAxis);
    }
}

void AnalysisOverlay::showEepf(QwtPlot* plot, const ScanRecord& scan)
{
    detach();
    const ResultRecord& r = scan.result;
    const double mean = r.value(ResultRecord::eEedfAvgEnergy);
    setMark(eMeanEnergy, plot, mean, QStringLiteral("<E>"), QStringLiteral("eV"));
    const double kTe = r.value(ResultRecord::eEedfKTe);
    const double ne = r.value(ResultRecord::eEedfNe);
    const QVector<double>& energy = scan.eepf.energy;
    if (!(kTe > 0) || !(ne > 0) || energy.isEmpty())
        return;
    // The Maxwellian of the same density and kTe: n * 2/sqrt(pi) * kTe^-3/2 * exp(-E/kTe).
    const double scale = ne * 2.0 / std::sqrt(M_PI) * std::pow(kTe, -1.5);
    QVector<double> x, y;
    for (double E : energy) {
        x.append(E);
        y.append(scale * std::exp(-E / kTe));
    }
    m_line[eMaxwellian]->setTitle(
        QStringLiteral("Maxwellian, kTe = %1 eV").arg(QLocale().toString(kTe, 'g', 3)));
    setLine(eMaxwellian, plot, x, y, true);
}

bool AnalysisOverlay::lineShown(Line l) const
{
    return m_line[l]->plot() != nullptr;
}

QString AnalysisOverlay::markLabel(Mark m) const
{
    return m_mark[m]->plot() ? m_mark[m]->label().text() : QString();
}

double AnalysisOverlay::markValue(Mark m) const
{
    return m_mark[m]->xValue();
}

bool AnalysisOverlay::regionShown() const
{
    return m_region->plot() != nullptr;
}

double AnalysisOverlay::regionLow() const
{
    return m_region->interval().minValue();
}

double AnalysisOverlay::regionHigh() const
{
    return m_region->interval().maxValue();
}

QRectF AnalysisOverlay::labelRect(Mark m) const
{
    return m_mark[m]->plot() ? m_mark[m]->placed : QRectF();
}
