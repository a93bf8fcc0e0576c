#pragma once

// The platform's colours, the defaults of a skin description's colour keys.

#include "skin/format/SkinDescription.h"

// The colours of the application's palette (the toolkit's default palette without one).
TSystemColours PlatformSystemColours();
