#!/usr/bin/env bash
# The pictures the chapters show, the ones the renderer makes for the guide and
# the committed copies are one set: a chapter showing a picture the program
# does not render, or a rendered or committed picture no chapter shows, fails.
# Given the build's fresh renders, the committed copies must show what they
# show (pictures.txt, their texts and curves in words: fonts do not matter).
# Usage: check-guide-pictures.sh LPSCREENS GUIDE-FOLDER [RENDERED-FOLDER]
set -euo pipefail
lpscreens=$1 guide=$2 fresh=${3:-}
used=$(grep -oh '(images/[^)]*)' "$guide"/[0-9][0-9]-*.md | sed 's|^(images/||; s|)$||' | sort -u)
rendered=$("$lpscreens" --list-guide | sort -u)
committed=$(cd "$guide/images" && ls | grep -v '^pictures\.txt$' | sort -u)
status=0
report() { # label, set A, set B: what A has and B lacks
  local missing
  missing=$(comm -23 <(printf '%s\n' "$2") <(printf '%s\n' "$3"))
  if [ -n "$missing" ]; then
    echo "$1:" $missing
    status=1
  fi
}
report "shown by the guide, not rendered by lpscreens --guide" "$used" "$rendered"
report "rendered for the guide, shown by no chapter" "$rendered" "$used"
report "shown by the guide, not in docs/guide/images" "$used" "$committed"
report "in docs/guide/images, shown by no chapter" "$committed" "$used"
[ -n "$used" ] || { echo "no pictures found in $guide"; status=1; }
if [ -n "$fresh" ] && [ -f "$fresh/pictures.txt" ]; then
  if ! changes=$(diff -u "$guide/images/pictures.txt" "$fresh/pictures.txt"); then
    echo "docs/guide/images is older than the program; refresh it with"
    echo "    cmake --build build --target guide-pictures"
    echo "what the pictures show now (+) and in the committed copies (-):"
    head -60 <<<"$changes"
    status=1
  fi
else
  echo "no fresh renders in this build (no xvfb-run?): the committed copies' content is not compared"
fi
[ $status = 0 ] && echo "$(wc -l <<<"$used") guide pictures: rendered, committed and shown alike"
exit $status
