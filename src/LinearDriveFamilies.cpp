// The controller families the factory tries, by identified type (1..4).
#include "linearDrive.h"

LinearDriveMaker linearDriveFamily(int type)
{
    switch (type) {
    // PM600 (1), MDrivePlus (2), OpticsFocus (3), AppliedMotion (4) plug in here.
    default: return nullptr;
    }
}
