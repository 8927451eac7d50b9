#!/usr/bin/env bash
# Builds the Debian packages from an existing build directory (default
# build-test/, as scripts/test.sh leaves it), checks their control data and man
# pages, installs them with dpkg, runs the installed pelix and pelixcfg on
# the demo node, verifies the systemd units where systemd is present, and
# removes the packages again, checking that the node's configuration stays.
# Installing needs root, and is skipped where the sysop has installed pelix;
# then only the packages are built and checked.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-test}
jobs=$(nproc)

fail() { echo "package test: $*" >&2; exit 1; }
step() { echo "== package test: $*"; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELIX_BUILD_TESTS=OFF >/dev/null
fi
targets=(pelix pelix-hatch pelixcfg manpages)
grep -q '^PELIX_BUILD_SETUP:BOOL=ON' "$build/CMakeCache.txt" && targets+=(setup)
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

step "building the packages"
packages=$root/$build/packages
rm -rf "$packages"
(cd "$build" && cpack -G DEB -B "$packages" >/dev/null)
deb=$packages/pelix_1.02_amd64.deb
[ "$(dpkg --print-architecture)" = amd64 ] || deb=$(echo "$packages"/pelix_1.02_*.deb)
[ -f "$deb" ] || fail "no pelix_1.02 package in $packages"
debs=("$deb")
editor_deb=$(echo "$packages"/pelix-setup_1.02_*.deb)
[ -f "$editor_deb" ] && debs+=("$editor_deb")

step "control data"
for d in "${debs[@]}"; do
  info=$(dpkg-deb --info "$d")
  echo "$info" | grep '^ Version: 1.02$' >/dev/null || fail "$d: version is not 1.02"
  echo "$info" | grep '^ Depends: .*libc6' >/dev/null || fail "$d: no Depends on the shared libraries"
  echo "$info" | grep '^ Description: ..' >/dev/null || fail "$d: no description"
done
dpkg-deb --info "$deb" | grep '^ Depends:'
dpkg-deb --field "$deb" Depends | grep -q 'libarchive13' ||
  fail "no Depends on libarchive13, which pelix-hatch reads FILE_ID.DIZ with"
dpkg-deb --contents "$deb" | grep '/etc/logrotate.d/pelix$' >/dev/null || fail "no logrotate snippet"
[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)" = /etc/logrotate.d/pelix ] ||
  fail "the logrotate snippet is no conffile"

step "contents as the README lists them"
for d in "${debs[@]}"; do
  name=$(dpkg-deb --field "$d" Package)
  files=$(dpkg-deb --contents "$d" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
  grep -qx "/usr/share/doc/$name/copyright" <<<"$files" || fail "$name has no copyright file"
  # Every file of the package, as dpkg -L shows it, on a line of its own.
  for file in $files; do
    grep -q "^    $file\( \|\$\)" README.md || fail "README.md does not list $file of $name"
  done
done

step "man pages"
unpacked=$(mktemp -d)
node=""
cleanup_dirs=("$unpacked")
trap 'rm -rf "${cleanup_dirs[@]}"' EXIT
for d in "${debs[@]}"; do dpkg-deb -x "$d" "$unpacked"; done
pages=("$unpacked"/usr/share/man/man1/*.1.gz)
[ ${#pages[@]} -eq $(( ${#debs[@]} == 2 ? 4 : 3 )) ] || fail "man pages missing: ${pages[*]}"
if command -v man >/dev/null; then
  for page in "${pages[@]}"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  done
else
  echo "man is not installed: man pages not rendered"
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "not root: the packages are not installed"
  exit 0
fi

# One install at a time on this machine, whichever worktree runs the test.
exec 9>/tmp/pelix-package-test.lock
flock -w 600 9 || fail "another package test holds the lock"

# A pelix the sysop installed is not for the test to replace and remove.
if dpkg-query -W -f '${db:Status-Status}' pelix 2>/dev/null | grep '^installed$' >/dev/null; then
  echo "pelix is installed on this machine: the packages are not installed"
  exit 0
fi

# dpkg refuses at once while another program holds its lock; wait for it.
dpkg_locked() {
  local i out
  for i in $(seq 60); do
    if out=$(dpkg "$@" 2>&1); then echo "$out"; return 0; fi
    echo "$out" | grep 'lock' >/dev/null || { echo "$out" >&2; return 1; }
    sleep 2
  done
  echo "$out" >&2
  return 1
}

node_dir=/var/spool/ftn/pelix
log_dir=/var/log/pelix
netmail_dir=/var/spool/ftn/netmail   # the example's, made with the node
created=()
[ -e "$node_dir" ] || created+=("$node_dir")
[ -e "$log_dir" ] || created+=("$log_dir")
[ -e "$netmail_dir" ] || created+=("$netmail_dir")
remove_all() {
  dpkg_locked --purge pelix-setup pelix >/dev/null || true
  rm -rf "${cleanup_dirs[@]}" "${created[@]}"
}
trap remove_all EXIT

step "dpkg -i"
dpkg_locked -i "${debs[@]}" >/dev/null
for program in /usr/bin/pelix /usr/bin/pelix-hatch /usr/bin/pelixcfg /usr/libexec/pelix/pelix-run; do
  [ -x $program ] || fail "$program is not installed"
done
[ ${#debs[@]} -eq 1 ] || [ -x /usr/bin/pelix-setup ] || fail "/usr/bin/pelix-setup is not installed"

if getent passwd ftn >/dev/null; then
  [ "$(stat -c %U "$node_dir")" = ftn ] || fail "$node_dir is not owned by ftn"
  [ -f "$node_dir/node.cfg.txt" ] || [ -f "$node_dir/pelix.cfg" ] || fail "no configuration in $node_dir"
  [ -d "$log_dir" ] || fail "$log_dir was not created"
  # A configuration already there stays as it is, also when the package is
  # installed again.
  keep=$node_dir/node.cfg.txt
  [ -f "$keep" ] || keep=$node_dir/pelix.cfg
  cp -p "$keep" "$unpacked/kept"
  echo "# the sysop's own line" >>"$keep"
  dpkg_locked -i "$deb" >/dev/null
  [ "$(tail -n1 "$keep")" = "# the sysop's own line" ] || fail "reinstalling changed $keep"
  cp -p "$unpacked/kept" "$keep"
  if [ "${created[0]:-}" = "$node_dir" ] && [ "$keep" = "$node_dir/node.cfg.txt" ]; then
    [ -f "$node_dir/crashmail.prefs" ] || fail "no crashmail.prefs in the new $node_dir"
    [ "$(stat -c %U "$netmail_dir")" = ftn ] || fail "$netmail_dir was not made for ftn"
    step "the example node as ftn, by the units' script, logging to $log_dir"
    runuser -u ftn -- sh -c "cd $node_dir && pelixcfg write node.cfg.txt &&
      /usr/libexec/pelix/pelix-run /E >/dev/null" || fail "pelix-run /E as ftn in $node_dir ended with status $?"
    grep 'PELX No TIC files found$' "$log_dir/pelix.log" >/dev/null || fail "nothing in $log_dir/pelix.log"
    if command -v crashmail >/dev/null; then
      grep 'Scanning all areas for messages to export' "$log_dir/crashmail.log" >/dev/null ||
        fail "crashmail did not toss and scan with the example crashmail.prefs"
    fi
  fi
else
  echo "no user ftn: the node directory is not made"
  for dir in "${created[@]}"; do
    [ ! -e "$dir" ] || fail "$dir was made without the user ftn"
  done
fi

step "installed pelix and pelixcfg on the demo node"
node=$(mktemp -d)
cleanup_dirs+=("$node")
mkdir "$node/example"
/usr/bin/pelixcfg write /usr/share/doc/pelix/examples/node.cfg.txt "$node/example" ||
  fail "pelixcfg cannot read the example configuration"
/usr/bin/pelixcfg dump "$node/example" | grep '^log_file = /var/log/pelix/pelix.log$' >/dev/null ||
  fail "the example configuration does not read back"
/usr/bin/pelixcfg write demo/node.cfg.txt "$node"
bash demo/prepare.sh "$node" >/dev/null
status=0
(cd "$node" && /usr/bin/pelix /E >/dev/null) || status=$?
[ "$status" -eq 0 ] || fail "/usr/bin/pelix ended with status $status"
grep -q 'Exported to 2:5020/2' "$node/pelix.log" || fail "the demo TIC was not forwarded"
[ -f "$node/files/PELIX.TEST/PELIXDEM.TXT" ] || fail "the demo file was not placed"
/usr/bin/pelix /H | grep ' /A - Announce.' >/dev/null || fail "pelix /H shows no help"

if command -v systemd-analyze >/dev/null; then
  step "systemd-analyze verify"
  units=(pelix.service pelix.path pelix-announce.service pelix-announce.timer)
  # verify ends with 0 after mere warnings ("ignoring"): any output is a fault.
  faults=$(systemd-analyze verify "${units[@]/#//usr/lib/systemd/system/}" 2>&1) ||
    fail "systemd-analyze verify: $faults"
  [ -z "$faults" ] || fail "systemd-analyze verify: $faults"
else
  echo "systemd is not present: units not verified"
fi
if command -v logrotate >/dev/null; then
  logrotate -d /etc/logrotate.d/pelix 2>/dev/null || fail "logrotate refuses the snippet"
fi

step "dpkg -r"
dpkg_locked -r pelix-setup pelix >/dev/null
[ ! -e /usr/bin/pelix ] || fail "/usr/bin/pelix is still there"
[ -f /etc/logrotate.d/pelix ] || fail "dpkg -r removed the logrotate configuration"
if getent passwd ftn >/dev/null; then
  [ -f "$keep" ] || fail "dpkg -r removed $keep"
fi
echo "== package test: passed"
