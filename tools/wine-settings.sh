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
if [ "$driver" = null ]; then
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\r\n"Graphics"="null"\r\n\r\n'
fi
