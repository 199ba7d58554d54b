#include "GraphExport.h"

#include "FigureStyle.h"
#include "Prompter.h"

#include <qwt_plot.h>
#include <qwt_plot_renderer.h>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QSvgGenerator>
#include <cmath>

namespace GraphExport {

Format formatOf(const QString& fileName, Format fallback)
{
    const QString s = QFileInfo(fileName).suffix().toLower();
    if (s == QLatin1String("png"))
        return ePng;
    if (s == QLatin1String("svg"))
        return eSvg;
    if (s == QLatin1String("pdf"))
        return ePdf;
    return fallback;
}

QString suffixOf(Format f)
{
    switch (f) {
    case eSvg: return QStringLiteral("svg");
    case ePdf: return QStringLiteral("pdf");
    default: return QStringLiteral("png");
    }
}

QString withSuffix(const QString& fileName, Format f)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).suffix().isEmpty())
        return fileName;
    return fileName + QLatin1Char('.') + suffixOf(f);
}

int pixels(double mm, int dpi)
{
    return std::max(1, int(std::lround(mm / 25.4 * dpi)));
}

void render(const QList<QwtPlot*>& plots, QPainter* painter, const QRectF& rect)
{
    painter->fillRect(rect, Qt::white);
    double total = 0;
    for (QwtPlot* p : plots)
        total += std::max(1, p->height());
    QwtPlotRenderer renderer;
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardBackground, true);
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardCanvasFrame, true);
    renderer.setLayoutFlag(QwtPlotRenderer::FrameWithScales, true);
    double top = rect.top();
    for (QwtPlot* p : plots) {
        const double h = rect.height() * std::max(1, p->height()) / total;
        renderer.render(p, painter, QRectF(rect.left(), top, rect.width(), h));
        top += h;
    }
}

bool write(const QList<QwtPlot*>& plots, const Options& o, QString* error)
{
    QSaveFile file(o.fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const int w = pixels(o.widthMm, o.dpi), h = pixels(o.heightMm, o.dpi);
    const FigureStyle style(plots, o.fontPt, o.lineWidth);
    bool drawn = true;
    if (o.format == ePng) {
        QImage img(w, h, QImage::Format_ARGB32);
        const int dpm = int(std::lround(o.dpi / 0.0254));
        img.setDotsPerMeterX(dpm);
        img.setDotsPerMeterY(dpm);
        {
            QPainter painter(&img);
            render(plots, &painter, QRectF(0, 0, w, h));
        }
        drawn = img.save(&file, "PNG");
    } else if (o.format == eSvg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(QSize(w, h));
        svg.setViewBox(QRect(0, 0, w, h));
        svg.setResolution(o.dpi);
        svg.setTitle(QStringLiteral("Quendrix Langmuir graph"));
        QPainter painter;
        drawn = painter.begin(&svg);
        if (drawn)
            render(plots, &painter, QRectF(0, 0, w, h));
    } else {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QSizeF(o.widthMm, o.heightMm), QPageSize::Millimeter));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setResolution(o.dpi);
        pdf.setTitle(QStringLiteral("Quendrix Langmuir graph"));
        QPainter painter;
        drawn = painter.begin(&pdf);
        if (drawn)
            render(plots, &painter, QRectF(0, 0, pdf.width(), pdf.height()));
    }
    if (!drawn) {
        file.cancelWriting();
        if (error)
            *error = QStringLiteral("The graph could not be drawn into the file.");
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QImage image(const QList<QwtPlot*>& plots)
{
    int w = 1, h = 0;
    for (QwtPlot* p : plots) {
        w = std::max(w, p->width());
        h += std::max(1, p->height());
    }
    QImage img(w, std::max(1, h), QImage::Format_ARGB32);
    QPainter painter(&img);
    render(plots, &painter, QRectF(0, 0, w, std::max(1, h)));
    return img;
}

void print(const QList<QwtPlot*>& plots, QPrinter* printer)
{
    QPainter painter(printer);
    const QRectF page = printer->pageLayout().paintRectPixels(printer->resolution());
    // The shape of the graphs on screen, as large as the page allows.
    double w = 0, h = 0;
    for (QwtPlot* p : plots) {
        w = std::max<double>(w, p->width());
        h += std::max(1, p->height());
    }
    const double scale = (w > 0 && h > 0) ? std::min(page.width() / w, page.height() / h) : 1.0;
    render(plots, &painter, QRectF(0, 0, w * scale, h * scale));
}

bool exportWithDialog(QWidget* parent, const QList<QwtPlot*>& plots, Options& last)
{
    Options start = last;
    start.format = formatOf(start.fileName, ePng);
    GraphExportDialog dlg(start, parent);
    for (;;) {
        if (Prompter::instance().execDialog(&dlg) != QDialog::Accepted)
            return false;
        const Options o = dlg.options();
        if (!Prompter::mayReplace(parent, o.fileName))
            continue;
        QString error;
        if (write(plots, o, &error)) {
            last = o;
            return true;
        }
        Prompter::critical(parent, QStringLiteral("Quendrix Langmuir"),
                           QStringLiteral("Cannot write file [%1]\nError code: %2\n").arg(o.fileName, error));
    }
}

void printWithDialog(QWidget* parent, const QList<QwtPlot*>& plots)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dlg(&printer, parent);
    dlg.setWindowTitle(QStringLiteral("Print Graph"));
    if (Prompter::instance().execDialog(&dlg) == QDialog::Accepted)
        print(plots, &printer);
}

} // namespace GraphExport

GraphExportDialog::GraphExportDialog(const GraphExport::Options& start, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Export Graph"));
    setMinimumWidth(460);
    m_file = new QLineEdit(start.fileName);
    auto* browse = new QPushButton(QStringLiteral("Browse..."));
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browse);
    m_format = new QComboBox;
    m_format->addItem(QStringLiteral("PNG image (*.png)"), int(GraphExport::ePng));
    m_format->addItem(QStringLiteral("SVG drawing (*.svg)"), int(GraphExport::eSvg));
    m_format->addItem(QStringLiteral("PDF document (*.pdf)"), int(GraphExport::ePdf));
    m_format->setCurrentIndex(m_format->findData(int(start.format)));
    m_width = new QDoubleSpinBox;
    m_height = new QDoubleSpinBox;
    for (QDoubleSpinBox* b : {m_width, m_height}) {
        b->setRange(20.0, 1000.0);
        b->setDecimals(0);
        b->setSuffix(QStringLiteral(" mm"));
    }
    m_width->setValue(start.widthMm);
    m_height->setValue(start.heightMm);
    m_dpi = new QSpinBox;
    m_dpi->setRange(50, 1200);
    m_dpi->setSuffix(QStringLiteral(" dpi"));
    m_dpi->setValue(start.dpi);
    m_pixels = new QLabel;
    m_fontPt = new QSpinBox;
    m_fontPt->setRange(0, 36);
    m_fontPt->setSuffix(QStringLiteral(" pt"));
    m_fontPt->setSpecialValueText(QStringLiteral("as shown"));
    m_fontPt->setValue(start.fontPt);
    m_lineWidth = new QDoubleSpinBox;
    m_lineWidth->setRange(0.0, 10.0);
    m_lineWidth->setDecimals(1);
    m_lineWidth->setSingleStep(0.5);
    m_lineWidth->setSuffix(QStringLiteral(" pt"));
    m_lineWidth->setSpecialValueText(QStringLiteral("as shown"));
    m_lineWidth->setValue(start.lineWidth);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("File:"), fileRow);
    form->addRow(QStringLiteral("Format:"), m_format);
    form->addRow(QStringLiteral("Width:"), m_width);
    form->addRow(QStringLiteral("Height:"), m_height);
    form->addRow(QStringLiteral("Resolution:"), m_dpi);
    form->addRow(QString(), m_pixels);
    form->addRow(QStringLiteral("Font size:"), m_fontPt);
    form->addRow(QStringLiteral("Line width:"), m_lineWidth);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(QStringLiteral("Export"));
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, &GraphExportDialog::browse);
    connect(m_format, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &GraphExportDialog::formatChanged);
    for (QDoubleSpinBox* b : {m_width, m_height})
        connect(b, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &GraphExportDialog::updatePixels);
    connect(m_dpi, QOverload<int>::of(&QSpinBox::valueChanged), this, &GraphExportDialog::updatePixels);
    connect(m_file, &QLineEdit::textChanged, this, [this] { m_ok->setEnabled(!m_file->text().trimmed().isEmpty()); });
    m_ok->setEnabled(!m_file->text().trimmed().isEmpty());
    updatePixels();
}

GraphExport::Options GraphExportDialog::options() const
{
    GraphExport::Options o;
    // A typed suffix of a known format picks the format; any other name gets
    // the chosen format's suffix, so the file holds what its name says.
    const QString typed = m_file->text().trimmed();
    const auto chosen = GraphExport::Format(m_format->currentData().toInt());
    o.format = GraphExport::formatOf(typed, chosen);
    o.fileName = typed;
    if (!typed.isEmpty() && GraphExport::suffixOf(o.format) != QFileInfo(typed).suffix().toLower())
        o.fileName = typed + QLatin1Char('.') + GraphExport::suffixOf(o.format);
    o.widthMm = m_width->value();
    o.heightMm = m_height->value();
    o.dpi = m_dpi->value();
    o.fontPt = m_fontPt->value();
    o.lineWidth = m_lineWidth->value();
    return o;
}

void GraphExportDialog::browse()
{
    const QString name = Prompter::instance().saveFileName(
        this, QStringLiteral("Export Graph"), m_file->text(),
        QStringLiteral("PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"));
    if (name.isEmpty())
        return;
    const GraphExport::Format f =
        GraphExport::formatOf(name, GraphExport::Format(m_format->currentData().toInt()));
    m_format->setCurrentIndex(m_format->findData(int(f)));
    m_file->setText(GraphExport::withSuffix(name, f));
}

void GraphExportDialog::formatChanged()
{
    // The file name follows the chosen format.
    const GraphExport::Format f = GraphExport::Format(m_format->currentData().toInt());
    const QString name = m_file->text().trimmed();
    const QFileInfo info(name);
    if (!name.isEmpty() && GraphExport::formatOf(name, f) != f)
        m_file->setText(name.left(name.size() - info.suffix().size()) + GraphExport::suffixOf(f));
    updatePixels();
}

void GraphExportDialog::updatePixels()
{
    m_pixels->setText(QStringLiteral("%1 x %2 pixels")
                          .arg(GraphExport::pixels(m_width->value(), m_dpi->value()))
                          .arg(GraphExport::pixels(m_height->value(), m_dpi->value())));
}
