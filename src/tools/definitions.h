// The image toolkit: plane records and the operators the indicators are built from.
#pragma once

#include "tools/filtering.h"
#include "tools/image.h"
#include "tools/scratch.h"
#include "tools/sums.h"
