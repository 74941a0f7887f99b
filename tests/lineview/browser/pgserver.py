"""A throwaway PostgreSQL cluster in a temporary folder, on a free port.

As root the server runs as the postgres account (it refuses to run as root),
which then owns the folder.
"""
import os
import pwd
import shutil
import socket
import subprocess
import tempfile

PG_BIN = '/usr/lib/postgresql/15/bin/'
ADMIN_PASSWORD = 'band-secret'


def free_port():
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


class PgServer:
    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix='lineview-pg-')
        self.port = free_port()
        self.running = False
        self.account = None
        if os.geteuid() == 0:
            self.account = pwd.getpwnam('postgres')
            os.chown(self.folder, self.account.pw_uid, self.account.pw_gid)

    def _run(self, program, *arguments):
        command = [PG_BIN + program, *arguments]
        if self.account:
            command = ['runuser', '-u', 'postgres', '--'] + command
        done = subprocess.run(command, cwd=self.folder, capture_output=True, text=True, timeout=120)
        if done.returncode != 0:
            raise RuntimeError('%s failed: %s%s' % (program, done.stdout, done.stderr))

    def start(self):
        pwfile = os.path.join(self.folder, 'pw')
        with open(pwfile, 'w') as f:
            f.write(ADMIN_PASSWORD + '\n')
        if self.account:
            os.chown(pwfile, self.account.pw_uid, self.account.pw_gid)
        self._run('initdb', '-D', self.data, '-U', 'band', '--pwfile=' + pwfile,
                  '--auth=scram-sha-256', '-E', 'UTF8', '--no-sync')
        # No fsync: the tests read what the server keeps, not its crash safety.
        options = '-p %d -k %s -c listen_addresses=127.0.0.1 -c fsync=off' % (self.port, self.folder)
        self._run('pg_ctl', '-D', self.data, '-l', os.path.join(self.folder, 'log'), '-o', options, '-w', 'start')
        self.running = True

    def stop(self):
        if self.running:
            self._run('pg_ctl', '-D', self.data, '-m', 'fast', '-w', 'stop')
            self.running = False
        shutil.rmtree(self.folder, ignore_errors=True)

    @property
    def data(self):
        return os.path.join(self.folder, 'data')

    def url(self, user='band', password=ADMIN_PASSWORD):
        return 'postgresql://%s:%s@127.0.0.1:%d/postgres' % (user, password, self.port)

    def query(self, sql, *values):
        """Rows of a query as lists of strings; values are bound by psql as variables."""
        command = [PG_BIN + 'psql', self.url(), '-X', '-A', '-t', '-F', '\t', '-v', 'ON_ERROR_STOP=1']
        for i, value in enumerate(values):
            command += ['-v', 'v%d=%s' % (i, value)]
        done = subprocess.run(command, input=sql, capture_output=True, text=True, timeout=60)
        if done.returncode != 0:
            raise RuntimeError('psql: ' + done.stderr)
        return [line.split('\t') for line in done.stdout.splitlines() if line]

    def execute(self, sql):
        self.query(sql)
