// The controller families the factory tries, by identified type (1..4).
#include "AppliedMotion.h"
#include "MDrivePlus.h"
#include "OpticsFocus.h"
#include "PM600.h"
#include "linearDrive.h"

namespace {
template <typename T> LinearDrive *make(HwRegisters *registers)
{
    return new T(registers);
}
}

LinearDriveMaker linearDriveFamily(int type)
{
    switch (type) {
    case LinearDrive::ePM600: return &make<PM600>;
    case LinearDrive::eMDrivePlus: return &make<MDrivePlus>;
    case LinearDrive::eOpticsFocus: return &make<OpticsFocus>;
    case LinearDrive::eAppliedMotion: return &make<AppliedMotion>;
    default: return nullptr;
    }
}
