#pragma once
// The linear-drive operations a measuring procedure needs. The drive dialog
// implements them for the window (its status texts and threads); tests and
// batch jobs may give their own. Each call blocks (with events) until the
// drive has finished or the abort flag ended it.
class LinearDriveOps
{
public:
    virtual ~LinearDriveOps() = default;
    virtual bool isInitialised() const = 0;
    // Homes the drive without boxes; true when it is initialised afterwards.
    virtual bool initialise() = 0;
    // Moves to a position in mm; false on failure or abort.
    virtual bool moveTo(double mm) = 0;
    // The drive's actual position (mm); -1 when not initialised.
    virtual double position() const = 0;
    // Stops a movement (every abort path).
    virtual void stop() = 0;
};
