#!/usr/bin/env python3
"""Kills pelix with SIGKILL at random moments while it forwards files, and
checks that nothing is lost, cut or sent twice.

An echo with an uplink and five downlinks receives its TICs in batches. The
first batch is handled by a normal run, which also times a batch; every
further batch gets a run that is killed after a random part of that time
(a run that ends first times the next kill), followed by a normal run.
Afterwards every file must have reached every downlink (named in its flow
file, with a whole queue copy and a whole TIC, exactly once) and its file
area, no flow line may name a missing or short file, no TIC may be left in
the TIC outbound that no flow line names, and no run may have been blocked
by a flag a killed run left.

    python3 tests/crash/kill_test.py build/processor/pelix build/tools/pelixcfg
    python3 tests/crash/kill_test.py --tics 150 --kills 6 PELIX PELIXCFG

Exit status 0 when every check holds, 1 otherwise.
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zlib

DOWNLINKS = [2, 3, 4, 5, 6]
UPLINK = 1
AREA = "CRASH.TEST"
RUN_LIMIT_SECONDS = 300

CONFIG = """[config]
inbound_dir = in/
tic_outbound_dir = ticout/
queue_dir = queue/
fileecho_dir = files/
netmail_dir = netmail/
bad_tic_dir = bad/
utc_offset = 0
main_address = 2:5020/100
log_file = pelix.log
announce_db_dir = announce/
[domain]
name = fidonet
outbound_dir = out
is_default = 1
has_main_zone = 1
main_zone = 2
zone_list = 2
[echo]
tag = {area}
link = 2:5020/{up} receive send
{downlinks}
[link]
address = 2:5020/{up}
tic_password = UP
flavour = f
{links}
"""


def config_text():
    downlinks = "\n".join(f"link = 2:5020/{n} send" for n in DOWNLINKS)
    links = "\n".join(f"[link]\naddress = 2:5020/{n}\nflavour = f" for n in DOWNLINKS)
    return CONFIG.format(area=AREA, up=UPLINK, downlinks=downlinks, links=links)


def file_name(i):
    return f"F{i:05d}.BIN"


def tic_text(name, data):
    crc = zlib.crc32(data) & 0xFFFFFFFF
    lines = [f"Area {AREA}", f"Origin 2:5020/{UPLINK}", f"From 2:5020/{UPLINK}",
             f"File {name}", "Desc Crash test file", f"Crc {crc:08X}", "Created by kill_test",
             f"Path 2:5020/{UPLINK} 1600000000 Sun Sep 13 12:26:40 2020 UTC+0000",
             f"Seenby 2:5020/{UPLINK}", "Pw UP"]
    return "".join(line + "\r\n" for line in lines).encode()


def drop(node, files, indexes):
    for i in indexes:
        name = file_name(i)
        with open(os.path.join(node, "in", name), "wb") as f:
            f.write(files[i])
        # The TIC last, as a mailer finishes a session.
        with open(os.path.join(node, "in", f"T{i:05d}.TIC"), "wb") as f:
            f.write(tic_text(name, files[i]))


def start(pelix, node):
    # The output goes to a file, so a run never waits on a full pipe while
    # the test only waits for it to end.
    out = tempfile.TemporaryFile()
    proc = subprocess.Popen([pelix], cwd=node, stdout=out,
                            stderr=subprocess.STDOUT, start_new_session=True)
    proc.out = out
    return proc


def finish(proc, limit=RUN_LIMIT_SECONDS):
    """Waits (bounded) for a run; a run that hangs is killed by its pid."""
    try:
        status = proc.wait(timeout=limit)
    except subprocess.TimeoutExpired:
        os.kill(proc.pid, signal.SIGKILL)
        proc.wait(timeout=30)
        status = None
    proc.out.seek(0)
    text = proc.out.read().decode(errors="replace")
    proc.out.close()
    return status, text


def log_lines(node):
    try:
        with open(os.path.join(node, "pelix.log"), "rb") as f:
            return f.read().decode(errors="replace").splitlines()
    except FileNotFoundError:
        return []


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def flow_lines(node, n):
    data = read(os.path.join(node, "out", f"139c{n:04x}.flo")) or b""
    return data.decode(errors="replace").split("\r\n")


def local(node, line):
    """A flow line as a path to open from here: relative lines are
    relative to the node directory."""
    path = line.replace("\\", "/")
    return path if os.path.isabs(path) else os.path.join(node, path)


def whole_tic(text, name, data):
    crc = zlib.crc32(data) & 0xFFFFFFFF
    return (text.endswith(b"\r\n") and f"\r\nFile {name}\r\n".encode() in text
            and f"\r\nCrc {crc:08X}\r\n".encode() in text)


def check(node, files, violations, counts):
    by_content = {}
    for i, data in enumerate(files):
        by_content[(len(data), zlib.crc32(data))] = i
    tic_outbound = set(os.listdir(os.path.join(node, "ticout")))
    named_tics = set()
    for n in DOWNLINKS:
        lines = [line for line in flow_lines(node, n) if line]
        reached = {}
        k = 0
        while k < len(lines):
            line = lines[k]
            if line.startswith("^"):
                violations.append(f"2:5020/{n}: TIC line {line} without its file before it")
                k += 1
                continue
            data = read(local(node, line))
            if data is None:
                violations.append(f"2:5020/{n}: flow line names a missing file {line}")
                k += 1
                continue
            i = by_content.get((len(data), zlib.crc32(data)))
            if i is None:
                violations.append(f"2:5020/{n}: flow line names a cut or unknown file {line}")
                k += 1
                continue
            if k + 1 >= len(lines) or not lines[k + 1].startswith("^"):
                violations.append(f"2:5020/{n}: {line} has no TIC line after it")
                k += 1
                continue
            tic_line = lines[k + 1][1:]
            named_tics.add(os.path.basename(tic_line))
            tic = read(local(node, tic_line))
            if tic is None or not whole_tic(tic, file_name(i), files[i]):
                violations.append(f"2:5020/{n}: TIC {tic_line} is missing or not whole")
            reached[i] = reached.get(i, 0) + 1
            k += 2
        for i in range(len(files)):
            times = reached.get(i, 0)
            if times == 0:
                violations.append(f"{file_name(i)} never reached 2:5020/{n}")
            elif times > 1:
                violations.append(f"{file_name(i)} reached 2:5020/{n} {times} times")
                counts["sent twice"] += 1
            else:
                counts["file and TIC at a link"] += 1
    for i, data in enumerate(files):
        if read(os.path.join(node, "files", AREA, file_name(i))) == data:
            counts["in the file area"] += 1
        else:
            violations.append(f"{file_name(i)} is not whole in its file area")
    unnamed = sorted(tic_outbound - named_tics)
    counts["TICs no flow line names"] = len(unnamed)
    if unnamed:
        violations.append(f"TICs no flow line names, which the mailer never sends: {' '.join(unnamed[:10])}")
    left = sorted(os.listdir(os.path.join(node, "in")))
    if left:
        violations.append(f"left in the inbound: {' '.join(left[:10])}")
    bad = os.path.join(node, "bad")
    counts["TICs in Bad Tics"] = (len([f for f in os.listdir(bad) if f.lower().endswith(".tic")])
                                  if os.path.isdir(bad) else 0)
    flags = [name for name in os.listdir(os.path.join(node, "out")) if name.endswith("sy")]
    if flags:
        violations.append(f"flags left in the outbound: {' '.join(flags)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pelix")
    parser.add_argument("pelixcfg")
    parser.add_argument("--tics", type=int, default=1000)
    parser.add_argument("--kills", type=int, default=20)
    parser.add_argument("--seed", type=int, default=10)
    parser.add_argument("--keep", action="store_true", help="keep the node directory")
    parser.add_argument("--run-limit", type=float, default=RUN_LIMIT_SECONDS,
                        help="seconds a normal run may take")
    args = parser.parse_args()
    pelix = os.path.abspath(args.pelix)
    pelixcfg = os.path.abspath(args.pelixcfg)
    rng = random.Random(args.seed)

    node = tempfile.mkdtemp(prefix="pelix-kill-")
    for sub in ("in", "ticout", "queue", "files", "netmail", "out"):
        os.mkdir(os.path.join(node, sub))
    with open(os.path.join(node, "node.cfg.txt"), "w") as f:
        f.write(config_text())
    subprocess.run([pelixcfg, "write", "node.cfg.txt", "."], cwd=node, check=True,
                   timeout=60, stdout=subprocess.DEVNULL)
    os.unlink(os.path.join(node, "node.cfg.txt"))

    files = [rng.randbytes(rng.randint(1, 12000)) for _ in range(args.tics)]
    # One batch for the timing run, one per kill, and spares for kills that
    # come after the run has already ended.
    batches = args.kills + 1 + max(4, args.kills // 2)
    order = list(range(args.tics))
    bounds = [round(b * args.tics / batches) for b in range(batches + 1)]
    batch_list = [order[bounds[b]:bounds[b + 1]] for b in range(batches)]

    violations = []
    counts = {"kills": 0, "runs that ended before their kill": 0, "normal runs": 0,
              "stale outbound flags removed": 0, "pelix.bsy without a pid removed by hand": 0,
              "file and TIC at a link": 0, "in the file area": 0, "sent twice": 0}

    def normal_run(label):
        status, out = finish(start(pelix, node), args.run_limit)
        counts["normal runs"] += 1
        if status != 0:
            violations.append(f"{label}: normal run ended with {status}: {out.strip()[-300:]}")
        if "Pelix is busy" in out:
            violations.append(f"{label}: normal run was blocked by pelix.bsy")

    started = time.monotonic()
    drop(node, files, batch_list[0])
    t0 = time.monotonic()
    normal_run("timing run")
    batch_seconds = max(0.05, time.monotonic() - t0)

    b = 1
    while b < batches:
        drop(node, files, batch_list[b])
        b += 1
        if counts["kills"] >= args.kills:
            continue  # the remaining spares go to the last normal run
        t0 = time.monotonic()
        proc = start(pelix, node)
        try:
            proc.wait(timeout=rng.uniform(0.0, 0.8 * batch_seconds))
            # Ended before its kill: the next kill is timed by this run.
            counts["runs that ended before their kill"] += 1
            batch_seconds = max(0.002, time.monotonic() - t0)
        except subprocess.TimeoutExpired:
            os.kill(proc.pid, signal.SIGKILL)
            counts["kills"] += 1
        finish(proc)
        # pelix.bsy of a killed run is removed by the next run when it holds
        # the pid of a process that holds no lock on it; an empty one (made
        # by a version without the pid) only a sysop removes.
        flag = os.path.join(node, "pelix.bsy")
        if os.path.exists(flag) and not any(c.isdigit() for c in (read(flag) or b"").decode(errors="replace")):
            os.unlink(flag)
            counts["pelix.bsy without a pid removed by hand"] += 1
        normal_run(f"after kill {counts['kills']}")
    normal_run("last run")

    lines = log_lines(node)
    counts["stale outbound flags removed"] = sum("Removing stale busy flag" in l for l in lines)
    for line in lines:
        if "stays busy" in line:
            violations.append(f"a run was blocked: {line}")
    if counts["kills"] < args.kills:
        violations.append(f"only {counts['kills']} of {args.kills} kills landed during a run")

    check(node, files, violations, counts)
    print(f"TICs {args.tics}, downlinks {len(DOWNLINKS)}, seed {args.seed}, "
          f"{time.monotonic() - started:.1f} s")
    for name, value in counts.items():
        print(f"  {name}: {value}")
    if violations:
        print(f"{len(violations)} violations, node kept in {node}:")
        for v in violations[:40]:
            print("  " + v)
        return 1
    if args.keep:
        print(f"node kept in {node}")
    else:
        shutil.rmtree(node)
    print("OK: nothing lost, nothing cut, nothing sent twice")
    return 0


if __name__ == "__main__":
    sys.exit(main())
