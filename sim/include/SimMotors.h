// Control interface of the simulated motor controllers on RS232 port 0: the
// stage's true state, the controller's received command lines and injected
// faults. Thread-safe like the rest of the control interface.
//
// Each family answers its own ASCII language:
//   PM600          "<addr>XX[n]\r" -> "text\r\n"; ESC stops; OS gives 8 status
//                  digits: [0] idle, [1] upper limit, [2] lower limit.
//   MDrivePlus     echoes, "PR X\r" -> "PR X\r\nvalue\r\n>"; errors end in the
//                  '?' prompt and "PR ER" tells the code; Ctrl-C resets.
//   OpticsFocus    "?R" "V<n>" "HX0" "X<+-n>" "?X" "S", replies "text\n".
//   AppliedMotion  "SS..." "MV" "VE<f>" "DI<n>" "SH2H" "FP<n>" "ST" "SP<n>"
//                  "IP" "RS" ..., replies "text\r", "%" ack, "?<code>" error.
// The stage runs between a minus end switch (position 0) and a plus end
// switch (position = length); the controller's step counter is the carriage
// position minus a zero that homing and set-position commands move.
#pragma once

#include <SimControl.h>

#include <string>
#include <vector>

namespace qsim {

enum class MotorFault {
    None,
    NoReply,    // the controller ignores everything it receives
    Garbled,    // replies carry a non-printable character
    Stall,      // the motor stops turning while the controller still reports motion
    ErrorCode   // motion commands are refused with the given controller error code
};

struct MotorState {
    MotorFamily family = MotorFamily::None;
    double position = 0;        // carriage position in steps from the minus end
    double length = 0;
    long counter = 0;           // the controller's own step counter
    bool moving = false;
    bool atMinusEnd = false;
    bool atPlusEnd = false;
    double speed = 0;           // steps per simulated second of the present or last motion
};

// Faults last for `count` replies or commands (-1: until cleared with None).
// Attaches a new controller of `config.family` (None: nothing) to port 0 of a
// module without resetting the rest of the world.
QSIM_API void attachMotorController(int module, const MotorConfig &config);
QSIM_API void setMotorFault(int module, MotorFault fault, int code = 0, int count = -1);
QSIM_API MotorState motorState(int module);
// Moves the carriage without the controller noticing (test set-up).
QSIM_API void setMotorPosition(int module, double steps);
// Every line the controller received, split at carriage returns; control
// bytes (Ctrl-C, ESC) are lines of their own.
QSIM_API std::vector<std::string> motorCommands(int module);
QSIM_API void clearMotorCommands(int module);

// Parses a family name ("none", "PM600", "MDrivePlus", "OpticsFocus",
// "AppliedMotion", case-insensitive, or 0..4).
QSIM_API bool parseMotorFamily(const std::string &text, MotorFamily &family);

} // namespace qsim
