#!/usr/bin/env bash
# Takes the README's screenshots of setup.exe under Wine and Xvfb: the Setup dialog in English
# (after a finished install, and uninstalling), Japanese and Korean, and the About box, on a host
# installed where a user's would be. Writes docs/setup-*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target dist setup_driver >/dev/null

export WINE_RUN=$root/build/win32/wine-run
# shellcheck source=wine-session.sh
source scripts/wine-session.sh
kcfStartSession

work=$root/build/win32/screenshots
rm -rf "$work"
mkdir -p "$work/locale" "$root/docs"
cp -r build/win32/dist "$work/package"
# The test build of setup.exe: the one that can be pointed at the fake host below.
cp build/win32/bin/setup_seams.exe "$work/package/setup.exe"

# A fake host installation of release 6.0 where a user's would be, named to setup.exe through a
# registry tree of its own; its install record goes to a folder of the script's.
prefix=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$WINE_RUN")
host="$prefix/drive_c/Program Files/Autodesk/3dsmax6"
rm -rf "$host"
mkdir -p "$host/plugins" "$host/plugcfg" "$host/maps"
hostWin='C:\Program Files\Autodesk\3dsmax6'
printf '[Directories]\r\nPlugCFG=%s\\plugcfg\r\n[BitmapDirs]\r\nDir1=%s\\maps\r\n' "$hostWin" "$hostWin" >"$host/3DSMAX.INI"
printf '[Directories]\r\nAdditional MAX plug-ins=%s\\plugins\\\r\n' "$hostWin" >"$host/PLUGIN.INI"
export KCF_SETUP_RECORD_DIR
KCF_SETUP_RECORD_DIR=$("$WINE_RUN" winepath -w "$work/records" 2>/dev/null | tr -d '\r')
keys='HKCU\Software\KcfSetupScreenshots'
"$WINE_RUN" reg delete "$keys" /f >/dev/null 2>&1 || true
"$WINE_RUN" reg add "$keys\\machine\\SOFTWARE\\Autodesk\\3DSMAX\\6.0" /v Installdir /d "$hostWin\\" /f >/dev/null 2>&1
"$WINE_RUN" reg add "$keys\\user" /f >/dev/null 2>&1
# Wine draws the caption buttons with Marlett: make sure the prefix has it.
fonts=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$WINE_RUN")/drive_c/windows/Fonts
[ -f /usr/share/wine/fonts/marlett.ttf ] && mkdir -p "$fonts" && cp -n /usr/share/wine/fonts/marlett.ttf "$fonts/"
export KCF_SETUP_HOST_REGISTRY='Software\KcfSetupScreenshots'

# Japanese and Korean locales of our own, so that Wine picks those dialog variants.
export LOCPATH=$work/locale
localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" 2>/dev/null || true
localedef -i ko_KR -f UTF-8 "$LOCPATH/ko_KR.UTF-8" 2>/dev/null || true
localedef -i en_US -f UTF-8 "$LOCPATH/en_US.UTF-8" 2>/dev/null || true

convertTool=/usr/bin/convert
[ -x "$convertTool" ] || convertTool=convert
title="Kernelcraft Filter Setup"
driver=$root/build/win32/bin/setup_driver.exe

shoot() {  # shoot TITLE OUTPUT: one top-level window, frame included
  xwd -silent -name "$1" -out "$work/window.xwd"
  "$convertTool" "xwd:$work/window.xwd" "$2"
}

for lang in en_US ja_JP ko_KR; do
  (cd "$work/package" && LANG=$lang.UTF-8 LC_ALL=$lang.UTF-8 "$WINE_RUN" setup.exe >/dev/null 2>&1) &
  app=$!
  "$WINE_RUN" "$driver" wait "$title" >/dev/null 2>&1
  short=${lang%%_*}
  [ "$lang" = en_US ] && "$WINE_RUN" "$driver" press "$title" 1015 >/dev/null 2>&1  # Setup
  shoot "$title" "$root/docs/setup-$short.png"
  if [ "$lang" = en_US ]; then
    "$WINE_RUN" "$driver" about "$title" >/dev/null 2>&1
    "$WINE_RUN" "$driver" wait "About Varnotek Plug-In Installer" >/dev/null 2>&1
    shoot "About Varnotek Plug-In Installer" "$root/docs/setup-about.png"
    "$WINE_RUN" "$driver" close "About Varnotek Plug-In Installer" >/dev/null 2>&1
  fi
  "$WINE_RUN" "$driver" close "$title" >/dev/null 2>&1 || true
  wait "$app" || true
done

# Uninstalling what the English run installed: the question answered Yes, then the progress.
(cd "$work/package" && LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 "$WINE_RUN" setup.exe /U >/dev/null 2>&1) &
app=$!
"$WINE_RUN" "$driver" press "Uninstall" 6 >/dev/null 2>&1  # IDYES
"$WINE_RUN" "$driver" wait "$title" >/dev/null 2>&1
shoot "$title" "$root/docs/setup-uninstall.png"
"$WINE_RUN" "$driver" close "$title" >/dev/null 2>&1 || true
wait "$app" || true

"$WINE_RUN" reg delete "$keys" /f >/dev/null 2>&1 || true
rm -rf "$host"
echo "screenshots: docs/setup-en.png docs/setup-ja.png docs/setup-ko.png docs/setup-about.png docs/setup-uninstall.png"
