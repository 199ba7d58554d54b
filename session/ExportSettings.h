#ifndef EXPORTSETTINGS_H
#define EXPORTSETTINGS_H

// The export choices (sections, separator) and their settings file
// ".settings/ExportSettings.xml". The export dialog edits one of these;
// the section writers read it.

#include <QString>

class QIODevice;

struct ExportSettings {
    QString separator = QStringLiteral(";");
    bool header = true;
    bool results = false;
    bool eepf = false;
    bool ivData = true;
    bool derivative = false;
    bool secondDerivative = false;
    bool doubleProbeCorrected = false;
    bool errors = false;
    bool electronCurrent = false;
    bool doubleProbeSession = false; // from the session, never stored

    static QString defaultFileName() { return QStringLiteral(".settings/ExportSettings.xml"); }

    // Keys present set their field; absent keys keep the current values.
    // False when the file is missing, unreadable or its root is not "settings".
    bool load(const QString &fileName = defaultFileName());
    bool read(QIODevice &device);

    // Writes through a temporary file and replaces; the folder is created when missing.
    bool save(const QString &fileName = defaultFileName()) const;
    bool write(QIODevice &device) const;

    bool operator==(const ExportSettings &o) const;
};

#endif // EXPORTSETTINGS_H
