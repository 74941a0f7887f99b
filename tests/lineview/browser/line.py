"""A small line for the browser tests: the server, station folders whose
runs reach it, and lineview instances reading it as a viewer."""
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

from pgserver import PgServer, free_port

VIEWER = 'supervisor'
VIEWER_PASSWORD = 'viewer-secret'
STATION_PASSWORD = 'station-secret'


def wait_for(condition, timeout, what):
    """Polls condition until it gives a true value, which it returns."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError('waited %.0f s for %s' % (timeout, what))
        time.sleep(0.05)


def terminate(process, timeout):
    """SIGTERM, then SIGKILL after timeout seconds; whether it ended by itself."""
    if process.poll() is not None:
        return True
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout)
        return True
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return False


class Station:
    """A station folder: its definition, a station.ini naming the server, and its records."""

    def __init__(self, line, name, program, definition, bin_folder=None):
        self.line = line
        self.name = name
        self.program = program
        self.folder = os.path.join(line.folder, name)
        os.makedirs(self.folder)
        shutil.copy(definition, os.path.join(self.folder, 'def.xml'))
        if bin_folder:
            shutil.copytree(bin_folder, os.path.join(self.folder, 'bin'))
        ini = os.path.join(self.folder, 'station.ini')
        with open(ini, 'w') as f:
            f.write('[station]\nname=%s\n[database]\nurl=%s\n'
                    % (name, line.server.url(name, STATION_PASSWORD)))
        os.chmod(ini, 0o600)
        line.server.execute('CREATE ROLE "%s" LOGIN PASSWORD \'%s\' IN ROLE band_station;' % (name, STATION_PASSWORD))

    def bandctl(self, *arguments, ok=(0,)):
        done = subprocess.run([self.line.bandctl_path, *arguments], cwd=self.folder,
                              capture_output=True, text=True, timeout=180)
        if done.returncode not in ok:
            raise AssertionError('bandctl %s at %s: exit %d\n%s%s'
                                 % (' '.join(arguments), self.name, done.returncode, done.stdout, done.stderr))
        return done

    def run_simulated(self, bands=1):
        """Runs the station's program on virtual bands; the results may fail."""
        verb = 'test' if self.program == 'tester' else 'burn'
        if bands == 1:
            self.bandctl('--simulate', verb, ok=(0, 1))
        else:
            self.bandctl('--simulate', str(bands), verb, '--all', ok=(0, 1))

    def run_on_device(self, device):
        """A test on a virtual band of bandsim's, whose faults make it fail."""
        self.bandctl('test', '--device', device, ok=(0, 1))

    def sync(self):
        self.bandctl('sync')


class FaultyBand:
    """bandsim with a fault switched on, for failing runs."""

    def __init__(self, bandsim_path, fault):
        self.process = subprocess.Popen([bandsim_path, '--replug-ms', '100', '--fault', fault],
                                        stdout=subprocess.PIPE, text=True)
        self.device = None
        for line in self.process.stdout:
            if line.startswith('Virtual band plugged in at '):
                self.device = line.split(' at ', 1)[1].strip()
                break
        if not self.device:
            self.stop()
            raise AssertionError('bandsim printed no device')

    def stop(self):
        self.process.stdout.close()
        terminate(self.process, 10)


class LineView:
    """One lineview process reading the line's server as its viewer."""

    def __init__(self, line, *options):
        self.line = line
        self.port = free_port()
        self.options = options
        self.process = None
        self.log = open(os.path.join(line.folder, 'lineview-%d.log' % self.port), 'w')

    @property
    def url(self):
        return 'http://127.0.0.1:%d/' % self.port

    def start(self):
        self.process = subprocess.Popen(
            [self.line.lineview_path, '--database', self.line.server.url(VIEWER, VIEWER_PASSWORD),
             '--listen', '127.0.0.1:%d' % self.port, *self.options],
            stdout=self.log, stderr=subprocess.STDOUT)
        wait_for(self._answers, 60, 'lineview to answer on port %d' % self.port)

    def _answers(self):
        if self.process.poll() is not None:
            raise AssertionError('lineview ended with %d' % self.process.returncode)
        try:
            with urllib.request.urlopen(self.url + 'api/session', timeout=5):
                return True
        except (urllib.error.URLError, ConnectionError):
            return False

    def stop(self):
        """Ends lineview as its service would (SIGTERM), waiting for it."""
        if self.process and not terminate(self.process, 30):
            raise AssertionError('lineview did not end within 30 s of SIGTERM')
        code = self.process.returncode if self.process else 0
        self.process = None
        return code

    def api(self, path, **params):
        query = '&'.join('%s=%s' % (k, urllib.parse.quote(str(v))) for k, v in params.items())
        with urllib.request.urlopen(self.url + 'api/' + path + ('?' + query if query else ''), timeout=30) as r:
            return json.loads(r.read().decode('utf-8'))


class Line:
    def __init__(self, lineview_path, bandctl_path, bandsim_path, tester_def, burner_def, burner_bin):
        self.lineview_path = lineview_path
        self.bandctl_path = bandctl_path
        self.bandsim_path = bandsim_path
        self.tester_def = tester_def
        self.burner_def = burner_def
        self.burner_bin = burner_bin
        self.folder = tempfile.mkdtemp(prefix='lineview-line-')
        self.server = PgServer()
        self.stations = []
        self.views = []

    def start(self):
        self.server.start()
        init = subprocess.run([self.bandctl_path, 'server', 'init', self.server.url()],
                              cwd=self.folder, capture_output=True, text=True, timeout=120)
        if init.returncode != 0:
            raise AssertionError('bandctl server init: %s%s' % (init.stdout, init.stderr))
        self.server.execute('CREATE ROLE "%s" LOGIN PASSWORD \'%s\' IN ROLE band_viewer;' % (VIEWER, VIEWER_PASSWORD))

    def add_station(self, name, program):
        if program == 'tester':
            station = Station(self, name, program, self.tester_def)
        else:
            station = Station(self, name, program, self.burner_def, self.burner_bin)
        self.stations.append(station)
        return station

    def add_view(self, *options):
        view = LineView(self, *options)
        self.views.append(view)
        view.start()
        return view

    def add_users(self, name, password):
        path = os.path.join(self.folder, 'users')
        done = subprocess.run([self.lineview_path, 'user', 'add', name, '--users', path],
                              input=password + '\n', capture_output=True, text=True, timeout=60)
        if done.returncode != 0:
            raise AssertionError('lineview user add: ' + done.stderr)
        return path

    def stop(self):
        problems = []
        for view in self.views:
            try:
                code = view.stop()
                problem = 'lineview on port %d ended with %d' % (view.port, code) if code else None
            except AssertionError as e:
                problem = str(e)
            view.log.close()
            if problem:
                with open(view.log.name) as log:
                    problems.append(problem + ':\n' + log.read()[-4000:])
        try:
            self.server.stop()
        finally:
            shutil.rmtree(self.folder, ignore_errors=True)
        if problems:
            raise AssertionError('; '.join(problems))
