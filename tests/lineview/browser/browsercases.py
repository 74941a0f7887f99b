"""The browser cases: a line of four stations with a few failures, one
lineview for everyone and one behind logins, one headless Chromium."""
import os
import time
import unittest
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

from line import FaultyBand, Line, wait_for

PAGES = ('line', 'yield', 'feed', 'unit')
LANGUAGES = ('en', 'zh')
# A tab's caption in each language: the page is drawn in the language chosen.
LINE_TAB = {'en': 'Line', 'zh': '产线'}
WRONG_PASSWORD_TEXT = {'Wrong name or password.', '用户名或密码错误。'}
# Generous for a sanitizer build on a loaded machine; a page that never draws still fails.
DRAW_TIMEOUT = 60

paths = None
line = None
view = None
driver = None


def setup_paths(options):
    global paths
    for name, value in vars(options).items():
        setattr(options, name, os.path.abspath(value))
    paths = options


def start_browser():
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for argument in ('--headless=new', '--no-sandbox', '--window-size=1366,768', '--lang=en-US'):
        options.add_argument(argument)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


def make_runs():
    """Burns, then tests on most of the bands, a few failing at one step."""
    burner = line.add_station('line1-burner-01', 'burner')
    testers = [line.add_station('line1-tester-%02d' % i, 'tester') for i in (1, 2, 3)]
    burner.run_simulated(3)
    testers[0].run_simulated(4)
    testers[1].run_simulated(2)
    testers[2].run_simulated()
    for fault, station, times in (('stores-different-value:conf', testers[1], 2),
                                  ('no-answer:version', testers[2], 1)):
        band = FaultyBand(paths.bandsim, fault)
        try:
            for _ in range(times):
                station.run_on_device(band.device)
        finally:
            band.stop()
    for station in line.stations:
        station.sync()


def setUpModule():
    global line, view, driver
    line = Line(paths.lineview, paths.bandctl, paths.bandsim, paths.tester_def, paths.burner_def, paths.burner_bin)
    try:
        line.start()
        make_runs()
        view = line.add_view()
        driver = start_browser()
    except BaseException:
        tearDownModule()
        raise


def tearDownModule():
    """Also called when the run is ended from outside; each part is ended once."""
    global driver, line
    try:
        if driver:
            driver.quit()
    finally:
        driver = None
        stopping, line = line, None
        if stopping:
            stopping.stop()


# ---- page helpers --------------------------------------------------------------

def open_page(base, location):
    """Loads the page afresh at #location and waits until it is drawn."""
    driver.get('about:blank')
    driver.get(base + '#' + location)
    page = location.split('?')[0].split('/')[0]
    wait_drawn(page)


def wait_drawn(page):
    try:
        wait_for(lambda: driver.execute_script(
            'return document.body.dataset.ready === "1" && document.body.dataset.page === arguments[0]', page),
            DRAW_TIMEOUT, 'the %s page to be drawn' % page)
    except AssertionError as e:
        said = driver.execute_script(
            'return ["error-banner", "login-error"].map((id) => id + ": " + document.getElementById(id).textContent)')
        raise AssertionError('%s (%s; console: %s)' % (e, '; '.join(said), console_errors())) from None


def choose_language(language):
    """Through the page's own switch, which remembers the choice."""
    open_page(view.url, 'line?simulated=1')
    Select(driver.find_element(By.ID, 'language')).select_by_value(language)
    wait_for(lambda: driver.find_element(By.CSS_SELECTOR, '[data-page-tab=line]').text == LINE_TAB[language],
             DRAW_TIMEOUT, 'the page in %s' % language)
    driver.get_log('browser')


def console_errors():
    return [e['message'] for e in driver.get_log('browser') if e['level'] == 'SEVERE']


def table_rows(selector):
    """The rows of a table as {field: data-value} dicts."""
    return driver.execute_script(
        'return [...document.querySelectorAll(arguments[0] + " tr[data-row]")].map((tr) => {'
        '  const row = {};'
        '  tr.querySelectorAll("td[data-field]").forEach((td) => { row[td.dataset.field] = td.dataset.value; });'
        '  return row; })', selector)


def feed_seqs():
    return driver.execute_script(
        'return [...document.querySelectorAll("#feed-rows tr[data-seq]")].map((tr) => Number(tr.dataset.seq))')


def feed_state():
    try:
        return driver.find_element(By.CSS_SELECTOR, '[data-feed-state]').get_attribute('data-value')
    except StaleElementReferenceException:
        return None


def a_tested_unit():
    return line.server.query("SELECT unit FROM runs WHERE program = 'tester' AND outcome = 'pass' "
                             "AND unit IS NOT NULL ORDER BY seq LIMIT 1")[0][0]


def fraction(text):
    return None if text == '' else float(text)


# ---- cases ------------------------------------------------------------------------

class EveryPage(unittest.TestCase):
    def tearDown(self):
        choose_language('en')

    def test_every_page_in_both_languages_draws_without_a_console_error(self):
        unit = a_tested_unit()
        for language in LANGUAGES:
            choose_language(language)
            for page in PAGES:
                location = (page + '/' + unit if page == 'unit' else page) + '?simulated=1'
                with self.subTest(language=language, page=page):
                    open_page(view.url, location)
                    self.assertEqual(driver.execute_script('return document.documentElement.lang'),
                                     'zh-CN' if language == 'zh' else 'en')
                    self.assertEqual(driver.find_element(By.CSS_SELECTOR, '[data-page-tab=line]').text,
                                     LINE_TAB[language])
                    self.assertTrue(driver.find_element(By.CSS_SELECTOR, 'section[data-page=%s]' % page).is_displayed())
                    self.assertEqual(console_errors(), [])


class NumbersOnThePage(unittest.TestCase):
    """What the page shows equals the API's answer and a recount from the server's runs."""

    def test_cards_show_the_day_first_pass_yield_and_the_last_result(self):
        open_page(view.url, 'line?simulated=1')
        api = view.api('stations', simulated=1)
        self.assertGreaterEqual(len(api['stations']), 4)
        for station in api['stations']:
            card = driver.find_element(By.CSS_SELECTOR, '[data-card][data-station="%s"][data-program="%s"]'
                                       % (station['station'], station['program']))
            value = {f.get_attribute('data-field'): f.get_attribute('data-value')
                     for f in card.find_elements(By.CSS_SELECTOR, '[data-field]')}
            with self.subTest(station=station['station']):
                self.assertEqual(fraction(value['day_fpy']), station['day']['first_pass_yield'])
                self.assertEqual(int(value['runs_last_hour']), station['runs_last_hour'])
                self.assertEqual(value['last_outcome'], station['last']['outcome'])
                # Recounted: each band judged by its first run of the day there; a run
                # that never read the band is a unit of its own.
                units, first_pass, runs = line.server.query(
                    "SELECT count(*), count(*) FILTER (WHERE outcome = 'pass'),"
                    " (SELECT count(*) FROM runs WHERE station = :'v0' AND program = :'v1' AND day = :'v2')"
                    " FROM (SELECT DISTINCT ON (coalesce(unit, id)) outcome FROM runs"
                    "       WHERE station = :'v0' AND program = :'v1' AND day = :'v2'"
                    "       ORDER BY coalesce(unit, id), started_at) firsts",
                    station['station'], station['program'], api['day'])[0]
                self.assertEqual(station['day']['runs'], int(runs))
                self.assertEqual((station['day']['units'], station['day']['first_pass']), (int(units), int(first_pass)))
                self.assertAlmostEqual(fraction(value['day_fpy']), int(first_pass) / int(units), places=3)
        # The line made failures at two testers: their yields are not all 1.
        self.assertTrue(any(s['day']['first_pass_yield'] < 1 for s in api['stations']))

    def test_yield_rows_and_pareto_counts(self):
        open_page(view.url, 'yield?simulated=1')
        shown = table_rows('table[data-table=yield-day]')
        api = view.api('yield', by='day', simulated=1)['rows']
        self.assertEqual(len(shown), len(api))
        for row, expected in zip(shown, api):
            for name in ('bucket', 'station', 'program', 'runs', 'units', 'first_pass', 'final_pass'):
                self.assertEqual(row[name], str(expected[name]), name)
            self.assertEqual(fraction(row['first_pass_yield']), expected['first_pass_yield'])
        recount = {(s, p): int(n) for s, p, n in line.server.query(
            'SELECT station, program, count(*) FROM runs GROUP BY station, program')}
        self.assertEqual({(r['station'], r['program']): int(r['runs']) for r in shown}, recount)

        shown_steps = {r['step']: int(r['failures']) for r in table_rows('table[data-table=pareto][data-program=tester]')}
        api_steps = {s['step']: s['failures'] for p in view.api('pareto', simulated=1)['programs']
                     if p['program'] == 'tester' for s in p['steps']}
        counted = {step: int(n) for step, n in line.server.query(
            "SELECT failed_step, count(*) FROM runs WHERE program = 'tester' AND outcome = 'fail' GROUP BY failed_step")}
        self.assertEqual(shown_steps, api_steps)
        self.assertEqual(shown_steps, counted)
        self.assertGreaterEqual(len(counted), 2)

    def test_unit_page_lists_every_run_of_the_band(self):
        unit = a_tested_unit()
        open_page(view.url, 'unit/%s?simulated=1' % unit)
        seqs = [int(tr.get_attribute('data-seq')) for tr in driver.find_elements(By.CSS_SELECTOR, '#unit-rows tr[data-seq]')]
        api = view.api('unit', address=unit)
        counted = [int(r[0]) for r in line.server.query('SELECT seq FROM runs WHERE unit = :\'v0\' ORDER BY seq', unit)]
        self.assertEqual(seqs, [r['seq'] for r in api['runs']])
        self.assertEqual(sorted(seqs), counted)
        flags = driver.find_elements(By.CSS_SELECTOR, '[data-route-flag]')
        self.assertEqual([f.text for f in flags], api['flags'])


class LiveFeed(unittest.TestCase):
    def setUp(self):
        open_page(view.url, 'feed?simulated=1')
        wait_for(lambda: feed_state() == 'live', DRAW_TIMEOUT, 'the feed to be live')
        self.station = line.stations[-1]

    def test_a_new_run_shows_within_2_s_of_reaching_the_server(self):
        before = max(feed_seqs())
        self.station.run_simulated()
        self.station.sync()
        synced = time.monotonic()
        wait_for(lambda: max(feed_seqs()) > before, 30, 'the new run in the feed')
        shown_after = time.monotonic() - synced
        newest = int(line.server.query('SELECT max(seq) FROM runs')[0][0])
        self.assertEqual([s for s in feed_seqs() if s > before], [newest])
        self.assertLessEqual(shown_after, 2.0)

    def test_a_feed_empty_for_its_filter_says_why(self):
        # Every run of this line is on a virtual band.
        open_page(view.url, 'feed')
        wait_for(lambda: feed_state() == 'live', DRAW_TIMEOUT, 'the feed to be live')
        empty = driver.find_element(By.ID, 'feed-empty')
        self.assertEqual(feed_seqs(), [])
        self.assertTrue(empty.is_displayed())
        self.assertIn('Include simulated runs', empty.text)
        driver.find_element(By.ID, 'filter-simulated').click()
        wait_for(lambda: len(feed_seqs()) > 0, DRAW_TIMEOUT, 'the simulated runs in the feed')
        self.assertFalse(empty.is_displayed())

    def test_a_restarted_lineview_loses_no_run_for_an_open_page(self):
        before = max(feed_seqs())
        self.assertEqual(view.stop(), 0)
        try:
            wait_for(lambda: feed_state() == 'reconnecting', DRAW_TIMEOUT, 'the page to see lineview gone')
            self.station.run_simulated(3)
            self.station.run_simulated()
            self.station.sync()
        finally:
            view.start()
        made = [int(r[0]) for r in line.server.query('SELECT seq FROM runs WHERE seq > :v0 ORDER BY seq DESC', before)]
        self.assertEqual(len(made), 4)
        wait_for(lambda: set(made) <= set(feed_seqs()), DRAW_TIMEOUT, 'the runs made meanwhile in the feed')
        wait_for(lambda: feed_state() == 'live', DRAW_TIMEOUT, 'the feed to be live again')
        seqs = feed_seqs()
        self.assertEqual(len(seqs), len(set(seqs)), 'a run shown twice')
        self.assertEqual(seqs[:len(made)], made)
        # Nothing the server holds is missing between the newest and the oldest shown.
        all_seqs = [int(r[0]) for r in line.server.query('SELECT seq FROM runs WHERE seq >= :v0 ORDER BY seq DESC',
                                                         min(seqs))]
        self.assertEqual(seqs, all_seqs)
        driver.get_log('browser')  # the refused connections meanwhile are logged as errors

    def test_a_reconnecting_stream_gets_every_run_after_its_last_id(self):
        # What a browser sends when it reconnects by itself after a dropped stream.
        seqs = sorted(feed_seqs())
        last_id, missed = seqs[-4], seqs[-3:]
        request = urllib.request.Request(view.url + 'api/events?simulated=1', headers={'Last-Event-ID': str(last_id)})
        received = []
        # Keep-alive lines come every 15 s: the deadline is looked at with each line.
        deadline = time.monotonic() + 30
        with urllib.request.urlopen(request, timeout=30) as stream:
            for raw in stream:
                if raw.startswith(b'id: '):
                    received.append(int(raw[4:]))
                if len(received) >= len(missed) or time.monotonic() > deadline:
                    break
        self.assertEqual(received, missed)


class Login(unittest.TestCase):
    NAME = 'ann'
    PASSWORD = 'line-one-supervisor'

    @classmethod
    def setUpClass(cls):
        users = line.add_users(cls.NAME, cls.PASSWORD)
        cls.view = line.add_view('--users', users, '--session-minutes', '0.1')

    def wait_form(self):
        wait_for(lambda: driver.find_element(By.ID, 'login').is_displayed(), DRAW_TIMEOUT, 'the login form')
        self.assertNotEqual(driver.execute_script('return document.body.dataset.ready'), '1')

    def log_in(self, password):
        for field, text in (('login-name', self.NAME), ('login-password', password)):
            driver.find_element(By.ID, field).clear()
            driver.find_element(By.ID, field).send_keys(text)
        driver.find_element(By.ID, 'login-submit').click()

    def test_login_logout_and_expiry(self):
        driver.get('about:blank')
        driver.delete_all_cookies()
        driver.get(self.view.url + '#line?simulated=1')
        self.wait_form()

        self.log_in('not-' + self.PASSWORD)
        error = driver.find_element(By.ID, 'login-error')
        wait_for(error.is_displayed, DRAW_TIMEOUT, 'the wrong password to be told')
        self.assertIn(error.text, WRONG_PASSWORD_TEXT)
        self.assertEqual(driver.find_elements(By.CSS_SELECTOR, '[data-card]'), [])

        # A failed login makes the next one wait a moment: resubmitted as a user would.
        def accepted():
            if driver.execute_script('return document.body.dataset.ready') == '1':
                return True
            if error.is_displayed():
                self.assertNotIn(error.text, WRONG_PASSWORD_TEXT)
                self.log_in(self.PASSWORD)
            return False
        self.log_in(self.PASSWORD)
        wait_for(accepted, DRAW_TIMEOUT, 'the right password to be taken')
        wait_drawn('line')
        self.assertFalse(driver.find_element(By.ID, 'login').is_displayed())
        self.assertEqual(driver.find_element(By.ID, 'user').text, self.NAME)
        self.assertGreaterEqual(len(driver.find_elements(By.CSS_SELECTOR, '[data-card]')), 4)

        driver.find_element(By.ID, 'logout').click()
        self.wait_form()
        self.assertEqual(driver.find_elements(By.CSS_SELECTOR, '[data-card]'), [])
        cookie = driver.get_cookie('lineview_session')
        self.assertIsNone(cookie)

        # A session lasts 6 s: the page asks again by itself, not before.
        self.log_in(self.PASSWORD)
        wait_drawn('line')
        logged_in = time.monotonic()
        self.wait_form()
        self.assertGreaterEqual(time.monotonic() - logged_in, 4.0)
        driver.get_log('browser')  # the refused requests are logged as errors


class Screenshots(unittest.TestCase):
    """Written only where LINEVIEW_SCREENSHOTS names a folder."""

    def setUp(self):
        self.folder = os.environ.get('LINEVIEW_SCREENSHOTS')
        if not self.folder:
            self.skipTest('LINEVIEW_SCREENSHOTS names no folder')

    def tearDown(self):
        driver.execute_cdp_cmd('Emulation.clearDeviceMetricsOverride', {})
        choose_language('en')

    def shoot(self, location, name, width=1366, height=768):
        # The page's own size, whatever the browser's frame takes.
        driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                               {'width': width, 'height': height, 'deviceScaleFactor': 1, 'mobile': False})
        open_page(view.url, location)
        # Charts drawn at once, not halfway through their animation.
        driver.execute_script('if (window.Chart) Object.values(Chart.instances).forEach((c) => {'
                              ' c.options.animation = false; c.stop(); c.update("none"); })')
        driver.execute_script('window.scrollTo(0, 0); document.activeElement.blur()')
        self.assertTrue(driver.save_screenshot(os.path.join(self.folder, name)))

    def test_each_page_in_both_languages(self):
        spread_over_hours(6)
        unit = a_tested_unit()
        for language in LANGUAGES:
            choose_language(language)
            for page in PAGES:
                location = (page + '/' + unit if page == 'unit' else page) + '?simulated=1'
                self.shoot(location, 'lineview-%s-%s.png' % (page, language))
            self.shoot('line?simulated=1', 'lineview-line-tablet-%s.png' % language, width=1024)


def spread_over_hours(hours):
    """More runs, then each station's runs moved back over the last hours in
    their order, so that the hourly charts have a line to draw."""
    burner, *testers = line.stations[:4]
    for _ in range(2):
        burner.run_simulated(4)
        for tester in testers:
            tester.run_simulated(4)
    band = FaultyBand(paths.bandsim, 'stores-different-value:conf')
    try:
        testers[0].run_on_device(band.device)
    finally:
        band.stop()
    for station in line.stations:
        station.sync()
    line.server.execute(
        "CREATE FUNCTION pg_temp.earlier(at TEXT, back INTEGER) RETURNS TEXT LANGUAGE sql AS"
        " $$ SELECT to_char((at::timestamptz - back * interval '1 hour') AT TIME ZONE 'UTC',"
        "                   'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"') $$;"
        " WITH ranked AS (SELECT id, ((count(*) OVER w - row_number() OVER (w ORDER BY seq)) * %d / count(*) OVER w)::int"
        "                  AS back FROM runs WINDOW w AS (PARTITION BY station))"
        " UPDATE runs SET started_at = pg_temp.earlier(started_at, back), ended_at = pg_temp.earlier(ended_at, back),"
        "                 day = left(pg_temp.earlier(started_at, back), 10)"
        " FROM ranked WHERE runs.id = ranked.id AND back > 0;" % hours)
