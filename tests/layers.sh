#!/bin/bash
# Lists the includes that point up the program's layering (a lower folder reaching a higher one)
# and fails when there are others than the two the design keeps. Layers, from the bottom:
# platform; app (window, layout, settings, log); simlink; rmu; the cockpit boards (k8055, lamps
# and autostart, which share the boards' state as peers); calibration; top.
cd "$(dirname "$0")/.."
declare -A rank=([platform]=0 [app]=1 [simlink]=2 [rmu]=3 [k8055]=4 [lamps]=4 [autostart]=4
    [calibration]=5 [top]=6)
# Kept: the settings file stores the axes' calibration record; the F1 key opens the wizard.
allowed=" app->k8055 rmu->calibration "
found=0 unexpected=0
for from in "${!rank[@]}"; do
    for to in $(cat "$from"/*.[ch]* 2>/dev/null | sed -n 's|^#include "\([a-z0-9_]*\)/.*|\1|p' | sort -u); do
        [ -n "${rank[$to]:-}" ] && [ "${rank[$to]}" -gt "${rank[$from]}" ] || continue
        found=$((found + 1))
        case "$allowed" in *" $from->$to "*) echo "up: $from -> $to (kept)" ;;
        *) echo "up: $from -> $to" && unexpected=$((unexpected + 1)) ;; esac
    done
done
echo "$found includes between folders point up the layering, $unexpected of them unexpected"
[ "$unexpected" -eq 0 ]
