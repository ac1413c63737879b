#!/usr/bin/env bash
# Installs the Debian packages Quillmere needs to build, test and run, when they are missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev libgl-dev fonts-dejavu-core fonts-dejavu-extra
  libgtest-dev libgmock-dev libbenchmark-dev
  libespeak-ng-dev espeak-ng-data libasound2-dev
  libcurl4-openssl-dev
  baresip sip-tester kamailio  # kamailio: the registrar of the SIP account tests
  jackd2 libjack-jackd2-dev libspandsp-dev libsamplerate0-dev libgpiod-dev gpiod multimon-ng sox
  libecholib-dev libasynccore-dev libasyncaudio-dev libasynccpp-dev libsigc++-2.0-dev libgsm1-dev
  libpcre2-dev liboath-dev oathtool libqrencode-dev libsystemd-dev
  qt6-websockets-dev libsodium-dev chromium chromium-driver python3-selenium prometheus  # the web page and its tests
  lintian debootstrap svxlink-server systemd man-db bsdextrautils
  bc python3  # the radio node's tests and benchmark (bench/radio_bench.sh)
)
# --fuzz: the clang toolchain and libFuzzer for scripts/fuzz.sh.
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang-14 libfuzzer-14-dev)
fi
# --bench: sound material for the DTMF quality table (scripts/dtmf_quality.sh): speech samples, music, other sounds.
# Recorded voices: telephone prompts (women and a man, five languages), words of a children's game spoken by its
# translators (about twenty languages), radio amateurs' recordings. Music: game music (pop, rock and metal songs,
# adventure), ringtones, instrument loops and drum kits. About 400 MB.
if [ "${1:-}" = "--bench" ]; then
  packages+=(espeak-ng alsa-utils sound-theme-freedesktop neverball-data gettext
    asterisk-core-sounds-en-wav asterisk-core-sounds-es-wav asterisk-core-sounds-fr-wav asterisk-core-sounds-it-wav
    asterisk-core-sounds-ru-wav asterisk-prompt-it-menardi-wav asterisk-prompt-fr-armelle asterisk-prompt-es-co
    ktuberling-data codec2-examples
    frozen-bubble-data fretsonfire-songs-muldjord fretsonfire-songs-sectoid drascula-music lomiri-sounds
    sonic-pi-samples hydrogen-data)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
