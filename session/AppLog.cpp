#include "AppLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

QPointer<AppLog> AppLog::s_instance;
bool AppLog::s_enabled = true;

AppLog *AppLog::instance(QObject *owner, const QString &apiVersion, const QString &apiDescription)
{
    // A logger destroyed with its owner is made anew rather than left dangling.
    if (!s_instance)
        s_instance = new AppLog(QDir::currentPath(), apiVersion, apiDescription, owner);
    return s_instance;
}

void AppLog::setEnabled(bool on) { s_enabled = on; }
bool AppLog::isEnabled() { return s_enabled; }

QString AppLog::softwareVersion()
{
    return QStringLiteral(LP_VERSION);
}

QString AppLog::softwareDescription()
{
#if defined(__clang__)
    const QString compiler = QStringLiteral("Clang %1.%2.%3").arg(__clang_major__).arg(__clang_minor__).arg(__clang_patchlevel__);
#elif defined(__GNUC__)
    const QString compiler = QStringLiteral("GCC %1.%2.%3").arg(__GNUC__).arg(__GNUC_MINOR__).arg(__GNUC_PATCHLEVEL__);
#else
    const QString compiler = QStringLiteral("unknown compiler");
#endif
    return QStringLiteral("Qt %1, %2, built %3 %4")
        .arg(QLatin1String(QT_VERSION_STR), compiler, QLatin1String(__DATE__), QLatin1String(__TIME__));
}

AppLog::AppLog(const QString &folder, const QString &apiVersion, const QString &apiDescription,
               QObject *parent)
    : QObject(parent), m_apiVersion(apiVersion), m_apiDescription(apiDescription)
{
    startUp(folder);
}

void AppLog::startUp(const QString &folder)
{
    m_fileName.clear();
    if (!s_enabled)
        return;

    const QDir dir(folder);
    // Time-stamped names sort by age: the first in descending order is the newest.
    const QFileInfoList logs = dir.entryInfoList({QStringLiteral("vesk_*.log")},
                                                 QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                                                 QDir::Name | QDir::Reversed);
    QString name;
    if (!logs.isEmpty() && logs.first().size() <= reuseLimitBytes)
        name = logs.first().absoluteFilePath();
    else
        name = dir.absoluteFilePath(
            QStringLiteral("vesk_%1.log").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss"))));

    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    m_fileName = name;

    const QString stars(71, QLatin1Char('*'));
    QString banner;
    banner += QStringLiteral("\n\n************************ Logged by VESK Logger ************************\n");
    banner += QStringLiteral("\tSoftware Version: ") + softwareVersion() + QLatin1Char('\n');
    banner += QStringLiteral("\tSoftware Description: ") + softwareDescription() + QLatin1Char('\n');
    banner += QStringLiteral("\tAPI Version: ") + m_apiVersion + QLatin1Char('\n');
    banner += QStringLiteral("\tAPI Description: ") + m_apiDescription + QLatin1Char('\n');
    // Month names in English whatever the user's locale.
    banner += QStringLiteral("\tLog Creation Date: %1\n")
                  .arg(QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("MMM dd yyyy hh:mm:ss")));
    banner += stars + QLatin1Char('\n');
    file.write(banner.toLocal8Bit());
    file.close();
}

void AppLog::log(const QString &text)
{
    append(QStringList{text});
}

void AppLog::log(const QStringList &lines)
{
    append(lines);
}

void AppLog::append(const QStringList &texts)
{
    if (m_fileName.isEmpty())
        return;
    // Opened and closed per call so that every entry reaches the disk at once.
    QFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    for (const QString &t : texts) {
        QByteArray bytes = t.toLocal8Bit();
        if (!bytes.endsWith('\n'))
            bytes += '\n';
        file.write(bytes);
    }
    file.close();
}
