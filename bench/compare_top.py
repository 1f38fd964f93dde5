#!/usr/bin/env python3
"""How long `top 800 40` takes: mboxtool against curl and Python's poplib.

compare_top.py [--tool PATH] [--exe PATH] [--rtts 0,10,50] [--messages 800] [--lines 40]

Starts Dovecot (scripts/dovecot.sh) from a temporary directory with one
mailbox of 800 messages of 80 body lines, puts a delay proxy (delay_proxy.py)
in front of it for each round-trip time, and times:
  mboxtool  the tool's `top 800 40` (pipelined when the server offers it)
  hidden    the same through a proxy that takes PIPELINING out of the CAPA
            answer (delay_proxy.py --hide-pipelining), as several large
            providers' servers answer: "1st" is the run that asks the server
            whether it takes commands sent ahead, the other the best of the
            runs after it, which go by the tool's record of the answer
  .exe      with --exe: the Windows build of the tool, the same run under wine64
            (its own throwaway prefix, the wine server kept up between runs)
  curl      one TOP per request over one reused connection (URL range)
  poplib    one TOP after another
  floor     a raw client that sends every TOP at once: the pipelined floor
Prints the times and the ratios to mboxtool. Loopback only.
"""
import argparse
import os
import poplib
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
DOVECOT = os.path.join(ROOT, "scripts", "dovecot.sh")
USER, PASSWORD = "bench", "geheim"
WINE = "/usr/lib/wine/wine64"


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def make_mail(directory, count, body_lines):
    files = []
    for i in range(1, count + 1):
        path = os.path.join(directory, "m%04d.eml" % i)
        lines = ["From: Afzender %d <afzender%d@example.nl>" % (i, i),
                 "To: Ontvanger <ontvanger@example.nl>",
                 "Subject: Testbericht nummer %d voor de meting" % i,
                 "Date: Mon, 3 Jun 2024 10:%02d:00 +0200" % (i % 60),
                 "Message-ID: <%d.bench@example.nl>" % i, ""]
        lines += ["Regel %d van bericht %d, met wat tekst om de regel te vullen." % (n, i)
                  for n in range(1, body_lines + 1)]
        with open(path, "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode())
        files.append(path)
    return files


def timed(fn):
    start = time.perf_counter()
    fn()
    return time.perf_counter() - start


def run_tool(tool, port, count, lines, workdir, env=None):
    words = ["127.0.0.1", str(port), USER, PASSWORD, "top", str(count), str(lines)]
    out = subprocess.run(tool + words, cwd=workdir, stdout=subprocess.PIPE, check=False,
                         env=env).stdout
    if out.count(b"\r\n.\r\n") != count:
        raise RuntimeError("mboxtool wrote %d records" % out.count(b"\r\n.\r\n"))


def run_curl(port, count, lines):
    url = "pop3://127.0.0.1:%d/[1-%d]%%20%d" % (port, count, lines)
    out = subprocess.run(["curl", "-s", "-u", "%s:%s" % (USER, PASSWORD), "-X", "TOP", url],
                         stdout=subprocess.PIPE, check=False).stdout
    if out.count(b"Subject: Testbericht") != count:
        raise RuntimeError("curl fetched %d messages" % out.count(b"Subject: Testbericht"))


def run_poplib(port, count, lines):
    box = poplib.POP3("127.0.0.1", port)
    box.user(USER)
    box.pass_(PASSWORD)
    for i in range(1, count + 1):
        box.top(i, lines)
    box.quit()


def run_floor(port, count, lines):
    s = socket.create_connection(("127.0.0.1", port))
    f = s.makefile("rb")
    f.readline()
    s.sendall(("USER %s\r\nPASS %s\r\n" % (USER, PASSWORD)).encode())
    f.readline()
    f.readline()
    s.sendall("".join("TOP %d %d\r\n" % (i, lines) for i in range(1, count + 1)).encode())
    done = 0
    while done < count:
        line = f.readline()
        if not line:
            raise RuntimeError("connection closed")
        if line == b".\r\n":
            done += 1
    s.sendall(b"QUIT\r\n")
    s.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", default=os.path.join(ROOT, "build", "mboxtool"))
    parser.add_argument("--exe", help="mboxtool.exe to time under wine64 as well")
    parser.add_argument("--rtts", default="0,10,50")
    parser.add_argument("--messages", type=int, default=800)
    parser.add_argument("--lines", type=int, default=40)
    args = parser.parse_args()
    # The tools run in a working directory of their own.
    tool_cmd = [os.path.abspath(args.tool)]
    exe_cmd = [WINE, os.path.abspath(args.exe)] if args.exe else None
    if shutil.which("curl") is None:
        sys.exit("curl is needed")
    subprocess.run([DOVECOT, "install"], check=True)
    base = tempfile.mkdtemp(prefix="mboxtool-bench.")
    os.chmod(base, 0o755)
    work = tempfile.mkdtemp(prefix="mboxtool-bench-work.")
    port = free_port()
    proxies = []
    wine_env = None
    if args.exe:
        wine_env = dict(os.environ, WINEPREFIX=tempfile.mkdtemp(prefix="mboxtool-bench-wine."),
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    try:
        if wine_env:
            subprocess.run([os.path.join(os.path.dirname(WINE), "wineserver"), "-p"],
                           env=wine_env, check=True)
            subprocess.run([WINE, "wineboot", "-i"], env=wine_env, check=True,
                           stderr=subprocess.DEVNULL)
        subprocess.run([DOVECOT, "adduser", base, USER, PASSWORD], check=True)
        maildir = tempfile.mkdtemp(prefix="mboxtool-bench-mail.")
        subprocess.run([DOVECOT, "addmail", base, USER] + make_mail(maildir, args.messages, 80),
                       check=True)
        shutil.rmtree(maildir)
        subprocess.run([DOVECOT, "start", base, str(port)], check=True)
        print("top %d %d on %d messages of 80 body lines (Dovecot, 127.0.0.1)"
              % (args.messages, args.lines, args.messages))
        print("%-8s %10s %10s %10s %10s %10s %10s %10s %14s %14s"
              % ("RTT", "mboxtool", "hidden 1st", "hidden", ".exe" if wine_env else "", "floor",
                 "curl", "poplib", "curl/mboxtool", "poplib/mboxtool"))

        def proxy(rtt, *options):
            listen = free_port()
            p = subprocess.Popen([sys.executable, os.path.join(HERE, "delay_proxy.py")]
                                 + list(options) + [str(listen), str(port), str(rtt)],
                                 stdout=subprocess.PIPE)
            p.stdout.readline()
            proxies.append(p)
            return listen

        for rtt in [float(r) for r in args.rtts.split(",")]:
            target = proxy(rtt) if rtt > 0 else port
            hidden = proxy(rtt, "--hide-pipelining")
            n, k = args.messages, args.lines
            tool = min(timed(lambda: run_tool(tool_cmd, target, n, k, work)) for _ in range(3))
            first = timed(lambda: run_tool(tool_cmd, hidden, n, k, work))
            later = min(timed(lambda: run_tool(tool_cmd, hidden, n, k, work)) for _ in range(3))
            exe = ""
            if exe_cmd:
                exe = "%9.3fs" % min(timed(lambda: run_tool(exe_cmd, target, n, k, work, wine_env))
                                     for _ in range(3))
            floor = min(timed(lambda: run_floor(target, n, k)) for _ in range(3))
            curl = timed(lambda: run_curl(target, n, k))
            pop = timed(lambda: run_poplib(target, n, k))
            print("%-8s %9.3fs %9.3fs %9.3fs %10s %9.3fs %9.3fs %9.3fs %13.1fx %13.1fx"
                  % ("%g ms" % rtt, tool, first, later, exe, floor, curl, pop, curl / tool,
                     pop / tool), flush=True)
    finally:
        if wine_env:
            subprocess.run([os.path.join(os.path.dirname(WINE), "wineserver"), "-k"],
                           env=wine_env, check=False)
            shutil.rmtree(wine_env["WINEPREFIX"], ignore_errors=True)
        for p in proxies:
            p.terminate()
            p.wait()
        subprocess.run([DOVECOT, "stop", base], check=False)
        shutil.rmtree(base, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
