#include "StatusLine.h"

#include "AppState.h"

#include <QStatusBar>

void StatusLine::setState(int state)
{
    m_state = state;
    m_cursorShown = false;
    m_bar->showMessage(AppState::text(state));
}

void StatusLine::show(const QString& text)
{
    m_bar->showMessage(text);
}

void StatusLine::append(const QString& text)
{
    m_bar->showMessage(m_bar->currentMessage() + text);
}

QString StatusLine::text() const
{
    return m_bar->currentMessage();
}

void StatusLine::cursorReadout(const QString& text)
{
    if (text.isEmpty()) {
        if (m_cursorShown)
            m_bar->showMessage(m_beforeCursor);
        m_cursorShown = false;
        return;
    }
    if (!m_cursorShown)
        m_beforeCursor = m_bar->currentMessage();
    m_cursorShown = true;
    m_bar->showMessage(text);
}
