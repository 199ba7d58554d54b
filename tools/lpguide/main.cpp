// lpguide: renders the user guide, Markdown chapters in docs/guide, to one PDF.
// Each chapter starts on a new page; pictures are found relative to the
// chapter's folder, or with --images DIR, images/NAME.png is DIR/NAME.png (the
// build's fresh renders). Usage: lpguide [--images DIR] OUT.pdf CHAPTER.md...
#include <QDir>
#include <QFile>
#include <QImage>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>
#include <QUrl>

namespace {

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

// Pictures get absolute file names (print() lays out a copy of the document
// that no longer knows the chapters' folder) and, when wider than the text,
// are scaled down to the text width.
bool fitImages(QTextDocument& doc, const QString& baseDir, const QString& imageDir, qreal textWidth)
{
    bool ok = true;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextFragment f = it.fragment();
            if (!f.isValid() || !f.charFormat().isImageFormat())
                continue;
            QTextImageFormat img = f.charFormat().toImageFormat();
            const QString rel = QUrl(img.name()).path();
            const QString path = !imageDir.isEmpty() && rel.startsWith(QLatin1String("images/"))
                                     ? QDir(imageDir).absoluteFilePath(rel.mid(7))
                                     : QDir(baseDir).absoluteFilePath(rel);
            const QImage image(path);
            if (image.isNull()) {
                err() << "lpguide: cannot read picture " << path << "\n";
                ok = false;
                continue;
            }
            const qreal w = qMin<qreal>(textWidth, image.width());
            img.setName(QUrl::fromLocalFile(path).toString());
            img.setWidth(w);
            img.setHeight(w * image.height() / image.width());
            doc.addResource(QTextDocument::ImageResource, QUrl(img.name()), image);
            QTextCursor c(&doc);
            c.setPosition(f.position());
            c.setPosition(f.position() + f.length(), QTextCursor::KeepAnchor);
            c.setCharFormat(img);
        }
    }
    return ok;
}

// Code spans and blocks in a monospaced font on a light background; the
// importer only marks them fixed-pitch, which the offscreen fonts ignore.
void styleCode(QTextDocument& doc)
{
    const QString mono = QStringLiteral("DejaVu Sans Mono");
    const QString fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const bool codeBlock = b.blockFormat().hasProperty(QTextFormat::BlockCodeLanguage);
        if (codeBlock) {
            QTextCursor c(b);
            QTextBlockFormat bf = b.blockFormat();
            bf.setBackground(QColor(0xf2, 0xf2, 0xf2));
            bf.setLeftMargin(12);
            c.setBlockFormat(bf);
        }
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.isValid() || !(codeBlock || f.charFormat().fontFamily() == fixed))
                continue;
            QTextCharFormat cf;
            cf.setFontFamily(mono);
            cf.setFontPointSize(9);
            QTextCursor c(&doc);
            c.setPosition(f.position());
            c.setPosition(f.position() + f.length(), QTextCursor::KeepAnchor);
            c.mergeCharFormat(cf);
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    QString imageDir;
    if (args.size() > 1 && args.first() == QLatin1String("--images")) {
        imageDir = args.at(1);
        args = args.mid(2);
    }
    if (args.size() < 2 || args.first().startsWith(QLatin1Char('-'))) {
        err() << "usage: lpguide [--images DIR] OUT.pdf CHAPTER.md...\n";
        return 2;
    }

    QString markdown;
    QString baseDir;
    QStringList titles;
    for (const QString& name : args.mid(1)) {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
            err() << "lpguide: cannot read " << name << ": " << f.errorString() << "\n";
            return 1;
        }
        const QString text = QString::fromUtf8(f.readAll());
        for (const QString& line : text.split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("# "))) {
                titles << line.mid(2).trimmed();
                break;
            }
        markdown += text + QStringLiteral("\n\n");
        baseDir = QFileInfo(name).absolutePath();
    }
    // A title page with the contents, taken from the chapters themselves so
    // that it cannot fall behind them.
    QString front = QStringLiteral("# Quendrix Langmuir\n\n**Installation and User Guide**\n\n"
                                   "for lpmeasure %1\n\n## Contents\n\n")
                        .arg(QStringLiteral(LP_VERSION));
    for (int i = 0; i < titles.size(); ++i)
        front += QStringLiteral("%1. %2\n").arg(i + 1).arg(titles[i]);
    markdown = front + QStringLiteral("\n\n") + markdown;

    QPdfWriter pdf(args.first());
    pdf.setTitle(QStringLiteral("Quendrix Langmuir - Installation and User Guide"));
    pdf.setCreator(QStringLiteral("lpguide"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(300);

    QTextDocument doc;
    doc.setBaseUrl(QUrl::fromLocalFile(baseDir + QLatin1Char('/')));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    doc.setDefaultFont(font);
    doc.setDefaultStyleSheet(QStringLiteral("code, pre { font-family: 'DejaVu Sans Mono'; }"));
    doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);

    styleCode(doc);
    // A chapter (a first-level heading) starts a page; the first one needs none.
    int chapters = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b.blockFormat().headingLevel() != 1)
            continue;
        if (chapters++ > 0) {
            QTextCursor c(b);
            QTextBlockFormat fmt = b.blockFormat();
            fmt.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            c.setBlockFormat(fmt);
        }
    }
    // Image sizes count in screen pixels (96 per inch), which print() scales to
    // the writer's resolution; the text is about 160 mm wide.
    if (!fitImages(doc, baseDir, imageDir, 160.0 / 25.4 * 96.0))
        return 1;
    doc.print(&pdf);
    QTextStream(stdout) << "lpguide: " << args.first() << ": " << chapters << " chapters\n";
    return chapters > 0 ? 0 : 1;
}
