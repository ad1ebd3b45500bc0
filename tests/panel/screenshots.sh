#!/bin/sh
# Screenshots of the settings panel's and the version utility's dialogs in each
# of their twelve languages.
#   screenshots.sh <build dir> <output dir>
# Starts its own Xvfb and uses a Wine prefix of its own (<build dir>/wineprefix-x11,
# made once) with the normal x11 graphics driver, registers the built driver there,
# and for each language sets the installer language, starts the panel and saves
# its dialog as <output dir>/panel-<language>.png. Then it copies the driver into
# the prefix's system directory and does the same with the version utility's
# test-fixture build, one KMX-B7 with firmware 1.02 connected to its virtual
# controller: <output dir>/version-<language>.png. Last it walks through the
# setup program (bin/Veltrix_KMX_Setup.exe) in English: <output dir>/installer-
# language.png (the language page, its list open) and installer-finish.png; the
# tool removes the package again with its uninstaller. Everything it started, copied
# or installed is removed again at the end.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)

export WINEPREFIX="$build/wineprefix-x11"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# A display number nobody uses here.
display=77
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
system_driver="$WINEPREFIX/drive_c/windows/system32/Veltrix_KMX_ASIO.dll"
cleanup() {
    rm -f "$system_driver"
    wineserver -k 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
i=0
until [ -e "/tmp/.X11-unix/X$display" ]; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then echo "screenshots: Xvfb did not start on $DISPLAY" >&2; exit 1; fi
    sleep 0.1
done

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "screenshots: creating the Wine prefix $WINEPREFIX (once, about 20 s)..."
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # The dialog font of Chinese, Japanese and Korean is the default GUI font;
    # Wine finds their glyphs through these links to the WenQuanYi font.
    for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" Arial; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
    done
    # Xvfb runs no window manager: Wine then draws the dialog's frame and caption
    # itself, and they appear in the pictures.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    wineserver -w
fi
(wineserver -p >/dev/null 2>&1 &)

bin="$build/bin"
echo "screenshots: registering the driver"
wine regsvr32 /s "$bin/Veltrix_KMX_ASIO.dll" >/dev/null 2>&1

for entry in 1033:en-US 1031:de-DE 1036:fr-FR 1040:it-IT 3082:es-ES 1043:nl-NL 1046:pt-BR 1049:ru-RU \
             1041:ja-JP 1042:ko-KR 2052:zh-CN 1028:zh-TW; do
    language=${entry%%:*}
    name=${entry#*:}
    wine reg add 'HKLM\Software\Veltrix\Veltrix KMX' /v 'Veltrix KMXInstallLanguage' /t REG_DWORD \
        /d "$language" /f >/dev/null 2>&1
    wine "$bin/panel_screenshot.exe" "$bin/Veltrix_KMX_ASIO_Config.exe" "$out/panel-$name.bmp"
    python3 "$here/bmp_to_png.py" "$out/panel-$name.bmp" "$out/panel-$name.png"
    rm -f "$out/panel-$name.bmp"
    echo "screenshots: $out/panel-$name.png"
done

# The version utility reads the driver file from the system directory.
cp "$bin/Veltrix_KMX_ASIO.dll" "$system_driver"
export VELTRIX_VIRTUAL_CONTROLLER="KMX-B7@0102"
for entry in 1033:en-US 1031:de-DE 1036:fr-FR 1040:it-IT 3082:es-ES 1043:nl-NL 2070:pt-PT 1049:ru-RU \
             1041:ja-JP 1042:ko-KR 2052:zh-CN 1028:zh-TW; do
    language=${entry%%:*}
    name=${entry#*:}
    wine reg add 'HKLM\Software\Veltrix\Veltrix KMX' /v 'Veltrix KMXInstallLanguage' /t REG_DWORD \
        /d "$language" /f >/dev/null 2>&1
    wine "$bin/panel_screenshot.exe" "$bin/Veltrix_KMX_Version_TestFixture.exe" "$out/version-$name.bmp"
    python3 "$here/bmp_to_png.py" "$out/version-$name.bmp" "$out/version-$name.png"
    rm -f "$out/version-$name.bmp"
    echo "screenshots: $out/version-$name.png"
done
unset VELTRIX_VIRTUAL_CONTROLLER
rm -f "$system_driver"
wine reg delete 'HKLM\Software\Veltrix\Veltrix KMX' /v 'Veltrix KMXInstallLanguage' /f >/dev/null 2>&1 || true
wine regsvr32 /s /u "$bin/Veltrix_KMX_ASIO.dll" >/dev/null 2>&1 || true

# The setup program's language page and finish page, then its uninstaller.
echo "screenshots: walking through the setup program"
wine "$bin/installer_screenshot.exe" "$bin/Veltrix_KMX_Setup.exe" "$out/installer-language.bmp" "$out/installer-finish.bmp"
for page in language finish; do
    python3 "$here/bmp_to_png.py" "$out/installer-$page.bmp" "$out/installer-$page.png"
    rm -f "$out/installer-$page.bmp"
    echo "screenshots: $out/installer-$page.png"
done
