#pragma once
// The data of one session: header, configuration and analysis-settings snapshots, the
// EEPF table and the scans grouped into frames. Owned by the session window; filled by
// the measurement sequence and the session-file reader; analysed in place.

#include "AnalysisDriver.h"
#include "ConfigParam.h"
#include "SessionConfig.h"
#include "EepfTable.h"
#include "LangmuirSettings.h"
#include "ScanRecord.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVector>
#include <memory>

class QIODevice;

class DataAnalyzer : public QObject {
    Q_OBJECT
public:
    explicit DataAnalyzer(QObject* parent = nullptr);
    ~DataAnalyzer() override;

    // Where a scan was filed.
    struct Location {
        int group = -1;
        int index = -1;
    };
    // Files the scan into the group its type and position or time select (copied in).
    Location addScan(const ScanRecord& scan);
    int groupCount() const { return groups_.size(); }
    // The scans of a group; an index outside the session gives an empty list.
    const QVector<ScanRecord>& scansOfGroup(int group) const;
    const ScanGroup* group(int index) const;
    // A scan for writing, or nullptr outside the session.
    ScanRecord* scan(int group, int index);
    int scanCount() const;
    // Removes all groups and scans.
    void clearScans();
    // Removes the scans at `locations` that are the last of their groups (a
    // run's records that never received data), and groups left empty.
    void removeLastScans(const QVector<Location>& locations);

    QString deviceID() const { return deviceID_; }
    void setDeviceID(const QString& id) { deviceID_ = id; }
    QString comment() const { return comment_; }
    void setComment(const QString& c) { comment_ = c; }
    QString fileName() const { return fileName_; }
    void setFileName(const QString& f) { fileName_ = f; }

    // The configuration in force: the session's active record (single-probe
    // until the probe mode selects the double-probe one).
    const ConfigParam& configuration() const { return configs_.active(); }
    ConfigParam& configuration() { return configs_.active(); }
    // Copies `c` into the record of its probe mode and makes that record active.
    void setConfiguration(const ConfigParam& c) { configs_.assign(c); }
    // Both records of the session, its probe mode and a run's working copy.
    SessionConfig& configs() { return configs_; }
    const SessionConfig& configs() const { return configs_; }
    ScanAnalysisConfig analysisConfig() const;

    const LangmuirSettings& analysisSettings() const { return settings_; }
    void setAnalysisSettings(const LangmuirSettings& s) { settings_ = s; }
    const EepfTable& eepfTable() const { return table_; }
    void setEepfTable(const EepfTable& t) { table_ = t; }

    // Prepare and analyse every scan with the session's settings, table and configuration.
    // threads <= 0: as many as the machine has; results do not depend on the count.
    void analyseAll(int threads = 0);
    // One scan; indices outside the session do nothing.
    void analyseScan(int group, int index);

    // A save wrote every scan the session holds now (its window's save, a job's
    // save line); scans filed later are unsaved.
    void markSaved();
    int unsavedScans() const { return scanCount() - savedScans_; }

signals:
    void updateProbeConfig(QMap<QString, QString>& map, int probeType);
    void saved();

private:
    QString deviceID_, comment_, fileName_;
    SessionConfig configs_;
    LangmuirSettings settings_;
    EepfTable table_;
    QVector<ScanGroup> groups_;
    int savedScans_ = 0;
    // Index of the first group with each temporal position and position, beside the ordered
    // list, so that filing a scan takes constant time however many groups there are.
    QHash<quint64, int> firstByTime_, firstByPosition_;
};
