#pragma once
// The main window's state index, its status texts and the alert prefixes.
#include <QString>
#include <QStringList>

namespace AppState {
enum Index {
    eIdle = 0, eConnecting, eSettingUp, eDisconnecting, eCalibrating, eCleaning,
    eReadingIonCurrent, eSimpleInitScan, eSmartInitScan, eDcCorrectionScan, eDataScan,
    eInitLinearDriver, eMovingLinearDriver, eRelaxation, eCount
};
// Status-bar text of a state; empty for an index outside 0..13.
QString text(int index);
} // namespace AppState

namespace AlertPrefix {
extern const char* const ReadSettings;
extern const char* const WriteSettings;
extern const char* const Initialize;
extern const char* const ConnectToScanner;
extern const char* const ConnectScanner;
extern const char* const DisconnectScanner;
extern const char* const CalibrateScanner;
extern const char* const CleanProbe;
extern const char* const ProbeTipAutoClean;
extern const char* const SetScanParameters;
extern const char* const ReadIonCurrent;
extern const char* const SimpleInitScan;
extern const char* const SimpleInitScanWarning;
extern const char* const SmartInitScan;
extern const char* const DcCorrectionScan;
extern const char* const DataScan;
extern const char* const Scan;
extern const char* const SetDefaultVoltage;
extern const char* const ExportData;
extern const char* const Help;
extern const char* const Journal;
} // namespace AlertPrefix

namespace AppInfo {
extern const char* const Title;          // window and message-box title
extern const char* const OrgName;
extern const char* const OrgDomain;
extern const char* const StartupAppName;
extern const char* const AppName;
extern const char* const DocFileName;
extern const char* const DocDirFromProgram; // installed guide, relative to the program's folder
extern const char* const DataDirFromProgram; // installed default files, likewise
extern const char* const BuildTreeMarker;   // written beside the program by the build, never installed
QString version();
QString buildDescription();
} // namespace AppInfo
