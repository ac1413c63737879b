#!/usr/bin/env bash
# Installs the Debian package into a throw-away Debian 12 root and tries it there: the dependencies resolve from the
# Debian mirror (without Recommends), the package makes its user and folders, and quillmere --version, --screenshots
# and a headless start as the user quillmere work; the service's own command line, as its user, with the settings in
# /etc/quillmere made as the README says, places a call through kamailio (digest authentication) to sipp, both on the
# host's 127.0.0.1 (the root shares the network); then the package is purged. Needs root (chroot) and apt's Debian
# mirror; the call needs kamailio and sipp on the host (without them it is skipped), and takes the lock
# /tmp/quillmere-realtime.lock that tests with ports share (so do not run the script under it).
#   scripts/package-root-test.sh [--files-only] [PACKAGE.deb]
# The minimal root (debootstrap --variant=minbase bookworm) is built once and kept in $QUILLMERE_ROOT_CACHE
# (default /var/tmp/quillmere-bookworm-base); each run works on a copy. With --files-only, or when no root can be
# built, the package is unpacked with dpkg -x and only its file list and dependencies are checked.
set -euo pipefail
cd "$(dirname "$0")/.."

files_only=0
if [ "${1:-}" = "--files-only" ]; then
  files_only=1
  shift
fi
deb=${1:-$(ls -t build-package/quillmere_*.deb 2>/dev/null | head -n 1)}
[ -n "$deb" ] && [ -f "$deb" ] || { echo "no package: run scripts/package.sh first, or name one" >&2; exit 2; }
deb=$(realpath "$deb")
echo "package: $deb"

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    echo "ok   $what"
  else
    echo "FAIL $what"
    failures=$((failures + 1))
  fi
}

# The files the package must hold, and Debian's spelling of its dependencies.
check_file_list() {
  local list
  list=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./#/#')
  for f in /usr/bin/quillmere /usr/lib/x86_64-linux-gnu/quillmere/libquillmere_desktop.so \
    /usr/lib/x86_64-linux-gnu/quillmere/libquillmere_control_guard.so \
    /usr/lib/x86_64-linux-gnu/quillmere/libquillmere_radio.so \
    /usr/share/applications/quillmere.desktop /usr/share/icons/hicolor/scalable/apps/quillmere.svg \
    /usr/share/man/man1/quillmere.1.gz /lib/systemd/system/quillmere.service /lib/udev/rules.d/60-quillmere.rules /usr/share/doc/quillmere/copyright \
    /usr/share/doc/quillmere/changelog.Debian.gz /usr/share/doc/quillmere/examples/quillmere.ini \
    /usr/share/doc/quillmere/examples/quillmere_radio.ini /usr/share/doc/quillmere/examples/quillmere_sip.ini \
    /usr/share/doc/quillmere/examples/quillmere_echolink.ini; do
    check "the package holds $f" grep -qxF "$f" <<<"$list"
  done
  local depends recommends
  depends=$(dpkg-deb -f "$deb" Depends)
  recommends=$(dpkg-deb -f "$deb" Recommends)
  echo "Depends: $depends"
  echo "Recommends: $recommends"
  for p in adduser libcurl4 libqt6core6 libespeak-ng1 libsystemd0 baresip-core jackd2; do
    check "it depends on $p" grep -qE "(^|, )$p( |,|$)" <<<"$depends"
  done
  # baresip's Recommends (GTK, GStreamer, FFmpeg) would bring a desktop onto a headless node.
  check "it names no baresip beyond baresip-core" bash -c "! grep -qE '(^|, )baresip( |,|$)' <<<'$depends, $recommends'"
  check "its maintainer scripts are there" sh -c "dpkg-deb -I '$deb' | grep -q postinst && dpkg-deb -I '$deb' | grep -q postrm"
}

files_only_run() {
  local dir
  dir=$(mktemp -d)
  dpkg -x "$deb" "$dir"
  check_file_list
  check "the unpacked program runs: quillmere --version" sh -c "'$dir/usr/bin/quillmere' --version | grep -q '^quillmere '"
  # Every dependency is a package this machine's apt knows.
  for p in $(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*)//; s/|.*//; s/ //g'); do
    check "apt knows the dependency $p" sh -c "apt-cache show '$p' >/dev/null 2>&1"
  done
  rm -rf "$dir"
}

# The service's command line (ExecStart of the packaged unit) as its user, with its environment, umask and folders, and
# the settings in /etc/quillmere as an operator makes them: quillmere.ini chooses the backends (the simulated node, as
# the root has no radio; the SIP telephone), quillmere_sip.ini holds the account. The call is asked for on the
# headless console (standard input, which the unit leaves empty) as a radio user would: "*#" a number, then "A".
call_through_kamailio() {
  if ! command -v kamailio >/dev/null || ! command -v sipp >/dev/null; then
    echo "skip the call through kamailio: kamailio or sipp is not installed here (scripts/install-deps.sh)"
    return
  fi
  # shellcheck source=../tests/sip/kamailio.bash
  . tests/sip/kamailio.bash
  local registrar=5290 node=5291 far=5292 unit="$root/lib/systemd/system/quillmere.service"
  local work="$root/tmp/call" command user env umask_value began=$SECONDS
  mkdir -p "$work"
  kamailio_config "$work/kamailio.cfg" "$registrar" "$far" || { echo "FAIL kamailio's modules not found"; failures=$((failures + 1)); return; }
  command=$(sed -n 's/^ExecStart=//p' "$unit")
  user=$(sed -n 's/^User=//p' "$unit")
  env=$(sed -n 's/^Environment=//p' "$unit" | tr '\n' ' ')
  umask_value=$(sed -n 's/^UMask=//p' "$unit")
  echo "the service runs, as $user: $command"
  # What systemd makes for the unit: its runtime and cache folders.
  for dir in /run/quillmere /var/cache/quillmere; do
    install -d -m 0750 "$root$dir"
    chroot "$root" chown "$user:$user" "$dir"
  done
  in_root sh -c "cp /usr/share/doc/quillmere/examples/quillmere.ini /usr/share/doc/quillmere/examples/quillmere_sip.ini /etc/quillmere/"
  sed -i 's/^Node=.*/Node=sim\r/; s/^Telephone=.*/Telephone=sip\r/' "$root/etc/quillmere/quillmere.ini"
  grep -q '^Node=sim' "$root/etc/quillmere/quillmere.ini" || printf 'Node=sim\r\n' >>"$root/etc/quillmere/quillmere.ini"
  grep -q '^Telephone=sip' "$root/etc/quillmere/quillmere.ini" || printf 'Telephone=sip\r\n' >>"$root/etc/quillmere/quillmere.ini"
  printf '[SETTINGS]\r\nAccount=sip:alice@127.0.0.1:%s\r\nPassword=secret\r\nDialPattern=sip:{number}@127.0.0.1:%s\r\nAudioDriver=aubridge\r\nInputDevice=node\r\nOutputDevice=node\r\nListenAddress=127.0.0.1:%s\r\n' \
    "$registrar" "$registrar" "$node" >"$root/etc/quillmere/quillmere_sip.ini"
  chroot "$root" chown "$user:$user" /etc/quillmere/quillmere.ini /etc/quillmere/quillmere_sip.ini
  chmod 600 "$root/etc/quillmere/quillmere_sip.ini"

  exec 9>/tmp/quillmere-realtime.lock
  flock 9
  kamailio -f "$work/kamailio.cfg" -DD -E -Y "$work" -w "$work" >"$work/kamailio.log" 2>&1 &
  local kamailio_pid=$!
  (cd "$work" && exec sipp -i 127.0.0.1 -p "$far" -mp 9000 -cp 8292 -nostdin -timeout 60s -sn uas -m 1) \
    >"$work/sipp.log" 2>&1 &
  local sipp_pid=$!
  mkfifo "$work/console"
  chroot --userspec="$user:$user" "$root" sh -c "umask $umask_value; cd /var/lib/quillmere && exec env -i $env $command" \
    <"$work/console" >"$work/transcript" 2>"$work/stderr" &
  local node_pid=$!
  call_pids=("$node_pid" "$kamailio_pid" "$sipp_pid")
  exec 3>"$work/console"
  local transcript="$work/transcript"
  until_seen() {  # TEXT SECONDS
    for ((i = 0; i < $2 * 10; i++)); do
      grep -qF -- "$1" "$transcript" && return 0
      kill -0 "$node_pid" 2>/dev/null || return 1
      sleep 0.1
    done
    return 1
  }
  check "the service registers its SIP account with kamailio" until_seen "SIP account sip:alice@127.0.0.1:$registrar: registered" 15
  # The program attaches to its telephone a second after its start: a request before then is refused ("Can't Send
  # Message") and made again.
  for _ in $(seq 5); do
    local refused
    refused=$(grep -c "Can't Send Message" "$transcript" || true)
    echo 'dtmf "*#5551234"' >&3
    echo 'dtmf "A"' >&3
    until_seen 'sent "CALL 5551234"' 8 && break
    [ "$(grep -c "Can't Send Message" "$transcript" || true)" = "$refused" ] && break
  done
  check "the call is answered through kamailio" until_seen 'notify "CALL 1 STATUS INPROGRESS"' 20
  until_seen 'notify "CALL 1 DURATION 2"' 10 || true
  echo 'dtmf "DD"' >&3
  check "the call ends with the hang-up" until_seen 'notify "CALL 1 STATUS FINISHED"' 10
  local sipp_status=0
  for _ in $(seq 100); do kill -0 "$sipp_pid" 2>/dev/null || break; sleep 0.1; done
  kill "$sipp_pid" 2>/dev/null || true
  wait "$sipp_pid" || sipp_status=$?
  check "sipp counts the call successful" sh -c "[ $sipp_status -eq 0 ] &&
    tr -d '\\033' <'$work/sipp.log' | grep 'Successful call' | tail -n 1 | grep -q '| *1 *\$'"
  check "kamailio relayed the call once it carried the password" grep -q 'relaying a call from alice' "$work/kamailio.log"
  check "the history log holds the call" grep -q '5551234' "$root/var/lib/quillmere/quillmere/quillmere_history.log"
  exec 3>&-
  kill "$node_pid" "$kamailio_pid" 2>/dev/null || true
  wait "$node_pid" "$kamailio_pid" 2>/dev/null || true
  call_pids=()
  exec 9>&-
  echo "the call took $((SECONDS - began)) s"
  if [ "$failures" -ne 0 ]; then
    echo "--- transcript"; tail -n 40 "$work/transcript"
    echo "--- stderr"; tail -n 30 "$work/stderr"
    echo "--- sipp"; tr -d '\033' <"$work/sipp.log" | tail -n 20
    echo "--- kamailio"; tail -n 20 "$work/kamailio.log"
  fi
}

finish() {
  echo "the test took $SECONDS s"
  if [ "$failures" -eq 0 ]; then
    echo "PASS: every check held"
    exit 0
  fi
  echo "FAILED: $failures checks"
  exit 1
}

if [ "$files_only" -eq 1 ]; then
  files_only_run
  finish
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "not root: no chroot here; checking the unpacked package only"
  files_only_run
  finish
fi

# The Debian mirror apt uses here.
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/*.sources 2>/dev/null | grep -m1 '/debian/\?$' || true)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $2 ~ /\/debian\/?$/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
mirror=${mirror:-http://deb.debian.org/debian}
cache=${QUILLMERE_ROOT_CACHE:-/var/tmp/quillmere-bookworm-base}
if [ ! -x "$cache/bin/sh" ]; then
  echo "building the minimal Debian 12 root in $cache from $mirror"
  rm -rf "$cache.partial"
  if ! debootstrap --variant=minbase bookworm "$cache.partial" "$mirror" >"$cache.log" 2>&1; then
    echo "debootstrap failed (see $cache.log): checking the unpacked package only"
    files_only_run
    finish
  fi
  mv "$cache.partial" "$cache"
fi

root=$(mktemp -d /var/tmp/quillmere-root.XXXXXX)
call_pids=()
cleanup() {
  # The call's programs, whatever ended the script (the node holds the lock of the tests with ports).
  if [ "${#call_pids[@]}" -gt 0 ]; then
    kill "${call_pids[@]}" 2>/dev/null || true
    wait "${call_pids[@]}" 2>/dev/null || true
  fi
  umount "$root/dev/pts" 2>/dev/null || true
  umount "$root/proc" 2>/dev/null || true
  [ "${QUILLMERE_KEEP_ROOT:-0}" = 1 ] && { echo "root kept in $root"; return; }
  rm -rf "$root"
}
trap cleanup EXIT
cp -a "$cache/." "$root/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
echo "deb $mirror bookworm main" >"$root/etc/apt/sources.list"
mount -t proc proc "$root/proc"
mount --bind /dev/pts "$root/dev/pts"
cp "$deb" "$root/tmp/quillmere.deb"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 "$@"; }

check_file_list
echo "installing the package and its dependencies in $root"
in_root apt-get update -q >/dev/null
check "apt installs the package with its dependencies" \
  in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends /tmp/quillmere.deb
in_root quillmere --version
check "quillmere --version" sh -c "chroot '$root' quillmere --version | grep -q '^quillmere [0-9]'"
check "the system user quillmere" in_root getent passwd quillmere
for group in audio dialout plugdev gpio; do
  check "quillmere is in the group $group" sh -c "chroot '$root' id -nG quillmere | tr ' ' '\n' | grep -qx $group"
done
for dir in /etc/quillmere /var/lib/quillmere; do
  check "$dir belongs to quillmere, mode 750" sh -c "[ \"\$(chroot '$root' stat -c '%U:%G %a' '$dir')\" = 'quillmere:quillmere 750' ]"
done
in_root env QT_QPA_PLATFORM=offscreen quillmere --screenshots /tmp/shots --transcript /dev/null || true
ls "$root/tmp/shots" 2>/dev/null || true
for window in frmMain Buddy Form1 Form21 FormHistory NodeSimulator; do
  check "quillmere --screenshots draws $window" test -s "$root/tmp/shots/$window.png"
done
# The root has no radio devices, so whether the node could go on the air is not the question here: that the check
# reads the settings and lists what it sees is.
check "quillmere --check reads the settings and lists the devices" sh -c "
  chroot '$root' quillmere --check --home /etc/quillmere --machine-dir /etc/quillmere >'$root/tmp/check' 2>&1
  cat '$root/tmp/check'; grep -q '^Settings in /etc/quillmere' '$root/tmp/check' && grep -q '^Devices:' '$root/tmp/check'"
# A headless start as the service's user, in its folders: it reads and writes /etc/quillmere and keys for the
# start announcement. The simulated node: the root has no radio.
check "a headless start as quillmere announces and keys" sh -c "
  chroot --userspec=quillmere:quillmere '$root' env -i HOME=/var/lib/quillmere XDG_RUNTIME_DIR=/var/lib/quillmere \
    timeout -s KILL 5 quillmere --headless --node sim --no-report --voice estimate --home /etc/quillmere \
    --machine-dir /etc/quillmere </dev/null >'$root/tmp/transcript' 2>&1
  cat '$root/tmp/transcript'; grep -q ' ptt on$' '$root/tmp/transcript'"
call_through_kamailio
check "apt purges the package and its state" sh -c "
  chroot '$root' env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q quillmere >/dev/null &&
  [ ! -e '$root/var/lib/quillmere' ] && [ ! -e '$root/usr/bin/quillmere' ]"
finish
