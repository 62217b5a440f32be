#!/usr/bin/env python3
"""Install speed of the real setup under Wine against NSIS on the same files.

For packages of 1,000, 3,000 and 10,000 small files and one of 256 MiB, builds
a setup program with kxpack and an NSIS installer with makensis (zlib, not
solid), installs each in a fresh copy of the build tree's Wine prefix and
prints the seconds, the ratio to NSIS and the time per file. The setup is timed
from the Install press to its final message (bench_install_timer drives it);
NSIS runs with /S and is timed whole, less the time Wine takes to start and end
a program that does nothing. Targets: ratio at most 1.0 at every size, and the
time per file at 10,000 files within 1.2 x of that at 1,000.

usage: wine_install_bench.py [--sizes 1000,3000,10000] [--big-mib 256]
                             [--file-kib 20] [--runs 1] [--tree build/win32]
Run ./scripts/build.sh host win32 (or win64) first; the script installs nsis.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def wine_runs(loader):
    try:
        return subprocess.run([loader, "--version"], capture_output=True).returncode == 0
    except OSError:
        return False


def pick_tree(arg):
    if arg:
        return os.path.join(ROOT, arg)
    # The product is i686: under 32-bit Wine where the kernel runs it.
    if wine_runs("/usr/lib/wine/wine") and os.path.exists(os.path.join(ROOT, "build/win32/wine/template")):
        return os.path.join(ROOT, "build/win32")
    return os.path.join(ROOT, "build/win64")


def content(i, size):
    line = ("payload file %06d of the install benchmark, " % i).encode()
    out = bytearray()
    k = 0
    while len(out) < size:
        out += line + b"%06d\r\n" % k
        k += 1
    return bytes(out[:size])


def write_script(pkg, group, names):
    """The package's script (one component of every file, in the three languages) and the demo's licences."""
    sections = ""
    for lang in ("GB", "B5", "EN"):
        sections += ("[%s.GrpName]\r\nGrpName=%s\r\nCOMPANY=Bench\r\nVERSION=1\r\n"
                     "REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s\r\nPRGDIR=%s\r\n"
                     "UNINST=FALSE\r\n\r\n[%s.File]\r\nAll=%s\r\n\r\n[%s.Link]\r\n\r\n"
                     % (lang, group, group, group, lang, ";".join(names), lang))
    with open(os.path.join(pkg, "setup.ini"), "wb") as f:
        f.write(("[Common]\r\n\r\n[Service]\r\n\r\n" + sections).encode("ascii"))
    for licence in ("LICCN.txt", "LICB5.txt", "LICEN.txt"):
        shutil.copy(os.path.join(ROOT, "packages/acme", licence), pkg)


def pack(pkg, setup, tree, kxpack=os.path.join(ROOT, "build/host/tools/kxpack/kxpack")):
    """The setup program of the package, with the tree's stub and uninstaller."""
    run([kxpack, "--no-progress", "--force", "--stub", os.path.join(tree, "tools/kxpack/setupstub.exe"),
         "--uninstaller", os.path.join(tree, "uninst/kxUnInst.exe")]
        + (["--allow-64bit"] if tree.endswith("win64") else []) + [pkg, "-o", setup],
        stdout=subprocess.DEVNULL)


def make_package(work, name, files, tree):
    """files: list of (stored name, size). Returns the setup program and the NSIS installer."""
    pkg = os.path.join(work, name)
    os.makedirs(os.path.join(pkg, "files"))
    for i, (n, size) in enumerate(files):
        with open(os.path.join(pkg, "files", n), "wb") as f:
            if size > 64 << 20:
                chunk = content(i, 1 << 20)
                for _ in range(size >> 20):
                    f.write(chunk)
            else:
                f.write(content(i, size))
    write_script(pkg, "Bench", [n for n, _ in files])
    setup = os.path.join(work, name + "-setup.exe")
    pack(pkg, setup, tree)
    nsi = os.path.join(work, name + ".nsi")
    nsis = os.path.join(work, name + "-nsis.exe")
    with open(nsi, "w") as f:
        f.write('Name "Bench"\nOutFile "%s"\nInstallDir "C:\\nsis-bench"\nSetCompressor zlib\n'
                'RequestExecutionLevel admin\nSection\n  SetOutPath "$INSTDIR"\n  File "%s/*"\nSectionEnd\n'
                % (nsis, os.path.join(pkg, "files")))
    run(["makensis", "-V1", nsi], stdout=subprocess.DEVNULL)
    return setup, nsis


class Prefix:
    """A fresh copy of the tree's template prefix, its wineserver kept running."""

    def __init__(self, tree, work, name):
        self.tree = tree
        arch64 = tree.endswith("win64")
        self.loader = "/usr/lib/wine/wine64" if arch64 else "/usr/lib/wine/wine"
        self.server = os.path.join(os.path.dirname(self.loader), "wineserver")
        self.path = os.path.join(work, "prefix-" + name)
        template = os.path.join(tree, "wine/template")
        shutil.rmtree(self.path, ignore_errors=True)
        run(["cp", "-al", template, self.path])
        for reg in ("system.reg", "user.reg", "userdef.reg"):
            if os.path.exists(os.path.join(template, reg)):
                os.remove(os.path.join(self.path, reg))
                shutil.copy(os.path.join(template, reg), self.path)
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                        LC_ALL="C")
        run([self.loader, "reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "winxp", "/f"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def timed(self, args):
        t0 = time.monotonic()
        out = subprocess.run([self.loader] + args, env=self.env, capture_output=True, text=True)
        return time.monotonic() - t0, out

    def close(self):
        subprocess.run([self.server, "-k"], env=self.env)
        shutil.rmtree(self.path, ignore_errors=True)


def start_display(name):
    """An Xvfb server for the programs when there is no display; None when there is one."""
    if os.environ.get("DISPLAY"):
        return None
    server = subprocess.Popen(["Xvfb", name, "-screen", "0", "1024x768x24"], stderr=subprocess.DEVNULL)
    os.environ["DISPLAY"] = name
    time.sleep(1)
    return server


def measure(tree, work, name, setup, nsis):
    timer = os.path.join(tree, "bench/wine/bench_install_timer.exe")
    p = Prefix(tree, work, name + "-kx")
    try:
        _, out = p.timed([timer, setup, "C:\\kx-bench"])
        line = [l for l in out.stdout.splitlines() if l.startswith("install seconds:")]
        if not line:
            sys.exit("the setup did not finish: %s %s" % (out.stdout, out.stderr))
        ours = float(line[0].split(":")[1])
    finally:
        p.close()
    q = Prefix(tree, work, name + "-nsis")
    try:
        q.timed([timer, "--noop"])  # starts the wineserver
        noop = min(q.timed([timer, "--noop"])[0] for _ in range(3))
        whole, out = q.timed([nsis, "/S"])
        if out.returncode != 0:
            sys.exit("the NSIS installer failed: %s" % out.stderr)
        theirs = whole - noop
    finally:
        q.close()
    return ours, theirs, noop


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--sizes", default="1000,3000,10000")
    ap.add_argument("--big-mib", type=int, default=256)
    ap.add_argument("--file-kib", type=int, default=20)
    ap.add_argument("--runs", type=int, default=1)
    ap.add_argument("--tree", default="")
    a = ap.parse_args()
    if not shutil.which("makensis"):
        run([os.path.join(ROOT, "scripts/install-prereqs.sh")])
    tree = pick_tree(a.tree)
    work = tempfile.mkdtemp(prefix="kx-wine-bench-")
    display = start_display(":87")
    cases = [("%d files" % n, [("f%05d.dat" % i, a.file_kib * 1024 - (i * 37) % 4096) for i in range(n)])
             for n in (int(s) for s in a.sizes.split(",") if s)]
    if a.big_mib > 0:
        cases.append(("%d MiB file" % a.big_mib, [("big.dat", a.big_mib << 20)]))
    print("tree %s; %d KiB files; best of %d" % (os.path.relpath(tree, ROOT), a.file_kib, a.runs))
    print("%-16s %10s %10s %7s %14s %14s" % ("package", "setup s", "NSIS s", "ratio", "setup ms/file", "NSIS ms/file"))
    per_file = {}
    try:
        for name, files in cases:
            setup, nsis = make_package(work, name.replace(" ", "-"), files, tree)
            best = None
            for r in range(a.runs):
                got = measure(tree, work, "%s-%d" % (name.replace(" ", "-"), r), setup, nsis)
                best = got if best is None or got[0] < best[0] else best
            ours, theirs, noop = best
            n = len(files)
            per_file[n] = ours / n
            print("%-16s %10.2f %10.2f %7.2f %14.2f %14.2f" % (name, ours, theirs, ours / theirs, 1000 * ours / n,
                                                              1000 * theirs / n), flush=True)
        small = sorted(k for k in per_file if k > 1)
        if len(small) >= 2:
            print("time per file at %d against %d: %.2f x (target <= 1.2)" %
                  (small[-1], small[0], per_file[small[-1]] / per_file[small[0]]))
    finally:
        if display:
            display.terminate()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
