// The set-up dialog's start and stop methods of a schedule and their
// triggers.
#include "SensorSetupUnit.h"
