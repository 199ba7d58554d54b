#ifndef SAVEFILE_H
#define SAVEFILE_H

// Finishing a QSaveFile safely. QSaveFile::commit() alone replaces the target
// even when the last buffered block could not be written (a full disk leaves a
// truncated file), because it ignores the failure of its own final flush.

#include <QSaveFile>

namespace SaveFile {

// Flushes, checks every error state and only then replaces the target.
// On failure the temporary file is discarded and the target is untouched.
inline bool commitChecked(QSaveFile &file)
{
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        file.commit(); // discards the temporary file
        return false;
    }
    return file.commit();
}

} // namespace SaveFile

#endif // SAVEFILE_H
