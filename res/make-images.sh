#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick: the splash (520 x 262), the toolbar strip
# (five 16 x 15 buttons: Cut, Copy, Paste, Print, About) and the program icon (32 x 32).
# The PNG files are kept in the repository; run this again after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")"
font=DejaVu-Sans-Bold
mono=DejaVu-Sans-Mono

# Splash: a blue terminal face on a dark board, the name and the version.
convert -size 520x262 gradient:'#0b2a4a'-'#123d6b' \
  -fill '#0a0a23' -stroke '#7fa7d9' -strokewidth 2 -draw "roundrectangle 24,24 250,200 8,8" \
  -fill '#0000c8' -stroke none -draw "rectangle 34,34 240,190" \
  -font "$mono" -pointsize 13 -fill white \
  -annotate +42+56 'ViVaz Monitor' -annotate +42+76 '> help' \
  -annotate +42+96 '> dump 1000' -annotate +42+116 '00001000 4E 71 4E 75' -annotate +42+136 '> _' \
  -fill '#d8a200' -stroke '#5a4300' -strokewidth 1 -draw "rectangle 290,60 380,150" \
  -fill '#222' -stroke none -font "$mono" -pointsize 14 -annotate +304+112 'MC68000' \
  -stroke '#c0c0c0' -strokewidth 2 \
  -draw "line 296,60 296,48 line 308,60 308,48 line 320,60 320,48 line 332,60 332,48 line 344,60 344,48 line 356,60 356,48 line 368,60 368,48" \
  -draw "line 296,150 296,162 line 308,150 308,162 line 320,150 320,162 line 332,150 332,162 line 344,150 344,162 line 356,150 356,162 line 368,150 368,162" \
  -stroke none -font "$font" -pointsize 40 -fill white -annotate +272+222 'Tarvoline' \
  -font DejaVu-Sans -pointsize 13 -fill '#bcd4f0' -annotate +276+246 'Version 2.00 - for 68000 boards' \
  -depth 8 splash.png

# Toolbar strip, 80 x 15: Cut, Copy, Paste, Print, About.
convert -size 80x15 xc:none \
  -stroke '#202020' -strokewidth 1 -fill none \
  -draw "circle 4,11 4,13 circle 11,11 11,13 line 5,9 10,2 line 10,9 5,2" \
  -fill white -draw "rectangle 17,1 25,10 rectangle 22,4 30,13" \
  -fill '#c8a060' -draw "rectangle 34,2 44,13" -fill white -draw "rectangle 39,5 46,14" \
  -fill '#d0d0d0' -draw "rectangle 49,6 62,12" -fill white -draw "rectangle 52,1 59,6 rectangle 52,10 59,14" \
  -fill '#1040c0' -stroke '#1040c0' -draw "circle 71,7 71,1" \
  -fill white -stroke white -draw "rectangle 70,6 72,11 rectangle 70,3 72,4" \
  -depth 8 toolbar.png

# Program icon, 32 x 32: a blue screen with a prompt.
convert -size 32x32 xc:none -fill '#303030' -draw "roundrectangle 1,3 30,26 3,3" \
  -fill '#0000c8' -draw "rectangle 4,6 27,23" -fill white -font "$mono" -pointsize 10 \
  -annotate +6+17 '>_' -fill '#606060' -draw "rectangle 12,27 19,29 rectangle 8,29 23,30" \
  -depth 8 tarvoline.png
