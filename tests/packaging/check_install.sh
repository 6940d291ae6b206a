#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR with prefix /usr and checks what a desktop makes of it: the
# files in their XDG places, the desktop entry, the MIME type with its default application, and the
# thumbnailer command run the way a file manager runs it.
set -uo pipefail
. "$(dirname "$0")/lib.sh"
need cmake od desktop-file-validate update-mime-database update-desktop-database xmllint gio
make_scratch

root=$scratch/root
usr=$root/usr
if ! DESTDIR=$root cmake --install "$SHEETPEEK_BUILD_DIR" --prefix /usr >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log" >&2
  fail "cmake --install failed"
  finish
fi

# --- the files, and nothing else ---------------------------------------------------------------
actual=$(cd "$root" && find . ! -type d | sed 's|^\./||' | sort)
expected=$(expected_list usr/)
[[ $actual == "$expected" ]] ||
  fail "installed files differ from the expected list:\n$(diff <(echo "$expected") <(echo "$actual"))"
for f in "${expected_files[@]}"; do
  case $f in
    bin/*) [[ -x $usr/$f ]] || fail "$f is not executable" ;;
  esac
done
for size in "${icon_sizes[@]}"; do
  for icon in apps/sheetpeek.png mimetypes/application-x-orvic-cad.png; do
    icon=$usr/share/icons/hicolor/${size}x${size}/$icon
    read -r w h _ _ < <(png_header "$icon" || echo "not a PNG")
    [[ "$w $h" == "$size $size" ]] || fail "$icon is ${w}x${h}, wanted ${size}x${size}"
  done
done
# Man pages and the changelog go in compressed; what a reader unpacks is the page as written.
for page in "$SHEETPEEK_SOURCE_DIR"/docs/man/*.1; do
  installed=$usr/share/man/man1/$(basename "$page").gz
  [[ -f $installed ]] || continue
  gzip -dc "$installed" | cmp -s - "$page" || fail "$installed does not unpack to $(basename "$page")"
done
version=$("$usr/bin/sheetpeek-info" --version 2>&1)
[[ $version == *"$SHEETPEEK_VERSION"* ]] || fail "installed sheetpeek-info --version says '$version'"

# --- one type name across the MIME package, the desktop entry and the thumbnailer ---------------
mime_xml=$usr/share/mime/packages/sheetpeek.xml
thumbnailer=$usr/share/thumbnailers/sheetpeek.thumbnailer
xmllint --noout "$mime_xml" || fail "$mime_xml is not well-formed XML"
type=$(xmllint --xpath 'string(/*[local-name()="mime-info"]/*[local-name()="mime-type"]/@type)' "$mime_xml")
[[ $type == */* ]] || fail "no mime-type in $mime_xml"
[[ $(entry_value "$thumbnailer" MimeType) == "$type;" ]] || fail "thumbnailer MimeType is not '$type;'"

if [[ $SHEETPEEK_HAVE_VIEWER == 1 ]]; then
  desktop=$usr/share/applications/sheetpeek.desktop
  out=$(desktop-file-validate "$desktop" 2>&1)
  [[ $? -eq 0 && -z $out ]] || fail "desktop-file-validate:\n$out"
  [[ $(entry_value "$desktop" Exec) == "sheetpeek %f" ]] || fail "desktop Exec is not 'sheetpeek %f'"
  [[ $(entry_value "$desktop" Icon) == sheetpeek ]] || fail "desktop Icon is not 'sheetpeek'"
  [[ $(entry_value "$desktop" MimeType) == "$type;" ]] || fail "desktop MimeType is not '$type;'"
  categories=";$(entry_value "$desktop" Categories)"
  [[ $categories == *";Graphics;"* && $categories == *";Viewer;"* ]] || fail "desktop Categories: $categories"
  [[ -n $(entry_value "$desktop" 'Name[ja]') ]] || fail "desktop entry has no Japanese name"
  [[ -n $(entry_value "$desktop" 'Comment[ja]') ]] || fail "desktop entry has no Japanese comment"
fi

# --- the MIME database built from our package: glob, parent type and the lookup of a name ---------
data=$scratch/data
mkdir -p "$data/mime/packages"
cp /usr/share/mime/packages/freedesktop.org.xml "$mime_xml" "$data/mime/packages/"
update-mime-database "$data/mime" >"$scratch/mime.log" 2>&1 || fail "update-mime-database:\n$(cat "$scratch/mime.log")"
grep -qE "^[0-9]+:$type:\*\.cad(:cs)?$" "$data/mime/globs2" || fail "globs2 has no *.cad entry for $type"
grep -qx "$type text/plain" "$data/mime/subclasses" || fail "$type is not a sub-class of text/plain"
grep -qx "$type:x-office-document" "$data/mime/generic-icons" || fail "$type's generic icon is not a document"
grep -qx "$type:${type/\//-}" "$data/mime/icons" || fail "$type's icon is not named ${type/\//-}"

if [[ $SHEETPEEK_HAVE_VIEWER == 1 ]]; then
  cp -r "$usr/share/applications" "$data/"
  update-desktop-database "$data/applications" || fail "update-desktop-database failed"
  grep -q "^$type=.*sheetpeek\.desktop;" "$data/applications/mimeinfo.cache" ||
    fail "mimeinfo.cache does not map $type to sheetpeek.desktop"
fi

# gio reads only the scratch data; the desktop entry's TryExec finds the installed viewer on PATH.
desk=(env -i "PATH=$usr/bin:$PATH" "HOME=$scratch/home" "XDG_DATA_HOME=$scratch/none"
      "XDG_DATA_DIRS=$data" "XDG_CONFIG_HOME=$scratch/none" "XDG_CONFIG_DIRS=$scratch/none")
content_type() { "${desk[@]}" gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'; }
cp "$SHEETPEEK_TEST_DATA/golden/plan_with_preview.cad" "$scratch/plan.cad"
cp "$SHEETPEEK_TEST_DATA/golden/plan_with_preview.cad" "$scratch/PLAN.CAD"
got=$(content_type "$scratch/plan.cad")
[[ $got == "$type" ]] || fail "plan.cad is seen as '$got', wanted $type"
# The viewer loads only names ending in exactly ".cad"; the type must not claim others.
got=$(content_type "$scratch/PLAN.CAD")
[[ -n $got && $got != "$type" ]] || fail "PLAN.CAD is seen as '$got'"
# A file manager looks the type's icon up by these names, in order; the first is the one installed.
icons=$("${desk[@]}" gio info -a standard::icon "$scratch/plan.cad" | sed -n 's/^ *standard::icon: //p')
[[ $icons == "${type/\//-}, "* && $icons == *", x-office-document"* ]] || fail "plan.cad's icons are '$icons'"
if [[ $SHEETPEEK_HAVE_VIEWER == 1 ]]; then
  handlers=$("${desk[@]}" gio mime "$type" 2>&1)
  [[ $(head -n 1 <<<"$handlers") == *": sheetpeek.desktop" ]] ||
    fail "sheetpeek is not the default application for $type:\n$handlers"
fi

# --- the thumbnailer, with its Exec line expanded as the freedesktop thumbnail rules say -------------
tryexec=$(entry_value "$thumbnailer" TryExec)
[[ -n $tryexec && -x $usr/bin/$tryexec ]] || fail "thumbnailer TryExec '$tryexec' is not an installed program"
read -ra exec_words <<<"$(entry_value "$thumbnailer" Exec)"
# run_thumbnailer SIZE INPUT OUTPUT: the command as a file manager would start it, from another folder.
run_thumbnailer() {
  local cmd=() word
  for word in "${exec_words[@]}"; do
    case $word in
      %s) cmd+=("$1") ;;
      %i) cmd+=("$2") ;;
      %o) cmd+=("$3") ;;
      %u) cmd+=("file://$2") ;;
      %*) fail "unexpected field code $word in the thumbnailer's Exec"; return 1 ;;
      *) cmd+=("$word") ;;
    esac
  done
  (cd "$scratch" && PATH="$usr/bin:$PATH" timeout 60 "${cmd[@]}")
}
# drawing  SIZE  expected width and height (previews: 80x50 and 256x36; never enlarged past 4x)
while read -r drawing size want_w want_h; do
  out=$scratch/thumb-$drawing-$size.png
  if ! run_thumbnailer "$size" "$SHEETPEEK_TEST_DATA/golden/$drawing" "$out" 2>"$scratch/thumb.err"; then
    fail "thumbnailer failed for $drawing at $size:\n$(cat "$scratch/thumb.err")"
    continue
  fi
  header=$(png_header "$out") || { fail "thumbnail of $drawing at $size is not a PNG"; continue; }
  read -r w h _ _ <<<"$header"
  [[ "$w $h" == "$want_w $want_h" ]] || fail "thumbnail of $drawing at $size is ${w}x${h}, wanted ${want_w}x${want_h}"
done <<'CASES'
plan_with_preview.cad 128 128 80
plan_with_preview.cad 256 256 160
plan_with_preview.cad 1024 320 200
runs.cad 128 128 18
runs.cad 64 64 9
CASES
# A drawing without a preview gets no thumbnail and an error status, so the file manager falls back.
out=$scratch/thumb-none.png
if run_thumbnailer 128 "$SHEETPEEK_TEST_DATA/golden/quoting.cad" "$out" 2>/dev/null; then
  fail "the thumbnailer reported success for a drawing without a preview"
fi
[[ ! -e $out ]] || fail "the thumbnailer wrote a file for a drawing without a preview"

finish
