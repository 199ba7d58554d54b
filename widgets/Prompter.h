#pragma once
// The one way the application raises message boxes, file dialogs and modal
// dialogs. Tests install their own Prompter to answer them without a user.
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QDialog;
class QUrl;
class QWidget;

class Prompter
{
public:
    virtual ~Prompter() = default;

    virtual QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                                const QString& text, QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton,
                                                const QString& informativeText = QString());
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
    virtual QStringList openFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                      const QString& filter);
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
    // Runs a dialog modally and returns its result code.
    virtual int execDialog(QDialog* dialog);
    // Opens a file or address with the desktop's default program.
    virtual bool openUrl(const QUrl& url);

    static Prompter& instance();
    // nullptr restores the interactive prompter.
    static void setInstance(Prompter* p);

    // Shorthands used throughout the application.
    static void critical(QWidget* parent, const QString& title, const QString& text);
    static void warning(QWidget* parent, const QString& title, const QString& text);
    static void information(QWidget* parent, const QString& title, const QString& text);
    static QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    // Before a file the user named is written: true when it does not exist
    // or the user agrees to replace it (default No). The file dialog asks
    // nothing itself, since a suffix may still be added after it.
    static bool mayReplace(QWidget* parent, const QString& fileName);
};
