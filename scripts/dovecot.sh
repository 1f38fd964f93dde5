#!/bin/bash
# Runs Dovecot's POP3 server on 127.0.0.1 from a directory of its own, for
# tests, end-to-end runs and the demo. Nothing under /etc or /run is used.
#
#   dovecot.sh install                    install dovecot-pop3d when missing (as root)
#   dovecot.sh start BASE PORT [TLSPORT]  start an instance on PORT; with TLSPORT it
#                                         offers STLS on PORT and TLS from the first
#                                         byte on TLSPORT (self-signed certificate
#                                         BASE/cert.pem, which doubles as the CA file
#                                         for SSL_CERT_FILE)
#   dovecot.sh adduser BASE USER PASSWORD add a user with an empty Maildir
#   dovecot.sh addmail BASE USER FILE...  add messages, numbered in argument order
#   dovecot.sh stop BASE                  stop every instance started in BASE
#   dovecot.sh freeport                   print a free TCP port on 127.0.0.1
#
# BASE is made mode 0755 (the auth process must read the users file) and must
# not contain blanks or colons. Instances in one BASE share users and mail.
#
# With DOVECOT_OAUTH2_INTROSPECTION set to an introspection address
# (http://127.0.0.1:P/introspect), start lets the users log in with SASL
# XOAUTH2 and OAUTHBEARER and an OAuth2 access token as well: Dovecot POSTs
# the token there and takes it when the answer says it is active and names
# the user. Passwords work as before.
set -euo pipefail

die() { echo "dovecot.sh: $*" >&2; exit 1; }

ids() {
  if [ "$(id -u)" = 0 ]; then
    MAIL_UID=$(id -u nobody); MAIL_GID=$(getent group nogroup | cut -d: -f3)
    LOGIN_USER=dovenull; INTERNAL_USER=dovecot; INTERNAL_GROUP=dovecot; CHROOT=
  else
    MAIL_UID=$(id -u); MAIL_GID=$(id -g)
    LOGIN_USER=$(id -un); INTERNAL_USER=$(id -un); INTERNAL_GROUP=$(id -gn)
    CHROOT=yes
  fi
}

need_base() {
  [ -n "${1:-}" ] || die "BASE missing"
  case "$1" in /*) ;; *) die "BASE must be an absolute path" ;; esac
  case "$1" in *" "*|*:*) die "BASE must not contain blanks or colons" ;; esac
}

cmd_install() {
  [ -x /usr/sbin/dovecot ] && return 0
  [ "$(id -u)" = 0 ] || die "dovecot-pop3d is not installed (run as root to install it)"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    dovecot-pop3d openssl >/dev/null
}

cmd_freeport() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

cmd_start() {
  local base=$1 port=$2 tlsport=${3:-}
  need_base "$base"
  ids
  mkdir -p "$base/mail" "$base/state-$port"
  chmod 0755 "$base"
  touch "$base/passwd"; chmod 0644 "$base/passwd"
  local ssl="ssl = no" tlsconf="" pop3s="port = 0"
  if [ -n "$tlsport" ]; then
    if [ ! -s "$base/cert.pem" ]; then
      openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
        -keyout "$base/key.pem" -out "$base/cert.pem" -subj /CN=localhost \
        -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" 2>/dev/null
      chmod 0644 "$base/cert.pem" "$base/key.pem"
    fi
    ssl="ssl = yes"
    tlsconf="ssl_cert = <$base/cert.pem
ssl_key = <$base/key.pem
ssl_dh = </usr/share/dovecot/dh.pem"
    pop3s="address = 127.0.0.1
    port = $tlsport
    ssl = yes"
  fi
  # Access tokens: the users file knows the users, the authorization server
  # says by POST whether a token is active and whose it is.
  local mechanisms="plain login" oauth2=""
  if [ -n "${DOVECOT_OAUTH2_INTROSPECTION:-}" ]; then
    mechanisms="plain login xoauth2 oauthbearer"
    cat > "$base/oauth2-$port.conf" <<OAUTH2
introspection_mode = post
introspection_url = $DOVECOT_OAUTH2_INTROSPECTION
username_attribute = username
active_attribute = active
active_value = true
OAUTH2
    chmod 0644 "$base/oauth2-$port.conf"
    oauth2="passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $base/oauth2-$port.conf
}"
  fi
  local chroot_lines=""
  if [ -n "$CHROOT" ]; then
    chroot_lines="service pop3-login {
  chroot =
}
service anvil {
  chroot =
}"
  fi
  cat > "$base/dovecot-$port.conf" <<CONF
base_dir = $base/run-$port
state_dir = $base/state-$port
instance_name = mailvak-test-$port-$$
protocols = pop3
listen = 127.0.0.1
log_path = $base/dovecot-$port.log
default_login_user = $LOGIN_USER
default_internal_user = $INTERNAL_USER
default_internal_group = $INTERNAL_GROUP
$ssl
$tlsconf
disable_plaintext_auth = no
auth_mechanisms = $mechanisms
auth_failure_delay = 0
mail_location = maildir:~/Maildir
first_valid_uid = 1
first_valid_gid = 1
mail_max_userip_connections = 200
passdb {
  driver = passwd-file
  mechanisms = plain login
  args = scheme=PLAIN username_format=%u $base/passwd
}
$oauth2
userdb {
  driver = passwd-file
  args = username_format=%u $base/passwd
}
# Login and mail processes are kept and reused, as on a busy server, so that
# tests and benchmarks do not spend this machine's CPU on starting them.
service pop3-login {
  service_count = 0
  process_min_avail = 2
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
  inet_listener pop3s {
    $pop3s
  }
}
service pop3 {
  service_count = 0
  process_min_avail = 4
  process_limit = 200
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
$chroot_lines
CONF
  /usr/sbin/dovecot -c "$base/dovecot-$port.conf" || die "dovecot did not start (see $base/dovecot-$port.log)"
  # Ready when the port accepts.
  for _ in $(seq 1 200); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
    sleep 0.02
  done
  die "dovecot did not open port $port (see $base/dovecot-$port.log)"
}

cmd_adduser() {
  local base=$1 user=$2 password=$3
  need_base "$base"
  ids
  mkdir -p "$base/mail/$user/Maildir/cur" "$base/mail/$user/Maildir/new" "$base/mail/$user/Maildir/tmp"
  touch "$base/passwd"; chmod 0644 "$base/passwd"
  echo "$user:{PLAIN}$password:$MAIL_UID:$MAIL_GID::$base/mail/$user::" >> "$base/passwd"
  [ "$(id -u)" = 0 ] && chown -R "$MAIL_UID:$MAIL_GID" "$base/mail/$user"
  return 0
}

cmd_addmail() {
  local base=$1 user=$2; shift 2
  need_base "$base"
  ids
  local dir="$base/mail/$user/Maildir/cur" n
  # Dovecot numbers messages in file-name order: names carry increasing stamps.
  n=$(ls "$dir" | wc -l)
  for f in "$@"; do
    n=$((n + 1))
    local name
    name=$(printf '%010d.M%06dP%d.mailvak,S=%d:2,S' $((1000000000 + n)) "$n" $$ "$(wc -c < "$f")")
    cp "$f" "$dir/$name"
    [ "$(id -u)" = 0 ] && chown "$MAIL_UID:$MAIL_GID" "$dir/$name"
  done
  return 0
}

cmd_stop() {
  local base=$1 pidfile master
  need_base "$base"
  for pidfile in "$base"/run-*/master.pid; do
    [ -f "$pidfile" ] || continue
    master=$(cat "$pidfile")
    kill -TERM $master $(pgrep -P "$master" || true) 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$master" 2>/dev/null || break; sleep 0.01; done
  done
  return 0
}

case "${1:-}" in
  install) cmd_install ;;
  freeport) cmd_freeport ;;
  start) shift; [ $# -ge 2 ] || die "usage: start BASE PORT [TLSPORT]"; cmd_start "$@" ;;
  adduser) shift; [ $# -eq 3 ] || die "usage: adduser BASE USER PASSWORD"; cmd_adduser "$@" ;;
  addmail) shift; [ $# -ge 2 ] || die "usage: addmail BASE USER FILE..."; cmd_addmail "$@" ;;
  stop) shift; cmd_stop "$@" ;;
  *) sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
