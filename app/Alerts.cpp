#include "Alerts.h"

#include "AppImages.h"
#include "AppLog.h"
#include "AppState.h"
#include "Prompter.h"
#include "RIRavaVCntrl.h"

#include <QPushButton>

Alerts::Alerts(QWidget* window, const VeskbDescriptor* descriptor)
    : QObject(nullptr), m_window(window), m_descriptor(descriptor)
{
    m_button = new QPushButton(window);
    m_button->setFlat(true);
    m_button->setIcon(AppImages::warningIcon());
    m_button->setIconSize(QSize(12, 12));
    m_button->setStatusTip("System alert. Click for more details.");
    m_button->setToolTip("System alert. Click for more details.");
    m_button->hide();
    connect(m_button, &QPushButton::clicked, this, &Alerts::show);
}

void Alerts::add(const char* prefix, const QString& message)
{
    append(QString::fromLatin1(prefix) + message);
}

void Alerts::append(const QString& line)
{
    m_list.append(line);
    m_button->setVisible(true);
}

void Alerts::refreshButton()
{
    m_button->setVisible(!m_list.isEmpty());
}

void Alerts::show()
{
    Prompter::warning(m_window, QString::fromLatin1(AppInfo::Title), m_list.join("\n"));
}

void Alerts::log(const QString& line)
{
    if (AppLog* log = AppLog::instance(m_window, m_descriptor->apiVersion, m_descriptor->apiDescription))
        log->log(line);
}

void Alerts::log(const QStringList& lines)
{
    if (AppLog* log = AppLog::instance(m_window, m_descriptor->apiVersion, m_descriptor->apiDescription))
        log->log(lines);
}
