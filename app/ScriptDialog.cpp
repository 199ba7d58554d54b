#include "ScriptDialog.h"

#include "AppImages.h"
#include "JobScript.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

ScriptDialog::ScriptDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Batch Job"));
    setWindowIcon(AppImages::appIcon());
    m_browser = new QTextBrowser(this);
    m_browser->setReadOnly(true);
    m_browser->setOpenLinks(false);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_buttons->setCenterButtons(true);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(m_browser);
    lay->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::clicked, this, &ScriptDialog::OnButtonPress);
    resize(520, 380);
}

QAbstractButton* ScriptDialog::button() const
{
    const QList<QAbstractButton*> b = m_buttons->buttons();
    return b.isEmpty() ? nullptr : b.first();
}

void ScriptDialog::setLines(const QStringList& lines)
{
    m_lines.clear();
    for (const QString& l : lines)
        m_lines.append(l.trimmed());
    m_errors = QStringList();
    for (int i = 0; i < m_lines.size(); ++i)
        m_errors.append(QString());
    m_runLine = -1;
    redisplay();
}

void ScriptDialog::setErrors(const QStringList& errors)
{
    for (int i = 0; i < m_errors.size(); ++i)
        m_errors[i] = i < errors.size() ? errors[i].trimmed() : QString();
    redisplay();
}

void ScriptDialog::setLineError(int index, const QString& error)
{
    if (index < 0 || index >= m_errors.size())
        return;
    m_errors[index] = error.trimmed();
    redisplay();
}

void ScriptDialog::setRunningLine(int index)
{
    m_runLine = index;
    redisplay();
}

void ScriptDialog::setRunning(bool running)
{
    m_running = running;
    m_buttons->clear();
    m_buttons->addButton(running ? QDialogButtonBox::Abort : QDialogButtonBox::Close);
}

QString ScriptDialog::lineHtml(const QString& line, const QString& error, bool running)
{
    // Job lines and messages are plain text: "<" or "&" must not become markup.
    const QString text = line.toHtmlEscaped();
    if (JobScript::isComment(line)) // never runs, never fails: greyed and set apart
        return QStringLiteral("<font color=\"grey\"><i>%1</i></font>").arg(text);
    if (!error.isEmpty())
        return QStringLiteral("<font color=\"grey\">%1</font> <font color=\"red\"><b><i>%2</i></b></font>")
            .arg(text, error.toHtmlEscaped());
    if (running)
        return QStringLiteral("<a name='run'/><font color=\"black\"><b>%1</b></font>").arg(text);
    return QStringLiteral("<font color=\"grey\">%1</font>").arg(text);
}

void ScriptDialog::redisplay()
{
    m_browser->clear();
    for (int i = 0; i < m_lines.size(); ++i)
        m_browser->append(lineHtml(m_lines[i], m_errors[i], i == m_runLine));
    m_browser->scrollToAnchor(QStringLiteral("run"));
}

void ScriptDialog::OnButtonPress(QAbstractButton* button)
{
    if (m_running && m_buttons->standardButton(button) == QDialogButtonBox::Abort) {
        emit abortScript();
        return;
    }
    emit stopScript();
}

void ScriptDialog::closeEvent(QCloseEvent* event)
{
    qDebug() << "ScriptDialog got close Event";
    emit stopScript();
    QDialog::closeEvent(event);
}

void ScriptDialog::reject()
{
    emit stopScript();
    QDialog::reject();
}
