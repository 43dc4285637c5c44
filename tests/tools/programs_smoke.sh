#!/usr/bin/env bash
# programs_smoke.sh CHECK ORVANE ORVANE_SERVICE: runs the programs as a user would and checks
# their exit status and what they print.
set -uo pipefail
check="$1" orvane="$2" service="$3"
work="$(mktemp -d "${TMPDIR:-/tmp}/orvane-smoke-XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# expect STATUS NAME COMMAND...: runs it, keeping its output in $work/out and $work/err
expect() {
  local want="$1" name="$2"
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" -eq "$want" ] || fail "$name: exit status $got, expected $want; stderr: $(head -c 500 "$work/err")"
}

# one_line_error NAME [PATTERN]: standard error is one clear line (by default about the device)
one_line_error() {
  local name="$1" pattern="${2:-^orvane: cannot use the device directory}" lines
  lines=$(wc -l <"$work/err")
  [ "$lines" -eq 1 ] || fail "$name: $lines lines on standard error"
  grep -q "$pattern" "$work/err" || fail "$name: unclear error: $(cat "$work/err")"
  ! grep -qi "abort\|terminate\|filesystem error" "$work/err" || fail "$name: $(cat "$work/err")"
}

case "$check" in
  session)
    # two sessions on one fresh device: both connect and disconnect, the second gets its token back
    for run in 1 2; do
      expect 0 "session $run" "$orvane" --device "$work/device"
      grep -q "OrvaneVPN: tunnel connected" "$work/out" || fail "session $run never connected"
      grep -q "OrvaneVPN: tunnel disconnected" "$work/out" || fail "session $run never disconnected"
      grep -q "OrvaneVPN: session ended" "$work/out" || fail "session $run did not end"
      # the application's own screens, in order: the splash, then the home screen over it
      grep -q "^  AppLoadingScreen" "$work/out" || fail "session $run never showed the splash screen"
      grep -q "^  HomePageViewController" "$work/out" || fail "session $run never showed the home screen"
      grep -q '"VPN CONNECTED"' "$work/out" || fail "session $run never showed the connected look"
      grep -q "^  ServersViewController" "$work/out" || fail "session $run never showed the picker"
      [ "$(grep -n "^  AppLoadingScreen" "$work/out" | head -1 | cut -d: -f1)" -lt \
        "$(grep -n "^  HomePageViewController" "$work/out" | head -1 | cut -d: -f1)" ] ||
        fail "session $run showed the home screen before the splash"
      cp "$work/out" "$work/out-$run"
      cp "$work/device/local-service.json" "$work/state-$run"
    done
    id1=$(grep "install identifier" "$work/out-1")
    id2=$(grep "install identifier" "$work/out-2")
    [ "$id1" = "$id2" ] || fail "the install identifier changed: $id1 / $id2"
    cmp -s "$work/state-1" "$work/state-2" || fail "the second session was issued a new install or token"

    # a second process on a device in use is refused at once
    mkdir "$work/tmp"
    TMPDIR="$work/tmp" "$orvane" --device "$work/device" >"$work/first" 2>&1 &
    first=$!
    for _ in $(seq 100); do grep -q "started on device" "$work/first" && break; sleep 0.1; done
    kill -STOP "$first"
    expect 1 "device in use" "$orvane" --device "$work/device"
    grep -q "in use by another process" "$work/err" || fail "device in use: $(cat "$work/err")"
    grep -q "$work/device" "$work/err" || fail "device in use: the directory is not named"
    # an interrupted session ends cleanly, says why and leaves no temporary files
    kill -TERM "$first"
    kill -CONT "$first"
    wait "$first"
    status=$?
    [ "$status" -eq 143 ] || fail "SIGTERM: exit status $status: $(tail -3 "$work/first")"
    grep -q "interrupted by SIGTERM" "$work/first" || fail "SIGTERM: no reason given"
    [ -z "$(ls -A "$work/tmp")" ] || fail "SIGTERM left temporary files: $(ls -A "$work/tmp")"
    # killed outright, a session still leaves nothing in the temporary directory, and the next
    # session on its device goes through
    TMPDIR="$work/tmp" "$orvane" --device "$work/device" >"$work/killed" 2>&1 &
    killed=$!
    for _ in $(seq 100); do grep -q "started on device" "$work/killed" && break; sleep 0.1; done
    kill -KILL "$killed"
    wait "$killed" 2>/dev/null
    [ -z "$(ls -A "$work/tmp")" ] || fail "SIGKILL left temporary files: $(ls -A "$work/tmp")"
    printf 'wait-home\nwait-list\n' >"$work/short"
    expect 0 "after SIGKILL" "$orvane" --device "$work/device" --script "$work/short" --virtual-time
    ;;
  bad-device)
    echo x >"$work/file"
    expect 1 "a file as device" "$orvane" --device "$work/file"
    one_line_error "a file as device"
    expect 1 "under a file" "$orvane" --device "$work/file/device"
    one_line_error "under a file"
    expect 1 "empty device" "$orvane" --device ""
    one_line_error "empty device"
    if [ "$(id -u)" -ne 0 ]; then
      mkdir "$work/locked" && chmod 500 "$work/locked"
      expect 1 "not writable" "$orvane" --device "$work/locked/device"
      one_line_error "not writable"
    fi
    # a folder where the lock file belongs is kept aside and the session goes on
    mkdir -p "$work/locked-out/.device-lock"
    printf 'wait-home\n' >"$work/short"
    expect 0 "lock file a directory" "$orvane" --device "$work/locked-out" --script "$work/short" --virtual-time
    [ -d "$work/locked-out/.device-lock.damaged" ] && [ -f "$work/locked-out/.device-lock" ] ||
      fail "lock file a directory: not kept aside"
    # the service's certificate has nowhere to go; a session keeps its own on the device
    temporaries=("$work/file" "$work/no-such-dir")
    [ -d "$work/locked" ] && temporaries+=("$work/locked")
    printf 'wait-home\n' >"$work/short"
    for tmp in "${temporaries[@]}"; do
      TMPDIR="$tmp" expect 1 "service, temporary directory $tmp" "$service" --port 0
      one_line_error "service, temporary directory $tmp" "^orvane-service: .*temporary directory"
      TMPDIR="$tmp" expect 0 "session, temporary directory $tmp" "$orvane" --device "$work/device" \
        --script "$work/short" --virtual-time
    done
    ;;
  damaged-device)
    # each file the device keeps, damaged in its own way: each is kept aside with one line and the
    # session still goes through, and the next one meets no damage
    expect 0 "first session" "$orvane" --device "$work/device" --virtual-time
    d="$work/device"
    printf '\377' | dd of="$d/keychain.sqlite" bs=1 seek=18 conv=notrunc status=none
    rm "$d/vpn-preferences.json" "$d/Library/Preferences/com.orvane.vpn.json"
    mkdir "$d/vpn-preferences.json" "$d/Library/Preferences/com.orvane.vpn.json"
    printf zzzzzzzz-zzzz-zzzz-zzzz-zzzzzzzzzzzz >"$d/identifier-for-vendor"
    expect 0 "damaged session" "$orvane" --device "$d" --virtual-time
    for file in keychain.sqlite vpn-preferences.json Library/Preferences/com.orvane.vpn.json identifier-for-vendor; do
      grep -q "$d/$file is damaged (.*); kept it as $d/$file.damaged and" "$work/out" || fail "$file was not kept aside"
    done
    grep -q "OrvaneVPN: tunnel connected" "$work/out" || fail "the damaged device never connected"
    expect 0 "session after the damage" "$orvane" --device "$d" --virtual-time
    ! grep -q "damaged" "$work/out" || fail "damage met again: $(grep damaged "$work/out")"
    # a damaged memory of the service is kept aside, said in one line, and the session goes on
    printf 'wait-home\n' >"$work/short"
    printf '{"issued":2,"tokens":{}}' >"$work/outside.json"
    for damage in empty cut directory link; do
      rm -rf "$d/local-service.json"*
      case "$damage" in
        empty) : >"$d/local-service.json" ;;
        cut) printf '{"issued":2,"tok' >"$d/local-service.json" ;;
        directory) mkdir "$d/local-service.json" ;;
        link) ln -s "$work/outside.json" "$d/local-service.json" ;;
      esac
      expect 0 "service memory $damage" "$orvane" --device "$d" --script "$work/short" --virtual-time
      one_line_error "service memory $damage" "^orvane-service: .*/local-service.json is damaged (.*); kept it as .*damaged and started afresh$"
      [ -e "$d/local-service.json.damaged" ] || fail "service memory $damage: not kept aside"
    done
    # the link itself is kept aside; what it points at is neither read nor written
    [ -L "$d/local-service.json.damaged" ] || fail "service memory link: the link itself was not kept aside"
    [ "$(cat "$work/outside.json")" = '{"issued":2,"tokens":{}}' ] || fail "service memory link: written through"
    [ -f "$d/local-service.json" ] && [ ! -L "$d/local-service.json" ] || fail "service memory link: not made afresh"
    ;;
  device-outside)
    # links in the device to folders outside it: nothing outside is made, written or changed
    printf 'wait-home\nwait-list\n' >"$work/short"
    d="$work/device"
    mkdir -p "$d/Library" "$work/outside-tmp" "$work/outside-prefs"
    chmod 755 "$work/outside-tmp" "$work/outside-prefs"
    ln -s "$work/outside-tmp" "$d/tmp"
    ln -s "$work/outside-prefs" "$d/Library/Preferences"
    expect 0 "links to outside" "$orvane" --device "$d" --script "$work/short" --virtual-time
    for outside in outside-tmp outside-prefs; do
      [ -z "$(ls -A "$work/$outside")" ] || fail "links to outside: $outside got $(ls -A "$work/$outside")"
      [ "$(stat -c %a "$work/$outside")" = 755 ] || fail "links to outside: $outside mode changed"
    done
    [ -L "$d/tmp.damaged" ] && [ -d "$d/tmp" ] && [ ! -L "$d/tmp" ] || fail "links to outside: tmp not kept aside"
    grep -q "$d/Library/Preferences is damaged (it is a symbolic link); kept it as" "$work/out" ||
      fail "links to outside: no line for Library/Preferences"
    # a defaults file its user cannot read stops the session with one line naming it, untouched
    if [ "$(id -u)" -eq 0 ]; then
      as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
      chmod 711 "$work"
      chown -R 65534:65534 "$d"
    else
      as_user=()
    fi
    defaults="$d/Library/Preferences/com.orvane.vpn.json"
    [ -f "$defaults" ] || fail "unreadable defaults: the session kept no defaults file"
    cp "$defaults" "$work/defaults-before"
    chmod 000 "$defaults"
    expect 1 "unreadable defaults" "${as_user[@]}" "$orvane" --device "$d" --script "$work/short" --virtual-time
    one_line_error "unreadable defaults" "^orvane: .*cannot read $defaults: Permission denied$"
    chmod 600 "$defaults"
    cmp -s "$defaults" "$work/defaults-before" || fail "unreadable defaults: the file changed"
    [ ! -e "$defaults.damaged" ] || fail "unreadable defaults: called damaged"
    ;;
  script)
    # a script of its own on the virtual clock: the auto row, connected, then down again
    printf '# auto pick\nwait-home\nwait-list\n\npicker\npick auto\nwait-connected\nwait 2.5\nswipe\nwait-disconnected\n' \
      >"$work/script"
    expect 0 "scripted session" "$orvane" --device "$work/device" --script "$work/script" --virtual-time
    grep -q "OrvaneVPN: step 4: pick auto" "$work/out" || fail "the script's pick did not run"
    grep -q "OrvaneVPN: tap Auto Select" "$work/out" || fail "the auto row was not tapped"
    grep -q "OrvaneVPN: after 2.5 s:" "$work/out" || fail "the wait did not run"
    grep -q "OrvaneVPN: tunnel connected" "$work/out" || fail "the scripted session never connected"
    grep -q "OrvaneVPN: session ended" "$work/out" || fail "the scripted session did not end"
    # a step that cannot happen fails with the reason
    printf 'wait-home\npick 1\n' >"$work/early"
    expect 1 "pick without the picker" "$orvane" --device "$work/device" --script "$work/early" --virtual-time
    grep -q "the server picker is not shown" "$work/err" || fail "no reason for the failed step: $(cat "$work/err")"
    printf 'wait-home\nfly away\n' >"$work/bad"
    expect 2 "unknown step" "$orvane" --script "$work/bad"
    grep -q "bad:2: unknown step" "$work/err" || fail "the bad line is not named: $(cat "$work/err")"
    expect 1 "missing script" "$orvane" --script "$work/none"
    one_line_error "missing script" "^orvane: cannot read the script $work/none: No such file or directory$"
    expect 1 "script a directory" "$orvane" --script "$work"
    one_line_error "script a directory" "^orvane: the script $work is a directory$"
    ;;
  command-line)
    expect 0 "--help" "$orvane" --help
    grep -q "^usage: orvane" "$work/out" || fail "--help prints no usage on standard output"
    grep -q "pick N|auto|other" "$work/out" || fail "--help does not list the steps"
    expect 2 "unknown argument" "$orvane" --bogus
    grep -q "usage: orvane" "$work/err" || fail "a bad argument prints no usage on standard error"
    [ ! -s "$work/out" ] || fail "a bad argument printed on standard output"
    expect 2 "missing value" "$orvane" --device
    ;;
  service-command-line)
    expect 0 "--help" "$service" --help
    grep -q "^usage: orvane-service" "$work/out" || fail "--help prints no usage"
    expect 2 "port with junk" "$service" --port 47123x
    expect 2 "port out of range" "$service" --port 70000
    expect 2 "unknown argument" "$service" --bogus
    # a port already in use is refused, not shared
    "$service" --port 0 >"$work/first" 2>&1 &
    first=$!
    for _ in $(seq 100); do grep -q "listening" "$work/first" && break; sleep 0.1; done
    port=$(sed -n 's|.*https://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/first")
    ca=$(sed -n 's|.*certificate authority ||p' "$work/first")
    if [ -z "$port" ]; then
      fail "the first service did not start: $(cat "$work/first")"
    else
      expect 1 "port in use" "$service" --port "$port"
      grep -q "cannot listen" "$work/err" || fail "port in use: $(cat "$work/err")"
    fi
    # SIGTERM ends it cleanly and its certificate goes with it
    kill -TERM "$first"
    wait "$first" || fail "the service did not end cleanly on SIGTERM"
    [ -n "$ca" ] && [ ! -e "$ca" ] && [ ! -e "$(dirname "$ca")" ] || fail "the certificate $ca was left behind"
    # killed outright, it leaves its certificate behind, and the next start removes it
    # (and a directory of the same look that holds something else, of an hour ago)
    mkdir -p "$work/tmp/orvane-service-keepme"
    echo mine >"$work/tmp/orvane-service-keepme/notes"
    touch -d '1 hour ago' "$work/tmp/orvane-service-keepme"
    for run in killed next; do
      TMPDIR="$work/tmp" "$service" --port 0 >"$work/$run" 2>&1 &
      eval "$run=\$!"
      for _ in $(seq 100); do grep -q "listening" "$work/$run" && break; sleep 0.1; done
      grep -q "listening" "$work/$run" || fail "the $run service did not start: $(cat "$work/$run")"
    done
    kill -KILL "$killed"
    wait "$killed" 2>/dev/null
    left=$(sed -n 's|.*certificate authority ||p' "$work/killed")
    [ -e "$left" ] || fail "the killed service's certificate $left is not there to be removed"
    # a running service's certificate stays, as does what is not the service's
    TMPDIR="$work/tmp" "$service" --port 0 >"$work/third" 2>&1 &
    third=$!
    for _ in $(seq 100); do grep -q "listening" "$work/third" && break; sleep 0.1; done
    [ ! -e "$(dirname "$left")" ] || fail "the killed service's certificate $left was left behind"
    ca=$(sed -n 's|.*certificate authority ||p' "$work/next")
    [ -e "$ca" ] || fail "a running service's certificate $ca was removed"
    [ -e "$work/tmp/orvane-service-keepme/notes" ] || fail "a directory not the service's was removed"
    kill -TERM "$next" "$third"
    wait "$next" "$third"
    [ "$(ls -A "$work/tmp")" = "orvane-service-keepme" ] || fail "the services left: $(ls -A "$work/tmp")"
    ;;
  service-memory)
    # left running, the service's memory stays flat under a stream of large requests: it keeps
    # no record of what it answered
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=1"  # freed memory is not held
    "$service" --port 0 >"$work/service" 2>&1 &
    pid=$!
    for _ in $(seq 100); do grep -q "listening" "$work/service" && break; sleep 0.1; done
    port=$(sed -n 's|.*https://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/service")
    ca=$(sed -n 's|.*certificate authority ||p' "$work/service")
    { printf '{"data":"'; head -c 65536 /dev/zero | tr '\0' A; printf '"}'; } >"$work/body"
    # send ROUNDS: fifty requests of 64 KiB a round, each answered
    send() {
      local round i targets=()
      for i in $(seq 50); do targets+=(-o /dev/null "https://127.0.0.1:$port/data/server/"); done
      for round in $(seq "$1"); do
        curl -s --noproxy '*' --max-time 60 --cacert "$ca" -H 'Content-Type: application/json' \
          --data-binary @"$work/body" -w '%{http_code}\n' "${targets[@]}" >"$work/codes"
        [ "$(grep -c '^200$' "$work/codes")" -eq 50 ] || { fail "requests not answered: $(sort "$work/codes" | uniq -c)"; return 1; }
      done
    }
    resident() { awk '/^VmRSS:/ {print $2}' "/proc/$pid/status"; }
    if [ -z "$port" ] || [ -z "$ca" ]; then
      fail "the service did not start: $(cat "$work/service")"
    # each round is one connection, served by one of its threads; each thread's first use costs
    # memory once (more so under the sanitizers), so every thread serves a round before measuring
    elif send "$(awk '/^Threads:/ {print $2}' "/proc/$pid/status")"; then
      before=$(resident)
      if send 10; then
        after=$(resident)
        # 500 requests of 64 KiB kept would be well over 60 MB
        [ $((after - before)) -lt 16384 ] || fail "the service grew from $before kB to $after kB over 500 requests"
      fi
    fi
    kill -TERM "$pid"
    wait "$pid" || fail "the service did not end cleanly on SIGTERM: $(cat "$work/service")"
    ;;
  *)
    echo "unknown check $check" >&2
    exit 2
    ;;
esac
[ "$failures" -eq 0 ]
