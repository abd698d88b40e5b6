#!/usr/bin/env bash
# Checks what a built tree installs: the installed file list, the desktop entries and the
# metainfo against their validators (an error or warning fails), the Debian package's contents
# and fields, and the installed report tool run as an unprivileged user against the
# build tree's. Ends with a count of the checks passed; the first failure stops it.
#   bash scripts/check-install.sh BUILD_FOLDER
set -euo pipefail
umask 022  # the unprivileged user must read the installed tree
cd "$(dirname "$0")/.."
build="$(realpath "${1:?usage: scripts/check-install.sh BUILD_FOLDER}")"
app_id=io.github.quorvane.Quorvane
# The desktop programs' entries; the companion shows the raw program's icon.
app_ids=(io.github.quorvane.Quorvane io.github.quorvane.QuorvaneSummary)
desktop_programs=(quorvane quorvane-summary)
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
arch="$(dpkg --print-architecture)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The unprivileged user must reach the installed tree.
chmod 755 "$work"

checks=0
pass() { echo "ok: $*"; checks=$((checks + 1)); }
fail() { echo "FAILED: $*" >&2; exit 1; }
as_nobody() { (cd / && setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH=/usr/bin:/bin HOME=/nonexistent "$@"); }

expected_files() {
  {
    printf '%s\n' usr/bin/quorvane-report usr/share/man/man1/quorvane-report.1.gz \
      "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
    for program in "${desktop_programs[@]}"; do printf '%s\n' "usr/bin/$program" "usr/share/man/man1/$program.1.gz"; done
    for id in "${app_ids[@]}"; do
      printf '%s\n' "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml"
    done
    for size in 16 32 48 64 128 256; do echo "usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"; done
    for file in examples/*.txt; do echo "usr/share/quorvane/examples/${file#examples/}"; done
  } | sort
}
expected_files > "$work/expected"

echo "-- cmake --install into a temporary DESTDIR"
root="$work/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr > /dev/null
(cd "$root" && find . ! -type d | sed 's|^\./||' | sort) > "$work/installed"
diff -u "$work/expected" "$work/installed" || fail "installed files differ from the expected list"
pass "installed files: $(wc -l < "$work/installed")"
for file in examples/*.txt; do
  cmp -s "$file" "$root/usr/share/quorvane/examples/${file#examples/}" || fail "installed $file differs"
done
pass "installed examples equal the repository's"

echo "-- validators"
for id in "${app_ids[@]}"; do
  out="$(desktop-file-validate "$root/usr/share/applications/$id.desktop" 2>&1)" || true
  [ -z "$out" ] || { echo "$out"; fail "desktop-file-validate printed messages on $id.desktop"; }
  pass "desktop-file-validate $id.desktop: no messages"
done
# appstreamcli marks errors "E:" and warnings "W:"; infos and pedantic notes pass.
appstream() {
  local out status=0
  out="$(appstreamcli "$@" 2>&1)" || status=$?
  echo "$out"
  [ "$status" -eq 0 ] && ! grep -qE '^[EW]: ' <<< "$out"
}
for id in "${app_ids[@]}"; do
  appstream validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" \
    || fail "appstreamcli validate reported an error or warning on $id.metainfo.xml"
  pass "appstreamcli validate $id.metainfo.xml: no error or warning"
done
# The tree as a software centre reads it: metainfo, desktop entry and icons together.
appstream validate-tree --no-net "$root" || fail "appstreamcli validate-tree reported an error or warning"
pass "appstreamcli validate-tree: no error or warning"
for id in "${app_ids[@]}"; do
  grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" \
    || fail "the metainfo $id has no release $version"
done
pass "metainfo release $version"

echo "-- cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$work/package" > "$work/cpack.log") || { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/package/quorvane_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $(basename "$deb")"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort > "$work/packaged"
diff -u "$work/expected" "$work/packaged" || fail "the package's files differ from the expected list"
pass "package files: $(basename "$deb")"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quorvane ] && [ "$(field Version)" = "$version" ] && [ "$(field Section)" = science ] \
  && [ "$(field Architecture)" = "$arch" ] && [ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] \
  || { dpkg-deb -I "$deb"; fail "package fields"; }
pass "package fields: quorvane $version, section science"
depends="$(field Depends)"
echo "Depends: $depends"
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6; do
  [[ ", $depends" == *", $library (>= "* ]] || fail "Depends lacks $library"
done
pass "Depends: the Qt, C and C++ libraries, with versions"
dpkg-deb -e "$deb" "$work/control"
old="$work/old/usr/bin"
mkdir -p "$old" && echo "30 1 " > "$old/QuorvaneSummary.txt" && ln -s /etc/hostname "$old/Quorvane.txt"
DPKG_ROOT="$work/old" sh "$work/control/postinst" configure || fail "postinst"
[ ! -e "$old/QuorvaneSummary.txt" ] && [ -L "$old/Quorvane.txt" ] || fail "postinst: saved inputs left in /usr/bin"
pass "postinst removes the saved inputs that earlier versions left in /usr/bin, and nothing else"
dpkg-deb -x "$deb" "$work/unpacked"
for program in "${desktop_programs[@]}" quorvane-report; do
  file "$work/unpacked/usr/bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
done
pass "packaged programs stripped"

echo "-- the installed programs as the user nobody"
for program in "${desktop_programs[@]}" quorvane-report; do
  [ "$(as_nobody "$root/usr/bin/$program" --version)" = "$program $version" ] || fail "$program --version"
done
pass "--version of the three programs: $version"
example="$root/usr/share/quorvane/examples/story_recall_education.txt"
as_nobody "$root/usr/bin/quorvane-report" --n 30 --k 1 "$example" > "$work/installed_report" 2> /dev/null
LC_ALL=C "$build/src/app/quorvane-report" --n 30 --k 1 "$example" > "$work/build_report" 2> /dev/null
[ -s "$work/build_report" ] || fail "the build tree's report is empty"
cmp "$work/build_report" "$work/installed_report" || fail "the installed tool's report differs"
pass "installed quorvane-report run by nobody prints the build tree's report"

echo "[  PASSED  ] $checks tests."
