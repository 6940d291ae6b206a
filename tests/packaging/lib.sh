# Shared by the packaging checks (sourced). A check records every failure with `fail` and ends with
# `finish`, which exits 1 if anything failed, so one run shows all that is wrong.

: "${SHEETPEEK_BUILD_DIR:?}" "${SHEETPEEK_SOURCE_DIR:?}" "${SHEETPEEK_TEST_DATA:?}" "${SHEETPEEK_VERSION:?}"
: "${SHEETPEEK_HAVE_VIEWER:=1}"

failures=0
fail() {
  printf 'FAIL: %b\n' "$*" >&2
  failures=$((failures + 1))
}
finish() {
  if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
# Stops at once when a tool is missing: the checks below would only fail for that reason.
need() {
  local tool
  for tool; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool (scripts/install-deps base package)" >&2; exit 1; }
  done
}
# A scratch folder, removed on exit.
make_scratch() {
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/sheetpeek-packaging.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
}

# What an install puts under the prefix; the .deb holds the same under /usr.
icon_sizes=(16 32 48 128 256)
expected_files=(
  bin/sheetpeek-info
  share/thumbnailers/sheetpeek.thumbnailer
  share/man/man1/sheetpeek-info.1.gz
  share/mime/packages/sheetpeek.xml
  share/doc/sheetpeek/copyright
  share/doc/sheetpeek/changelog.gz
)
for size in "${icon_sizes[@]}"; do
  expected_files+=(share/icons/hicolor/${size}x${size}/apps/sheetpeek.png
                   share/icons/hicolor/${size}x${size}/mimetypes/application-x-orvic-cad.png)
done
if [[ $SHEETPEEK_HAVE_VIEWER == 1 ]]; then
  expected_files+=(bin/sheetpeek share/applications/sheetpeek.desktop share/man/man1/sheetpeek.1.gz)
fi
expected_list() { printf "$1%s\n" "${expected_files[@]}" | sort; }

# Prints "WIDTH HEIGHT BIT_DEPTH COLOUR_TYPE" from a PNG's IHDR; fails for anything else.
png_header() {
  local hex
  hex=$(od -An -tx1 -N26 -v "$1" 2>/dev/null | tr -d ' \n')
  [[ ${hex:0:16} == 89504e470d0a1a0a && ${hex:24:8} == 49484452 ]] || return 1
  echo "$((16#${hex:32:8})) $((16#${hex:40:8})) $((16#${hex:48:2})) $((16#${hex:50:2}))"
}

# The value of KEY in a desktop-entry style file (first match; our files have one group each).
entry_value() {
  local key=$2
  key=${key//[/\\[}
  key=${key//]/\\]}
  sed -n "s/^${key}=//p" "$1" | head -n 1
}
