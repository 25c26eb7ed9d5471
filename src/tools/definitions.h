// The image toolkit: plane records and the operators the indicators are built from.
#pragma once

#include "tools/filtering.h"
#include "tools/image.h"
#include "tools/roberts.h"
#include "tools/workspace.h"
#include "tools/sums.h"
#include "tools/conversions.h"
#include "tools/printers.h"
#include "tools/lineruns.h"
