#include "AppState.h"

#include "ProgramInfo.h"

namespace AppState {
QString text(int index)
{
    static const char* const texts[eCount] = {
        "Idle",
        "Connecting VESK Device...",
        "Setting up VESK Device...",
        "Disconnecting VESK Device...",
        "Calibrating VESK Device...",
        "Cleaning Probe Tip...",
        "Reading Ion Current...",
        "Running Simple Init Scan...",
        "Running Smart Init Scan...",
        "Running DC Correction Scan...",
        "Running Data Scan...",
        "Initiating Linear Driver",
        "Moving Linear Driver...",
        "Waiting for relaxation time to expire...",
    };
    if (index < 0 || index >= eCount)
        return QString();
    return QString::fromLatin1(texts[index]);
}
} // namespace AppState

namespace AlertPrefix {
const char* const ReadSettings = "[ERROR] Read Settings: ";
const char* const WriteSettings = "[ERROR] Write Settings: ";
const char* const Initialize = "[ERROR] Initialize: ";
const char* const ConnectToScanner = "[ERROR] Connect To Scanner: ";
const char* const ConnectScanner = "[ERROR] Connect Scanner: ";
const char* const DisconnectScanner = "[ERROR] Disconnect Scanner: ";
const char* const CalibrateScanner = "[ERROR] Calibrate Scanner: ";
const char* const CleanProbe = "[ERROR] Clean Probe: ";
const char* const ProbeTipAutoClean = "[ERROR] Probe Tip Auto Clean: ";
const char* const SetScanParameters = "[ERROR] Set Scan Parameters: ";
const char* const ReadIonCurrent = "[ERROR] Read Ion Current: ";
const char* const SimpleInitScan = "[ERROR] Simple Init Scan: ";
const char* const SimpleInitScanWarning = "[WARNING] Simple Init Scan: ";
const char* const SmartInitScan = "[ERROR] Smart Init Scan: ";
const char* const DcCorrectionScan = "[ERROR] DC Correction Scan: ";
const char* const DataScan = "[ERROR] Data Scan: ";
const char* const Scan = "[ERROR] Scan: ";
const char* const SetDefaultVoltage = "[ERROR] Set Default Voltage: ";
const char* const ExportData = "[ERROR] Export Data: ";
const char* const Help = "[ERROR] Help: ";
const char* const Journal = "[ERROR] Measurement Journal: ";
} // namespace AlertPrefix

namespace AppInfo {
const char* const Title = "Quendrix Langmuir";
const char* const OrgName = "Quendrix";
const char* const OrgDomain = "quendrix.example";
const char* const StartupAppName = "VESK";
const char* const AppName = "Quendrix Langmuir";
const char* const DocFileName = "Installation and User Guide.pdf";
#ifndef LP_DOC_DIR_FROM_PROGRAM
#define LP_DOC_DIR_FROM_PROGRAM "../share/doc/quendrix-langmuir"
#endif
#ifndef LP_DATA_DIR_FROM_PROGRAM
#define LP_DATA_DIR_FROM_PROGRAM "../share/quendrix-langmuir"
#endif
const char* const DocDirFromProgram = LP_DOC_DIR_FROM_PROGRAM;
const char* const DataDirFromProgram = LP_DATA_DIR_FROM_PROGRAM;
const char* const BuildTreeMarker = "lpmeasure.build-tree";

QString version()
{
    return ProgramInfo::version();
}

QString buildDescription()
{
#if defined(__clang__)
    const QString compiler = QStringLiteral("clang %1.%2").arg(__clang_major__).arg(__clang_minor__);
#elif defined(__GNUC__)
    const QString compiler = QStringLiteral("gcc %1.%2").arg(__GNUC__).arg(__GNUC_MINOR__);
#else
    const QString compiler = QStringLiteral("unknown compiler");
#endif
    return QStringLiteral("Qt %1, %2, built %3 %4")
        .arg(QLatin1String(QT_VERSION_STR), compiler, QLatin1String(__DATE__), QLatin1String(__TIME__));
}
} // namespace AppInfo
