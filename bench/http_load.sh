#!/bin/sh
# zelvan_tts_http under load on the loopback, with the demo voice of
# BUILD/models: wrk (requests per second, latency) and http_load_bench (time
# to the first audio byte, answers by status, memory over 10,000 requests)
# with 1, 2 and 8 clients sending one sentence each, 1 engine against 2, and
# more clients than engines and line together. Replaces the section
# "HTTP server under load" of REPORT (default bench/RESULTS.md).
set -eu

BUILD=${1:-build}
REPORT=${2:-bench/RESULTS.md}
PORT=${ZELVAN_LOAD_PORT:-5590}
SECONDS_EACH=${ZELVAN_LOAD_SECONDS:-10}
SERVER="$BUILD/bin/zelvan_tts_http"
LOAD="$BUILD/bin/http_load_bench"
TEXT="Сегодня хорошая погода, и мы пойдём гулять в парк."
WORK=$(mktemp -d)
PID=""

cleanup() {
    [ -n "$PID" ] && kill "$PID" 2>/dev/null && wait "$PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

for tool in wrk curl; do
    command -v $tool >/dev/null || { echo "http_load: $tool is missing" >&2; exit 1; }
done

cat >"$WORK/post.lua" <<LUA
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
wrk.body = '{"model": "tts-1", "input": "$TEXT", "voice": "ru_azat", "response_format": "pcm"}'
LUA

start_server() {  # ENGINES QUEUE [more options]
    engines=$1 queue=$2
    shift 2
    XDG_CONFIG_HOME="$WORK/config" "$SERVER" --port "$PORT" --engines "$engines" --queue "$queue" \
        "$@" >"$WORK/server.log" 2>&1 &
    PID=$!
    i=0
    until curl -sf "http://127.0.0.1:$PORT/healthz" >/dev/null; do
        i=$((i + 1))
        [ $i -lt 600 ] || { cat "$WORK/server.log" >&2; exit 1; }
        sleep 0.1
    done
    # Warm-up: the first calls of a voice model are slower.
    "$LOAD" --port "$PORT" --clients "$engines" --requests 20 --text "$TEXT" >/dev/null
}

stop_server() {
    kill "$PID"
    wait "$PID" 2>/dev/null || true
    PID=""
}

rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$PID/status"; }

# wrk's figures: requests/s answered 200, latency p50 and p99 (ms), non-2xx
# answers, socket errors. wrk waits up to 60 s for an answer: a request
# waiting in line is slow, not lost.
run_wrk() {  # CLIENTS
    wrk -t "$1" -c "$1" -d "${SECONDS_EACH}s" --timeout 60s --latency -s "$WORK/post.lua" \
        "http://127.0.0.1:$PORT/v1/audio/speech" >"$WORK/wrk.txt"
    awk '
        function ms(v) { if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0; if (v ~ /s$/) return v * 1000; return v }
        / requests in / { total = $1; secs = $4; sub(/s,?$/, "", secs) }
        /^ +50%/ { p50 = ms($2) }
        /^ +99%/ { p99 = ms($2) }
        /Non-2xx/ { non2xx = $NF }
        /Socket errors/ { errors = $0; sub(/.*errors: /, "", errors) }
        END { printf "%.2f %.1f %.1f %d %s\n", (total - non2xx) / secs, p50, p99, non2xx + 0, (errors == "" ? "none" : errors) }
    ' "$WORK/wrk.txt"
}

field() { sed -n "s/.*\"$1\":\([0-9.eE+-]*\).*/\1/p"; }

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
ROWS="$WORK/rows.md"
: >"$ROWS"
for engines in 1 2; do
    start_server "$engines" 16
    for clients in 1 2 8; do
        set -- $(run_wrk "$clients")
        rps=$1 p50=$2 p99=$3 non2xx=$4
        json=$("$LOAD" --port "$PORT" --clients "$clients" --requests 200 --text "$TEXT")
        fb50=$(echo "$json" | field first_byte_p50_ms)
        fb99=$(echo "$json" | field first_byte_p99_ms)
        printf '| %d | %d | %s | %s | %s | %.1f | %.1f | %s |\n' "$engines" "$clients" "$rps" \
            "$p50" "$p99" "$fb50" "$fb99" "$non2xx" >>"$ROWS"
        eval "rps_${engines}_${clients}=$rps"
    done
    stop_server
done

# The pool alone: one voice-model thread per engine, so that one engine
# does not use both cores inside each synthesis.
for engines in 1 2; do
    start_server "$engines" 16 --threads 1
    json=$("$LOAD" --port "$PORT" --clients 8 --requests 300 --text "$TEXT")
    eval "single_${engines}=$(echo "$json" | field rps)"
    stop_server
done

# More clients than engines and line: the rest is answered 429 at once.
start_server 2 2
set -- $(run_wrk 16)
over_rps=$1 over_non2xx=$4
shift 4
over_errors="$*"
over=$("$LOAD" --port "$PORT" --clients 16 --requests 2000 --text "$TEXT")
stop_server

# Memory over 10,000 requests from 8 clients.
start_server 2 16
rss_before=$(rss_kib)
"$LOAD" --port "$PORT" --clients 8 --requests 2000 --text "$TEXT" >/dev/null
rss_2000=$(rss_kib)
long=$("$LOAD" --port "$PORT" --clients 8 --requests 8000 --text "$TEXT")
rss_after=$(rss_kib)
audio=$(curl -s "http://127.0.0.1:$PORT/metrics" | awk '
    /^zelvan_tts_audio_seconds_total/ {a = $2} /^zelvan_tts_syntheses_total/ {n = $2}
    END {printf "%.1f", a / n}')
stop_server

load_after=$(cut -d' ' -f1-3 /proc/loadavg)
ratio=$(awk -v a="$rps_2_8" -v b="$rps_1_8" 'BEGIN { printf "%.2f", a / b }')
ratio1=$(awk -v a="$single_2" -v b="$single_1" 'BEGIN { printf "%.2f", a / b }')
ratio2=$(awk -v a="$rps_2_2" -v b="$rps_1_2" 'BEGIN { printf "%.2f", a / b }')
machine="$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), $(nproc) cores"

SECTION="$WORK/section.md"
{
    echo "## HTTP server under load"
    echo
    echo "Written by \`bench/http_load.sh\` (\`make bench\`). Machine: $machine."
    echo "\`zelvan_tts_http\` with the demo voice on the loopback; every request is one sentence"
    echo "(\"$TEXT\", $audio s of audio) as raw PCM, each client on one kept-alive"
    echo "connection sending the next request when the last has arrived. Requests/s and latency"
    echo "from wrk (${SECONDS_EACH} s per row); the time to the first audio byte from"
    echo "\`http_load_bench\` (200 requests per row). Load average of the machine (1, 5, 15 min)"
    echo "before the runs: $load_before; after: $load_after (other jobs share the cores: the"
    echo "ratio of 2 engines to 1 means something only on a machine otherwise idle)."
    echo
    echo "| engines | clients | requests/s | latency p50, ms | latency p99, ms | first audio byte p50, ms | first audio byte p99, ms | non-2xx |"
    echo "|---|---|---|---|---|---|---|---|"
    cat "$ROWS"
    echo
    echo "- Throughput with 2 engines against 1: ${ratio}x with 8 clients, ${ratio2}x with 2 clients."
    echo "  One engine alone may give its voice model both cores (\`--threads\` defaults to the"
    echo "  cores shared out among the engines); the pool alone, with one thread per engine"
    echo "  (\`--threads 1\`), 8 clients, 300 requests (http_load_bench):"
    printf '  1 engine %.1f requests/s, 2 engines %.1f requests/s: %sx.\n' "$single_1" "$single_2" "$ratio1"
    echo "- 16 clients against 2 engines and a line of 2 (\`--engines 2 --queue 2\`): wrk ${over_rps} requests/s"
    echo "  answered 200, ${over_non2xx} answered 429 at once, socket errors: ${over_errors}; http_load_bench, 2000 requests:"
    echo "  \`$over\`."
    echo "- Resident memory of the server (2 engines) after warm-up: $((rss_before / 1024)) MiB; after"
    echo "  2,000 more requests from 8 clients: $((rss_2000 / 1024)) MiB; after 10,000: $((rss_after / 1024)) MiB"
    echo "  (the last 8,000: \`$long\`)."
} >"$SECTION"

# The section replaces its earlier version; everything else stays.
if [ -f "$REPORT" ]; then
    awk '/^## HTTP server under load/ {skip = 1; next} /^## / {skip = 0} !skip' "$REPORT" >"$WORK/rest.md"
else
    : >"$WORK/rest.md"
fi
{ cat "$WORK/rest.md"; echo; cat "$SECTION"; } | cat -s >"$REPORT"
echo "http_load: wrote the load section of $REPORT"
