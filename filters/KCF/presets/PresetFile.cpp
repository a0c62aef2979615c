// The part of the preset file seam that every platform shares: the fault plan tests inject.
#include "PresetFile.h"

#include <cstdlib>

namespace {

struct FaultPlan {
    LibraryFault fault = LibraryFault::None;
    int step = 0;
    int stepsTaken = 0;
    bool fired = false;
};
FaultPlan gFaultPlan;

}  // namespace

void InjectLibraryFault(LibraryFault fault, int step)
{
    gFaultPlan = FaultPlan{fault, step, 0, false};
}

bool LibraryFaultFired() { return gFaultPlan.fired; }

bool ParseLibraryFault(const std::string& text, LibraryFault& fault, int& step)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    const std::string kind = text.substr(0, colon), number = text.substr(colon + 1);
    if (number.empty() || number.size() > 4 || number.find_first_not_of("0123456789") != std::string::npos) return false;
    if (kind == "fail") fault = LibraryFault::Fail;
    else if (kind == "short") fault = LibraryFault::ShortWrite;
    else if (kind == "kill") fault = LibraryFault::Kill;
    else return false;
    step = std::atoi(number.c_str());
    return step > 0;
}

LibraryFaultCount::LibraryFaultCount()
{
    gFaultPlan.stepsTaken = 0;
    gFaultPlan.fired = false;
}

LibraryFaultCount::~LibraryFaultCount() { gFaultPlan.fault = LibraryFault::None; }

LibraryFault LibraryFaultAtNextStep()
{
    if (gFaultPlan.fault == LibraryFault::None || ++gFaultPlan.stepsTaken != gFaultPlan.step) return LibraryFault::None;
    gFaultPlan.fired = true;
    return gFaultPlan.fault;
}
