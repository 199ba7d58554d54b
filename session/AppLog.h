#ifndef APPLOG_H
#define APPLOG_H

// The application's plain-text log of measurement runs, "vesk_<time stamp>.log"
// in the working folder. One process-wide instance, created by the main window.
// Every file error is silent: the entry is dropped.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class AppLog : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 reuseLimitBytes = 102400;

    // The first call creates the logger as a child of owner and chooses its file;
    // later calls return the same logger. The API texts come from the controller library.
    static AppLog *instance(QObject *owner = nullptr, const QString &apiVersion = QString(),
                            const QString &apiDescription = QString());

    // Process-wide switch, on by default; consulted when a logger starts.
    static void setEnabled(bool on);
    static bool isEnabled();

    static QString softwareVersion();
    static QString softwareDescription();

    // A logger on the given folder, for callers that need their own (tests, tools).
    AppLog(const QString &folder, const QString &apiVersion, const QString &apiDescription,
           QObject *parent = nullptr);

    void log(const QString &text);
    void log(const QStringList &lines);

    QString fileName() const { return m_fileName; }

private:
    void startUp(const QString &folder);
    void append(const QStringList &texts);

    QString m_fileName;
    QString m_apiVersion;
    QString m_apiDescription;

    static QPointer<AppLog> s_instance;
    static bool s_enabled;
};

#endif // APPLOG_H
