#pragma once
// What the measurement procedures need from whoever runs them (the main
// window, a batch job, a test): the alert list, the state index and its text,
// message boxes, the application log, event processing and a monotonic clock.
// Nothing here needs a widget; HeadlessSeam records everything.
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

class MeasurementSeam
{
public:
    virtual ~MeasurementSeam() = default;

    // The alert list: lines with their prefix ("[ERROR] Scan: ...").
    virtual void alert(const QString& line) = 0;
    virtual QStringList alerts() const = 0;
    virtual void clearAlerts() = 0;

    // State index (status text shown by the host) and an addition to its text
    // (" (to position 5[mm])").
    virtual void setState(int state) = 0;
    virtual void appendStateText(const QString& text) = 0;

    // Boxes; question() is true for Yes.
    virtual void critical(const QString& title, const QString& text) = 0;
    virtual void information(const QString& title, const QString& text) = 0;
    virtual bool question(const QString& title, const QString& text) = 0;

    // The application log.
    virtual void log(const QStringList& lines) = 0;

    // Keeps the host live during waits (Abort arrives here).
    virtual void processEvents() = 0;
    // One slice of a wait.
    virtual void sleepMs(int ms) = 0;
    // Monotonic milliseconds (scan clock, last-clean clock).
    virtual qint64 nowMs() = 0;
};

// A seam without a window: alerts, states, boxes and log lines are kept for the
// caller; waits sleep for real; boxes answer `questionAnswer`.
class HeadlessSeam : public MeasurementSeam
{
public:
    HeadlessSeam() { m_clock.start(); }

    void alert(const QString& line) override { m_alerts.append(line); }
    QStringList alerts() const override { return m_alerts; }
    void clearAlerts() override { m_alerts.clear(); }
    void setState(int state) override
    {
        m_state = state;
        states.append(state);
        stateText.clear();
    }
    void appendStateText(const QString& text) override { stateText += text; stateTexts.append(text); }
    void critical(const QString& title, const QString& text) override { boxes.append(title + QLatin1Char('|') + text); }
    void information(const QString& title, const QString& text) override
    {
        boxes.append(title + QLatin1Char('|') + text);
    }
    bool question(const QString& title, const QString& text) override
    {
        boxes.append(title + QLatin1Char('|') + text);
        return questionAnswer;
    }
    void log(const QStringList& lines) override { logLines += lines; }
    void processEvents() override;
    void sleepMs(int ms) override;
    qint64 nowMs() override { return m_clock.elapsed(); }

    int state() const { return m_state; }

    QList<int> states;
    QString stateText;
    QStringList stateTexts;
    QStringList boxes;
    QStringList logLines;
    bool questionAnswer = false;

private:
    QElapsedTimer m_clock;
    QStringList m_alerts;
    int m_state = 0;
};
