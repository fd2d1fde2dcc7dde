#!/usr/bin/env bash
# marovane-scored against nginx serving the same bytes from static files, both
# under wrk on loopback, on each store engine (SQLite, and PostgreSQL in a
# throwaway cluster). Prints requests per second and our rate over nginx's.
# Needs nginx and wrk (apt-get install nginx wrk); not part of the tests.
# Usage: server/bench/scored_bench.sh [BUILD_DIR] [SECONDS_PER_RUN]
# MV_BENCH_ENGINES="sqlite postgres" picks the engines, MV_BENCH_KINDS="avail
# page submit" the requests; MV_BENCH_PG_QUERY is appended to the PostgreSQL
# URI, e.g. "?options=-csynchronous_commit%3Doff".
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
secs="${2:-5}"
scored="$build/marovane-scored"
tool="$build/tools/scored_bench_tool"
pgbin=/usr/lib/postgresql/15/bin
for t in nginx wrk curl "$scored" "$tool" "$pgbin/initdb"; do
  command -v "$t" >/dev/null || { echo "scored_bench: needs $t" >&2; exit 2; }
done

work="$(mktemp -d /tmp/mv-scored-bench-XXXXXX)"
chmod 755 "$work"
pids=()
pg_up=0
as=""
[ "$(id -u)" -eq 0 ] && as="runuser -u nobody --"
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  [ "$pg_up" = 1 ] && $as "$pgbin/pg_ctl" -D "$work/pg/data" -m immediate -w stop >/dev/null 2>&1 || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

port_scored=18190 port_avail=18181 port_page=18182 port_submit=18183 port_pg=18199
echo "a secret for the benchmark only" >"$work/secret"

# nginx: one server per kind of reply, each the bytes ours sends.
for kind in avail page submit; do mkdir -p "$work/$kind/cgi"; done
cat >"$work/nginx.conf" <<EOF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 4096; }
http {
  # Tuned as a busy site would be: open files kept, log lines written in blocks.
  access_log $work/nginx-access.log combined buffer=64k flush=1s;
  open_file_cache max=16 inactive=60s;
  open_file_cache_valid 1s;
  keepalive_requests 1000000;
  sendfile on;
  server { listen 127.0.0.1:$port_avail; root $work/avail; default_type "text/plain; charset=us-ascii"; }
  server { listen 127.0.0.1:$port_page; root $work/page; default_type "text/html; charset=utf-8"; }
  server { listen 127.0.0.1:$port_submit; root $work/submit; default_type "text/plain; charset=us-ascii"; }
}
EOF

cat >"$work/submit.lua" <<'EOF'
-- Each request a submission with a token of its own, the threads sharing
-- out the prepared list.
counter = 0
function setup(thread)
  thread:set("id", counter)
  counter = counter + 1
end
function init(args)
  paths, n, at = {}, 0, 0
  local i = 0
  for line in io.lines(os.getenv("MV_PATHS")) do
    if i % 2 == id then n = n + 1; paths[n] = line end
    i = i + 1
  end
end
function request()
  at = at + 1
  if at > n then at = 1 end
  return wrk.format("GET", paths[at])
end
EOF

# Requests per second of one wrk run; a run with failed replies is marked.
rate() {  # CLIENTS URL [LUA]
  local out
  if [ -n "${3:-}" ]; then
    out="$(MV_PATHS="$work/paths" wrk -t2 -c"$1" -d"${secs}s" -s "$3" "$2" 2>&1)"
  else
    out="$(wrk -t2 -c"$1" -d"${secs}s" "$2" 2>&1)"
  fi
  local r bad
  r="$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")"
  bad="$(awk '/Non-2xx or 3xx responses:/ {print $5}' <<<"$out")"
  bad="$bad$(awk '/Socket errors:/ {print " socket errors:" $0}' <<<"$out")"
  [ -n "$bad" ] && echo "  ($2 at $1 clients: non-2xx $bad)" >&2
  echo "${r:-0}"
}

results=()
compare() {  # LABEL CLIENTS OUR_URL NGINX_URL [LUA]
  local ours theirs
  ours="$(rate "$2" "$3" "${5:-}")"
  theirs="$(rate "$2" "$4" "${5:-}")"
  local line
  line="$(awk -v l="$1" -v c="$2" -v o="$ours" -v t="$theirs" \
    'BEGIN { printf "%-34s %4d %10.0f %10.0f %6.2f", l, c, o, t, (t > 0 ? o / t : 0) }')"
  echo "$line"
  results+=("$line")
}

start_scored() {  # DB
  "$scored" --port "$port_scored" --db "$1" --secret-file "$work/secret" \
    --submissions-per-minute 100000000 >"$work/scored.out" 2>"$work/scored.log" &
  scored_pid=$!
  pids+=("$scored_pid")
  for _ in $(seq 100); do grep -q listening "$work/scored.out" 2>/dev/null && return; sleep 0.1; done
  echo "scored_bench: the server did not start: $(cat "$work/scored.log")" >&2
  exit 1
}
stop_scored() { kill "$scored_pid"; wait "$scored_pid" 2>/dev/null || true; }

base="http://127.0.0.1:$port_scored/cgi/version.pl"
avail="$base?version&prg=Marovane"
show="$base?prg=Marovane&show&type=0"

nginx -p "$work" -c "$work/nginx.conf" -e "$work/nginx-error.log"
echo "making submissions ..."
"$tool" paths "$(cat "$work/secret")" 400000 >"$work/paths"
printf 'OK|stored' >"$work/submit/cgi/version.pl"

printf '%-34s %4s %10s %10s %6s\n' "request" "cli" "scored/s" "nginx/s" "ratio"
for engine in ${MV_BENCH_ENGINES:-sqlite postgres}; do
  if [ "$engine" = sqlite ]; then
    db="$work/scores.db"
  else
    mkdir -p "$work/pg" && chown nobody "$work/pg" 2>/dev/null || true
    $as "$pgbin/initdb" -D "$work/pg/data" -A trust -U marovane -E UTF8 --locale=C >/dev/null
    # A production-like server: durable commits, memory for a million rows.
    $as "$pgbin/pg_ctl" -D "$work/pg/data" -w -l "$work/pg/log" \
      -o "-k $work/pg -p $port_pg -c listen_addresses=127.0.0.1 -c shared_buffers=256MB" start >/dev/null
    pg_up=1
    db="postgresql://marovane@127.0.0.1:$port_pg/postgres${MV_BENCH_PG_QUERY:-}"
  fi
  start_scored "$db"
  kinds="${MV_BENCH_KINDS:-avail page submit}"
  if [[ " $kinds " == *" avail "* ]]; then
    curl -s "$avail" >"$work/avail/cgi/version.pl"
    compare "$engine availability check" 16 "$avail" "http://127.0.0.1:$port_avail/cgi/version.pl"
    compare "$engine availability check" 128 "$avail" "http://127.0.0.1:$port_avail/cgi/version.pl"
  fi
  for n in 10000 990000; do
    [[ " $kinds " == *" page "* ]] || break
    "$tool" seed "$db" "$n"
    curl -s "$show" >"$work/page/cgi/version.pl"
    stored=$([ "$n" = 10000 ] && echo "10,000" || echo "1,000,000")
    compare "$engine world page, $stored scores" 16 "$show" "http://127.0.0.1:$port_page/cgi/version.pl"
    compare "$engine world page, $stored scores" 128 "$show" "http://127.0.0.1:$port_page/cgi/version.pl"
  done
  # Each submission spends a token of its own: a fresh server and list.
  for clients in 16 128; do
    [[ " $kinds " == *" submit "* ]] || break
    stop_scored
    start_scored "$db"
    compare "$engine submission" "$clients" "http://127.0.0.1:$port_scored" "http://127.0.0.1:$port_submit" "$work/submit.lua"
    "$tool" paths "$(cat "$work/secret")" 400000 >"$work/paths"
  done
  stop_scored
done
echo
echo "goals: availability check and world page 0.8, submissions 0.5 (ratio = scored / nginx)"
