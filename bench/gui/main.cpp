// Session window speed with 1024 time-resolved scans: moving the frame
// slider to the redrawn window (with the analysis drawn and error bars on, then
// with eight other traces overlaid), drawing a trend over all frames, and
// drawing a map of 50 positions x 100 time slices.
#include "GraphExport.h"
#include "PlotManager.h"
#include "TraceChooser.h"
#include "SessionMaker.h"

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QSlider>
#include <QTextStream>
#include <algorithm>
#include <vector>

namespace {
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("QuendrixBench");
    QCoreApplication::setApplicationName("bench_gui");

    PlotManager pm;
    pm.resize(1400, 900);
    pm.show();
    SessionMaker::Options o;
    o.scansPerGroup = 1024;
    o.points = 200;
    o.sweeps = 2;
    SessionMaker::fill(*pm.data(), o);
    pm.refreshAll();
    pm.setView(PlotManager::eViewScan);
    // Frame change: slider value to the window repainted (three graphs and the grid),
    // plain, then with the heaviest drawing the window offers: error bars and the
    // analysis overlay (the figure that must stay within a 60 Hz frame).
    auto frameChange = [&pm](bool heavy) {
        for (QCheckBox* b : pm.findChildren<QCheckBox*>())
            if (b->text() == QLatin1String("Show Error bars") || b->text() == QLatin1String("Show analysis"))
                b->setChecked(heavy);
        QCoreApplication::processEvents();
        std::vector<double> frame;
        QElapsedTimer t;
        for (int i = 0; i < 200; ++i) {
            const int v = (i * 37) % 1024;
            t.start();
            pm.frameSlider()->setValue(v);
            pm.repaint();
            frame.push_back(t.nsecsElapsed() / 1e6);
        }
        return median(frame);
    };
    const double plain = frameChange(false);
    const double heavy = frameChange(true);
    // Eight other traces ticked in Overlay Traces, as a user does.
    for (QPushButton* b : pm.findChildren<QPushButton*>())
        if (b->text() == QLatin1String("Overlay Traces..."))
            b->click();
    for (int i = 0; i < 8; ++i)
        pm.traceChooser()->list()->item(100 * i + 5)->setCheckState(Qt::Checked);
    pm.traceChooser()->hide();
    const double overlay8 = frameChange(true);
    // Trend over all frames of the session (1024 points).
    pm.trendButton(2)->click();
    std::vector<double> trend;
    QElapsedTimer t;
    for (int i = 0; i < 50; ++i) {
        t.start();
        pm.trendButton(i % 2 ? 2 : 4)->click();
        pm.repaint();
        trend.push_back(t.nsecsElapsed() / 1e6);
    }
    // A map of 50 positions x 100 time slices: choosing the result (the map
    // built from the session) and drawing the map at its size on screen into
    // an image, so that every cell is painted whatever the canvas caches.
    PlotManager mapWindow;
    mapWindow.resize(1400, 900);
    mapWindow.show();
    SessionMaker::Options m;
    m.kind = SessionMaker::eSpatialTimeResolved;
    m.groups = 50;
    m.scansPerGroup = 100;
    m.points = 60;
    m.sweeps = 1;
    SessionMaker::fill(*mapWindow.data(), m);
    mapWindow.refreshAll();
    mapWindow.setView(PlotManager::eViewMap);
    std::vector<double> map;
    for (int i = 0; i < 20; ++i) {
        t.start();
        mapWindow.trendButton(i % 2 ? 2 : 4)->click();
        const QImage drawn = GraphExport::image(mapWindow.shownPlots());
        map.push_back(t.nsecsElapsed() / 1e6);
        if (drawn.isNull())
            return 1;
    }
    QTextStream out(stdout);
    out << "frame_change_ms: " << QString::number(heavy, 'f', 2) << "\n";
    out << "frame_change_plain_ms: " << QString::number(plain, 'f', 2) << "\n";
    out << "trend_1024_ms: " << QString::number(median(trend), 'f', 2) << "\n";
    out << "frame_change_overlay8_ms: " << QString::number(overlay8, 'f', 2) << "\n";
    out << "map_draw_ms: " << QString::number(median(map), 'f', 2) << "\n";
    return 0;
}
