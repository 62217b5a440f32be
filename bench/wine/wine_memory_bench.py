#!/usr/bin/env python3
"""Memory of the real setup under Wine while it installs a large payload.

For each size, builds a setup program whose one file is that many MiB of
incompressible bytes, installs it silently (/S) in a fresh copy of the build
tree's Wine prefix and samples the setup process's /proc status every 50 ms:
the peak resident size, its anonymous part (memory of the process's own, which
the payload must not fill) and its file-backed part (pages of setup.exe mapped
from the file, which the system may drop and read again). Target: at most
64 MiB of anonymous memory at every size, up to kxpack's limit.

usage: wine_memory_bench.py [--sizes-mib 200,600,1400] [--tree build/win32] [--kxpack PATH]
Run ./scripts/build.sh host win32 (or win64) first.
"""
import argparse
import os
import random
import shutil
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_install_bench import ROOT, Prefix, pack, pick_tree, start_display, write_script  # noqa: E402


def make_setup(work, mib, tree, kxpack):
    pkg = os.path.join(work, "mem%d" % mib)
    os.makedirs(os.path.join(pkg, "files"))
    rng = random.Random(mib)
    with open(os.path.join(pkg, "files", "big.dat"), "wb") as f:
        for _ in range(mib):
            f.write(rng.randbytes(1 << 20))
    write_script(pkg, "MemBench", ["big.dat"])
    setup = os.path.join(work, "mem%d-setup.exe" % mib)
    pack(pkg, setup, tree, kxpack)
    shutil.rmtree(pkg)
    return setup


def status_kib(pid):
    fields = {}
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                key, _, value = line.partition(":")
                if key in ("VmRSS", "RssAnon", "RssFile"):
                    fields[key] = int(value.split()[0])
    except OSError:
        pass
    return fields


def setup_pids(name):
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                if name.encode() in f.read():
                    pids.append(int(entry))
        except OSError:
            pass
    return pids


def measure(tree, work, setup, mib):
    p = Prefix(tree, work, os.path.basename(setup))
    peak = {"VmRSS": 0, "RssAnon": 0, "RssFile": 0}
    done = threading.Event()

    def sample():
        name = os.path.basename(setup)
        while not done.is_set():
            for pid in setup_pids(name):
                for key, value in status_kib(pid).items():
                    peak[key] = max(peak[key], value)
            time.sleep(0.05)

    sampler = threading.Thread(target=sample)
    sampler.start()
    try:
        seconds, out = p.timed([setup, "/S", "/D=C:\\mem-bench"])
        done.set()
        sampler.join()
        if out.returncode != 0:
            sys.exit("the setup failed with exit code %d" % out.returncode)
        installed = os.path.join(p.path, "drive_c", "mem-bench", "big.dat")
        if not os.path.exists(installed) or os.path.getsize(installed) != mib << 20:
            sys.exit("the setup did not install big.dat whole")
    finally:
        done.set()
        p.close()
    return seconds, peak


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--sizes-mib", default="200,600,1400")
    ap.add_argument("--tree", default="")
    ap.add_argument("--kxpack", default=os.path.join(ROOT, "build/host/tools/kxpack/kxpack"))
    a = ap.parse_args()
    tree = pick_tree(a.tree)
    work = tempfile.mkdtemp(prefix="kx-wine-mem-")
    display = start_display(":86")
    print("tree %s; one incompressible file, silent install" % os.path.relpath(tree, ROOT))
    print("%-10s %10s %12s %12s %12s" % ("payload", "seconds", "VmRSS MiB", "anon MiB", "file MiB"))
    try:
        for mib in (int(s) for s in a.sizes_mib.split(",") if s):
            setup = make_setup(work, mib, tree, a.kxpack)
            seconds, peak = measure(tree, work, setup, mib)
            os.remove(setup)
            print("%-10s %10.1f %12.1f %12.1f %12.1f" % ("%d MiB" % mib, seconds, peak["VmRSS"] / 1024,
                                                         peak["RssAnon"] / 1024, peak["RssFile"] / 1024), flush=True)
    finally:
        if display:
            display.terminate()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
