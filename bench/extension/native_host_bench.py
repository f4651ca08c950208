#!/usr/bin/env python3
"""How fast wayscribe-native-host turns completed tabs into visits.

  bench/extension/native_host_bench.py [--build DIR] [--tabs N] [--browser-tabs K]

Everything runs in a temporary home with the build's WYSCHelper and
libWYSCbho.so registered, against pages served from loopback (a page, its
style sheet and three pictures, about 40 kB in all).

1. Many tabs completing at once: the host is started as a browser starts it
   and is sent N tabs and N completed pages (snapshots of the live pages) in
   one burst; the figure is visits recorded per second, from the burst until
   the last record (the list's size read every 50 ms: a watching client may
   miss events under load, and says how many it was told of). Anchor, same run: N `wget -p` of the same pages at once.
2. Headless Chromium with the extension: K tabs opened at once; for each page
   the time from its load event (the page tells the server from its onload
   handler) to its record (`wayscribe-history watch`), median and worst.
   Anchor, same run: one `wget -p` of such a page, median of K.
"""
import argparse
import http.server
import json
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

SAVER = "{F70C14A1-9083-4789-880B-70A2D1193EEE}"
EXTENSION_ID = "fpbfhlogilcibnhbfjlojbgeklhhpjfa"
CHROMIUM_FLAGS = ["--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--disable-dev-shm-usage"]


def page_html(i):
    paragraphs = "".join(f"<p>Paragraph {j} of page {i}: the quick brown fox jumps over the lazy dog.</p>"
                         for j in range(40))
    return (f"<html><head><title>Bench page {i}</title><link rel='stylesheet' href='site.css'></head>"
            f"<body onload=\"fetch('/loaded?page={i}')\"><h1>Bench page {i}</h1>"
            f"<img src='a.png'><img src='b.png'><img src='c.png'>{paragraphs}</body></html>")


class Site:
    """Pages /p/<i>.html and their parts; /loaded?page=i notes a load event's time."""

    def __init__(self):
        self.loaded = {}
        picture = bytes(range(256)) * 40
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def do_GET(self):
                path = self.path.split("?")[0]
                if path == "/loaded":
                    site.loaded[self.path.split("page=")[1]] = time.monotonic()
                    body, kind = b"", "text/plain"
                elif path.startswith("/p/") and path.endswith(".html"):
                    body, kind = page_html(path[3:-5]).encode(), "text/html"
                elif path == "/p/site.css":
                    body, kind = b"body { font-family: sans-serif; color: #223 } img { width: 120px }", "text/css"
                elif path in ("/p/a.png", "/p/b.png", "/p/c.png"):
                    body, kind = picture, "image/png"
                else:
                    self.send_error(404)
                    return
                self.send_response(200)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.server.server_address[1]}{path}"


class ListPoller:
    """The moment each URL appeared in the list (`wayscribe-history list` every 20 ms)."""

    def __init__(self, build, env):
        self.recorded = {}
        self.running = True
        self.build, self.env = build, env
        threading.Thread(target=self.poll, daemon=True).start()

    def poll(self):
        while self.running:
            result = subprocess.run([f"{self.build}/bin/wayscribe-history", "list"], env=self.env,
                                    capture_output=True, text=True)
            now = time.monotonic()
            for line in result.stdout.splitlines():
                fields = line.split("\t")
                if len(fields) >= 2:
                    self.recorded.setdefault(fields[1], now)
            time.sleep(0.02)

    def wait(self, urls, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and not all(u in self.recorded for u in urls):
            time.sleep(0.01)
        return [self.recorded.get(u) for u in urls]

    def stop(self):
        self.running = False


class Watch:
    """`wayscribe-history watch`: the visits a watching client is told of."""

    def __init__(self, build, env):
        self.recorded = {}
        self.process = subprocess.Popen([f"{build}/bin/wayscribe-history", "watch"], env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self.read, daemon=True).start()
        time.sleep(0.5)

    def read(self):
        for line in self.process.stdout:
            fields = line.rstrip("\n").split("\t")
            if len(fields) >= 4 and fields[0] == "added":
                self.recorded.setdefault(fields[3], time.monotonic())

    def wait(self, urls, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and not all(u in self.recorded for u in urls):
            time.sleep(0.01)
        return [self.recorded.get(u) for u in urls]

    def stop(self):
        self.process.terminate()
        self.process.wait()


def count(build, env):
    result = subprocess.run([f"{build}/bin/wayscribe-history", "count"], env=env, capture_output=True, text=True)
    return int(result.stdout.strip() or 0)


def frame(message):
    data = json.dumps(message).encode()
    return struct.pack("=I", len(data)) + data


def wget_pages(urls, folder):
    """Seconds for one `wget -p` per URL, all started at once."""
    start = time.monotonic()
    processes = [subprocess.Popen(["wget", "-q", "-p", "-P", f"{folder}/{i}", url])
                 for i, url in enumerate(urls)]
    for p in processes:
        p.wait()
    return time.monotonic() - start


def burst(build, env, site, watch, tabs, work):
    urls = [site.url(f"/p/burst{i}.html") for i in range(tabs)]
    host = subprocess.Popen([f"{build}/bin/wayscribe-native-host", f"chrome-extension://{EXTENSION_ID}/"],
                            env=env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    opened = b"".join(frame({"type": "tab-opened", "tab": i + 1}) for i in range(tabs))
    host.stdin.write(opened)
    host.stdin.flush()
    time.sleep(1.0)  # every tab's thread and helper object in place
    completed = b"".join(frame({
        "type": "complete", "tab": i + 1, "url": url, "title": f"Bench page burst{i}",
        "snapshot": json.dumps({"url": url, "contentType": "text/html", "html": page_html(f"burst{i}"),
                                "frames": []}),
        "cookies": []}) for i, url in enumerate(urls))
    before = count(build, env)
    start = time.monotonic()
    host.stdin.write(completed)
    host.stdin.flush()
    # The list's size, not the events (a watcher may miss events under
    # load), read with one cheap call every 50 ms.
    recorded, changed = 0, start
    while recorded < tabs and time.monotonic() - changed < 10:
        now = count(build, env) - before
        if now != recorded:
            recorded, changed = now, time.monotonic()
        time.sleep(0.05)
    seen = sum(1 for u in urls if u in watch.recorded)
    host.stdin.close()
    host.wait()
    wget_seconds = wget_pages(urls, f"{work}/wget-burst")
    elapsed = changed - start
    print(f"burst: {recorded} of {tabs} tabs recorded in {elapsed:.2f} s = {recorded / elapsed:.1f} visits/s "
          f"(a watching client was told of {seen})")
    print(f"  anchor: {tabs} x wget -p of the same pages at once: {wget_seconds:.2f} s = "
          f"{tabs / wget_seconds:.1f} pages/s")


def chromium_latency(build, env, site, poller, count, work):
    profile = f"{work}/chromium"
    os.makedirs(f"{profile}/NativeMessagingHosts")
    with open(f"{profile}/NativeMessagingHosts/wayscribe.native_host.json", "w") as f:
        json.dump({"name": "wayscribe.native_host", "description": "Wayscribe",
                   "path": f"{build}/bin/wayscribe-native-host", "type": "stdio",
                   "allowed_origins": [f"chrome-extension://{EXTENSION_ID}/"]}, f)
    to_browser, browser_in = os.pipe()
    browser_out, from_browser = os.pipe()

    def pipes():
        os.dup2(to_browser, 3)
        os.dup2(from_browser, 4)

    browser = subprocess.Popen(["/usr/bin/chromium", *CHROMIUM_FLAGS, f"--user-data-dir={profile}",
                                f"--load-extension={build}/extension", "--remote-debugging-pipe", "about:blank"],
                               env=env, pass_fds=(3, 4), preexec_fn=pipes,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(to_browser)
    os.close(from_browser)
    buffer = b""
    ids = [0]

    def call(method, params=None):
        nonlocal buffer
        ids[0] += 1
        os.write(browser_in, json.dumps({"id": ids[0], "method": method, "params": params or {}}).encode() + b"\0")
        while True:
            while b"\0" in buffer:
                message, buffer = buffer.split(b"\0", 1)
                if json.loads(message).get("id") == ids[0]:
                    return
            buffer += os.read(browser_out, 65536)

    call("Browser.getVersion")
    time.sleep(3)  # the extension's worker and its host start
    urls = [site.url(f"/p/tab{i}.html") for i in range(count)]
    for url in urls:
        call("Target.createTarget", {"url": url})
    recorded = poller.wait(urls, 60)
    call("Browser.close")
    browser.wait()
    latencies = []
    for i, url in enumerate(urls):
        loaded = site.loaded.get(f"tab{i}")
        if loaded is not None and recorded[i] is not None:
            latencies.append((recorded[i] - loaded) * 1000)
    wget_times = []
    for i, url in enumerate(urls):
        wget_times.append(wget_pages([url], f"{work}/wget-one-{i}") * 1000)
    if latencies:
        print(f"chromium: {len(latencies)} of {count} tabs opened at once recorded; load event to record: "
              f"median {statistics.median(latencies):.0f} ms, worst {max(latencies):.0f} ms")
    else:
        print(f"chromium: none of {count} tabs recorded")
    print(f"  anchor: wget -p of one such page: median {statistics.median(wget_times):.0f} ms, "
          f"worst {max(wget_times):.0f} ms")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "..", "build"))
    parser.add_argument("--tabs", type=int, default=50)
    parser.add_argument("--browser-tabs", type=int, default=10)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    work = tempfile.mkdtemp(prefix="wys-host-bench-")
    env = dict(os.environ, HOME=f"{work}/home", XDG_CONFIG_HOME=f"{work}/home/.config",
               XDG_RUNTIME_DIR=f"{work}/run", XDG_CONFIG_DIRS=f"{work}/etc-xdg",
               XDG_DATA_HOME=f"{work}/home/.local/share")
    for folder in (env["HOME"], env["XDG_RUNTIME_DIR"], env["XDG_CONFIG_DIRS"]):
        os.makedirs(folder, mode=0o700, exist_ok=True)
    try:
        subprocess.run([f"{build}/bin/WYSCHelper", "-RegServer"], env=env, check=True)
        register = f"{build}/bin/wayscribe-register"
        subprocess.run([register, "register", f"{build}/lib/libWYSCbho.so"], env=env, check=True)
        subprocess.run([register, "add-helper", SAVER, "WYSCbho"], env=env, check=True)
        site = Site()
        watch = Watch(build, env)
        burst(build, env, site, watch, args.tabs, work)
        poller = ListPoller(build, env)
        chromium_latency(build, env, site, poller, args.browser_tabs, work)
        poller.stop()
        watch.stop()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
