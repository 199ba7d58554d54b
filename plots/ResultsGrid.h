#pragma once
// The results grid of the session window: for each result a radio button
// (the trend shown), its name, value, unit and relative error; the trace
// number; and the navigation rows, "Position" over the frame slider and
// "Time" over the trace slider. It shows what the window gives it.
#include <QWidget>

class FrameNavigator;
class QLabel;
class QRadioButton;
class ResultRecord;

class ResultsGrid : public QWidget
{
    Q_OBJECT
public:
    explicit ResultsGrid(QWidget* parent = nullptr);

    // By quantity number (0 .. 13); null outside.
    QRadioButton* trendButton(int quantity) const;
    FrameNavigator* groupNavigator() const { return m_groupNav; }
    FrameNavigator* traceNavigator() const { return m_traceNav; }

    // Values and relative errors of a record; none: dashes.
    void showRecord(const ResultRecord* result);
    void setTraceNumber(int trace);
    void setPlace(const QString& position, const QString& time);

    QString valueText(int quantity) const;
    QString errorText(int quantity) const;
    QString positionText() const;
    QString timeText() const;

signals:
    // "Copy Results" from the grid's menu.
    void copyRequested();

private:
    QRadioButton* m_trendRadio[14];
    QLabel* m_valueLabel[14];
    QLabel* m_errorLabel[14];
    QLabel* m_traceNumber;
    QLabel* m_positionLabel;
    QLabel* m_timeLabel;
    FrameNavigator* m_groupNav;
    FrameNavigator* m_traceNav;
};
