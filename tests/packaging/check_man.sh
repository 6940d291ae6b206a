#!/usr/bin/env bash
# The man pages: they format without warnings, carry the program's name and version, and document
# exactly the long options that the program's --help lists.
set -uo pipefail
. "$(dirname "$0")/lib.sh"
need groff preconv timeout
: "${SHEETPEEK_BIN_DIR:?}"
make_scratch

programs=(sheetpeek-info)
[[ $SHEETPEEK_HAVE_VIEWER == 1 ]] && programs+=(sheetpeek)

long_options() { grep -oE -- '--[a-z][a-z-]*[a-z]' | sort -u; }

for program in "${programs[@]}"; do
  page=$SHEETPEEK_SOURCE_DIR/docs/man/$program.1
  [[ -f $page ]] || { fail "no man page for $program"; continue; }

  warnings=$(preconv -e UTF-8 "$page" | groff -man -Tutf8 -ww -z 2>&1)
  [[ -z $warnings ]] || fail "$program.1 formats with warnings:\n$warnings"

  th=$(grep -m1 '^\.TH ' "$page")
  upper=$(tr '[:lower:]' '[:upper:]' <<<"$program")
  [[ $th == ".TH $upper 1 "* ]] || fail "$program.1 title line: $th"
  [[ $th == *"SheetPeeker $SHEETPEEK_VERSION"* ]] || fail "$program.1 does not name version $SHEETPEEK_VERSION: $th"
  grep -q "^$program \\\\- " "$page" || fail "$program.1 has no NAME line '$program \\- ...'"

  # The program as a user starts it; a viewer that ignored --help would open a window and time out.
  exe=$SHEETPEEK_BIN_DIR/$program
  if ! help=$(cd "$scratch" && timeout 20 "$exe" --help 2>&1); then
    fail "$program --help did not exit with status 0:\n$help"
    continue
  fi
  version=$(cd "$scratch" && timeout 20 "$exe" --version 2>&1)
  [[ $? -eq 0 && $version == *"$SHEETPEEK_VERSION"* ]] || fail "$program --version says '$version'"

  # Roff writes a dash as "\-"; compare the options as the reader sees them.
  documented=$(sed 's/\\-/-/g' "$page" | long_options)
  offered=$(long_options <<<"$help")
  [[ $documented == "$offered" ]] ||
    fail "$program.1 and '$program --help' differ in their long options (< man, > help):\n$(diff <(echo "$documented") <(echo "$offered"))"
done

finish
