# Starts and stops the benchmark's nginx; sourced by scripts/bench.
#   bench_nginx_start PREFIX ROOT   sets BENCH_NGINX_PID, BENCH_NGINX_PORT (http) and
#                                   BENCH_NGINX_TLS_PORT (https), or returns 1; the https
#                                   certificate's authority is BENCH_CA (PREFIX/tls/ca.pem)
#   bench_nginx_stop                stops it by its pid (safe to call twice)

BENCH_NGINX_PID=
BENCH_NGINX_PORT=
BENCH_NGINX_TLS_PORT=
BENCH_CA=
bench_nginx_attempts=8

# A test authority and a certificate for 127.0.0.1 and localhost, made with openssl; the
# clients trust the authority for this run only (SSL_CERT_FILE, --cacert, --ca-certificate).
bench_certificates() {
  local dir=$1
  mkdir -p "$dir"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/ca.key" -out "$dir/ca.pem" \
    -days 2 -subj /CN=qb-bench-ca 2>/dev/null &&
    openssl req -newkey rsa:2048 -nodes -keyout "$dir/server.key" -out "$dir/server.csr" \
      -subj /CN=localhost 2>/dev/null &&
    printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' >"$dir/names.ext" &&
    openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
      -CAcreateserial -out "$dir/server.pem" -days 2 -extfile "$dir/names.ext" 2>/dev/null
}

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
  bench_certificates "$prefix/tls" || { echo "bench: openssl could not make certificates" >&2; return 1; }
  BENCH_CA=$prefix/tls/ca.pem
  local tls_port
  for ((attempt = 0; attempt < bench_nginx_attempts; attempt++)); do
    port=$(bench_free_port) || return 1
    tls_port=$(bench_free_port) || return 1
    [[ $tls_port != "$port" ]] || continue
    sed -e "s|@PREFIX@|$prefix|g" -e "s|@ROOT@|$root|g" -e "s|@PORT@|$port|g" \
      -e "s|@TLSPORT@|$tls_port|g" -e "s|@CERT@|$prefix/tls/server.pem|g" \
      -e "s|@KEY@|$prefix/tls/server.key|g" "$here/nginx.conf.in" >"$prefix/nginx.conf"
    nginx -p "$prefix/" -c "$prefix/nginx.conf" -e "$prefix/error.log" 2>>"$prefix/error.log" &
    BENCH_NGINX_PID=$!
    local waited
    for ((waited = 0; waited < 100; waited++)); do
      kill -0 "$BENCH_NGINX_PID" 2>/dev/null || break
      if curl -s -o /dev/null "http://127.0.0.1:$port/" &&
        curl -s --cacert "$BENCH_CA" -o /dev/null "https://127.0.0.1:$tls_port/"; then
        BENCH_NGINX_PORT=$port
        BENCH_NGINX_TLS_PORT=$tls_port
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
