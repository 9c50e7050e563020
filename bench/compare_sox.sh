#!/usr/bin/env bash
# What a whole run costs: CPU time (user + system) of `orve process` over 20 s
# of 44.1 kHz stereo (the demo programme looped: chord, speech-like bursts,
# hiss, hum, clicks), every effect at its defaults and at its heaviest setting,
# and of SoX doing the comparable job on the same file. The machine is shared,
# so absolute times drift with the load: the jobs run interleaved, ROUNDS
# times, every figure is a median, and each orve/SoX ratio is the median of
# the ratios taken within a round.
#
#   bench/compare_sox.sh [ORVE] [ROUNDS]      (scripts/dev bench-sox [ROUNDS])
#
# ×RT: seconds of audio per CPU second. orve/SoX: orve's CPU time over SoX's.
set -euo pipefail

orve="${1:-build/orve}"
rounds="${2:-5}"
command -v sox >/dev/null || { echo "compare_sox: sox is not installed" >&2; exit 1; }
[ -x "$orve" ] || { echo "compare_sox: no orve at $orve" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Only the demo's programme is wanted; its figures are no concern here.
"$orve" demo "$work/demo" >/dev/null 2>&1 || true
[ -f "$work/demo/input.wav" ] || { echo "compare_sox: orve demo wrote no programme" >&2; exit 1; }
in="$work/in.wav"
seconds=20
sox "$work/demo/input.wav" "$in" repeat 3 trim 0 "$seconds"
# SoX's noise reduction needs a profile, made once and untimed; DeNoise learns
# its own from the start of the stream.
sox "$in" -n trim 0 0.5 noiseprof "$work/noise.prof" 2>/dev/null

# The presets' factors: the pitch knob holds log3 of the frequency factor,
# the tempo and resampler knobs log2 of the duration factor.
cents() { awk -v v="$1" 'BEGIN { printf "%.2f", 1200 * v * log(3) / log(2) }'; }
speed() { awk -v v="$1" 'BEGIN { printf "%.6f", 2 ^ -v }'; }
eq10() {   # SoX's octave equalizer chain with the gains of a 10-band row
    local f=(31 62 125 250 500 1000 2000 4000 8000 16000) g=("$@") i out=""
    for i in "${!f[@]}"; do out+=" equalizer ${f[$i]} 1o ${g[$i]}"; done
    echo "$out"
}

# effect | setting | orve options | SoX effects (none: no comparable job).
# The heaviest setting is the costliest preset row, or for effects without
# presets the costliest knob position.
jobs=(
    "Level Tuning|defaults|-e 0|"
    "Level Dynamic|defaults|-e 1|compand 0.005,0.3 -10,-10,0,-5"
    "Level Dynamic|Drum|-e 1 -p Drum|compand 0.008,0.15 -10,-10,0,-8.33"
    "DeClick|defaults|-e 2|"
    "DeClick|Thresh 3|-e 2 -k Thresh=3|"
    "DeHiss|defaults|-e 3|"
    "DeNoise|defaults|-e 4|noisered $work/noise.prof 0.5"
    "DeNoise|Window 500 ms|-e 4 -k Window=500|noisered $work/noise.prof 0.5"
    "DeEss|defaults|-e 5|"
    "DeHum|defaults|-e 6|"
    "DeHum|16.7Hz Hum|-e 6 -p '16.7Hz Hum'|"
    "GEQ 3 bands|defaults|-e 7|"
    "GEQ 3 bands|Bass&Tremble|-e 7 -p 'Bass&Tremble'|"
    "GEQ 10 bands|defaults|-e 8|$(eq10 0 0 0 0 0 0 0 0 0 0)"
    "GEQ 10 bands|Notch2Oct|-e 8 -p Notch2Oct|$(eq10 -18 18 -18 18 -18 18 -18 18 -18 18)"
    "GEQ 15 bands|defaults|-e 9|"
    "GEQ 15 bands|EnhanceHeavy|-e 9 -p EnhanceHeavy|"
    "GEQ 20 bands|defaults|-e 10|"
    "GEQ 20 bands|NotchOct|-e 10 -p NotchOct|"
    "GEQ 31 bands|defaults|-e 11|"
    "GEQ 31 bands|Notch2/3Oct|-e 11 -p Notch2/3Oct|"
    "DeVocal Mono|defaults|-e 12|"
    "DeVocal Stereo|defaults|-e 13|"
    "SampleReverb|defaults|-e 14|reverb"
    "SampleReverb|Stairway|-e 14 -p Stairway|reverb"
    "ModalReverb|defaults|-e 15|reverb"
    "ModalReverb|Large Hall|-e 15 -p 'Large Hall'|reverb"
    "Virtual3D|defaults|-e 16|"
    "Resampler|defaults|-e 17|"
    "Resampler|DownSample|-e 17 -p DownSample|speed $(speed -0.4)"
    "Resampler|UpSample|-e 17 -p UpSample|speed $(speed 0.4)"
    "TempoScaler|defaults|-e 18|"
    "TempoScaler|SpeedUp|-e 18 -p SpeedUp|tempo $(speed -0.4)"
    "TempoScaler|SlowDown|-e 18 -p SlowDown|tempo $(speed 0.4)"
    "PitchScaler|defaults|-e 19|"
    "PitchScaler|Child|-e 19 -p Child|pitch $(cents 0.4)"
    "PitchScaler|BassTone|-e 19 -p BassTone|pitch $(cents -0.4)"
    "Vibrato|defaults|-e 20|"
    "Whisper|defaults|-e 21|"
    "Whisper|Wet 0.5|-e 21 -k Wet=0.5|"
)

cpu() {   # CPU seconds (user + system) of one command, appended to file $1
    local file=$1 status=0 TIMEFORMAT='%3U %3S'
    shift
    { time "$@" >/dev/null 2>"$work/err" || status=$?; } 2>"$work/time"
    if [ "$status" -ne 0 ]; then
        cat "$work/err" >&2
        echo "compare_sox: failed ($status): $*" >&2
        exit 1
    fi
    awk '{ printf "%.3f\n", $1 + $2 }' "$work/time" >>"$file"
}

median() { sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for ((r = 1; r <= rounds; ++r)); do
    for i in "${!jobs[@]}"; do
        IFS='|' read -r name setting options soxjob <<<"${jobs[$i]}"
        eval "set -- $options"
        cpu "$work/orve.$i" "$orve" process "$in" "$work/out.wav" "$@"
        if [ -n "$soxjob" ]; then
            # SoX without dither: orve rounds, so both do the effect alone.
            # shellcheck disable=SC2086
            cpu "$work/sox.$i" sox -D "$in" "$work/sox.wav" $soxjob
            paste "$work/orve.$i" "$work/sox.$i" | tail -n 1 | awk '{ printf "%.4f\n", $1 / $2 }' >>"$work/ratio.$i"
        fi
    done
    echo "round $r of $rounds done" >&2
done

printf '%-15s %-14s %8s %6s   %-26s %8s %8s\n' effect setting "orve s" "×RT" "SoX job" "SoX s" orve/SoX
for i in "${!jobs[@]}"; do
    IFS='|' read -r name setting options soxjob <<<"${jobs[$i]}"
    o=$(median "$work/orve.$i")
    line=$(printf '%-15s %-14s %8.3f %5.0f×' "$name" "$setting" "$o" "$(awk -v o="$o" -v s="$seconds" 'BEGIN { print s / o }')")
    if [ -n "$soxjob" ]; then
        job=${soxjob//$work\//}
        [ ${#job} -gt 26 ] && job="${job:0:23}..."
        line+=$(printf '   %-26s %8.3f %8.2f' "$job" "$(median "$work/sox.$i")" "$(median "$work/ratio.$i")")
    fi
    echo "$line"
done
echo "medians of $rounds interleaved rounds; $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
