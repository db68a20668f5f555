#!/bin/bash
# Lists the includes that point up the program's layering (a lower folder reaching a higher one)
# and fails on any but the two the design keeps: the settings file stores the axes' calibration
# record (app->k8055) and the F1 key opens the calibration wizard (rmu->calibration). Layers from the bottom: platform; the boards'
# back-ends; app; simlink; the aircraft as read from the simulator; rmu; the cockpit inputs and
# the autostart; the lamps; calibration; the tablet panel; top.
cd "$(dirname "$0")/.." || exit 1
declare -A rank=([platform]=0 [boards]=1 [app]=2 [simlink]=3 [aircraft]=4 [rmu]=5 [k8055]=6
    [autostart]=6 [lamps]=7 [calibration]=8 [web]=9 [top]=10)
up=$(for from in "${!rank[@]}"; do
    for to in $(sed -n 's|^#include "\([a-z0-9_]*\)/.*|\1|p' "$from"/*.[ch]* 2>/dev/null | sort -u); do
        [ "${rank[$to]:-0}" -gt "${rank[$from]}" ] && echo "$from->$to"
    done
done | sort | tr '\n' ' ')
echo "includes pointing up the layering: ${up:-none}"
[ "$up" = "app->k8055 rmu->calibration " ]
