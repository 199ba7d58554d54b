#pragma once
// Help-menu dialogs: hardware information and about.
#include <QDialog>

class QPlainTextEdit;

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
