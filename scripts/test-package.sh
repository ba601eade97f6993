#!/usr/bin/env bash
# Builds the Debian package from build/, checks that it depends on the Qt
# runtime, and (as root) installs it, starts the installed program and
# removes the package again.
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

if [ "$(id -u)" -eq 0 ]; then
  if dpkg-query -W quilvex >/dev/null 2>&1; then
    echo "quilvex is already installed here; not touching it"
    exit 0
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
  status=0
  tests/install/start_installed.sh /usr || status=$?
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quilvex >/dev/null
  exit $status
fi
