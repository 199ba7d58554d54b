#include "Prompter.h"

#include <QDesktopServices>
#include <QDialog>
#include <QUrl>
#include <QFileDialog>

namespace {
Prompter g_default;
Prompter* g_current = &g_default;
}

QMessageBox::StandardButton Prompter::message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                              const QString& text, QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton,
                                              const QString& informativeText)
{
    QMessageBox box(icon, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    if (!informativeText.isEmpty())
        box.setInformativeText(informativeText);
    return QMessageBox::StandardButton(box.exec());
}

QString Prompter::openFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList Prompter::openFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                   const QString& filter)
{
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString Prompter::saveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

int Prompter::execDialog(QDialog* dialog)
{
    return dialog->exec();
}

bool Prompter::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

Prompter& Prompter::instance()
{
    return *g_current;
}

void Prompter::setInstance(Prompter* p)
{
    g_current = p ? p : &g_default;
}

void Prompter::critical(QWidget* parent, const QString& title, const QString& text)
{
    instance().message(parent, QMessageBox::Critical, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

void Prompter::warning(QWidget* parent, const QString& title, const QString& text)
{
    instance().message(parent, QMessageBox::Warning, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

void Prompter::information(QWidget* parent, const QString& title, const QString& text)
{
    instance().message(parent, QMessageBox::Information, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

QMessageBox::StandardButton Prompter::question(QWidget* parent, const QString& title, const QString& text,
                                               QMessageBox::StandardButtons buttons,
                                               QMessageBox::StandardButton defaultButton)
{
    return instance().message(parent, QMessageBox::Question, title, text, buttons, defaultButton);
}
