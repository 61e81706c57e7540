"""Loopback FTP server for the tests (pyftpdlib), controlled as loopback_control says.

Users: anonymous and reader/secret may only list and read, writer/secret may do
everything. Any file whose name contains "drop" is sent half, then the data connection
is closed and the control connection answers 426, as when a server dies mid-transfer.
"""
import io
import logging
import os
import sys

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loopback_control  # noqa: E402

READ_ONLY = 'elr'
READ_WRITE = 'elradfmwMT'


class DroppedTransfer(OSError):
    pass


class HalfFile(io.BytesIO):
    """Gives the first half of a file, then fails the read that would give the rest."""

    def __init__(self, path):
        with open(path, 'rb') as f:
            data = f.read()
        super().__init__(data)
        self.name = path
        self._limit = len(data) // 2

    def read(self, size=-1):
        left = self._limit - self.tell()
        if left <= 0:
            raise DroppedTransfer(5, 'connection to the storage lost')
        return super().read(left if size is None or size < 0 else min(size, left))


def start(args, log):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.filesystems import AbstractedFS
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.log import config_logging
    from pyftpdlib.servers import FTPServer

    class DroppingFS(AbstractedFS):
        def open(self, filename, mode):
            if 'drop' in os.path.basename(filename) and mode == 'rb':
                return HalfFile(filename)
            return super().open(filename, mode)

    class LoggingHandler(FTPHandler):
        sessions = 0

        def on_connect(self):
            LoggingHandler.sessions += 1
            self.session = LoggingHandler.sessions
            log.write('%d CONNECT %s:%d' % (self.session, self.remote_ip, self.remote_port))

        def pre_process_command(self, line, cmd, arg):
            shown = '***' if cmd == 'PASS' else arg
            log.write(('%d %s %s' % (self.session, cmd, shown)).rstrip())
            super().pre_process_command(line, cmd, arg)

    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(args.root, perm=READ_ONLY)
    authorizer.add_user('reader', 'secret', args.root, perm=READ_ONLY)
    authorizer.add_user('writer', 'secret', args.root, perm=READ_WRITE)

    LoggingHandler.authorizer = authorizer
    LoggingHandler.abstracted_fs = DroppingFS
    # sendfile() would bypass the half-file reader.
    LoggingHandler.use_sendfile = False
    # A refused login answers at once, not after pyftpdlib's usual 3 s.
    LoggingHandler.auth_failed_timeout = 0
    # pyftpdlib's own session log is noise next to ours; its errors still show.
    config_logging(level=logging.ERROR)
    server = FTPServer(('127.0.0.1', 0), LoggingHandler)

    def wait(seconds):
        server.ioloop.loop(seconds, blocking=False)

    return server.address[1], wait, server.close_all


if __name__ == '__main__':
    loopback_control.serve(loopback_control.parse_args(__doc__), start)
