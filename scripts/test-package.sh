#!/usr/bin/env bash
# Builds the Debian package from build/, checks that it depends on the Qt
# runtime, and (as root) installs it, starts the installed program and
# removes the package again. A copy installed before is purged first, so
# the check always tests this package.
set -euo pipefail
cd "$(dirname "$0")/.."
(cd "${QX_BUILD:-build}" && cpack -G DEB >/dev/null)
deb=$(ls -t "${QX_BUILD:-build}"/quilvex_*.deb | head -1)
echo "== package $deb"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -q "libqt6widgets6" <<<"$depends" || { echo "the package does not depend on the Qt widgets runtime" >&2; exit 1; }
contents=$(dpkg-deb -c "$deb")
grep -q "./usr/share/applications/quilvex.desktop" <<<"$contents" || { echo "no desktop entry in the package" >&2; exit 1; }

if [ "$(id -u)" -ne 0 ]; then
  echo "Not root: the package was checked but not installed and started."
  exit 0
fi
apt() { env DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=300 "$@" >/dev/null; }
if dpkg-query -W -f='${Status}' quilvex 2>/dev/null | grep -q "install ok"; then
  echo "Purging the quilvex installed before"
  apt purge quilvex
fi
apt install "$(realpath "$deb")"
status=0
tests/install/start_installed.sh /usr || status=$?
apt purge quilvex
exit $status
