#!/usr/bin/env python3
"""Bytes on disk of saved pages with identical files stored once, against
the layout without sharing, in one run.

    bench/WYSCHelper/file_sharing_bench.py [BUILD_DIR] [TIMING_ROUNDS]

Serves Debian's python3-doc HTML from loopback and captures 20 distinct pages
with the real WYSCHelper, libWYSCbho.so and wayscribe-capture: three rounds
through the HTML route (the pages under ".php", which that route takes) and
one round through the single-file route (the same pages as ".html"), that is
60 and 20 visits. Two histories, each with its own home and server, take the
same visits round by round, in alternating order: one with
ShareIdenticalFiles off (every saved file its own, as before sharing) and one
with it on. Prints du's bytes for both layouts, per route, the server's own
figures (wayscribe-history settings) beside du -l, and the capture times.

Before each round the sharing server is let finish its linking, so that it
never slows the other history's captures; how long it takes after a round
is printed too. Capture times of single rounds vary by a third on a shared
machine: after the figures, TIMING_ROUNDS (default 12) more rounds of the
HTML route are captured by both histories, alternating, and the median of
the per-round ratios is printed with the totals.
"""
import statistics
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

DOCS = "/usr/share/doc/python3-doc/html"
PAGES = sorted(f"tutorial/{name}" for name in os.listdir(f"{DOCS}/tutorial") if name.endswith(".html"))
PAGES = (PAGES + ["library/intro.html", "library/index.html", "library/functions.html"])[:20]
SAVER_CLSID = "{F70C14A1-9083-4789-880B-70A2D1193EEE}"
HTML_ROUNDS = 3


class Site:
    """The documentation on loopback; "x.php" answers what "x.html" holds."""

    def __init__(self):
        class Handler(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *args, **kwargs):
                super().__init__(*args, directory=DOCS, **kwargs)

            def log_message(self, *args):
                pass

            def translate_path(self, path):
                path = path.split("?", 1)[0]
                if path.endswith(".php"):
                    path = path[:-4] + ".html"
                return super().translate_path(path)

            def guess_type(self, path):
                return "text/html" if path.endswith(".php") else super().guess_type(path)

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def url(self, page, extension):
        return f"http://127.0.0.1:{self.port}/{page[:-5]}{extension}"


class History:
    """A home of its own with a registered server and capture, and its history folder."""

    def __init__(self, build, root, share):
        self.build, self.root = build, root
        self.folder = f"{root}/history"
        run = f"{root}/run"
        os.makedirs(run, mode=0o700)
        os.makedirs(self.folder)
        self.env = dict(os.environ, HOME=root, XDG_CONFIG_HOME=f"{root}/.config", XDG_RUNTIME_DIR=run,
                        XDG_DATA_HOME=f"{root}/.local/share", XDG_CACHE_HOME=f"{root}/.cache", TZ="UTC")
        hive = f"{root}/.config/wayscribe/registry/HKEY_CURRENT_USER.reg"
        os.makedirs(os.path.dirname(hive))
        with open(hive, "w") as out:
            out.write("[Software\\Quillonix\\WYSCUrlBase]\n"
                      f"\"BasePath\"=sz:\"{self.folder}\"\n"
                      "\"TitledFileNames\"=binary:00\n"
                      "\"HistoryRange\"=binary:00,00,00,00,00,00,00,00\n"
                      f"\"ShareIdenticalFiles\"=binary:{'01' if share else '00'}\n")
        self.run([f"{build}/bin/WYSCHelper", "-RegServer"])
        self.run([f"{build}/bin/wayscribe-register", "register", f"{build}/lib/libWYSCbho.so"])
        self.run([f"{build}/bin/wayscribe-register", "add-helper", SAVER_CLSID, "WYSCbho"])
        self.capture_seconds = 0.0
        self.linking_seconds = 0.0
        self.rounds = []

    def run(self, argv, **kwargs):
        return subprocess.run(argv, env=self.env, check=True, capture_output=True, text=True, **kwargs)

    def capture(self, urls):
        start = time.monotonic()
        result = subprocess.run([f"{self.build}/bin/wayscribe-capture", "--timeout", "120"] + urls, env=self.env,
                                capture_output=True, text=True)
        self.capture_seconds += time.monotonic() - start
        self.rounds.append(time.monotonic() - start)
        if result.returncode != 0:
            sys.exit(f"wayscribe-capture failed:\n{result.stdout}{result.stderr}")

    def settings(self):
        return dict(line.split("\t", 1) for line in self.run([f"{self.build}/bin/wayscribe-history", "settings"])
                    .stdout.splitlines())

    def wait_for_count(self):
        """Seconds until the server's figures are up to date."""
        start = time.monotonic()
        while "(still counting)" in self.settings().get("disk-use", "(still counting)"):
            if time.monotonic() - start > 600:
                sys.exit("the server's count did not catch up")
            time.sleep(0.05)
        return time.monotonic() - start

    def server_cpu_seconds(self):
        """User and system time of this history's WYSCHelper so far; None when it cannot be found."""
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    if not f.read().split(b"\0")[0].endswith(b"/WYSCHelper"):
                        continue
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if f"HOME={self.root}".encode() not in f.read().split(b"\0"):
                        continue
                with open(f"/proc/{pid}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
            except OSError:
                continue
        return None

    def saved(self, pattern):
        """Full paths of the saved copies (page files with their folders, or archives) matching `pattern`."""
        paths = []
        for folder, dirs, files in os.walk(self.folder):
            for name in dirs + files:
                if re.fullmatch(pattern, name):
                    paths.append(os.path.join(folder, name))
            dirs[:] = [d for d in dirs if not d.endswith("_files")]
        return paths


def capture_round(site, number, extension, today, sharing):
    urls = [site.url(page, extension) for page in PAGES]
    order = [today, sharing] if number % 2 == 0 else [sharing, today]
    for history in order:
        sharing.wait_for_count()
        history.capture(urls)
        if history is sharing:
            sharing.linking_seconds += sharing.wait_for_count()
    # A page's visits must not fall in one second: they would share a name.
    time.sleep(1.1)


def du(paths, count_links=False):
    """du's total for the paths, in bytes (each file once unless count_links)."""
    if not paths:
        return 0
    argv = ["du", "-s", "-c", "-B1"] + (["-l"] if count_links else []) + paths
    return int(subprocess.run(argv, check=True, capture_output=True, text=True).stdout.splitlines()[-1].split()[0])


def megabytes(count):
    return f"{count / 1e6:8.2f} MB"


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    timing_rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 12
    work = tempfile.mkdtemp(prefix="wys-sharing-bench-")
    try:
        site = Site()
        today = History(build, f"{work}/today", share=False)
        sharing = History(build, f"{work}/sharing", share=True)
        rounds = [".php"] * HTML_ROUNDS + [".html"]
        for number, extension in enumerate(rounds):
            capture_round(site, number, extension, today, sharing)
        today.wait_for_count()

        print(f"{len(PAGES)} pages of {DOCS} from loopback; {HTML_ROUNDS * len(PAGES)} visits through the HTML "
              f"route, {len(PAGES)} through the single-file route, per history")
        print(f"{'':28}{'without sharing':>16}{'with sharing':>16}{'share':>8}")
        for route, pattern in (("HTML route (.htm + _files)", r".*\.htm|.*_files"), ("single-file route (.mht)",
                                                                                       r".*\.mht")):
            before, after = du(today.saved(pattern)), du(sharing.saved(pattern))
            print(f"{route:28}{megabytes(before):>16}{megabytes(after):>16}{after / before:8.1%}")
        everything_before = du([f"{today.folder}/{name}" for name in os.listdir(today.folder)
                                if os.path.isdir(f"{today.folder}/{name}")])
        everything_after = du([f"{sharing.folder}/{name}" for name in os.listdir(sharing.folder)
                               if os.path.isdir(f"{sharing.folder}/{name}")])
        everything_links = du([f"{sharing.folder}/{name}" for name in os.listdir(sharing.folder)
                               if os.path.isdir(f"{sharing.folder}/{name}")], count_links=True)
        print(f"{'all saved copies (du)':28}{megabytes(everything_before):>16}{megabytes(everything_after):>16}"
              f"{everything_after / everything_before:8.1%}")
        print(f"{'  du -l of the shared one':28}{'':>16}{megabytes(everything_links):>16}")
        for name, history in (("without sharing", today), ("with sharing", sharing)):
            figures = history.settings()
            print(f"server's figures, {name:16} {figures['disk-use']}  "
                  f"({figures['bytes-on-disk']} / {figures['bytes-without-sharing']} bytes)")
        print(f"capture time of these rounds: without sharing {today.capture_seconds:.2f} s, with sharing "
              f"{sharing.capture_seconds:.2f} s; linking after the rounds' captures ended: "
              f"{sharing.linking_seconds:.2f} s in all")
        for number in range(timing_rounds):
            capture_round(site, len(rounds) + number, ".php", today, sharing)
        ratios = [b / a for a, b in zip(today.rounds, sharing.rounds)]
        print(f"capture time over {len(ratios)} rounds of 20 pages: without sharing {sum(today.rounds):.2f} s, "
              f"with sharing {sum(sharing.rounds):.2f} s ({sum(sharing.rounds) / sum(today.rounds) - 1:+.1%}); "
              f"median of the per-round ratios {statistics.median(ratios) - 1:+.1%}")
        cpu = [history.server_cpu_seconds() for history in (today, sharing)]
        if None not in cpu:
            print(f"server CPU time: without sharing {cpu[0]:.2f} s, with sharing {cpu[1]:.2f} s")
        print("rounds (s, without/with):", " ".join(f"{a:.2f}/{b:.2f}" for a, b in zip(today.rounds, sharing.rounds)))
    finally:
        # The servers end 5 s after their last client.
        time.sleep(6)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
