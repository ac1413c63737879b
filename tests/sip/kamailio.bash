# kamailio on 127.0.0.1 as the SIP provider of the tests, sourced: a registrar with digest authentication (user any,
# password "secret") and its bindings in memory, so a restart forgets them. Each REGISTER it accepts is logged as
# "registered USER". With a relay port, a call (INVITE) that passes the same authentication goes on to the far end on
# that port, logged as "relaying a call from USER"; with the word location in its place, to where the called user
# registered (404 when nowhere); without either, a call is answered 404.

kamailio_modules() {
  local dir
  dir=$(dirname "$(find /usr/lib -name registrar.so -path '*kamailio*' 2>/dev/null | head -n 1)")
  [ -f "$dir/auth.so" ] && echo "$dir"
}

kamailio_config() {  # FILE PORT [RELAY_PORT]
  local modules relay
  modules=$(kamailio_modules) || return 1
  relay='sl_send_reply("404", "Not here");'
  [ -n "${3:-}" ] && relay='xlog("L_ALERT", "relaying a call from $fU\n"); $du = "sip:127.0.0.1:'"$3"'"; t_relay();'
  [ "${3:-}" = location ] &&
    relay='if (!lookup("location")) { sl_send_reply("404", "Not registered"); exit; } xlog("L_ALERT", "relaying a call from $fU to $rU\n"); t_relay();'
  cat >"$1" <<EOF
#!KAMAILIO
debug=1
log_stderror=yes
children=1
listen=udp:127.0.0.1:$2
mpath="$modules/"
loadmodule "tm.so"
loadmodule "sl.so"
loadmodule "pv.so"
loadmodule "xlog.so"
loadmodule "auth.so"
loadmodule "usrloc.so"
loadmodule "registrar.so"
loadmodule "textops.so"
# The interval a client asks for is kept, short ones included.
modparam("registrar", "min_expires", 5)
request_route {
  if (is_method("ACK") || is_method("CANCEL")) {
    if (t_check_trans()) t_relay();
    exit;
  }
  if (is_method("REGISTER")) {
    if (!pv_auth_check("\$fd", "secret", "0", "1")) {
      auth_challenge("\$fd", "0");
      exit;
    }
    save("location");
    xlog("L_ALERT", "registered \$fU\n");
    exit;
  }
  if (is_method("INVITE") && !pv_auth_check("\$fd", "secret", "0", "1")) {
    auth_challenge("\$fd", "0");
    exit;
  }
  $relay
}
EOF
}
