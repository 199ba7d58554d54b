#pragma once
// Figures out of the session window: the graphs shown, stacked top to bottom,
// written as PNG, SVG or PDF at a chosen size and resolution, printed, or
// copied to the clipboard as an image. Rendered with QwtPlotRenderer, so the
// file shows what the window shows (curves, analysis, legend) without the
// window's frames.
#include <QDialog>
#include <QImage>
#include <QList>
#include <QString>

class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPainter;
class QPrinter;
class QRectF;
class QSpinBox;
class QwtPlot;

namespace GraphExport {

enum Format { ePng, eSvg, ePdf };

struct Options {
    QString fileName;
    Format format = ePng;
    double widthMm = 160.0;
    double heightMm = 100.0;
    int dpi = 300;
    // The figure's font size (pt) and line width (pt); 0 keeps the window's.
    int fontPt = 0;
    double lineWidth = 0.0;
};

// The format a file name asks for by its suffix (case-insensitive), else fallback.
Format formatOf(const QString& fileName, Format fallback);
QString suffixOf(Format f);
// The name with the format's suffix when it has none.
QString withSuffix(const QString& fileName, Format f);
// Pixels of a length in millimetres at a resolution (at least 1).
int pixels(double mm, int dpi);

void render(const QList<QwtPlot*>& plots, QPainter* painter, const QRectF& rect);
// False with the reason in *error when the file cannot be written; an existing
// file is only replaced by a complete new one.
bool write(const QList<QwtPlot*>& plots, const Options& o, QString* error = nullptr);
// The graphs at their size on screen (copy as image).
QImage image(const QList<QwtPlot*>& plots);
void print(const QList<QwtPlot*>& plots, QPrinter* printer);

// "Export Graph" from a window: the dialog starts with `last` (the format
// from its file name) and is asked again while writing fails (a box says
// why); true when written, with the choices kept in `last`.
bool exportWithDialog(QWidget* parent, const QList<QwtPlot*>& plots, Options& last);
// The print dialog, then the graphs on the chosen printer.
void printWithDialog(QWidget* parent, const QList<QwtPlot*>& plots);

} // namespace GraphExport

// "Export Graph": file, format, size (mm) and resolution (dpi).
class GraphExportDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GraphExportDialog(const GraphExport::Options& start, QWidget* parent = nullptr);
    GraphExport::Options options() const;

    QLineEdit* fileEdit() const { return m_file; }
    QComboBox* formatBox() const { return m_format; }
    QDoubleSpinBox* widthBox() const { return m_width; }
    QDoubleSpinBox* heightBox() const { return m_height; }
    QSpinBox* dpiBox() const { return m_dpi; }
    QSpinBox* fontBox() const { return m_fontPt; }
    QDoubleSpinBox* lineWidthBox() const { return m_lineWidth; }

private:
    void browse();
    void formatChanged();
    void updatePixels();

    QLineEdit* m_file;
    QComboBox* m_format;
    QDoubleSpinBox* m_width;
    QDoubleSpinBox* m_height;
    QSpinBox* m_dpi;
    QSpinBox* m_fontPt;
    QDoubleSpinBox* m_lineWidth;
    class QLabel* m_pixels;
    class QPushButton* m_ok;
};
