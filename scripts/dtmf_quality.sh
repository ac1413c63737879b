#!/usr/bin/env bash
# Measures the DTMF decoder beside multimon-ng: builds bench/dtmf_quality, makes the talk-off material once into
# build/dtmf_material (an hour of espeak-ng speech in eight languages; recorded voices: telephone prompts, a children's
# game's words in some 25 languages, radio amateurs; music of several kinds and other sounds, all from Debian
# packages, as 16-bit raw at 22050 Hz) and prints the table for the README.
#   scripts/dtmf_quality.sh [dtmf_quality OPTIONS]   e.g. --min-tone 35 --min-level -45
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --bench
for tool in espeak-ng sox msgunfmt multimon-ng; do
  command -v "$tool" >/dev/null || { echo "dtmf_quality.sh: $tool is missing (scripts/install-deps.sh --bench)" >&2; exit 1; }
done
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_BENCH=ON >/dev/null
nice cmake --build build --target dtmf_quality >/dev/null

material=build/dtmf_material
to_raw() {  # FILE OUT: mono, 22050 Hz, 16 bit, peaks at -3 dBFS as a hot receiver gives them
  nice sox -q "$1" -r 22050 -c 1 -b 16 -e signed-integer -t raw "$2" gain -n -3
}
if [ ! -f "$material/.done" ]; then
  rm -rf "$material"
  mkdir -p "$material/speech" "$material/music" "$material/other"
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  # Speech: the program messages Debian ships translated, spoken by several voices at several speeds, 8 minutes
  # a language.
  variants=(m1 f2 m3 f4 m7 f1)
  speeds=(150 175 200 165 185 140)
  for lang in en de fr es it pl ru nl; do
    if [ "$lang" = en ]; then
      cat /usr/share/common-licenses/GPL-3 /usr/share/common-licenses/Apache-2.0 >"$tmp/text"
    else
      : >"$tmp/text"
      for mo in /usr/share/locale/"$lang"/LC_MESSAGES/*.mo; do
        msgunfmt "$mo" 2>/dev/null | awk '/^msgid/ {s=0} /^msgstr/ {s=1} s' |
          sed -n 's/^\(msgstr \)\?"\(.*\)"$/\2/p' | sed 's/%[-0-9.]*[a-zA-Z]//g; s/\\n/ /g; s/[\\<>{}|_$*&]//g' >>"$tmp/text"
      done
    fi
    split -C 3000 "$tmp/text" "$tmp/part-$lang-"
    seconds=0 i=0
    for part in "$tmp"/part-"$lang"-*; do
      [ "$seconds" -ge 480 ] && break
      nice espeak-ng -v "$lang+${variants[i % 6]}" -s "${speeds[i % 6]}" -f "$part" -w "$tmp/speech.wav" 2>/dev/null ||
        continue
      to_raw "$tmp/speech.wav" "$material/speech/espeak_$lang-$i.raw"
      seconds=$((seconds + $(stat -c %s "$material/speech/espeak_$lang-$i.raw") / 44100))
      i=$((i + 1))
    done
  done
  for f in /usr/share/sounds/alsa/*.wav; do
    case $f in *Noise.wav) to_raw "$f" "$material/other/alsa_noise-$(basename "$f" .wav).raw" ;;
    *) to_raw "$f" "$material/speech/alsa_samples-$(basename "$f" .wav).raw" ;; esac
  done
  for f in /usr/share/games/neverball/bgm/*.ogg; do to_raw "$f" "$material/music/neverball-$(basename "$f" .ogg).raw"; done
  for f in /usr/share/sounds/freedesktop/stereo/*.oga; do
    to_raw "$f" "$material/other/freedesktop_sounds-$(basename "$f" .oga).raw"
  done
  # baresip's call-progress tones (its key tones are DTMF and stay out).
  for f in ring ringback busy callwaiting error message notfound; do
    to_raw "/usr/share/baresip/$f.wav" "$material/other/baresip_tones-$f.raw"
  done
  # Recorded voices. Telephone prompts, one file a speaker: Allison (English, Mexican Spanish), June (Canadian
  # French), Menardi and Carlo (Italian), the Russian voice, Armelle (French) and the Colombian Spanish prompts.
  append_raw() {  # OUT FILE...: each file normalised on its own, one after the other
    local out=$1 f
    shift
    for f in "$@"; do to_raw "$f" - >>"$out"; done
  }
  for voice in /usr/share/asterisk/sounds/*_*_[fm]_*/; do
    mapfile -t files < <(find "$voice" -name '*.wav' | sort)
    append_raw "$material/speech/prompts_$(basename "$voice").raw" "${files[@]}"
  done
  for lang in fr es; do
    mapfile -t files < <(find "/usr/share/asterisk/sounds/$lang" -name '*.gsm' | sort)
    append_raw "$material/speech/prompts_${lang}_extra.raw" "${files[@]}"
  done
  # The words of a children's game, spoken in some 25 languages by their translators, a file a language.
  for lang in /usr/share/ktuberling/sounds/*/; do
    case $lang in *@*) continue ;; esac  # the same words as the language without the @
    mapfile -t files < <(find "$lang" -name '*.ogg' -o -name '*.wav' | sort)
    [ ${#files[@]} -gt 0 ] && append_raw "$material/speech/ktuberling-$(basename "$lang").raw" "${files[@]}"
  done
  # Radio amateurs and others recorded for a speech codec's tests (8 kHz raw, or wav).
  for f in cq_ref g3plx hts kristoff; do
    sox -q -r 8000 -c 1 -b 16 -e signed-integer -t raw "/usr/share/codec2/raw/$f.raw" "$tmp/$f.wav"
    to_raw "$tmp/$f.wav" "$material/speech/codec2_samples-$f.raw"
  done
  for f in /usr/share/codec2/wav/*.wav; do
    case $f in */all.wav | */hts[12]a.wav) continue ;; esac
    to_raw "$f" "$material/speech/codec2_samples-$(basename "$f" .wav).raw"
  done
  # Music of several kinds: rock and metal songs (the band and the lead guitar mixed), adventure game music,
  # arcade music, ringtones, instrument loops and single notes, drum kits.
  for song in /usr/share/games/fretsonfire/data/songs/*/*/; do
    name=$(basename "$song" | tr -c 'A-Za-z0-9\n' '_')
    nice sox -q -m "$song/song.ogg" "$song/guitar.ogg" "$tmp/song.wav"
    to_raw "$tmp/song.wav" "$material/music/fretsonfire_songs-$name.raw"
  done
  for f in /usr/share/scummvm/drascula/en/*.ogg; do to_raw "$f" "$material/music/drascula-$(basename "$f" .ogg).raw"; done
  for f in introzik frozen-mainzik-1p frozen-mainzik-2p; do
    to_raw "/usr/share/games/frozen-bubble/snd/$f.ogg" "$material/music/frozen_bubble-$f.raw"
  done
  mapfile -t files < <(find /usr/share/sounds/lomiri/ringtones -name '*.ogg' | sort)
  append_raw "$material/music/lomiri_ringtones-all.raw" "${files[@]}"
  # (its phone samples are key tones and stay out)
  mapfile -t files < <(find /usr/share/sonic-pi/samples -name '*.flac' ! -name '*phone*' | sort)
  append_raw "$material/music/sonic_pi_samples-all.raw" "${files[@]}"
  mapfile -t files < <(find /usr/share/hydrogen/data/drumkits -name '*.wav' -o -name '*.flac' | sort)
  append_raw "$material/music/hydrogen_drumkits-all.raw" "${files[@]}"
  touch "$material/.done"
fi
nice build/dtmf_quality --material "$material" "$@"
