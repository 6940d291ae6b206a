#!/usr/bin/env bash
# Builds the Debian package from the build folder with CPack, into a scratch folder, and checks its
# control fields, its contents, that the programs in it still run and what lintian says of it.
set -uo pipefail
. "$(dirname "$0")/lib.sh"
need cpack dpkg-deb dpkg-shlibdeps dpkg dpkg-parsechangelog readelf lintian
make_scratch

if ! cpack -G DEB --config "$SHEETPEEK_BUILD_DIR/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack failed"
  finish
fi
arch=$(dpkg --print-architecture)
deb=$scratch/out/sheetpeek_${SHEETPEEK_VERSION}_${arch}.deb
[[ -f $deb ]] || { fail "no $(basename "$deb") among: $(ls "$scratch/out")"; finish; }
dpkg-deb --info "$deb" >/dev/null || fail "dpkg-deb cannot read the package"

# --- control fields --------------------------------------------------------------------------------
field() { dpkg-deb --field "$deb" "$1"; }
# Names a package in a relationship field, whatever version it carries.
lists() { [[ ", $2," == *", $1 "* || ", $2," == *", $1,"* ]]; }
[[ $(field Package) == sheetpeek ]] || fail "Package is '$(field Package)'"
[[ $(field Version) == "$SHEETPEEK_VERSION" ]] || fail "Version is '$(field Version)'"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture is '$(field Architecture)'"
[[ $(field Section) == graphics ]] || fail "Section is '$(field Section)'"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer '$(field Maintainer)' is not 'Name <address>'"
description=$(field Description)
[[ $(wc -l <<<"$description") -ge 2 && $description == *".cad"* ]] ||
  fail "Description lacks a long text:\n$description"

# Depends comes from the libraries the programs link (dpkg-shlibdeps), so a lost library shows here.
depends=$(field Depends)
wanted=(libc6 libstdc++6 libpng16-16)
[[ $SHEETPEEK_HAVE_VIEWER == 1 ]] && wanted+=(libqt6core6 libqt6gui6 libqt6widgets6)
for p in "${wanted[@]}"; do
  lists "$p" "$depends" || fail "Depends does not name $p: $depends"
done
# No maintainer scripts: the MIME, desktop and icon caches are refreshed by the file triggers of
# these packages, so they must come along.
recommends=$(field Recommends)
for p in shared-mime-info desktop-file-utils hicolor-icon-theme qt6-translations-l10n; do
  lists "$p" "$recommends" || fail "Recommends does not name $p: $recommends"
done

# --- contents ----------------------------------------------------------------------------------------
listing=$(dpkg-deb --contents "$deb")
files=$(awk '$1 !~ /^d/ {print $6}' <<<"$listing" | sort)
expected=$(expected_list ./usr/)
[[ $files == "$expected" ]] || fail "package contents differ from the expected list:\n$(diff <(echo "$expected") <(echo "$files"))"
while read -r mode owner _ _ _ path; do
  [[ $owner == root/root ]] || fail "$path is owned by $owner"
  case $path in
    */) [[ $mode == drwxr-xr-x ]] || fail "$path has mode $mode" ;;
    ./usr/bin/*) [[ $mode == -rwxr-xr-x ]] || fail "$path has mode $mode" ;;
    *) [[ $mode == -rw-r--r-- ]] || fail "$path has mode $mode" ;;
  esac
done <<<"$listing"

# --- the programs as packaged: stripped, no build-tree run path, and they run ------------------------
dpkg-deb --extract "$deb" "$scratch/x"
for f in "${expected_files[@]}"; do
  [[ $f == bin/* ]] || continue
  exe=$scratch/x/usr/$f
  readelf -S "$exe" 2>/dev/null | grep -q '\.debug_info' && fail "$f still carries debug information"
  readelf -d "$exe" 2>/dev/null | grep -qE 'R(UN)?PATH' && fail "$f has a run path: $(readelf -d "$exe" | grep -E 'R(UN)?PATH')"
done
programs=(sheetpeek-info)
[[ $SHEETPEEK_HAVE_VIEWER == 1 ]] && programs+=(sheetpeek)
for program in "${programs[@]}"; do
  version=$(cd "$scratch" && QT_QPA_PLATFORM=offscreen timeout 20 "$scratch/x/usr/bin/$program" --version 2>&1)
  [[ $version == *"$SHEETPEEK_VERSION"* ]] || fail "packaged $program --version says '$version'"
done

# --- Debian policy -----------------------------------------------------------------------------------
doc=$scratch/x/usr/share/doc/sheetpeek
gzip -dc "$doc/changelog.gz" >"$scratch/changelog" || fail "changelog.gz does not unpack"
newest=$(dpkg-parsechangelog -l "$scratch/changelog" -S Version 2>&1)
[[ $newest == "$SHEETPEEK_VERSION" ]] || fail "the changelog's newest entry is '$newest', the package $SHEETPEEK_VERSION"
# Errors and warnings fail; an override needs its reason written beside it. Info tags are only shown.
lintian --info --display-info --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1 ||
  fail "lintian:\n$(cat "$scratch/lintian.log")"
grep -E '^[EW]: ' "$scratch/lintian.log" && fail "lintian reports errors or warnings"

finish
