# A throwaway Wine prefix for the test scripts that source it.
#   wine_environment PREFIX  the environment for a 64-bit prefix at PREFIX,
#                            quiet, without Mono, Gecko or menu entries, and
#                            without a display until one is started
#   start_xvfb STATE SIZE    an X server of its own (a free display, its log
#                            in STATE), for programs with windows; sets DISPLAY
#   wine_boot STATE          makes the prefix (its log in STATE)
#   wine_cleanup             ends the prefix's processes and the X server
#   winpath PATH             the Windows path of a Unix one (drive Z: is /)
# wine_environment sets wine_cleanup to run on exit.

winpath() { printf 'Z:%s' "${1//\//\\}"; }

xvfb_pid=""
wine_cleanup() {
  timeout 30 wineserver -k < /dev/null > /dev/null 2>&1
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2> /dev/null
    wait "$xvfb_pid" 2> /dev/null
  fi
  xvfb_pid=""
}

wine_environment() {
  export WINEPREFIX=$1
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No Mono or Gecko installer prompts, no desktop menu entries.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  unset DISPLAY
  trap wine_cleanup EXIT
  trap 'exit 130' INT TERM
}

# The X server picks a free display and writes its number to fd 3.
start_xvfb() {
  local state=$1 size=$2
  Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3> "$state/display" \
    < /dev/null > "$state/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [[ -s $state/display ]] && break
    sleep 0.1
  done
  [[ -s $state/display ]] || return 1
  export DISPLAY=:$(head -n 1 "$state/display")
}

# The first start of Wine in a prefix makes it, which takes a while.
wine_boot() {
  local state=$1
  timeout 300 wine wineboot --init < /dev/null > "$state/wineboot.log" 2>&1 || return 1
  timeout 120 wineserver -w < /dev/null
}
