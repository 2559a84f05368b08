#!/usr/bin/env bash
# Loads the LV2 bundle in a third-party host (jalv) running on a private JACK server with the dummy
# driver: the host instantiates the plug-in, runs its audio callback for a while and closes it.
set -euo pipefail
bundle_dir="$1"
uri="$2"

work="$(mktemp -d)"
server="ulmar_smoke_$$"
cleanup()
{
    [ -n "${jack_pid:-}" ] && kill "$jack_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

export JACK_DEFAULT_SERVER="$server"
export JACK_NO_AUDIO_RESERVATION=1
jackd --no-realtime -n "$server" -d dummy -r 48000 -p 256 > "$work/jackd.log" 2>&1 &
jack_pid=$!
for _ in $(seq 50); do
    jack_lsp > /dev/null 2>&1 && break
    sleep 0.1
done

# jalv runs until its standard input closes.
status=0
(sleep 3) | LV2_PATH="$bundle_dir" timeout 30 jalv -n ulmar_smoke "$uri" > "$work/jalv.log" 2>&1 || status=$?
cat "$work/jalv.log"
if [ "$status" -ne 0 ] || ! grep -q "Plugin: *$uri" "$work/jalv.log"; then
    echo "jalv did not run the plug-in (status $status)"
    cat "$work/jackd.log"
    exit 1
fi
echo "jalv ran the plug-in"
