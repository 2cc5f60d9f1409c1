# Starts and stops the benchmark's nginx; sourced by scripts/bench.
#   bench_nginx_start PREFIX ROOT   sets BENCH_NGINX_PID and BENCH_NGINX_PORT, or returns 1
#   bench_nginx_stop                stops it by its pid (safe to call twice)

BENCH_NGINX_PID=
BENCH_NGINX_PORT=
bench_nginx_attempts=8

# A port the system hands out for a bind to port 0, released again for nginx to take.
bench_free_port() {
  perl -MSocket -e 'socket(S, PF_INET, SOCK_STREAM, 0) or exit 1;
    bind(S, pack_sockaddr_in(0, inet_aton("127.0.0.1"))) or exit 1;
    my ($port) = unpack_sockaddr_in(getsockname(S)); print "$port\n";'
}

bench_nginx_start() {
  local prefix=$1 root=$2 here attempt port
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  mkdir -p "$prefix/tmp"
  for ((attempt = 0; attempt < bench_nginx_attempts; attempt++)); do
    port=$(bench_free_port) || return 1
    sed -e "s|@PREFIX@|$prefix|g" -e "s|@ROOT@|$root|g" -e "s|@PORT@|$port|g" \
      "$here/nginx.conf.in" >"$prefix/nginx.conf"
    nginx -p "$prefix/" -c "$prefix/nginx.conf" -e "$prefix/error.log" 2>>"$prefix/error.log" &
    BENCH_NGINX_PID=$!
    local waited
    for ((waited = 0; waited < 100; waited++)); do
      kill -0 "$BENCH_NGINX_PID" 2>/dev/null || break
      if curl -s -o /dev/null "http://127.0.0.1:$port/"; then
        BENCH_NGINX_PORT=$port
        return 0
      fi
      sleep 0.05
    done
    bench_nginx_stop
  done
  echo "bench: nginx did not start:" >&2
  cat "$prefix/error.log" >&2
  return 1
}

bench_nginx_stop() {
  if [[ -n $BENCH_NGINX_PID ]]; then
    kill "$BENCH_NGINX_PID" 2>/dev/null || true
    wait "$BENCH_NGINX_PID" 2>/dev/null || true
    BENCH_NGINX_PID=
  fi
}
