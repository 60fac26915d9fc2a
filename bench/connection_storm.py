#!/usr/bin/env python3
"""Hostile clients against a running service, ordinary calls beside them.

Client threads connect to 127.0.0.1:PORT, send a few bytes (half a request
line by default) and end the connection, closed the usual way (FIN) or reset,
as fast as they can for a while. Meanwhile one ordinary client calls
"system.listMethods" again and again, each call on a connection of its own
with a time-out; the service's descriptors (sockets) and the sockets in
CLOSE_WAIT on the port are sampled. After the storm the ordinary calls go on
until one is answered. Loopback only; every loop ends by itself.

    python3 bench/connection_storm.py --port 8012 --pid $(pgrep -n quinmark-serv)
"""

import argparse
import json
import os
import socket
import threading
import time


def call(port, timeout):
    """One system.listMethods call; its seconds, or None when not answered in time."""
    body = json.dumps({"jsonrpc": "2.0", "id": 1, "method": "system.listMethods"}).encode()
    head = ("POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json-rpc\r\n"
            "Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body)).encode()
    begun = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
            s.settimeout(max(0.01, timeout - (time.monotonic() - begun)))
            s.sendall(head + body)
            reply = b""
            while b"\r\n\r\n" not in reply or not reply.startswith(b"HTTP/1.1 200"):
                chunk = s.recv(65536)
                if not chunk:
                    return None
                reply += chunk
                if time.monotonic() - begun > timeout:
                    return None
            return time.monotonic() - begun
    except OSError:
        return None


def storm_client(port, sent, reset, pause, until, counter, lock):
    made = 0
    while time.monotonic() < until and made < 1_000_000:
        try:
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            s.connect(("127.0.0.1", port))
            if sent:
                s.send(sent)
            if pause:
                time.sleep(pause)
            if reset:
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            s.close()
            made += 1
        except OSError:
            pass
    with lock:
        counter[0] += made


def sockets_of(pid):
    count = 0
    try:
        for fd in os.listdir("/proc/%d/fd" % pid):
            try:
                if os.readlink("/proc/%d/fd/%s" % (pid, fd)).startswith("socket:"):
                    count += 1
            except OSError:
                pass
    except OSError:
        return -1
    return count


def close_wait_on(port):
    count = 0
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as f:
                next(f)
                for line in f:
                    fields = line.split()
                    if fields[3] == "08" and int(fields[1].split(":")[1], 16) == port:
                        count += 1
        except OSError:
            pass
    return count


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=8012)
    parser.add_argument("--pid", type=int, required=True)
    parser.add_argument("--threads", type=int, default=6)
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--send", default="POST /deb", help="bytes sent before the end ('' for none)")
    parser.add_argument("--reset", action="store_true", help="reset instead of closing (FIN)")
    parser.add_argument("--pause-ms", type=float, default=0,
                        help="wait between sending and ending (the service takes the connection up meanwhile)")
    parser.add_argument("--call-timeout", type=float, default=2.0)
    args = parser.parse_args()

    until = time.monotonic() + args.seconds
    counter, lock = [0], threading.Lock()
    clients = [threading.Thread(target=storm_client,
                                args=(args.port, args.send.encode(), args.reset, args.pause_ms / 1000, until, counter,
                                      lock))
               for _ in range(args.threads)]
    most_sockets, most_close_wait, samples = 0, 0, []
    stop_sampling = threading.Event()

    def sample():
        nonlocal most_sockets, most_close_wait
        while not stop_sampling.wait(0.05):
            most_sockets = max(most_sockets, sockets_of(args.pid))
            most_close_wait = max(most_close_wait, close_wait_on(args.port))

    sampler = threading.Thread(target=sample)
    sampler.start()
    for c in clients:
        c.start()
    while time.monotonic() < until:
        samples.append(call(args.port, args.call_timeout))
        time.sleep(0.3)
    for c in clients:
        c.join()
    ended = time.monotonic()
    after = None
    while time.monotonic() - ended < 120:
        if call(args.port, args.call_timeout) is not None:
            after = time.monotonic() - ended
            break
    stop_sampling.set()
    sampler.join()
    answered = [s for s in samples if s is not None]
    print("storm: %d connections in %.0f s (%d threads, %r, %s after %g ms)"
          % (counter[0], args.seconds, args.threads, args.send, "reset" if args.reset else "FIN", args.pause_ms))
    print("calls during it answered within %.1f s: %d of %d (slowest %.2f s)"
          % (args.call_timeout, len(answered), len(samples), max(answered) if answered else float("nan")))
    print("first call answered %s after the storm" % ("%.2f s" % after if after is not None else "not"))
    print("most sockets held by the service: %d (listen socket included); most in CLOSE_WAIT: %d"
          % (most_sockets, most_close_wait))


if __name__ == "__main__":
    main()
