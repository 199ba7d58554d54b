#pragma once
// What went wrong, for the user: the alert list behind the status bar's
// warning button, the box that shows it, and the application log's lines.
#include <QObject>
#include <QStringList>

class QPushButton;
class VeskbDescriptor;
class QWidget;

class Alerts : public QObject
{
    Q_OBJECT
public:
    // The log is the application's one log, named after the unit's library.
    Alerts(QWidget* window, const VeskbDescriptor* descriptor);

    // The status bar's warning button (shown while there are alerts).
    QPushButton* button() const { return m_button; }
    // The list itself, for the drive dialog, which adds its own lines.
    QStringList* store() { return &m_list; }
    const QStringList& list() const { return m_list; }
    bool isEmpty() const { return m_list.isEmpty(); }
    QString joined(const QString& separator) const { return m_list.join(separator); }

    void add(const char* prefix, const QString& message);
    void append(const QString& line);
    void clear() { m_list.clear(); }
    // Lines added straight to the list show the button at the next refresh.
    void refreshButton();
    // The warning box with every alert.
    void show();

    void log(const QString& line);
    void log(const QStringList& lines);

private:
    QWidget* m_window;
    const VeskbDescriptor* m_descriptor;
    QStringList m_list;
    QPushButton* m_button;
};
