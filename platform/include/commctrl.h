// Common controls: progress bar, tree view, image lists.
#pragma once

#include "windows.h"
#include "win/imagelist.h"
