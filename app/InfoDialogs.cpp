#include "InfoDialogs.h"

#include "AppImages.h"
#include "AppState.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

HardwareInfoDialog::HardwareInfoDialog(const QString& text, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QString::fromLatin1(AppInfo::Title));
    m_text = new QPlainTextEdit(text);
    m_text->setReadOnly(true);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(m_text);
    lay->addWidget(buttons);
    // Sized to the contents.
    const QFontMetrics fm(m_text->font());
    int w = 0;
    const QStringList lines = text.split('\n');
    for (const QString& l : lines)
        w = std::max(w, fm.horizontalAdvance(l));
    resize(std::min(w + 60, 1000), std::min(int(lines.size()) * fm.lineSpacing() + 90, 800));
}

QString HardwareInfoDialog::text() const
{
    return m_text->toPlainText();
}

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About %1").arg(QString::fromLatin1(AppInfo::Title)));
    auto* logo = new QLabel;
    logo->setPixmap(AppImages::logo(QSize(300, 120)));
    logo->setAutoFillBackground(true);
    QPalette p = logo->palette();
    p.setColor(QPalette::Window, QColor(22, 44, 82));
    logo->setPalette(p);
    logo->setAlignment(Qt::AlignCenter);
    auto* text = new QLabel(QStringLiteral("<h3>%1</h3><p>Langmuir-probe plasma diagnostics.</p>"
                                           "<p>Software version %2</p><p><small>%3</small></p>")
                                .arg(QString::fromLatin1(AppInfo::Title), AppInfo::version(),
                                     AppInfo::buildDescription()));
    text->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(logo);
    lay->addWidget(text);
    lay->addWidget(buttons);
}
