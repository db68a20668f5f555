// Axis calibration: the keyboard wizard that records the analog axes' points.
#pragma once

extern int skip; // 1 when the current axis was skipped or disabled

int K8055_analog_cal(void); // runs the calibration wizard (F1)
