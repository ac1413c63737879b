#!/usr/bin/env bash
# Builds the Debian package (build-package/quillmere_VERSION-1_ARCH.deb) as a packager would, with the compiler's
# warnings shown but not errors, then checks it with lintian, which must find no errors.
#   scripts/package.sh [--werror]     --werror: warnings stop the build (CI: this is its Release build)
set -euo pipefail
cd "$(dirname "$0")/.."

werror=OFF
[ "${1:-}" = "--werror" ] && werror=ON

dir=build-package
# Debian's hardening flags (stack protector, fortified functions, read-only relocations bound at start).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DQUILLMERE_BENCH=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DQUILLMERE_WERROR=$werror >/dev/null
# Only what the package holds: the tests are not built here.
cmake --build "$dir" -j "$(nproc)" --target quillmere quillmere_desktop quillmere_radio_module quillmere_control_guard manpage settings_examples debian_changelog
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls -t "$dir"/quillmere_*.deb | head -n 1)
echo "package: $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
# Running as root, lintian needs to be told that is intended.
lintian_flags=(--fail-on error --display-info)
[ "$(id -u)" -eq 0 ] && lintian_flags+=(--allow-root)
lintian "${lintian_flags[@]}" "$deb"
echo "lintian: no errors"
