# Serving a folder with nginx on a free loopback port, for the run and
# benchmark scripts. Source it, then:
#   start_nginx ROOT STATEDIR [CERT KEY]   sets NGINX_PORT and NGINX_PID;
#                                          with a certificate, https
#   stop_nginx

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

start_nginx() {
  local root state
  root=$(realpath "$1")
  state=$(realpath -m "$2")
  local listen_tls="" tls_lines=""
  if [ -n "${3:-}" ]; then
    listen_tls=" ssl"
    tls_lines="ssl_certificate $(realpath "$3"); ssl_certificate_key $(realpath "$4");"
  fi
  mkdir -p "$state"
  local attempt
  for attempt in 1 2 3 4 5; do
    NGINX_PORT=$(free_port)
    cat > "$state/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $state/nginx.pid;
error_log $state/error.log;
events { worker_connections 1024; }
http {
  access_log $state/access.log;
  client_body_temp_path $state/body;
  proxy_temp_path $state/proxy;
  fastcgi_temp_path $state/fastcgi;
  uwsgi_temp_path $state/uwsgi;
  scgi_temp_path $state/scgi;
  types { text/html html htm; text/css css; application/javascript js; image/gif gif; image/png png; }
  default_type application/octet-stream;
  server { listen 127.0.0.1:$NGINX_PORT$listen_tls; $tls_lines root $root; }
}
CONF
    /usr/sbin/nginx -c "$state/nginx.conf" -p "$state" &
    NGINX_PID=$!
    local i
    for i in $(seq 50); do
      if (exec 3<>"/dev/tcp/127.0.0.1/$NGINX_PORT") 2>/dev/null; then return 0; fi
      kill -0 "$NGINX_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
  done
  echo "nginx did not start; see $state/error.log" >&2
  return 1
}

stop_nginx() {
  if [ -n "${NGINX_PID:-}" ]; then
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
    NGINX_PID=
  fi
}
