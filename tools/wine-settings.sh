#!/usr/bin/env bash
# Prints the registry settings (UTF-8; the caller converts to UTF-16LE) for a test prefix.
# usage: wine-settings.sh null|x11
set -eu
driver=${1:-null}
printf 'Windows Registry Editor Version 5.00\r\n\r\n'
cat <<'REG' | sed 's/$/\r/'
[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"微软雅黑"="WenQuanYi Micro Hei"
"宋体"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"
"SimSun"="WenQuanYi Micro Hei"
REG
# A screen of another scale (TOVO_DPI, e.g. 144): the system DPI every process of the prefix reads.
if [ -n "${TOVO_DPI:-}" ]; then
    printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%08x\r\n\r\n' "$TOVO_DPI"
fi
if [ "$driver" = null ]; then
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\r\n"Graphics"="null"\r\n\r\n'
fi
