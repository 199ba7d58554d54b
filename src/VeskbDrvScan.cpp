// Scan parameters, scans and read-out, hardware calibration and the
// descriptor reports. Built by the scan issue; until then the public methods
// that need it refuse with a WARN line.
#include "DriverLog.h"
#include "VeskbDrv.h"

void VeskbDrv::freeDataBuffer()
{
    std::vector<double>().swap(dataBuffer);
}

QString VeskbDescriptorImp::toString(bool) const
{
    return QString();
}

QString VeskbDescriptorImp::toKeyValueString() const
{
    return QString();
}
