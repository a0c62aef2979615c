#!/usr/bin/env bash
# Takes screenshots of the filter's About box and control dialog from the Windows build under Wine
# and Xvfb, and writes them as PNG into docs/ (shown in the README). Builds first if need be.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/win32/bin/vphost.exe ] && [ -x build/native/bin/kcftool ] || scripts/build.sh >/dev/null

bin=build/win32/bin
work=screenshots            # inside bin, so that the Windows programs name it relatively
rm -rf "${bin:?}/$work"
mkdir -p "$bin/$work/plugcfg" docs
cp filters/KCF/presets/ZAV_KCF.SET "$bin/$work/plugcfg/"
# The dialog opens on a block that uses the object channel.
build/native/bin/kcftool block --out "$bin/$work/filter.blk" --kernel "0 0 0; 0 1 0; 0 0 0" \
  --source obj --obj-id 2000 >/dev/null

export WINE_RUN=$PWD/build/win32/wine-run
# shellcheck source=wine-session.sh
source scripts/wine-session.sh
kcfStartSession

# shoot TITLE PNG VPHOST-ARGS -- DIALOGSCRIPT-STEPS: runs vphost, poses the dialog, takes the picture.
shoot() {
  local title=$1 png=$2; shift 2
  local args=()
  while [ "$1" != "--" ]; do args+=("$1"); shift; done
  shift
  (cd "$bin" && exec "$WINE_RUN" vphost.exe "${args[@]}") >/dev/null 2>&1 &
  local pid=$!
  if [ $# -gt 0 ]; then
    (cd "$bin" && "$WINE_RUN" dialogscript.exe "$title" "$@")
  else
    (cd "$bin" && "$WINE_RUN" dialogscript.exe "$title" wait 0)
  fi
  sleep 1
  xwd -silent -name "$title" -out "$bin/$work/shot.xwd"
  convert "$bin/$work/shot.xwd" "docs/$png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "wrote docs/$png"
}

shoot "About Kernelcraft Filter" filter-about.png about --filter ZAV_KCF.flt --
shoot "Kernelcraft Filter Control" filter-control.png \
  configure --filter ZAV_KCF.flt --config "$work\\filter.blk" --plugcfg "$work\\plugcfg" -- \
  select 1101 "Emboss" click 3 wait 300
