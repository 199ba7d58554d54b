#pragma once
// Help-menu dialogs: hardware information and about.
#include <QDialog>

class Alerts;
class QPlainTextEdit;
class VeskbDescriptor;

class HardwareInfoDialog : public QDialog
{
    Q_OBJECT
public:
    HardwareInfoDialog(const QString& text, QWidget* parent = nullptr);
    QString text() const;

private:
    QPlainTextEdit* m_text;
};

class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

namespace HelpMenu {
// Help > Help: the user guide in a viewer, looked for in the working folder
// first; what fails becomes an alert.
void openUserGuide(QWidget* parent, Alerts& alerts);
// Help > Hardware Info: the text the dialog shows.
QString hardwareInfoText(const VeskbDescriptor& descriptor, bool advanced);
} // namespace HelpMenu
