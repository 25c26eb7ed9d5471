// What the catalogue keeps of a JSON result (--format json): its verdict, its findings and
// their counts, counts of events, size and duration, and each indicator's worst value.
#pragma once

#include <nlohmann/json.hpp>

#include "report/catalogue_page.h"

// Throws nlohmann::json::exception when the document is not a result of the program.
CatalogueEntry entryOfResult(const nlohmann::json& doc);
