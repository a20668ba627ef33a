#!/usr/bin/env bash
# The window's batch static IP dialog (gui_static_ip.sh) on a lossy segment: devsim loses 5 % of
# the frames in each direction (fixed seed) and all 200 devices must end "Success".
# IPS_E2E_LOSS=0.2 measures a lossier segment (at least 99 % "Success").
IPS_E2E_GUI_STATIC_LOSS=${IPS_E2E_LOSS:-0.05} exec bash "$(dirname "${BASH_SOURCE[0]}")/gui_static_ip.sh" "$@"
