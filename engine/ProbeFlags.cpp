#include "engine/ProbeFlags.h"

bool ProbeWaiting = false;
bool HoldClosed = false;
