#!/usr/bin/env bash
# Measures `tinfo serve` against nginx serving the same installer untagged
# from the same disk, on loopback: 1, 10 and 100 concurrent downloads of the
# synthetic ~90 MB installer (the one installer-bench.sh makes, signed here
# with a throwaway certificate), each of tinfo's with a tag of its own.
# Both servers run unprivileged (setpriv, as nobody) with one worker per
# processor (nginx: worker_processes auto, sendfile on; tinfo: its default
# threads), and are measured by the same client (one curl per download).
# Per concurrency and round: throughput (all bytes / wall time of the
# batch) and first-byte latency (curl's time to the first byte, connect
# included; median and max over the batch); the order of the two servers
# alternates from round to round. Memory: tinfo's peak resident set over
# the whole run (VmHWM, mapped files included) and the peak private memory
# (RssAnon) of tinfo and of nginx's master and workers together
# (peak-memory.py --pid).
# Every download must be complete (curl -f: status 200 and exactly the
# announced length); of each batch three are kept (first, middle, last) and
# checked: tinfo's verify with osslsigncode and read back their own tag
# with tinfo read, nginx's are the file byte for byte.
# Targets: tinfo >= 0.9 x nginx's throughput at every concurrency, tinfo's
# peak memory < 64 MiB at 100 downloads.
#
# usage: tools/bench/serve-bench.sh [ROUNDS]   (default 3; needs tools/build.sh
#        first, and nginx: apt-get install nginx-light; its service need not run)
# Not a test: the figures depend on the machine and its load.
# Environment: PAYLOAD_BENCH_DIR (default build/bench, shared with the other
# benchmarks), MORVANDITE_WINDOWS_BIN (default build/windows/bin: the stub).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
native=${MORVANDITE_BIN:-$top/build/native/bin}
work=${PAYLOAD_BENCH_DIR:-$top/build/bench}
windows=${MORVANDITE_WINDOWS_BIN:-$top/build/windows/bin}
rounds=${1:-3}
fail() { echo "serve-bench: $*" >&2; exit 1; }

for tool in nginx curl osslsigncode openssl setpriv python3; do
    command -v "$tool" >/dev/null || fail "$tool is missing (nginx: apt-get install nginx-light)"
done
for needed in "$native/tinfo" "$native/mkinstaller" "$native/payload-bench" "$windows/MorvanditeInstallStub.exe"; do
    [ -f "$needed" ] || fail "$needed is missing (run tools/build.sh first)"
done
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

# The installer as installer-bench.sh makes it, then a signed copy of it.
"$top/tools/bench/synthetic-payload.sh" "$native" "$work"
installer=$work/MorvanditeInstall.exe
if [ ! -f "$installer" ] || [ "$installer" -ot "$windows/MorvanditeInstallStub.exe" ] || [ "$installer" -ot "$work/tree.done" ]; then
    echo "making the installer around the synthetic client..."
    "$native/mkinstaller" --stub "$windows/MorvanditeInstallStub.exe" --client "$work/tree" --out "$installer" >/dev/null
fi
bench=$work/serve
www=$bench/www
signed=$www/MorvanditeInstall.exe
mkdir -p "$www"
if [ ! -f "$signed" ] || [ "$signed" -ot "$installer" ]; then
    echo "signing a copy with a throwaway certificate..."
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Serve Bench Signing" \
        -keyout "$bench/key.pem" -out "$bench/cert.pem" 2>/dev/null
    cp "$installer" "$signed.tmp"
    "$top/tools/sign.sh" --cert "$bench/cert.pem" --key "$bench/key.pem" "$signed.tmp" >/dev/null
    mv "$signed.tmp" "$signed"
fi
size=$(stat -c %s "$signed")
echo "installer: $signed, $size bytes"

# Run state outside the build tree, writable by the unprivileged servers;
# kept downloads in memory (tmpfs) when there is one, so that writing them
# weighs on neither server.
run=$(mktemp -d /tmp/serve-bench.XXXXXX)
samples=$run/samples
if [ -d /dev/shm ] && [ -w /dev/shm ]; then samples=$(mktemp -d /dev/shm/serve-bench.XXXXXX); fi
chmod 755 "$run"
mkdir -p "$run/nginx" && chown nobody:nogroup "$run/nginx"
chmod -R a+rX "$bench" 2>/dev/null || true
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
nginx_port=$(free_port)
cat > "$run/nginx/nginx.conf" <<CONF
worker_processes auto;
pid $run/nginx/nginx.pid;
error_log $run/nginx/error.log;
events { worker_connections 1024; }
http {
    access_log $run/nginx/access.log;
    client_body_temp_path $run/nginx/body;
    proxy_temp_path $run/nginx/proxy;
    fastcgi_temp_path $run/nginx/fastcgi;
    uwsgi_temp_path $run/nginx/uwsgi;
    scgi_temp_path $run/nginx/scgi;
    sendfile on;
    tcp_nopush on;
    types { application/octet-stream exe; }
    server {
        listen 127.0.0.1:$nginx_port;
        root $www;
    }
}
CONF

nginx_pid= tinfo_pid= sampler_nginx= sampler_tinfo=
cleanup() {
    for pid in $sampler_nginx $sampler_tinfo $tinfo_pid; do kill "$pid" 2>/dev/null || true; done
    [ -n "$nginx_pid" ] && kill -QUIT "$nginx_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$run" "$samples"
}
trap cleanup EXIT

as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
as_nobody nginx -e "$run/nginx/error.log" -p "$run/nginx" -c "$run/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
as_nobody "$native/tinfo" serve "$signed" --listen 127.0.0.1:0 > "$run/tinfo.log" 2> "$run/tinfo.err" &
tinfo_pid=$!
tinfo_port=
for _ in $(seq 200); do
    tinfo_port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$run/tinfo.log")
    [ -n "$tinfo_port" ] && curl -sf -o /dev/null "http://127.0.0.1:$nginx_port/MorvanditeInstall.exe" -r 0-0 && break
    sleep 0.05
done
[ -n "$tinfo_port" ] || { cat "$run/tinfo.err"; fail "tinfo serve did not start"; }
curl -sf -o /dev/null -r 0-0 "http://127.0.0.1:$nginx_port/MorvanditeInstall.exe" \
    || { cat "$run/nginx/error.log"; fail "nginx did not start"; }
python3 "$top/tools/bench/peak-memory.py" --pid "$nginx_pid" "$run/nginx-memory.txt" & sampler_nginx=$!
python3 "$top/tools/bench/peak-memory.py" --pid "$tinfo_pid" "$run/tinfo-memory.txt" & sampler_tinfo=$!

# Every tag has the same length, so every tagged copy the same size.
tag() { printf 'SRC=bench%03d&CAMP=c%03dr%02d' "$1" "$2" "$3"; }
tag_lines() { printf 'SRC=bench%03d\nCAMP=c%03dr%02d\n' "$1" "$2" "$3"; }

# One batch: N downloads at once from SERVER (nginx|tinfo). Appends
# "N ROUND SERVER MB/s median_first_byte max_first_byte" (seconds) to the
# results and checks every download and the kept ones.
batch() {
    local server=$1 n=$2 round=$3 dir=$run/batch
    rm -rf "$dir" "$samples"/* && mkdir -p "$dir"
    local keep=" 1 $(( (n + 1) / 2 )) $n "
    local start end i url out pids=()
    start=$(date +%s.%N)
    for i in $(seq "$n"); do
        if [ "$server" = tinfo ]; then
            url="http://127.0.0.1:$tinfo_port/MorvanditeInstall.exe?$(tag "$i" "$n" "$round")"
        else
            url="http://127.0.0.1:$nginx_port/MorvanditeInstall.exe"
        fi
        out=/dev/null
        case $keep in *" $i "*) out=$samples/$i.exe ;; esac
        curl -sS -f -o "$out" -w '%{time_starttransfer} %{size_download}\n' "$url" > "$dir/$i.txt" 2> "$dir/$i.err" &
        pids+=($!)
    done
    for i in "${!pids[@]}"; do
        wait "${pids[$i]}" || echo "curl exit $?" >> "$dir/$((i + 1)).err"
    done
    end=$(date +%s.%N)
    for i in $(seq "$n"); do
        if [ -s "$dir/$i.err" ]; then cat "$dir/$i.err" >&2; fail "$server: download $i of $n failed"; fi
    done
    for i in $keep; do
        if [ "$server" = tinfo ]; then
            osslsigncode verify -CAfile "$bench/cert.pem" -in "$samples/$i.exe" > "$dir/verify.txt" 2>&1 \
                || { cat "$dir/verify.txt" >&2; fail "tinfo: download $i of $n does not verify"; }
            [ "$("$native/tinfo" read "$samples/$i.exe")" = "$(tag_lines "$i" "$n" "$round")" ] \
                || fail "tinfo: download $i of $n does not carry its own tag"
        else
            cmp -s "$samples/$i.exe" "$signed" || fail "nginx: download $i of $n differs from the file"
        fi
        verified=$((verified + 1))
    done
    local bytes first
    bytes=$(cat "$dir"/*.txt | awk '{ b += $2 } END { printf "%.0f", b }')
    first=$(cat "$dir"/*.txt | awk '{ print $1 }' | sort -g | awk '{ v[NR] = $1 } END { printf "%s %s", v[int((NR + 1) / 2)], v[NR] }')
    echo "$n $round $server $(awk -v b="$bytes" -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", b / (e - s) / 1048576 }') $first" \
        | tee -a "$results"
}

verified=0
results=$run/results.txt
: > "$results"
echo "concurrent round server MB/s first-byte-median first-byte-max (s)"
for n in 1 10 100; do
    for round in $(seq "$rounds"); do
        if [ $((round % 2)) = 1 ]; then order="nginx tinfo"; else order="tinfo nginx"; fi
        for server in $order; do
            sync
            batch "$server" "$n" "$round"
        done
    done
done

tinfo_hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$tinfo_pid/status")
kill "$sampler_nginx" "$sampler_tinfo"
wait "$sampler_nginx" "$sampler_tinfo" 2>/dev/null || true
sampler_nginx= sampler_tinfo=
lines=$(grep -c ' tag=SRC=bench' "$run/tinfo.log" || true)

echo
echo "rounds: $rounds; every download complete; $verified kept downloads checked (signature and tag, or bytes)"
echo "tinfo's log: $lines download lines with their tags"
awk '
    { tp[$1, $3, $2] = $4; fb[$1, $3, $2] = $5; mx[$1, $3, $2] = $6; rounds[$1] = ($2 > rounds[$1] ? $2 : rounds[$1]) }
    function median(a, k,   i, j, t) {
        for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
        return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
    }
    END {
        printf "%-11s %12s %12s %18s %14s %14s\n", "concurrent", "nginx MB/s", "tinfo MB/s", "ratio min/med/max", "nginx 1st byte", "tinfo 1st byte"
        split("1 10 100", ns, " ")
        for (x = 1; x <= 3; x++) {
            n = ns[x]; k = rounds[n]
            for (r = 1; r <= k; r++) { a[r] = tp[n, "nginx", r]; b[r] = tp[n, "tinfo", r]; q[r] = b[r] / a[r]
                                       f[r] = fb[n, "nginx", r]; g[r] = fb[n, "tinfo", r] }
            mn = 1e9; mxr = 0; for (r = 1; r <= k; r++) { if (q[r] < mn) mn = q[r]; if (q[r] > mxr) mxr = q[r] }
            printf "%-11s %12.1f %12.1f %6.3f/%5.3f/%5.3f %12.1fms %12.1fms\n", n, median(a, k), median(b, k), mn, median(q, k), mxr,
                   1000 * median(f, k), 1000 * median(g, k)
        }
    }' "$results"
read -r tinfo_private tinfo_resident < "$run/tinfo-memory.txt"
read -r nginx_private nginx_resident < "$run/nginx-memory.txt"
awk -v h="$tinfo_hwm" -v tp="$tinfo_private" -v np="$nginx_private" -v nr="$nginx_resident" 'BEGIN {
    printf "tinfo peak resident (VmHWM) %.1f MiB, peak private %.1f MiB\n", h / 1024, tp / 1024
    printf "nginx (master and workers) peak resident %.1f MiB, peak private %.1f MiB\n", nr / 1024, np / 1024 }'
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
