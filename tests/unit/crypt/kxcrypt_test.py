#!/usr/bin/env python3
"""kxcrypt as a user runs it: files, pipes, hexadecimal text and its refusals.

Usage: kxcrypt_test.py KXCRYPT WORKDIR
"""
import os
import shutil
import subprocess
import sys

TOOL = sys.argv[1]
WORK = sys.argv[2]
TOO_LONG = b"The Maxlen for the password is 12 characters"
NOT_HEX = b"The String Must in HEX Format for Decrypt."
failures = []


def run(*args, stdin=b""):
    p = subprocess.run([TOOL, *args], input=stdin, capture_output=True, timeout=60)
    return p.returncode, p.stdout, p.stderr


def check(name, cond, detail=""):
    if not cond:
        failures.append(f"{name}: {detail}")
        print(f"FAIL {name} {detail}")
    else:
        print(f"ok   {name}")


def path(name):
    return os.path.join(WORK, name)


def write(name, data):
    with open(path(name), "wb") as f:
        f.write(data)
    return path(name)


def read(name):
    with open(path(name), "rb") as f:
        return f.read()


shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)

# Known answers of the default key, from a separate reference implementation.
rc, out, err = run("encrypt", "--hex", stdin=b"hello world")
check("encrypt --hex from stdin", rc == 0 and out == b"D8F3D3CD0E6726F047589B\n", (rc, out, err))
rc, out, err = run("decrypt", "--hex", stdin=b"d8f3d3cd0e6726f047589b\r\n")
check("decrypt --hex from stdin, lower case and a line break", rc == 0 and out == b"hello world", (rc, out, err))
rc, out, err = run("decrypt", stdin=bytes.fromhex("D8F3D3CD0E6726F047589B"))
check("decrypt raw bytes from stdin", rc == 0 and out == b"hello world", (rc, out, err))
rc, out, err = run("decrypt", "--hex", "--password", "abc", "--add-key", "1", "--mult-key", "3",
                   stdin=b"AC4AE9E450F64B")
check("decrypt with key options", rc == 0 and out == b"kxsetup", (rc, out, err))
rc, out, err = run("encrypt", "--hex", "--password", "Pass-Word-12", "--add-key", "-5", "--mult-key", "-7",
                   stdin=b"twelve chars")
check("encrypt with a 12-character password and negative keys",
      rc == 0 and out == b"935FF533051ECCC4D4166483\n", (rc, out, err))

# Round trips of files across block boundaries, raw and hexadecimal.
for n in (0, 1, 32767, 32768, 32769, 100000):
    plain = os.urandom(n)
    src = write(f"plain{n}.bin", plain)
    rc1, _, e1 = run("encrypt", "--password", "secret", src, path(f"c{n}.bin"))
    rc2, _, e2 = run("decrypt", "--password", "secret", path(f"c{n}.bin"), path(f"p{n}.bin"))
    check(f"file round trip of {n} bytes", rc1 == 0 and rc2 == 0 and read(f"p{n}.bin") == plain, (rc1, rc2, e1, e2))
    if n:
        check(f"cipher of {n} bytes differs from the plain bytes", read(f"c{n}.bin") != plain)
    rc1, _, e1 = run("encrypt", "--hex", src, path(f"h{n}.txt"))
    hex_text = read(f"h{n}.txt")
    rc2, out, e2 = run("decrypt", "--hex", path(f"h{n}.txt"))
    check(f"hex round trip of {n} bytes", rc1 == 0 and rc2 == 0 and out == plain, (rc1, rc2, e1, e2))
    rc3, out3, _ = run("decrypt", stdin=bytes.fromhex(hex_text.decode().strip()))
    check(f"hex and raw cipher of {n} bytes agree", rc3 == 0 and out3 == plain)

# stdin to a named output and "-" for the pipes.
rc, _, err = run("encrypt", "-", path("dash.bin"), stdin=b"abc")
rc2, out, _ = run("decrypt", path("dash.bin"), "-")
check("dash names the pipes", rc == 0 and rc2 == 0 and out == b"abc", (rc, rc2, err))

# Refusals: message on stderr, non-zero exit, no output file.
rc, out, err = run("encrypt", "--password", "0123456789abc", stdin=b"x")
check("13-character password refused", rc == 1 and TOO_LONG in err and out == b"", (rc, err))
rc, out, err = run("decrypt", "--password", "0123456789abc", path("c1.bin"), path("never1.bin"))
check("refused password writes no output file", rc == 1 and not os.path.exists(path("never1.bin")), (rc, err))
for bad in (b"0G", b"41420G", b"41 42", b"zz"):
    rc, out, err = run("decrypt", "--hex", stdin=bad)
    check(f"bad hex {bad!r} refused", rc == 1 and NOT_HEX in err and out == b"", (rc, out, err))
src = write("bad.txt", b"4142G0")
rc, out, err = run("decrypt", "--hex", src, path("never2.bin"))
check("bad hex file writes no output file", rc == 1 and NOT_HEX in err and not os.path.exists(path("never2.bin")),
      (rc, err))

# Usage and input errors.
rc, out, err = run("--help")
check("--help documents commands and exit codes",
      rc == 0 and b"encrypt|decrypt" in out and b"--mult-key" in out and b"Exit codes" in out, (rc, out))
for args in ([], ["scramble"], ["encrypt", "--add-key"], ["encrypt", "--add-key", "x1"],
             ["encrypt", "--mult-key", "4294967296"], ["encrypt", "--frobnicate"], ["encrypt", "a", "b", "c"]):
    rc, out, err = run(*args)
    check(f"usage error {args}", rc == 2 and err != b"", (rc, err))
rc, out, err = run("decrypt", path("missing.bin"))
check("missing input file", rc == 3 and b"missing.bin" in err, (rc, err))

if failures:
    print(f"{len(failures)} failure(s)")
    sys.exit(1)
print("all passed")
