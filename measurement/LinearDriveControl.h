#pragma once
// The linear drive as the application uses it, without widgets: initialise
// (home), move with abort through the DriveWorker, release with the home
// question, the drive parameters mirrored from the controller and the
// "ldSettings" group. The Move dialog, the main window and the measurement
// sequence all go through one instance, owned by the main window.
#include "DriveWorker.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class RIRavaVCntrl;

namespace DriveText {
extern const char* const NotConnected;   // "Linear Drive is not connected"
extern const char* const Initiating;     // "Initiating Linear Drive"
extern const char* const Idle;           // "Idle"
extern const char* const Moving;         // "Moving"
extern const char* const FailedInit;     // "Failed to initiate Linear Drive"
extern const char* const FailedMove;     // "Failed to move Linear Drive"
extern const char* const HomeQuestion;   // "Would you like to return linear drive to home position ?"
extern const char* const HomeTitle;      // "Closing down warning"
namespace Prefix {
extern const char* const ReadSettings;
extern const char* const WriteSettings;
extern const char* const Initialise;
extern const char* const MoveTo;
extern const char* const ReadCommandReply;
} // namespace Prefix
} // namespace DriveText

// Spin box and slider coupling; equal limits map everything to the minimum.
struct SliderMap {
    double scale = 1.0;
    double offset = 0.0;
    static SliderMap from(double boxMin, double boxMax, int sliderMin, int sliderMax);
    int toSlider(double box) const;
    double toBox(int slider, double boxMin) const;
};

// The "ldSettings" keys of the dialog and of the library.
struct DriveDialogSettings {
    QByteArray cpGeometry;
    double boxMinimum = 0, boxMaximum = 100;
    int boxDecimals = 1;
    double boxSingleStep = 1;
    int sliderMinimum = 0, sliderMaximum = 100, sliderSingleStep = 100, sliderPageStep = 100;
    int address = 0;
    double slope = 0;        // 0: the library's default for its drive family
    double intercept = 0;
    bool homeInverted = false;
    int identifiedType = 0;
    double velocityPercent = 50;
    double homingSpeed = 10.0;
    bool driveSearch = true;   // false: no drive attached, connect looks for none

    static constexpr double kMaxHomingSpeed = 50.0;
    static constexpr int kRows = 12;

    void read();
    bool write() const;

    // The parameter table: names, cell texts and edits. An edit that does not
    // parse as the row's type, a slope of 0 or a minimum at or above its
    // maximum is refused (false, `error` says why) and nothing changes.
    static QString rowName(int row);
    QString rowText(int row) const;
    bool applyRow(int row, const QString& text, QString* error = nullptr);
};

class LinearDriveControl : public QObject
{
    Q_OBJECT
public:
    // The host's boxes; unset ones answer No and show nothing.
    struct Host {
        std::function<bool(const QString& title, const QString& text)> question;
        std::function<void(const QString& title, const QString& text)> information;
        std::function<void()> showAlerts; // the alert list, as a critical box
    };

    LinearDriveControl(RIRavaVCntrl* controller, QStringList* alerts, QObject* parent = nullptr);

    void setHost(Host host) { m_host = std::move(host); }
    void setPacer(DriveWorker::Pacer pacer) { m_worker.setPacer(std::move(pacer)); }

    RIRavaVCntrl* controller() const { return m_ctrl; }
    // The alert list joined by line breaks (what the dialog's box shows).
    QString alertText() const { return m_alerts ? m_alerts->join(QLatin1Char('\n')) : QString(); }
    DriveDialogSettings& settings() { return m_settings; }
    const DriveDialogSettings& settings() const { return m_settings; }
    bool writeSettings();

    // Homes the drive; quiet: no box naming the identified drive.
    bool initialise(bool quiet);
    bool moveTo(double position);
    // Homes the drive (abortable) without touching the initialised state.
    bool home();
    // The user's abort of the running operation (flag and library abort).
    void abort();
    // Asks whether to bring the drive home when its position is known and not
    // 0, homes it on Yes; then the drive counts as not initialised.
    void release();
    // Whether release() would ask.
    bool wouldAskHome() const;

    bool isInitialised() const { return m_initialised; }
    bool isBusy() const { return m_worker.running(); }
    bool isAborted() const { return m_aborted; }
    bool stopSent() const { return m_worker.stopSent(); }
    // The drive's position in mm, -1 when not initialised.
    double actualPosition() const;
    QString status() const { return m_status; }
    double railLength() const { return m_settings.sliderMaximum; }

    // A parameter-table edit: refused edits change nothing; address, slope,
    // intercept and type reach the controller when it is connected; accepted
    // edits are written to the settings store.
    bool applyParameter(int row, const QString& text, QString* error = nullptr);
    // The configuration dialog's OK: slope (0 keeps the library's default),
    // home inverted, velocity percent, rail length and homing speed.
    void applyConfiguration(double slope, bool homeInverted, double velocityPercent, double railLength,
                            double homingSpeed);

    // "Linear drive: search / none" of the configuration dialog; read by the
    // controller library at the next connect.
    void setDriveSearch(bool search);

    // Takes address, slope and home-inverted from the controller (on connect),
    // and remembers the family it found so that the next connect asks it first.
    void readFromController();
    // Gives velocity percent, slope (unless 0), home inverted and homing speed to the controller.
    void pushToController();

signals:
    void statusChanged(const QString& text);
    void busyChanged(bool busy);
    void initialisedChanged(bool initialised);
    // Actual position during and after a move (NaN: unknown).
    void positionChanged(double mm);

private:
    void setStatus(const char* text);
    void addAlert(const char* prefix, const QString& message);
    bool runOnWorker(const std::function<bool()>& op, bool showPosition);

    RIRavaVCntrl* m_ctrl;
    QStringList* m_alerts;
    Host m_host;
    DriveWorker m_worker;
    DriveDialogSettings m_settings;
    bool m_initialised = false;
    bool m_aborted = false;
    QString m_status;
};
