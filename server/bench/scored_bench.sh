#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# marovane-scored against nginx serving the same bytes from static files, both
# under wrk on loopback, on each store engine (SQLite, and PostgreSQL in a
# throwaway cluster with durable commits): the availability check, pages 1
# and 5000 of 1,000,000 scores and submissions, each at 16 and 128
# connections; page 1 while 20 submissions a second go in, against page 1
# alone; and on PostgreSQL, submissions against pgbench's own one-row and
# two-row commits on the same cluster. Prints requests per second and the
# ratio to the yardstick. Not part of the tests; needs nginx, wrk and curl
# (scripts/setup installs them).
# Usage: server/bench/scored_bench.sh [BUILD_DIR] [SECONDS_PER_RUN]
# MV_BENCH_ENGINES="sqlite postgres" picks the engines, MV_BENCH_KINDS="avail
# page busy submit pgbench" the cells; MV_BENCH_PG_QUERY is appended to the
# PostgreSQL URI, e.g. "?options=-csynchronous_commit%3Doff".
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
secs="${2:-5}"
scored="$build/marovane-scored"
tool="$build/tools/scored_bench_tool"
pgbin=/usr/lib/postgresql/15/bin
for t in nginx wrk curl "$scored" "$tool" "$pgbin/initdb" "$pgbin/pgbench"; do
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
row() {  # LABEL CLIENTS OURS THEIRS
  local line
  line="$(awk -v l="$1" -v c="$2" -v o="$3" -v t="$4" \
    'BEGIN { printf "%-44s %4d %10.0f %10.0f %6.2f", l, c, o, t, (t > 0 ? o / t : 0) }')"
  echo "$line"
  results+=("$line")
}
compare() {  # LABEL CLIENTS OUR_URL NGINX_URL [LUA]
  local ours theirs
  ours="$(rate "$2" "$3" "${5:-}")"
  theirs="$(rate "$2" "$4" "${5:-}")"
  row "$1" "$2" "$ours" "$theirs"
}

start_scored() {  # DB
  # Every wrk connection comes from 127.0.0.1: no bound per address here.
  "$scored" --port "$port_scored" --db "$1" --secret-file "$work/secret" \
    --submissions-per-minute 100000000 --max-connections-per-address 1000000 \
    >"$work/scored.out" 2>"$work/scored.log" &
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


# pgbench's own commits on the same cluster, one and two rows a
# transaction, as durable as ours.
printf 'INSERT INTO bench_rows (v) VALUES (1);\n' >"$work/one-row.sql"
printf 'BEGIN;\nINSERT INTO bench_rows (v) VALUES (1);\nINSERT INTO bench_rows (v) VALUES (2);\nCOMMIT;\n' \
  >"$work/two-rows.sql"
chmod a+r "$work"/*.sql
pgbench_tps() {  # CLIENTS SCRIPT
  $as "$pgbin/pgbench" -h 127.0.0.1 -p "$port_pg" -U marovane -n -c "$1" -j 2 -T "$secs" -f "$2" postgres 2>&1 |
    awk '/^tps = / {print $3; exit}'
}

# 20 submissions a second, from a list of their own, while page 1 is asked.
trickle() {
  while :; do
    while read -r path; do
      curl -s -o /dev/null "http://127.0.0.1:$port_scored$path"
      sleep 0.05
    done <"$work/trickle"
  done
}

printf '%-44s %4s %10s %10s %6s\n' "request" "cli" "scored/s" "other/s" "ratio"
for engine in ${MV_BENCH_ENGINES:-sqlite postgres}; do
  if [ "$engine" = sqlite ]; then
    db="$work/scores.db"
  else
    mkdir -p "$work/pg" && chown nobody "$work/pg" 2>/dev/null || true
    $as "$pgbin/initdb" -D "$work/pg/data" -A trust -U marovane -E UTF8 --locale=C >/dev/null
    # A production-like server: durable commits, memory for a million rows.
    $as "$pgbin/pg_ctl" -D "$work/pg/data" -w -l "$work/pg/log" \
      -o "-k $work/pg -p $port_pg -c listen_addresses=127.0.0.1 -c shared_buffers=256MB -c max_connections=300" \
      start >/dev/null
    pg_up=1
    db="postgresql://marovane@127.0.0.1:$port_pg/postgres${MV_BENCH_PG_QUERY:-}"
  fi
  kinds=" ${MV_BENCH_KINDS:-avail page busy submit pgbench} "
  "$tool" seed "$db" 1000000
  start_scored "$db"
  if [[ "$kinds" == *" avail "* ]]; then
    curl -s "$avail" >"$work/avail/cgi/version.pl"
    for clients in 16 128; do
      compare "$engine availability check" "$clients" "$avail" "http://127.0.0.1:$port_avail/cgi/version.pl"
    done
  fi
  if [[ "$kinds" == *" page "* ]]; then
    for page in 1 5000; do
      url="$show&page=$page"
      curl -s "$url" >"$work/page/cgi/version.pl"
      for clients in 16 128; do
        compare "$engine page $page of 1,000,000" "$clients" "$url" "http://127.0.0.1:$port_page/cgi/version.pl"
      done
    done
  fi
  if [[ "$kinds" == *" busy "* ]]; then
    "$tool" paths "$(cat "$work/secret")" 2000 >"$work/trickle"
    alone="$(rate 128 "$show")"
    trickle &
    trickle_pid=$!
    pids+=("$trickle_pid")
    sleep 1
    busy="$(rate 128 "$show")"
    kill "$trickle_pid"
    wait "$trickle_pid" 2>/dev/null || true
    row "$engine page 1, 20 submissions/s (vs alone)" 128 "$busy" "$alone"
  fi
  # Each submission spends a token of its own: a fresh server and list.
  for clients in 16 128; do
    [[ "$kinds" == *" submit "* ]] || break
    stop_scored
    start_scored "$db"
    "$tool" paths "$(cat "$work/secret")" 400000 >"$work/paths"
    ours="$(rate "$clients" "http://127.0.0.1:$port_scored" "$work/submit.lua")"
    theirs="$(rate "$clients" "http://127.0.0.1:$port_submit" "$work/submit.lua")"
    row "$engine submission (vs nginx)" "$clients" "$ours" "$theirs"
    if [ "$engine" = postgres ] && [[ "$kinds" == *" pgbench "* ]]; then
      $as "$pgbin/psql" -q -h 127.0.0.1 -p "$port_pg" -U marovane -d postgres \
        -c "DROP TABLE IF EXISTS bench_rows; CREATE TABLE bench_rows (id bigserial PRIMARY KEY, v int)"
      for script in one-row two-rows; do
        row "postgres submission (vs pgbench $script)" "$clients" "$ours" "$(pgbench_tps "$clients" "$work/$script.sql")"
      done
    fi
  done
  stop_scored
done
echo
echo "goals: every ratio at least 1.0; page 1 with submissions at least 0.8 of page 1 alone"
