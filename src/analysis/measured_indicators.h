// What a run of the option form measures: the indicators asked for, and those added
// because another needs them, because an event rule reads them, or because a QC
// condition names them, each with what added it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct MeasuredIndicators {
    uint32_t mask = 0;
    // Indicator key -> what added it ("freezing", "--fail-on black>0", "profile streaming");
    // indicators asked for are not in it.
    std::map<std::string, std::string> addedBy;
};

// `requested`: the mask asked for (a list or a mask alike). `named`: the indicator keys or
// event types of conditions, each with the condition's source.
MeasuredIndicators measuredIndicators(uint32_t requested,
                                      const std::vector<std::pair<std::string, std::string>>& named);
