#!/usr/bin/env bash
# Checks that every relative link in README.md and docs/*.md leads
# somewhere: the file or folder it names exists, and a "#section" after a
# Markdown file's name (or alone, for the same page) names one of that
# page's headings. Links to other sites (http:, https:, mailto:) are not
# followed. Text inside code (fenced blocks and `spans`) is not read.
# Prints each broken link as FILE:LINE: TARGET and exits 1 if there was one.
# Usage: scripts/check-links.sh [FILE.md ...]   (default: README.md docs/*.md)
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C.UTF-8

shopt -s nullglob
files=("$@")
[ ${#files[@]} -gt 0 ] || files=(README.md docs/*.md)

# The page's text with code left out, line numbers kept: fenced blocks
# become empty lines, code spans vanish.
prose() {
  # shellcheck disable=SC2016 # backquotes are Markdown's, not the shell's
  sed -e '/^ *```/,/^ *```/s/.*//' -e 's/`[^`]*`//g' "$1"
}

# The anchors of a page's headings, as the usual Markdown renderers make
# them: lower case, code marks and punctuation dropped, spaces to hyphens.
anchors() {
  # shellcheck disable=SC2016 # backquotes are Markdown's, not the shell's
  sed -e '/^ *```/,/^ *```/d' "$1" | sed -n 's/^#\{1,6\} \{1,\}//p' |
    sed -e 's/ *#* *$//' -e 's/[`]//g' | tr '[:upper:]' '[:lower:]' |
    sed -e 's/[^[:alnum:] _-]//g' -e 's/ /-/g'
}

checked=0 broken=0
for file in "${files[@]}"; do
  if [ ! -f "$file" ]; then
    echo "$file: no such file"
    broken=$((broken + 1))
    continue
  fi
  dir=$(dirname "$file")
  # Inline links and images: ](target) or ](target "title"); then
  # reference definitions: [name]: target.
  while IFS=: read -r line target; do
    if [[ "$target" == '<'* ]]; then
      target=${target#<}
      target=${target%%>*}
    else
      target=${target%% *}
    fi
    case "$target" in
      http:* | https:* | mailto:* | ftp:* | "") continue ;;
    esac
    checked=$((checked + 1))
    path=${target%%#*}
    anchor=
    [ "$path" = "$target" ] || anchor=${target#*#}
    if [ -z "$path" ]; then
      page=$file
    else
      page="$dir/$path"
      if [ ! -e "$page" ]; then
        echo "$file:$line: $target (no such file)"
        broken=$((broken + 1))
        continue
      fi
    fi
    if [ -n "$anchor" ] && [[ "$page" == *.md ]] && [ -f "$page" ]; then
      # Whole, not piped into grep -q: an early exit would fail the pipe.
      sections=$(anchors "$page")
      if ! grep -qxF -- "$anchor" <<<"$sections"; then
        echo "$file:$line: $target (no such section in $page)"
        broken=$((broken + 1))
      fi
    fi
  done < <(
    prose "$file" | grep -n -o '](\(<[^>]*>\|[^)]*\))' | sed 's/^\([0-9]*\):](\(.*\))$/\1:\2/'
    prose "$file" | grep -n '^ \{0,3\}\[[^]]*\]: *[^ ]' | sed 's/^\([0-9]*\): *\[[^]]*\]: *\([^ ]*\).*/\1:\2/'
  )
done

if [ "$broken" -gt 0 ]; then
  echo "check-links: $broken broken link(s) of $checked in ${files[*]}"
  exit 1
fi
echo "check-links: all $checked relative links lead somewhere"
