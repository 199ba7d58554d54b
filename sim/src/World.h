// The simulated world: the attached modules, the clock, call counters and
// injected faults, under the simulator's one lock.
#pragma once
#include "BusTrace.h"
#include "Clock.h"
#include "UsbModule.h"
#include <SimControl.h>

#include <array>
#include <memory>
#include <mutex>
#include <vector>

namespace qsim {

struct CallFault {
    Call call;
    unsigned countdown;     // fires when it reaches 1 on a call
    QULONG code;            // failure code, or 0 for a short reply
    unsigned missingBytes;
};

struct I2cWriteFault {
    bool active = false;
    unsigned first = 0, times = 0;
    QULONG code = 0;
    bool corrupt = false;
};

struct World {
    std::mutex mutex;
    Config config;
    std::unique_ptr<Clock> clock;
    std::vector<std::unique_ptr<UsbModule>> modules;
    std::array<unsigned, static_cast<size_t>(Call::Count)> calls{};
    std::vector<CallFault> faults;
    I2cWriteFault i2cFault;
    unsigned i2cDataWrites = 0;
    BusTrace trace;             // LPSIM_TRACE or traceTo(); survives resets

    void rebuild(const Config &c);
    // Counts the call; returns the fault that fires on it, if any.
    bool nextFault(Call call, CallFault &fired);
    UsbModule *module(int index) {
        return index >= 0 && index < static_cast<int>(modules.size()) ? modules[index].get() : nullptr;
    }
};

// The one world, built from the environment on first use.
World &world();

} // namespace qsim
