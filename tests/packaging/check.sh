#!/usr/bin/env bash
# Installs a built tree into a scratch DESTDIR and packs it as a .deb, then checks both
# with the tools a distribution would use. Usage: check.sh SOURCE_DIR BUILD_DIR VERSION
set -euo pipefail
src="$1"; build="$2"; version="$3"
work="$(mktemp -d "${TMPDIR:-/tmp}/zestrel-packaging.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The installed tree, under /usr as a package lays it out.
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
root="$work/root"
for f in usr/bin/zestrel usr/bin/zestrel-server usr/bin/zestrel-cookbook \
         usr/share/applications/org.zestrel.Zestrel.desktop \
         usr/share/applications/org.zestrel.Cookbook.desktop \
         usr/share/icons/hicolor/scalable/apps/org.zestrel.Zestrel.svg \
         usr/share/metainfo/org.zestrel.Zestrel.metainfo.xml \
         usr/share/man/man1/zestrel.1.gz usr/share/man/man1/zestrel-server.1.gz \
         usr/share/man/man1/zestrel-cookbook.1.gz \
         usr/share/doc/zestrel/copyright \
         usr/lib/systemd/system/zestrel-server.service etc/default/zestrel-server; do
  [ -e "$root/$f" ] || fail "missing from the installed tree: $f"
done
for p in zestrel zestrel-server zestrel-cookbook; do
  [ -x "$root/usr/bin/$p" ] || fail "not executable: usr/bin/$p"
  page="$(zcat "$root/usr/share/man/man1/$p.1.gz")"
  grep -q "^\.TH" <<<"$page" || fail "man page $p.1 has no title"
  if grep -q "@[A-Z_]*@" <<<"$page"; then fail "unconfigured variable in $p.1"; fi
  # Every option the programs' usage names is in their page.
  for opt in $("$root/usr/bin/$p" --help 2>&1 | grep -o -- '--[a-z-]*' | sort -u); do
    grep -qF -- "${opt//-/\\-}" <<<"$page" || fail "$p.1 does not describe $opt"
  done
done

desktop-file-validate "$root/usr/share/applications/org.zestrel.Zestrel.desktop"
desktop-file-validate "$root/usr/share/applications/org.zestrel.Cookbook.desktop"
grep -q "^Exec=zestrel-cookbook$" "$root/usr/share/applications/org.zestrel.Cookbook.desktop" \
  || fail "the Cookbook's desktop entry does not start zestrel-cookbook"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.zestrel.Zestrel.metainfo.xml"
grep -q "^ExecStart=/usr/bin/zestrel-server " "$root/usr/lib/systemd/system/zestrel-server.service" \
  || fail "the unit does not start /usr/bin/zestrel-server"
# Verified against this machine's units, with the relay at its place in the scratch tree.
sed "s#^ExecStart=/usr/bin/#ExecStart=$root/usr/bin/#" \
  "$root/usr/lib/systemd/system/zestrel-server.service" > "$work/zestrel-server.service"
systemd-analyze verify --man=no "$work/zestrel-server.service"

# The installed programs run from the tree: usage and version on standard output, exit 0,
# with no display needed.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$root/usr/bin/zestrel" --version)" = "zestrel $version" ] \
  || fail "zestrel --version"
env -u DISPLAY QT_QPA_PLATFORM= "$root/usr/bin/zestrel" --help | grep -q "^usage: zestrel \[--folder DIR\]$" \
  || fail "zestrel --help"
"$root/usr/bin/zestrel-server" --help | grep -q "^usage: zestrel-server \[--listen HOST:PORT\]" \
  || fail "zestrel-server --help"

# The package: built by CPack, dependencies from the linked shared libraries.
(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
deb="$(ls "$work"/deb/*.deb)"
info="$(dpkg-deb --info "$deb")"
for dep in libqt6widgets6 libqt6network6 libqt6sql6 libqt6sql6-sqlite libqt6svg6 libc6; do
  grep -q "Depends:.*$dep" <<<"$info" || fail "package does not depend on $dep"
done
# Nothing recommended: a recommended package pulls in dozens of others by default.
if grep -q "^ *Recommends:" <<<"$info"; then fail "package recommends other packages"; fi
contents="$(dpkg-deb --contents "$deb")"
grep -q "\./usr/share/doc/zestrel/copyright$" <<<"$contents" || fail "package holds no copyright file"
grep -q "\./usr/lib/systemd/system/zestrel-server.service$" <<<"$contents" || fail "package holds no unit"
if grep -q "/etc/systemd/system/" <<<"$contents"; then fail "unit enabled by the package"; fi
grep -q "ExecStart=/usr/bin/zestrel-server " <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/system/zestrel-server.service) \
  || fail "the packaged unit does not start /usr/bin/zestrel-server"
dpkg-deb --extract "$deb" "$work/unpacked"
"$work/unpacked/usr/bin/zestrel-server" --help >/dev/null || fail "unpacked zestrel-server --help"
echo "installed tree, desktop entry, metadata, unit and package are sound"
