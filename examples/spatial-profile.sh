#!/usr/bin/env bash
# The spatial example: the job language has no spatial command, so this
# prepares the settings a spatial run needs (a scan at every 2 mm from 0 to
# 20 mm, the linear drive's family and zero) in a settings store of its own,
# then runs examples/spatial-profile.txt with `lpmeasure --job` on a simulated
# unit whose MDrivePlus stage carries the probe through a plasma profile.
# Usage: examples/spatial-profile.sh LPMEASURE WORK_FOLDER  (writes WORK_FOLDER/spatial-profile.ldf)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lpmeasure=$1
work=$2
mkdir -p "$work/config/Quendrix"
cp "$here/spatial-profile.txt" "$work/"
rm -f "$work/spatial-profile.ldf"
cat > "$work/config/Quendrix/Quendrix Langmuir.conf" <<'CONF'
[ConfigParam]
spatParam\bUseSpatScan=true
spatParam\start=0
spatParam\end=20
spatParam\step=2

[ldSettings]
identifiedType=2
intercept=0
driveSearch=true
CONF
XDG_CONFIG_HOME="$work/config" LPSIM_CONFIG=${LPSIM_CONFIG:-$here/spatial-profile.conf} \
  "$lpmeasure" --job "$work/spatial-profile.txt" --probe-mode reference
