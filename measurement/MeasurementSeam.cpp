#include "MeasurementSeam.h"

#include <QCoreApplication>
#include <QThread>

void HeadlessSeam::processEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void HeadlessSeam::sleepMs(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}
