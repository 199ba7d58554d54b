#pragma once
// The status bar's message area: the application state's text, the lines
// that sessions and runs add, and the graph cursor's readout, which borrows
// the area and gives back what it covered.
#include <QString>

class QStatusBar;

class StatusLine
{
public:
    explicit StatusLine(QStatusBar* bar) : m_bar(bar) {}

    int state() const { return m_state; }
    // A new state is shown at once and is never replaced by an older text.
    void setState(int state);
    void show(const QString& text);
    void append(const QString& text);
    QString text() const;
    // An empty text ends the readout and shows again what it covered.
    void cursorReadout(const QString& text);

private:
    QStatusBar* m_bar;
    int m_state = 0;
    QString m_beforeCursor;
    bool m_cursorShown = false;
};
