#include "RunRedraw.h"

#include "DataAnalyzer.h"

#include <QElapsedTimer>
#include <QTimer>
#include <utility>

RunRedraw::RunRedraw(DataAnalyzer* data, QObject* parent) : QObject(parent), m_data(data), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(kRedrawMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        analysePending();
        emit redraw();
    });
}

void RunRedraw::begin()
{
    m_active = true;
    m_group = -1;
    m_newest = -1;
    m_userMoved = false;
}

void RunRedraw::end()
{
    m_active = false;
    m_timer->stop();
    analysePending();
}

void RunRedraw::userMoved()
{
    if (m_active)
        m_userMoved = true;
}

bool RunRedraw::follow(int* group, int* index) const
{
    if (m_userMoved || m_group < 0 || m_newest < 0)
        return false;
    *group = m_group;
    *index = m_newest;
    return true;
}

void RunRedraw::filed(int group, int index)
{
    // The newest record of the run is the last one filed.
    if (group != m_group || index >= m_newest) {
        m_group = group;
        m_newest = index;
    }
    if (!m_timer->isActive())
        m_timer->start();
}

void RunRedraw::changed(int group, int index)
{
    const QPair<int, int> at(group, index);
    if (!m_pending.contains(at))
        m_pending.append(at);
    filed(group, index);
}

void RunRedraw::analysePending()
{
    for (const QPair<int, int>& at : std::exchange(m_pending, {})) {
        QElapsedTimer t;
        t.start();
        m_data->analyseScan(at.first, at.second);
        m_analysisUs = t.nsecsElapsed() / 1000.0;
    }
}
