#pragma once
// A Prompter for tests: answers from queues and records what was asked.
#include "Prompter.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <QUrl>
#include <functional>

class ScriptedPrompter : public Prompter
{
public:
    struct Asked {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QString informative;
    };

    QList<QMessageBox::StandardButton> answers; // front is used first
    QMessageBox::StandardButton fallback = QMessageBox::Ok;
    QStringList openNames;
    QList<QStringList> openNameLists; // answers of the multiple-file dialog
    QStringList saveNames;
    QList<std::function<int(QDialog*)>> dialogHandlers;
    std::function<void()> onMessage; // called as each message is asked, before it is answered

    QList<Asked> asked;
    QStringList fileCaptions;
    QStringList fileStarts; // what each save dialog started with
    QStringList dialogTitles;
    QList<QUrl> openedUrls;
    bool openUrlResult = true;

    QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton def,
                                        const QString& informative) override
    {
        asked.append({icon, title, text, informative});
        if (onMessage)
            onMessage();
        if (!answers.isEmpty())
            return answers.takeFirst();
        if (buttons.testFlag(fallback))
            return fallback;
        return def != QMessageBox::NoButton ? def : fallback;
    }
    QString openFileName(QWidget*, const QString& caption, const QString&, const QString&) override
    {
        fileCaptions.append(caption);
        return openNames.isEmpty() ? QString() : openNames.takeFirst();
    }
    QStringList openFileNames(QWidget*, const QString& caption, const QString&, const QString&) override
    {
        fileCaptions.append(caption);
        return openNameLists.isEmpty() ? QStringList() : openNameLists.takeFirst();
    }
    QString saveFileName(QWidget*, const QString& caption, const QString& start, const QString&) override
    {
        fileCaptions.append(caption);
        fileStarts.append(start);
        return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
    }
    int execDialog(QDialog* d) override
    {
        dialogTitles.append(d->windowTitle());
        if (dialogHandlers.isEmpty())
            return QDialog::Rejected;
        return dialogHandlers.takeFirst()(d);
    }
    bool openUrl(const QUrl& url) override
    {
        openedUrls.append(url);
        return openUrlResult;
    }
    QStringList texts() const
    {
        QStringList t;
        for (const Asked& a : asked)
            t << a.text;
        return t;
    }
};
