#!/bin/sh
# Includes run one way: a folder may include only itself and the folders below it.
# Order: support < engine < project < layers, media, audio < commands < ui < app < cli.
# The windows of src/ui are fed and drawn by the desktop program in src/app.
cd "$(dirname "$0")/../src" || exit 2
rank() {
  case "$1" in
    support) echo 0 ;; engine) echo 1 ;; project) echo 2 ;;
    layers|media|audio) echo 3 ;; commands) echo 4 ;; ui) echo 5 ;; app) echo 6 ;; cli) echo 7 ;;
    *) echo 9 ;;
  esac
}
bad=0
for dir in */; do
  dir=${dir%/}
  own=$(rank "$dir")
  for used in $(grep -rhoE '#include "[a-z_]+/' "$dir" | sed 's/#include "//; s/\///' | sort -u); do
    [ "$used" = "$dir" ] && continue
    if [ "$(rank "$used")" -ge "$own" ]; then
      echo "src/$dir includes src/$used:"; grep -rln "#include \"$used/" "$dir" | sed 's/^/  /'
      bad=1
    fi
  done
done
[ $bad = 0 ] && echo "layering: every include points down"
exit $bad
