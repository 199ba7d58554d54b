#include "SessionConfig.h"

SessionConfig::SessionConfig() = default;

SessionConfig::SessionConfig(const SingleProbeConfigParam &single, const DoubleProbeConfigParam &dbl)
    : m_single(single), m_double(dbl)
{
}

SessionConfig::SessionConfig(const SessionConfig &o)
    : m_single(o.m_single), m_double(o.m_double), m_doubleActive(o.m_doubleActive),
      m_working(o.m_working ? o.m_working->clone() : nullptr)
{
}

SessionConfig &SessionConfig::operator=(const SessionConfig &o)
{
    if (this != &o) {
        m_single = o.m_single;
        m_double = o.m_double;
        m_doubleActive = o.m_doubleActive;
        m_working = o.m_working ? o.m_working->clone() : nullptr;
    }
    return *this;
}

void SessionConfig::seed(const SingleProbeConfigParam &single, const DoubleProbeConfigParam &dbl)
{
    const int mode = probeMode();
    m_single = single;
    m_double = dbl;
    setProbeMode(mode);
}

void SessionConfig::setProbeMode(int swProbeMode)
{
    m_doubleActive = isDoubleProbeMode(swProbeMode);
    ConfigParam &c = active();
    c.probeMode = swProbeMode;
    c.useDoubleProbe = m_doubleActive;
}

ConfigParam &SessionConfig::active()
{
    return m_doubleActive ? static_cast<ConfigParam &>(m_double) : static_cast<ConfigParam &>(m_single);
}

const ConfigParam &SessionConfig::active() const
{
    return m_doubleActive ? static_cast<const ConfigParam &>(m_double)
                          : static_cast<const ConfigParam &>(m_single);
}

void SessionConfig::assign(const ConfigParam &c)
{
    m_doubleActive = isDoubleProbeMode(c.probeMode);
    active() = c;
}

ConfigParam &SessionConfig::refreshWorkingCopy()
{
    m_working = active().clone();
    return *m_working;
}

ConfigParam &SessionConfig::workingCopy()
{
    return m_working ? *m_working : refreshWorkingCopy();
}

void SessionConfig::readSettings(QSettings &store)
{
    const int mode = probeMode();
    m_single.readSettings(store);
    m_double.readSettings(store);
    setProbeMode(mode);
}

void SessionConfig::writeSettings(QSettings &store) const
{
    m_single.writeSettings(store);
    m_double.writeSettings(store);
}
