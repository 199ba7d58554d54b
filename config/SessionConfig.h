#ifndef SESSIONCONFIG_H
#define SESSIONCONFIG_H

// The configuration records one session owns: a single-probe and a
// double-probe record, copied from the program-wide pair when the session is
// made, the one matching the session's probe mode active, and the working
// copy a run reads. The panel edits active(); a run calls
// refreshWorkingCopy() at its start and before each cleaning and then may
// change workingCopy() (for example its data-scan voltages) without the
// panel's record changing.

#include "ConfigParam.h"

#include <memory>

class QSettings;

class SessionConfig
{
public:
    SessionConfig();
    SessionConfig(const SingleProbeConfigParam &single, const DoubleProbeConfigParam &dbl);
    SessionConfig(const SessionConfig &o);
    SessionConfig &operator=(const SessionConfig &o);

    // Replaces both records (the program-wide pair when a session is made);
    // the probe mode stays.
    void seed(const SingleProbeConfigParam &single, const DoubleProbeConfigParam &dbl);

    // Double and Mach probes use the double-probe record.
    static bool isDoubleProbeMode(int swProbeMode) { return swProbeMode == 3 || swProbeMode == 5; }

    // The software probe mode (0, 1, 3, 4, 5); choosing it picks the active
    // record and writes the mode into it.
    int probeMode() const { return active().probeMode; }
    void setProbeMode(int swProbeMode);
    bool isDoubleProbe() const { return m_doubleActive; }

    ConfigParam &active();
    const ConfigParam &active() const;
    SingleProbeConfigParam &single() { return m_single; }
    const SingleProbeConfigParam &single() const { return m_single; }
    DoubleProbeConfigParam &doubleProbe() { return m_double; }
    const DoubleProbeConfigParam &doubleProbe() const { return m_double; }

    // Copies every field of `c` into the record its probe mode selects and
    // makes that record active (a session read from a file).
    void assign(const ConfigParam &c);

    // A run's copy of the active record, taken now.
    ConfigParam &refreshWorkingCopy();
    // The copy taken at the last refresh (taken now if there was none).
    ConfigParam &workingCopy();

    // Both records in their settings-store groups.
    void readSettings(QSettings &store);
    void writeSettings(QSettings &store) const;

private:
    SingleProbeConfigParam m_single;
    DoubleProbeConfigParam m_double;
    bool m_doubleActive = false;
    std::unique_ptr<ConfigParam> m_working;
};

#endif // SESSIONCONFIG_H
