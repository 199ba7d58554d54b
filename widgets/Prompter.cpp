#include "Prompter.h"

#include "AppState.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
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
    // The callers ask before replacing, once the name is final.
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr, QFileDialog::DontConfirmOverwrite);
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

bool Prompter::mayReplace(QWidget* parent, const QString& fileName)
{
    if (!QFileInfo::exists(fileName))
        return true;
    return instance().message(parent, QMessageBox::Warning, QString::fromLatin1(AppInfo::Title),
                              QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                  .arg(QDir::toNativeSeparators(fileName)),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}
