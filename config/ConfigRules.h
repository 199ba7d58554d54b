#pragma once
// The rules that tie fields of the scan configuration record together, as the
// configuration panel applies them on each edit. Each returns the text of the
// explanatory box to show, or an empty string when nothing needs saying.
#include "ConfigParam.h"

#include <QString>

namespace ConfigRules {

// The ion current and initial scans are skipped (the run tests these two).
bool prescansDisabled(const ConfigParam& c);

// "Optimize Scan Voltages" / "Optimize Current Range" turned on: when all
// prescans are disabled that is overridden (the three flags are cleared).
QString setOptimizeScanVoltages(ConfigParam& c, bool on);
QString setOptimizeCurrentRange(ConfigParam& c, bool on);

// "Disable all prescan measurements": refused while an optimisation is on
// (the three flags stay cleared); otherwise the three flags follow.
QString setPrescansDisabled(ConfigParam& c, bool on);

// Automatic cleaning overrides the external trigger (switched off) ...
QString setAutoClean(ConfigParam& c, bool on);
// ... and the trigger is refused while automatic cleaning is on.
QString setExternalTrigger(ConfigParam& c, bool on);

// Time-resolved runs do not optimise voltages: says so when switching to them.
QString setSyncMode(ConfigParam& c, bool timeResolved);

// Controls that the prescans would otherwise set are the user's to set.
bool voltagesEditable(const ConfigParam& c);
bool currentRangeEditable(const ConfigParam& c);

} // namespace ConfigRules
