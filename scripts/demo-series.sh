#!/usr/bin/env bash
# The main job on the built-in simulator: kovra-sim lays five factory-fresh DESFire cards on a
# simulated reader one after another; quillmate-cli personalises them with an example job (AES
# card master key, an application with three AES keys, an enciphered file, a counting value),
# then reads the series back, and the write log is shown.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
work=$(mktemp -d)
trap 'kill "$sim_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

"$bin/kovra-sim" --control "$work/sim.ctl" > "$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do grep -q '^pty: ' "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
pty=$(sed -n 's/^pty: //p' "$work/sim.out")
control() { python3 - "$work/sim.ctl" "$1" <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); s.sendall((sys.argv[2] + "\n").encode())
print(s.makefile().readline().strip())
PY
}

cli=("$bin/quillmate-cli" --config "$work/config" --port "$pty" --baud 115200)
"${cli[@]}" job set Wert=1000 AppID=4B4D01 FileID=1 FileMode=2 Byteanzahl=16 Zahlenformat=1 \
  Darstellung=1 AutoIncrement=1 KeyAnzahl=3 ReadKeyNr=3 WriteKeyNr=4 ReadWriteKeyNr=0 \
  CardKey=00112233445566778899AABBCCDDEEFF AppKey=A0A1A2A3A4A5A6A7A8A9AAABACADAEAF \
  ReadKey=B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF WriteKey=C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF
echo "== the job =="
"${cli[@]}" job show

echo "== writing a series of 5 cards on the simulated reader ($pty) =="
( sleep 1; control "feed 5 leave=400 gap=300" > /dev/null ) &
"${cli[@]}" --json write --count 5 --log "$work/write.log"

echo "== the write log =="
cat "$work/write.log"

echo "== reading the series back: the same 5 cards laid on the reader again =="
sleep 0.6  # the last written card is taken away
( sleep 1; control "again 5 leave=700 gap=200" > /dev/null ) &
"${cli[@]}" --json read --count 5
echo "== the next value in the settings =="
"${cli[@]}" job show | grep '^Wert='
