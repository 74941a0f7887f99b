// The bandsim command's --fault NAME[:ITEM]: fault and item names as an
// operator types them.
#pragma once

#include <bandsim/virtualband.h>

#include <cstdio>
#include <optional>
#include <string>

namespace bandsim {

struct FaultSetting {
    Fault fault = Fault::None;
    int item = -1; // -1: every item
};

// nullopt with *error set when the name or the item is not known.
std::optional<FaultSetting> parseFaultSetting(const std::string &text, std::string *error);
// The fault names and item names, for --help.
void printFaultNames(FILE *to);
// "late-answer on time (0x05)", for telling what was switched on.
std::string describe(const FaultSetting &setting);

} // namespace bandsim
