// A session window filled with one frame of synthetic scans, and redrawn.
#pragma once

#include "PlotManager.h"
#include "SessionMaker.h"

// `points` 0: the maker's own number of points.
inline void fillSession(PlotManager& pm, int scans, int points = 0)
{
    SessionMaker::Options o;
    o.scansPerGroup = scans;
    if (points > 0)
        o.points = points;
    SessionMaker::fill(*pm.data(), o);
    pm.refreshAll();
}
