#!/usr/bin/env bash
# Makes the demo's sounds and music from nothing but sox's synthesiser, so
# every byte under Data/Sounds is our own work (CC0, see Data/Sounds/LICENSE).
#   scripts/make-sounds.sh [output folder, default Data/Sounds]
# Needs sox with its Ogg Vorbis format (Debian: sox libsox-fmt-base).
# The pieces loop: every note fades out inside its bar, so the last bar runs
# into the first without a click.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:-$ROOT/Data/Sounds}
RATE=44100
mkdir -p "$OUT"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
S() { sox -R -V1 "$@"; }

# note NAME -> frequency in Hz (A4 = 440, equal temperament).
freq() {
  local n=$1 semis
  case ${n:0:1} in C) semis=-9;; D) semis=-7;; E) semis=-5;; F) semis=-4;; G) semis=-2;; A) semis=0;; B) semis=2;; esac
  case $n in ?#*) semis=$((semis + 1)); n=${n:0:1}${n:2};; ?b*) semis=$((semis - 1)); n=${n:0:1}${n:2};; esac
  local oct=${n:1}
  awk -v s="$semis" -v o="$oct" 'BEGIN { printf "%.3f", 440 * 2 ^ ((s + 12 * (o - 4)) / 12) }'
}

# piece NAME BEAT_SECONDS ARP_VOICE "CHORD; CHORD; ..." where a chord is
# "ROOT THIRD FIFTH" (bass root first); each chord lasts two bars of 4 beats.
piece() {
  local name=$1 beat=$2 voice=$3 chords=$4 i=0
  local bar; bar=$(awk -v b="$beat" 'BEGIN { print 4 * b }')
  local two; two=$(awk -v b="$beat" 'BEGIN { print 8 * b }')
  local half; half=$(awk -v b="$beat" 'BEGIN { print b / 2 }')
  local pads=() basses=() arps=()
  IFS=';' read -ra list <<< "$chords"
  for chord in "${list[@]}"; do
    read -r root third fifth <<< "$chord"
    local r t f
    r=$(freq "$root"); t=$(freq "$third"); f=$(freq "$fifth")
    # Pad: the triad an octave up, soft attack, released before the change.
    S -n -r $RATE -c 3 "$WORK/pad3.wav" synth "$two" sine "$(awk -v x="$r" 'BEGIN{print 2*x}')" sine "$t" sine "$f"
    S "$WORK/pad3.wav" "$WORK/pad$i.wav" remix - fade q 0.6 "$two" 1.2 vol 0.22
    pads+=("$WORK/pad$i.wav")
    # Bass: the root twice, one per bar.
    for b in 0 1; do
      S -n -r $RATE -c 1 "$WORK/bass$i$b.wav" synth "$bar" triangle "$(awk -v x="$r" 'BEGIN{print x/2}')" \
        fade q 0.02 "$bar" 0.9 vol 0.35
      basses+=("$WORK/bass$i$b.wav")
    done
    # Arpeggio: eighth notes up and down the chord.
    local k=0
    for n in "$root" "$third" "$fifth" "$third" "$fifth" "$third" "$root" "$fifth" \
             "$root" "$third" "$fifth" "$third" "$fifth" "$root" "$third" "$fifth"; do
      local hz; hz=$(awk -v x="$(freq "$n")" 'BEGIN{print 2*x}')
      S -n -r $RATE -c 1 "$WORK/arp$i-$k.wav" synth "$half" "$voice" "$hz" fade q 0.005 "$half" "$half" vol 0.16
      arps+=("$WORK/arp$i-$k.wav")
      k=$((k + 1))
    done
    i=$((i + 1))
  done
  S "${pads[@]}" "$WORK/pads.wav"
  S "${basses[@]}" "$WORK/basses.wav"
  S "${arps[@]}" "$WORK/arps.wav"
  # A little room, kept inside the loop by trimming back to the exact length.
  local total; total=$(soxi -D "$WORK/pads.wav")
  S -m "$WORK/pads.wav" "$WORK/basses.wav" "$WORK/arps.wav" -c 2 "$WORK/mix.wav" \
    reverb 30 50 60 trim 0 "$total" norm -3
  S "$WORK/mix.wav" -C 2 "$OUT/$name.ogg"
}

# Calm piece (A minor, 96 bpm) and a brighter one (C major, 120 bpm) to cross-fade between.
piece music_calm 0.625 sine "A2 C4 E4; F2 A3 C4; C3 E4 G4; G2 B3 D4"
piece music_bright 0.5 square "C3 E4 G4; A2 C4 E4; F2 A3 C4; G2 B3 D4"

# Effects.
S -n -r $RATE -c 1 "$OUT/blip.ogg" synth 0.12 sine 880-1760 fade q 0.005 0.12 0.08 vol 0.5
S -n -r $RATE -c 1 "$WORK/thump.wav" synth 0.4 sine 110-40 fade q 0.002 0.4 0.35
S -n -r $RATE -c 1 "$WORK/crack.wav" synth 0.4 brownnoise fade q 0.002 0.4 0.38 lowpass 1500
S -m "$WORK/thump.wav" "$WORK/crack.wav" "$OUT/hit.ogg" norm -3
S -n -r $RATE -c 1 "$OUT/whoosh.ogg" synth 0.9 pinknoise band 1200 900 fade q 0.35 0.9 0.5 norm -6
S -n -r $RATE -c 3 "$WORK/chime3.wav" synth 1.6 pluck E5 pluck B5 pluck E6
S "$WORK/chime3.wav" "$OUT/chime.ogg" remix - fade q 0.002 1.6 1.2 norm -4
ls -l "$OUT"
