#include "InfoDialogs.h"

#include "Alerts.h"
#include "AppImages.h"
#include "AppState.h"
#include "AppText.h"
#include "Prompter.h"
#include "RIRavaVCntrl.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

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

namespace HelpMenu {

void openUserGuide(QWidget* parent, Alerts& alerts)
{
    // The working folder first; an installed program keeps the guide with its
    // documentation, not in the folder it works in.
    const QString doc = QString::fromLatin1(AppInfo::DocFileName);
    QString found;
    for (const QString& path : AppText::guideCandidates(doc, QDir::currentPath(),
                                                        QCoreApplication::applicationDirPath(),
                                                        QString::fromLatin1(AppInfo::DocDirFromProgram))) {
        if (QFileInfo::exists(path)) {
            found = path;
            break;
        }
    }
    if (found.isEmpty()) {
        qDebug() << "Unable to find file";
        alerts.add(AlertPrefix::Help, QStringLiteral("Failed to find documentation file '%1'.").arg(doc));
        return;
    }
    if (!Prompter::instance().openUrl(QUrl::fromLocalFile(found))) {
        alerts.add(AlertPrefix::Help, QStringLiteral("Failed to open '%1' file.").arg(doc));
        // Without a viewer the alert alone leaves the user nowhere: say where the guide is.
        Prompter::information(parent, QString::fromLatin1(AppInfo::Title),
                              QStringLiteral("No program could open the user guide. It is here:\n%1")
                                  .arg(QDir::toNativeSeparators(found)));
    }
}

QString hardwareInfoText(const VeskbDescriptor& descriptor, bool advanced)
{
    QString text = QStringLiteral(
        "\n--------------------------------  QUENDRIX LANGMUIR SOFTWARE  --------------------------------\n\n");
    text += QStringLiteral("SOFTWARE VERSION:\t%1\n").arg(AppInfo::version());
    if (advanced)
        text += QStringLiteral("SOFTWARE DESCRIPTION:\t%1\n").arg(AppInfo::buildDescription());
    text += descriptor.toString(advanced);
    return text;
}

} // namespace HelpMenu
