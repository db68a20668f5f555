// Program-wide state of the calibration wizard.
#include "calibration/calibration.h"

int skip = 0;
