#!/usr/bin/env bash
# Builds the Debian package from the build tree, checks its contents and
# dependencies, unpacks it into a scratch folder and runs lpmeasure from there
# (installing for real would change the machine); then the same for a plain
# `cmake --install` into a temporary prefix.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" \
       XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"

# 1. The package.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >/dev/null) || fail "cpack"
deb=$(ls "$work"/pkg/*.deb) || fail "no .deb produced"
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/lpmeasure ./usr/bin/lpanalyse ./usr/bin/lpsynth ./usr/bin/veskinfo \
         "./usr/share/doc/quendrix-langmuir/Installation and User Guide.pdf" \
         ./usr/share/quendrix-langmuir/eedf.txt \
         ./usr/share/doc/quendrix-langmuir/examples/example-session.ldf \
         ./usr/share/applications/lpmeasure.desktop \
         ./usr/share/mime/packages/quendrix-langmuir.xml \
         ./usr/share/icons/hicolor/256x256/apps/lpmeasure.png; do
  grep -qF -- " $f" <<<"$contents" || fail "package lacks $f"
done
grep -qE 'libveskb2\.so' <<<"$contents" || fail "package lacks libveskb2.so"
! grep -q 'build-tree' <<<"$contents" || fail "package carries the build-tree marker"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt5widgets5 libqt5network5 libqwt-qt5-6; do
  grep -q "$p" <<<"$depends" || fail "Depends lacks $p: $depends"
done
dpkg-deb -x "$deb" "$work/root"
version=$(dpkg-deb -f "$deb" Version)
[ "$(env -u QT_QPA_PLATFORM -u DISPLAY "$work/root/usr/bin/lpmeasure" --version)" = "lpmeasure $version" ] \
  || fail "lpmeasure --version is not the package's $version"
"$work/root/usr/bin/lpmeasure" --quit-after=1 || fail "packaged lpmeasure exited $?"
# Installed, it works in the user's data folder even where it could write.
[ -d "$XDG_DATA_HOME/Quendrix/Quendrix Langmuir" ] || fail "packaged lpmeasure made no user data folder"
[ -z "$(find "$work/root/usr/bin" -newer "$deb" -type f ! -name 'lp*' ! -name veskinfo)" ] \
  || fail "packaged lpmeasure wrote into its program folder"
"$work/root/usr/bin/lpanalyse" "$work/root/usr/share/doc/quendrix-langmuir/examples/iv_argon_3eV.csv" >/dev/null \
  || fail "packaged lpanalyse"
# lpdata with its compiled module, for the system's Python (when the build makes the module).
if compgen -G "$build/python/lpdata/_engine*.so" >/dev/null; then
  pymodule=$(grep -oE '\./usr/lib/python3/dist-packages/lpdata/_engine[^ ]*\.so' <<<"$contents") \
    || fail "package lacks lpdata's compiled module"
  grep -qF ./usr/lib/python3/dist-packages/lpdata/session.py <<<"$contents" || fail "package lacks lpdata"
  env -u LPDATA_ENGINE PYTHONPATH="$work/root/usr/lib/python3/dist-packages" /usr/bin/python3 -c '
import sys, lpdata
r = lpdata.analyse([-20.0, -10.0, 0.0, 10.0, 20.0, 30.0], [-1e-3, -0.9e-3, 0.0, 0.9e-3, 1e-3, 1.1e-3], probe="double")
engine = sys.modules["lpdata._engine"].__file__
assert engine.startswith(sys.argv[1]), engine
s = lpdata.load(sys.argv[2]).reanalyse(ionmass=4)
assert len(s) > 0 and s.analysis_settings["ionmass"] == 4.0
' "$work/root" "$work/root/usr/share/doc/quendrix-langmuir/examples/example-session.ldf" \
    || fail "packaged lpdata does not analyse ($pymodule)"
fi
# Numbers no plasma can have are refused, not written.
for bad in "--kte abc" "--kte -3" "--points 1" "--noise nan" "--from 5 --to 5"; do
  set +e; "$work/root/usr/bin/lpsynth" $bad >/dev/null 2>&1; rc=$?; set -e
  [ $rc -eq 2 ] || fail "lpsynth $bad exited $rc"
done

# 2. cmake --install into a prefix.
cmake --install "$build" --prefix "$work/prefix" >/dev/null || fail "cmake --install"
"$work/prefix/bin/lpmeasure" --quit-after=1 || fail "installed lpmeasure exited $?"
echo "install: package $(basename "$deb") ($(wc -c <"$deb") bytes) unpacks and runs; prefix install runs"
