#!/usr/bin/env bash
# Drops one file of the echo PELIX.TEST and its TIC, as the uplink 2:5020/1
# would send them, into the inbound of the demo node given as $1.
set -euo pipefail
node=${1:?usage: prepare.sh NODE_DIR}
# The node's netmail folder too: without it the robot is unreachable, an error.
mkdir -p "$node/in" "$node/ticout" "$node/netmail"

file=PELIXDEM.TXT
printf 'Pelix demo file: it came from 2:5020/1 and goes on to 2:5020/2 and 2:5020/3.\r\n' \
  >"$node/in/$file"

# The CRC-32 of zip: gzip stores it, little-endian, in the 4 bytes before its
# last 4; read byte by byte so the host's byte order plays no part.
read -r b0 b1 b2 b3 < <(gzip -c <"$node/in/$file" | tail -c8 | head -c4 | od -An -tx1)
crc=$(printf '%s%s%s%s' "$b3" "$b2" "$b1" "$b0" | tr 'a-f' 'A-F')

now=$(date +%s)
{
  printf 'Area PELIX.TEST\r\n'
  printf 'Areadesc Test file echo\r\n'
  printf 'Origin 2:5020/1\r\n'
  printf 'From 2:5020/1\r\n'
  printf 'File %s\r\n' "$file"
  printf 'Desc Pelix demo file\r\n'
  printf 'Crc %s\r\n' "$crc"
  printf 'Created by demo/prepare.sh\r\n'
  printf 'Path 2:5020/1 %s %s UTC+0000\r\n' "$now" "$(LC_ALL=C date -u -d "@$now" '+%a %b %-d %H:%M:%S %Y')"
  printf 'Seenby 2:5020/1\r\n'
  printf 'Pw TICPW\r\n'
} >"$node/in/PELIXDEM.TIC"
echo "== dropped in/$file (Crc $crc) and in/PELIXDEM.TIC from 2:5020/1"
