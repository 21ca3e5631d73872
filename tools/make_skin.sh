#!/usr/bin/env bash
# Builds the skin pictures in skins/Common/, the application icon res/app.ico and the setup
# program's wizard picture installer/wizard.bmp with ImageMagick 6 ("convert"). Re-running gives
# the same files.
#
# Shapes are written as MVG in 1x pixel-edge coordinates (pixel i spans i..i+1)
# and rendered at SS times the size without antialiasing, then box-averaged
# down: edges on whole pixels stay crisp, curves and diagonals get an even,
# exact-coverage antialias. Text is rendered at its own size so the font hinting is kept.
#
# The skin is made twice: name.png at 1x and name@2x.png, the same design drawn at twice the
# pixels (X=2: twice the size, fonts at twice the size, strokes twice as wide), which the window
# uses on screens scaled above 100 %.
set -euo pipefail
export LC_ALL=C

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SKIN=$ROOT/skins/Common
ICON=$ROOT/res/app.ico
WIZARD=$ROOT/installer/wizard.bmp
CJK=${CJK_FONT:-/usr/share/fonts/truetype/wqy/wqy-microhei.ttc}
LATIN=${LATIN_FONT:-/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf}
SS=8
X=1

# Palette: the header runs from HEAD_HI down to DEEP, the border colour the window draws.
DEEP=$(sed -n 's/.*kBorderArgb = 0xFF\([0-9A-Fa-f]\{6\}\);.*/#\1/p' "$ROOT/mainwnd/Surface.h")
[ -n "$DEEP" ] || { echo "make_skin.sh: no border colour in mainwnd/Surface.h" >&2; exit 1; }
HEAD_HI='#1A6C9E'
EMBLEM_HI='#2A8AC4'
ORANGE='#F7931E'
ORANGE_HI='#FFAA45'
ORANGE_LO='#EC7410'
ORANGE_EDGE='#D9680B'
RED='#E5484D'
RED_LO='#C23439'
LABEL='#EAF5FC'
INK='#23394B'
GREY='#7D8E9D'
RULE='#DCE5EC'
CARD_EDGE='#D3DEE7'
FOOT='#F5F8FB'
BAR_HI='#F4F7FA'
BAR_LO='#E3EBF1'
BAR_RULE='#C9D7E2'
LINK_TEXT='#5E7385'
LINK_URL='#1A6C9E'

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
mkdir -p "$SKIN" "$(dirname "$ICON")"

# x N: a design length in pixels at the current X (fractions kept).
x() { awk -v n="$1" -v k="$X" 'BEGIN { printf "%g", n * k }'; }
# at +DX+DY: an offset in pixels at the current X.
at() { echo "+$(x "$1")+$(x "$2")"; }
# skin NAME.png: the file for the current X, NAME@2x.png at 2x.
skin() { if (( X == 1 )); then echo "$SKIN/$1"; else echo "$SKIN/${1%.png}@${X}x.png"; fi; }

# vec W H MVG OUT: MVG in design units drawn on a transparent W x H (design units) canvas.
vec() {
  local w=$1 h=$2 mvg=$3 out=$4 k=$((SS * X))
  convert -size "$((w * k))x$((h * k))" xc:none +antialias \
    -draw "translate -0.5,-0.5 scale $k,$k $mvg" \
    -scale "$((w * X))x$((h * X))!" "$out"
}

# clip PAINT W H MVG OUT: the image PAINT (e.g. gradient:a-b) cut to the
# shape that MVG fills.
clip() {
  local paint=$1 w=$2 h=$3 mvg=$4 out=$5
  vec "$w" "$h" "fill white stroke none $mvg" "$TMP/mask.png"
  convert -size "$((w * X))x$((h * X))" "$paint" -alpha set "$TMP/mask.png" \
    -compose DstIn -composite "$out"
}

# text_width FONT SIZE TEXT: advance width in pixels.
text_width() {
  convert -font "$1" -pointsize "$2" -background none label:"$3" -format '%w' info:
}

# save IN OUT: RGBA PNG without time stamps, so that re-runs are byte-identical.
save() {
  convert "$1" -strip -define png:exclude-chunks=date,time,tIME PNG32:"$2"
}

# ---------------------------------------------------------------- buttons --

# Caption button glyphs, 33 x 40 frame, centred on (16.5, 16.5).
glyph_min()  { echo "fill $1 stroke none rectangle 11,16 22,17"; }
glyph_max()  {
  echo "fill none stroke $1 stroke-width 1 rectangle 11.5,11.5 21.5,21.5" \
       "fill $1 stroke none rectangle 11,11 22,13"
}
glyph_close() {
  echo "fill none stroke $1 stroke-width 1.5 stroke-linecap round" \
       "line 12,12 21,21 line 21,12 12,21"
}
glyph_feedback() {
  echo "fill none stroke $1 stroke-width 1 stroke-linejoin round" \
       "rectangle 9.5,11.5 23.5,21.5 polyline 9.5,11.5 16.5,17.5 23.5,11.5"
}

# caption_button FILE GLYPH HOVER_BG PRESSED_BG
# Normal frame is the bare glyph so the header band shows through.
caption_button() {
  local file=$1 glyph=$2 hover=$3 pressed=$4 bg='roundrectangle 1,3 32,30 3,3'
  vec 33 40 "$($glyph '#FFFFFFD0')" "$TMP/b0.png"
  vec 33 40 "fill $hover stroke none $bg $($glyph '#FFFFFF')" "$TMP/b1.png"
  vec 33 40 "fill $pressed stroke none $bg $($glyph '#FFFFFFE8')" "$TMP/b2.png"
  convert "$TMP/b0.png" "$TMP/b1.png" "$TMP/b2.png" -background none -append "$TMP/strip.png"
  save "$TMP/strip.png" "$(skin "$file")"
}

make_caption_buttons() {
  caption_button min.png      glyph_min      '#FFFFFF2A' '#00000038'
  caption_button max.png      glyph_max      '#FFFFFF2A' '#00000038'
  caption_button close.png    glyph_close    "$RED"      "$RED_LO"
  caption_button fackback.png glyph_feedback '#FFFFFF2A' '#00000038'
}

# ------------------------------------------------------------------- tabs --

# The tab is 40 rows high but the header band ends at row 37 of it: hover
# stays inside the band, the selected tab runs on to the bottom and so merges
# with the white page below.
TAB_HOVER='path "M 3,37 L 3,9 A 5,5 0 0 1 8,4 L 89,4 A 5,5 0 0 1 94,9 L 94,37 Z"'
TAB_FULL='path "M 3,40 L 3,9 A 5,5 0 0 1 8,4 L 89,4 A 5,5 0 0 1 94,9 L 94,40 Z"'
TAB_TEXT_Y=11

tab_label() {
  local in=$1 colour=$2 text=$3 out=$4
  convert "$in" -font "$CJK" -pointsize "$(x 14)" -fill "$colour" -gravity North \
    -annotate "$(at 0 $TAB_TEXT_Y)" "$text" "$out"
}

# tab FILE LABEL
tab() {
  local file=$1 text=$2
  convert -size "$(x 97)x$(x 40)" xc:none "$TMP/t0.png"
  tab_label "$TMP/t0.png" "$LABEL" "$text" "$TMP/t0.png"
  vec 97 40 "fill #FFFFFF24 stroke none $TAB_HOVER" "$TMP/t1.png"
  tab_label "$TMP/t1.png" '#FFFFFF' "$text" "$TMP/t1.png"
  vec 97 40 "fill $ORANGE stroke none $TAB_FULL fill #FFFFFF rectangle 3,7 94,40" "$TMP/t2.png"
  tab_label "$TMP/t2.png" "$DEEP" "$text" "$TMP/t2.png"
  convert "$TMP/t0.png" "$TMP/t1.png" "$TMP/t2.png" -background none -append "$TMP/strip.png"
  save "$TMP/strip.png" "$(skin "$file")"
}

# One picture per line of the tab table in mainwnd/Tabs.h, labelled with the name its string id
# has in res/TovoBox.rc.
make_tabs() {
  local file id text n=0
  while read -r file id; do
    text=$(sed -n "s/^ *$id \"\(.*\)\"\$/\1/p" "$ROOT/res/TovoBox.rc")
    [ -n "$text" ] || { echo "make_skin.sh: no name for $id in res/TovoBox.rc" >&2; exit 1; }
    tab "$file" "$text"
    n=$((n + 1))
  done < <(sed -n 's/^ *{L"\([^"]*\.png\)", L"[^"]*", \(IDS_[A-Z0-9_]*\)},.*/\1 \2/p' \
             "$ROOT/mainwnd/Tabs.h")
  (( n > 0 )) || { echo "make_skin.sh: no tabs in mainwnd/Tabs.h" >&2; exit 1; }
}

# ------------------------------------------------------------ backgrounds --

make_bands() {
  # One pixel row per window row, so only the width is ever stretched. The window draws the first
  # 8 columns; the rest repeat them, so that the stretch's right edge blends with the same colour
  # instead of fading into transparency.
  convert -size "$(x 16)x$(x 45)" "gradient:$HEAD_HI-$DEEP" "$TMP/top.png"
  save "$TMP/top.png" "$(skin top.png)"

  convert -size "$(x 16)x$(x 29)" "gradient:$BAR_HI-$BAR_LO" \
    -background "$BAR_RULE" -gravity North -splice "0x$(x 1)" "$TMP/bottom.png"
  save "$TMP/bottom.png" "$(skin bottombg.png)"
}

# ----------------------------------------------------------------- emblem --

# A box with an orange lid and ribbon that together read as a "T", on a
# rounded blue square. Drawn on a 16-unit grid so 16, 32 and 48 px hit whole
# pixels; the bow and the lid's shadow only from 32 px up, where they stay
# legible. emblem SIZE OUT
emblem() {
  local n=$1 out=$2 k shadow='' detail=''
  k=$(awk -v n="$n" 'BEGIN { printf "%.6f", n / 16 }')
  if (( n >= 32 )); then
    shadow='fill #0D446538 rectangle 4,6 12,6.5'
    detail="fill none stroke $ORANGE_HI stroke-width 0.7 stroke-linejoin round
      path 'M 8,3 C 7,1 5,1.2 5.6,2.6 C 5.9,3 7,3 8,3 Z'
      path 'M 8,3 C 9,1 11,1.2 10.4,2.6 C 10.1,3 9,3 8,3 Z'"
  fi
  clip "gradient:$EMBLEM_HI-$DEEP" "$n" "$n" \
    "scale $k,$k roundrectangle 0,0 16,16 3.5,3.5" "$TMP/em_bg.png"
  vec "$n" "$n" "scale $k,$k stroke none
    fill #FFFFFF roundrectangle 4,6 12,13 0.6,0.6
    $shadow
    fill $ORANGE rectangle 7,6 9,13
    $detail
    fill $ORANGE stroke none roundrectangle 3,3 13,5 0.5,0.5" "$TMP/em_fg.png"
  convert "$TMP/em_bg.png" "$TMP/em_fg.png" -compose Over -composite "$out"
}

make_logo() {
  emblem 32 "$TMP/em32.png"
  # A faint rim keeps the blue emblem apart from the blue header.
  vec 135 45 "fill none stroke #FFFFFF40 stroke-width 1
    roundrectangle 8.5,6.5 39.5,37.5 6.5,6.5" "$TMP/rim.png"
  convert -size "$(x 135)x$(x 45)" xc:none \
    "$TMP/em32.png" -geometry "$(at 8 6)" -compose Over -composite \
    "$TMP/rim.png" -geometry +0+0 -compose Over -composite \
    -font "$LATIN" -pointsize "$(x 21)" -fill '#FFFFFF' -gravity NorthWest \
    -annotate "$(at 47 4)" 'Tovo' \
    -font "$CJK" -pointsize "$(x 11)" -fill '#A8D2EE' -kerning "$(x 3.2)" \
    -annotate "$(at 48 28)" '开服盒子' "$TMP/logo.png"
  save "$TMP/logo.png" "$(skin logo.png)"
}

make_icon() {
  local n
  for n in 16 32 48 256; do
    emblem "$n" "$TMP/icon$n.png"
  done
  # 8 bits a channel: the 256 px entry is stored as PNG, which Windows only
  # reads at that depth.
  convert "$TMP/icon256.png" "$TMP/icon48.png" "$TMP/icon32.png" "$TMP/icon16.png" \
    -strip -depth 8 -type TrueColorAlpha "$ICON"
}

# ------------------------------------------------------------- home link --

# The home page's host as the release opens it (TOVO_RELEASE_HOME_PAGE in CMakeLists.txt); the
# picture is as wide as the link's hot area (306 px, mainwnd/Layout.cpp), so a longer host is cut.
make_home_link() {
  local a='Tovo 网页游戏  ·  访问官网 ' b wa
  b=$(sed -n 's|^set(TOVO_RELEASE_HOME_PAGE "https\{0,1\}://\([^/"]*\).*|\1|p' "$ROOT/CMakeLists.txt")
  [ -n "$b" ] || { echo "make_skin.sh: no TOVO_RELEASE_HOME_PAGE in CMakeLists.txt" >&2; exit 1; }
  wa=$(text_width "$CJK" "$(x 12)" "$a")
  vec 306 13 "fill $ORANGE stroke none
    path 'M 5.5,1 L 11,6.5 L 9.5,6.5 L 9.5,12 L 6.8,12 L 6.8,8.5 L 4.2,8.5
          L 4.2,12 L 1.5,12 L 1.5,6.5 L 0,6.5 Z'" "$TMP/content.png"
  convert "$TMP/content.png" -font "$CJK" -pointsize "$(x 12)" -gravity West \
    -fill "$LINK_TEXT" -annotate "$(at 16 0)" "$a" \
    -fill "$LINK_URL" -annotate "+$(($(x 16) + wa))+0" "$b" "$TMP/content.png"
  save "$TMP/content.png" "$(skin content.png)"
}

# ------------------------------------------------------------ offline page --

# The page window treats the part right of x 185 and below y 130 as the retry
# hot area, so the button lies wholly inside it.
make_offline_picture() {
  vec 280 200 "
    fill #FFFFFF stroke $CARD_EDGE stroke-width 1
    roundrectangle 0.5,0.5 279.5,199.5 8,8
    fill $FOOT stroke none
    path 'M 1,141 L 279,141 L 279,191 A 8,8 0 0 1 271,199 L 9,199 A 8,8 0 0 1 1,191 Z'
    fill $RULE rectangle 1,140 279,141
    fill #B7D4E8
    circle 124,50 124,37
    circle 145,43 145,24
    circle 162,55 162,44
    roundrectangle 110,48 172,68 10,10
    fill $ORANGE stroke #FFFFFF stroke-width 2.5
    circle 167,63 167,51
    fill #FFFFFF stroke none
    roundrectangle 165.8,56 168.2,65 1,1
    circle 167,68.4 167,67
  " "$TMP/net_base.png"

  clip "gradient:$ORANGE_HI-$ORANGE_LO" 280 200 \
    'roundrectangle 190,152 270,184 5,5' "$TMP/net_btn.png"
  vec 280 200 "fill none stroke $ORANGE_EDGE stroke-width 1
    roundrectangle 190.5,152.5 269.5,183.5 4.5,4.5" "$TMP/net_btn_edge.png"

  convert "$TMP/net_base.png" "$TMP/net_btn.png" -compose Over -composite \
    "$TMP/net_btn_edge.png" -compose Over -composite \
    -gravity North -font "$CJK" \
    -pointsize "$(x 17)" -fill "$INK" -annotate "$(at 0 84)" '网络连接失败' \
    -pointsize "$(x 12)" -fill "$GREY" -annotate "$(at 0 110)" '暂时无法连接到 Tovo 服务器' \
    -gravity NorthWest \
    -pointsize "$(x 12)" -fill "$GREY" -annotate "$(at 16 160)" '请检查网络后重试' \
    -pointsize "$(x 13)" -fill '#FFFFFF' -annotate "$(at 204 158)" '重新连接' \
    "$TMP/net.png"
  save "$TMP/net.png" "$(skin net.png)"
}

# ---------------------------------------------------------- setup wizard --

# The welcome and finish pages of the setup program and the uninstaller: 164 x 314, the header's
# blue with the emblem and the name. NSIS reads only uncompressed 24-bit BMP.
make_wizard_picture() {
  emblem 64 "$TMP/em64.png"
  vec 164 314 "fill none stroke #FFFFFF40 stroke-width 1
    roundrectangle 49.5,71.5 114.5,136.5 14.5,14.5
    stroke #FFFFFF14 stroke-width 18 circle 150,300 150,210
    stroke #FFFFFF0C stroke-width 10 circle 10,20 10,-40
    stroke none fill $ORANGE rectangle 62,204 102,206" "$TMP/wz_fg.png"
  convert -size 164x314 "gradient:$HEAD_HI-$DEEP" \
    "$TMP/wz_fg.png" -compose Over -composite \
    "$TMP/em64.png" -geometry +50+72 -compose Over -composite \
    -gravity North \
    -font "$LATIN" -pointsize 28 -fill '#FFFFFF' -annotate +0+146 'Tovo' \
    -font "$CJK" -pointsize 14 -fill '#A8D2EE' -kerning 4 -annotate +2+180 '开服盒子' \
    -font "$CJK" -pointsize 12 -fill '#FFFFFFB0' -kerning 1 -annotate +0+218 '网页游戏开服表' \
    "$TMP/wizard.png"
  convert "$TMP/wizard.png" -strip -alpha off -type TrueColor BMP3:"$WIZARD"
}

for X in 1 2; do
  make_caption_buttons
  make_tabs
  make_bands
  make_logo
  make_home_link
  make_offline_picture
done
X=1
make_icon
make_wizard_picture
