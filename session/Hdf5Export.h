#pragma once
// The HDF5 export of a whole session (one file per session): header attributes, typed
// configuration and analysis settings, the EEPF table, every scan's curves with their
// results, a results table, and a `units` attribute on every dataset and result.
// Called by the session window's File menu and by lpanalyse.

#include <QString>

class DataAnalyzer;

namespace Hdf5Export {

// Writes the session to `fileName` through a temporary file in the same folder that replaces
// it only when complete, so a failure never leaves a partial file where a good one stood.
// False with `errorText` (if given) on failure.
bool writeFile(const DataAnalyzer& session, const QString& fileName, QString* errorText = nullptr);

} // namespace Hdf5Export
