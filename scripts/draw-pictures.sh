#!/usr/bin/env bash
# Redraws the program's pictures into resources/pictures/, and its icons for the desktop's
# icon theme into resources/icons/, with ImageMagick.
# The PNGs are committed; run this only after changing a drawing below.
set -euo pipefail
cd "$(dirname "$0")/.."
out=resources/pictures
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The clock icon: a rounded square, a round emblem and two hands (twelve and
# three o'clock). Drawn at 4x and scaled down so the edges are smooth.
# Arguments: square colour, emblem colour, emblem rim colour, hand colour, output.
draw_clock_icon() {
  local square=$1 emblem=$2 rim=$3 hands=$4 file=$5
  convert -size 128x128 xc:none \
    -fill "$square" -draw "roundrectangle 0,0 127,127 26,26" \
    -fill "$rim" -draw "circle 64,64 64,14" \
    -fill "$emblem" -draw "circle 64,64 64,20" \
    -stroke "$hands" -strokewidth 11 -draw "line 64,64 64,29" \
    -draw "line 64,64 99,64" \
    -stroke none -fill "$hands" -draw "circle 64,64 64,56" \
    -draw "circle 64,29 64,24" -draw "circle 99,64 104,64" \
    -filter Lanczos -resize 32x32 \
    -colors 256 -define png:exclude-chunks=date,time "PNG32:$tmp/icon.png"
  cp "$tmp/icon.png" "$file"
}

draw_clock_icon black '#d81818' '#ff6a5a' '#1e6cff' "$out/tallix.png"
draw_clock_icon '#4a4a4a' '#c4c4c4' '#e6e6e6' '#6e6e6e' "$out/tallix-idle.png"

# The same two clocks for the desktop's icon theme (the installed copy's menu entry), at
# the sizes desktops ask for, each drawn at four times its size or more and scaled down,
# and once as SVG, the same shapes in the same 128-unit square.
# Arguments: name, then the four colours as above.
draw_theme_icons() {
  local name=$1 square=$2 emblem=$3 rim=$4 hands=$5 size k dir
  for size in 16 22 24 32 48 64 128 256; do
    k=$(( size >= 128 ? size / 32 : 4 ))
    dir=resources/icons/hicolor/${size}x${size}/apps
    mkdir -p "$dir"
    convert -size $((128 * k))x$((128 * k)) xc:none -draw "scale $k,$k
      fill '$square' roundrectangle 0,0 127,127 26,26
      fill '$rim' circle 64,64 64,14  fill '$emblem' circle 64,64 64,20
      stroke '$hands' stroke-width 11 line 64,64 64,29 line 64,64 99,64
      stroke none fill '$hands' circle 64,64 64,56 circle 64,29 64,24 circle 99,64 104,64" \
      -filter Lanczos -resize ${size}x${size} -define png:exclude-chunks=date,time "PNG32:$dir/$name.png"
  done
  mkdir -p resources/icons/hicolor/scalable/apps
  cat > "resources/icons/hicolor/scalable/apps/$name.svg" <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" viewBox="0 0 128 128">
  <rect width="128" height="128" rx="26" fill="$square"/>
  <circle cx="64" cy="64" r="50" fill="$rim"/>
  <circle cx="64" cy="64" r="44" fill="$emblem"/>
  <path d="M64 64V29M64 64H99" stroke="$hands" stroke-width="11" fill="none"/>
  <g fill="$hands"><circle cx="64" cy="64" r="8"/><circle cx="64" cy="29" r="5"/><circle cx="99" cy="64" r="5"/></g>
</svg>
SVG
}
draw_theme_icons tallix-server '#000000' '#d81818' '#ff6a5a' '#1e6cff'
draw_theme_icons tallix-server-idle '#4a4a4a' '#c4c4c4' '#e6e6e6' '#6e6e6e'

# The help icon, 16x16 in 16 colours, pixel by pixel: a white page with a
# folded corner, grey lines of text and a yellow question mark outlined in
# dark grey so it stands out on the white.
cat > "$tmp/page.xpm" <<'XPM'
/* XPM */
static char *page[] = {
"16 16 5 1",
"  c None",
". c #000000",
"w c #FFFFFF",
"g c #909090",
"f c #C8C8C8",
" .........      ",
" .wwwwwww..     ",
" .wggggww.f.    ",
" .wwwwwww.ff.   ",
" .wggggww....   ",
" .wwwwwwwwww.   ",
" .wgggggggww.   ",
" .wwwwwwwwww.   ",
" .wggggggggw.   ",
" .wwwwwwwwww.   ",
" .wgggggggww.   ",
" .wwwwwwwwww.   ",
" .wggggggggw.   ",
" .wwwwwwwwww.   ",
" .wggggwwwww.   ",
" ............   "};
XPM
cat > "$tmp/mark.xpm" <<'XPM'
/* XPM */
static char *mark[] = {
"8 11 3 1",
"  c None",
"d c #303030",
"y c #FFD800",
" dddddd ",
"dyyyyyyd",
"dyyddyyd",
"dd  dyyd",
"   dyyyd",
"  dyyyd ",
"  dyyd  ",
"  dddd  ",
"  dyyd  ",
"  dyyd  ",
"  dddd  "};
XPM
convert "$tmp/page.xpm" "$tmp/mark.xpm" -geometry +8+4 -composite \
  -colors 16 -define png:exclude-chunks=date,time "PNG32:$out/help.png"

# The banner, 468x60 in 24-bit colour: envelopes flying into an inbox that
# pays out coins, and the offer spelt out beside them.
font=DejaVu-Sans-Bold
envelope() {  # x y: top-left corner of a 34x22 envelope
  local x=$1 y=$2
  printf -- "-fill white -stroke '#1b2a4a' -strokewidth 1.5 -draw 'rectangle %d,%d %d,%d' " \
    "$x" "$y" $((x + 34)) $((y + 22))
  printf -- "-fill none -draw 'polyline %d,%d %d,%d %d,%d' " \
    "$x" "$y" $((x + 17)) $((y + 13)) $((x + 34)) "$y"
}
coin() {  # x y: centre of a gold coin with a dollar sign
  local x=$1 y=$2
  printf -- "-fill '#ffcc00' -stroke '#a06800' -strokewidth 1.5 -draw 'circle %d,%d %d,%d' " \
    "$x" "$y" $((x + 9)) "$y"
  printf -- "-stroke none -fill '#8a5a00' -font %s -pointsize 13 -draw \"text %d,%d '\$'\" " \
    "$font" $((x - 4)) $((y + 5))
}
eval convert -size 468x60 gradient:'#0b2a6b'-'#1a5fd0' \
  -fill "'#ffffff22'" -stroke none -draw "'polygon 0,60 120,0 150,0 30,60'" \
  "$(envelope 10 6)" "$(envelope 52 30)" "$(envelope 96 10)" \
  -stroke "'#9fc4ff'" -strokewidth 2 -fill none \
  -draw "'line 34,36 48,36'" -draw "'line 38,44 48,44'" \
  -draw "'line 76,16 92,16'" -draw "'line 80,24 92,24'" \
  "$(coin 150 18)" "$(coin 166 40)" "$(coin 184 22)" \
  -stroke none -fill white -font "$font" -pointsize 17 \
  -draw "\"text 206,28 'GET PAID TO READ E-MAIL'\"" \
  -fill "'#ffd84a'" -font DejaVu-Sans -pointsize 11 \
  -draw "\"text 212,46 'on the subjects you choose - sign up free!'\"" \
  -type TrueColor -define png:exclude-chunks=date,time "PNG24:$out/banner.png"

identify "$out"/*.png
