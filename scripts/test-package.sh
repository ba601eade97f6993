#!/usr/bin/env bash
# Builds the Debian packages from build/ and checks them: quilvex-cli needs
# no Qt at all, quilvex depends on it and on the Qt runtime. As root it
# installs quilvex-cli alone and runs it, then quilvex as well and starts
# it, and removes both again. Copies installed before are purged first, so
# the check always tests these packages.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QX_BUILD:-build}
(cd "$build" && cpack -G DEB >/dev/null)
cli=$(ls -t "$build"/quilvex-cli_*.deb | head -1)
gui=$(ls -t "$build"/quilvex_*.deb | head -1)
fail() { echo "$*" >&2; exit 1; }

echo "== package $cli"
depends=$(dpkg-deb -f "$cli" Depends)
echo "Depends: $depends"
! grep -qi "qt" <<<"$depends" || fail "quilvex-cli depends on Qt"
grep -q "./usr/bin/quilvex-cli$" <<<"$(dpkg-deb -c "$cli")" || fail "no quilvex-cli in its package"

echo "== package $gui"
depends=$(dpkg-deb -f "$gui" Depends)
echo "Depends: $depends"
grep -q "libqt6widgets6" <<<"$depends" || fail "the package does not depend on the Qt widgets runtime"
grep -q "quilvex-cli (= " <<<"$depends" || fail "quilvex does not depend on quilvex-cli"
contents=$(dpkg-deb -c "$gui")
grep -q "./usr/share/applications/quilvex.desktop" <<<"$contents" || fail "no desktop entry in the package"
! grep -q "quilvex-cli" <<<"$contents" || fail "quilvex-cli is in both packages"

if [ "$(id -u)" -ne 0 ]; then
  echo "Not root: the packages were checked but not installed and started."
  exit 0
fi
apt() { env DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=300 "$@" >/dev/null; }
for p in quilvex quilvex-cli; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok"; then
    echo "Purging the $p installed before"
    apt purge "$p"
  fi
done
status=0
apt install "$(realpath "$cli")"
/usr/bin/quilvex-cli --version | grep -q "1.0a" || { echo "the installed quilvex-cli does not run" >&2; status=1; }
! ldd /usr/bin/quilvex-cli | grep -qi "libqt" || { echo "the installed quilvex-cli loads Qt" >&2; status=1; }
apt install "$(realpath "$gui")"
tests/install/start_installed.sh /usr || status=$?
apt purge quilvex quilvex-cli
exit $status
