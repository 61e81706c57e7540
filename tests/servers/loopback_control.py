"""Start and stop protocol shared by the loopback test servers.

The tests run under Wine, where the handle of a Linux child process is of no use, so
everything goes through files: the server writes "PORT PID" to --port-file once it
listens, serves while --keep-alive exists, writes --stopped-file when its port is
closed, and gives up by itself after --lifetime seconds so a crashed test leaves
nothing running.
"""
import argparse
import os
import threading
import time
import traceback


def parse_args(description):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument('--root', required=True, help='folder served')
    parser.add_argument('--port-file', required=True)
    parser.add_argument('--keep-alive', required=True)
    parser.add_argument('--stopped-file', required=True)
    parser.add_argument('--log', required=True, help='one line per command received')
    parser.add_argument('--errors', help='where stderr goes')
    parser.add_argument('--lifetime', type=float, default=15 * 60, help='seconds')
    return parser.parse_args()


def write_atomically(path, text):
    # The test polls for the file: it must never see it half written.
    with open(path + '.tmp', 'w') as f:
        f.write(text)
    os.replace(path + '.tmp', path)


class CommandLog:
    """Lines a test reads back to see, from the server's side, what a client did."""

    def __init__(self, path):
        self._file = open(path, 'a', encoding='utf-8', errors='replace')
        self._lock = threading.Lock()

    def write(self, line):
        with self._lock:
            self._file.write(line + '\n')
            self._file.flush()


def serve(args, start):
    """Runs one server. start(args, log) binds it on 127.0.0.1 and returns
    (port, wait, close): wait(seconds) serves for about that long, close() stops."""
    if args.errors:
        fd = os.open(args.errors, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
        os.dup2(fd, 2)
        os.close(fd)
    try:
        port, wait, close = start(args, CommandLog(args.log))
        write_atomically(args.port_file, '%d %d\n' % (port, os.getpid()))
        deadline = time.monotonic() + args.lifetime
        while os.path.exists(args.keep_alive) and time.monotonic() < deadline:
            wait(0.1)
        close()
    except Exception:
        traceback.print_exc()
    finally:
        # Written even after a failure, so the test stops waiting for a port at once.
        write_atomically(args.stopped_file, 'stopped\n')
