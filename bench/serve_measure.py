#!/usr/bin/python3
"""Measured run of kqcam --serve's live view (not a test): frames per second
delivered to 1 and to 8 viewers at once, the time from the library's frame
callback to the frame's bytes being handed to the socket (median and 99th
percentile, as the server measures it), and kqcam's CPU share.

usage: serve_measure.py KQCAM [SECONDS]   (Linux; reads /proc)
"""
import json
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

WARM_UP = 3.0


class Viewer(threading.Thread):
    """Reads /api/live and counts whole frames."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port = port
        self.frames = 0
        self.stop = False

    def run(self):
        sock = socket.create_connection(("127.0.0.1", self.port), timeout=30)
        sock.sendall(b"GET /api/live HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % self.port)
        buffer = b""
        while not self.stop:
            data = sock.recv(1 << 16)
            if not data:
                break
            buffer += data
            while True:
                at = buffer.find(b"Content-Length: ")
                end = buffer.find(b"\r\n\r\n", at)
                if at < 0 or end < 0:
                    break
                n = int(buffer[at + 16:buffer.find(b"\r\n", at)])
                if len(buffer) < end + 4 + n + 2:
                    break
                buffer = buffer[end + 4 + n + 2:]
                self.frames += 1
        sock.close()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def status(port):
    with urllib.request.urlopen("http://127.0.0.1:%d/api/status" % port, timeout=30) as r:
        return json.load(r)["live"]


def run(kqcam, viewers, seconds):
    workdir = tempfile.mkdtemp(prefix="kqcam-serve-bench-")
    out = open(os.path.join(workdir, "out"), "w+")
    process = subprocess.Popen([kqcam, "--serve=127.0.0.1:0"], cwd=workdir, stdout=out,
                               stderr=subprocess.STDOUT,
                               env=dict(os.environ, XDG_STATE_HOME=workdir))
    try:
        port = None
        deadline = time.monotonic() + 60
        while port is None and time.monotonic() < deadline:
            out.seek(0)
            m = re.search(r"http://127\.0\.0\.1:(\d+)/", out.read())
            port = int(m.group(1)) if m else None
            time.sleep(0.05)
        if port is None:
            sys.exit("kqcam printed no URL")
        readers = [Viewer(port) for _ in range(viewers)]
        for r in readers:
            r.start()
        time.sleep(WARM_UP)
        s0, c0, t0 = status(port), cpu_seconds(process.pid), time.monotonic()
        f0 = [r.frames for r in readers]
        time.sleep(seconds)
        s1, c1, t1 = status(port), cpu_seconds(process.pid), time.monotonic()
        f1 = [r.frames for r in readers]
        dt = t1 - t0
        per_viewer = [(b - a) / dt for a, b in zip(f0, f1)]
        for r in readers:
            r.stop = True
        return {
            "viewers": viewers,
            "camera_fps": (s1["frames"] - s0["frames"]) / dt,
            "viewer_fps_min": min(per_viewer),
            "viewer_fps_mean": sum(per_viewer) / len(per_viewer),
            "skipped": s1["skipped"] - s0["skipped"],
            "latency_median_ms": s1["latency_ms"]["median"],
            "latency_p99_ms": s1["latency_ms"]["p99"],
            "latency_samples": s1["latency_ms"]["samples"],
            "cpu_percent_of_one_core": 100.0 * (c1 - c0) / dt,
        }
    finally:
        process.send_signal(signal.SIGINT)
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()


def main():
    kqcam = os.path.abspath(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    for viewers in (1, 8):
        print(json.dumps(run(kqcam, viewers, seconds)), flush=True)


if __name__ == "__main__":
    main()
