#pragma once
// The batch job window: every line of the job, failing ones with their error
// in red, the running one in bold; Abort while the lines run, Close after.
#include <QDialog>
#include <QStringList>

class QAbstractButton;
class QCloseEvent;
class QDialogButtonBox;
class QTextBrowser;

class ScriptDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ScriptDialog(QWidget* parent = nullptr);

    void setLines(const QStringList& lines);
    void setErrors(const QStringList& errors);
    void setLineError(int index, const QString& error);
    void setRunningLine(int index);
    // Abort while running, Close otherwise.
    void setRunning(bool running);
    bool isRunning() const { return m_running; }

    QStringList lines() const { return m_lines; }
    QStringList errors() const { return m_errors; }
    int runningLine() const { return m_runLine; }
    QTextBrowser* browser() const { return m_browser; }
    QAbstractButton* button() const;

    // The rich text of one line as the browser shows it (markup in the line escaped).
    static QString lineHtml(const QString& line, const QString& error, bool running);

signals:
    // Close pressed or the window closed: the job ends.
    void stopScript();
    // Abort pressed: the lines stop, the window stays.
    void abortScript();

public slots:
    void OnButtonPress(QAbstractButton* button);
    // Esc closes the window as its close button does.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void redisplay();

    QTextBrowser* m_browser;
    QDialogButtonBox* m_buttons;
    QStringList m_lines;
    QStringList m_errors;
    int m_runLine = -1;
    bool m_running = false;
};
