#!/usr/bin/python3
"""The line view in a real browser: headless Chromium against a lineview
that reads a PostgreSQL line server, both started here.

  test_browser.py --lineview PATH --bandctl PATH --bandsim PATH
                  --tester-def FILE --burner-def FILE --burner-bin DIR

Exits 77 (skipped) when Chromium, its driver or selenium is missing.
LINEVIEW_SCREENSHOTS=DIR also writes the pages' screenshots into DIR.
"""
import argparse
import os
import signal
import sys
import time
import unittest

SKIPPED = 77
CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))


def missing_browser():
    for path in (CHROMIUM, CHROMEDRIVER):
        if not os.access(path, os.X_OK):
            return '%s is not installed (scripts/install-deps installs chromium and chromium-driver)' % path
    try:
        import selenium  # noqa: F401
    except ImportError:
        return 'python3-selenium is not installed for %s (scripts/install-deps installs it)' % sys.executable
    return None


def main():
    parser = argparse.ArgumentParser()
    for name in ('lineview', 'bandctl', 'bandsim', 'tester-def', 'burner-def', 'burner-bin'):
        parser.add_argument('--' + name, required=True)
    options, rest = parser.parse_known_args()
    reason = missing_browser()
    if reason:
        print('SKIP: ' + reason)
        return SKIPPED
    import browsercases
    browsercases.setup_paths(options)
    # A run ended from outside (SIGTERM, Ctrl-C) still stops the server, lineview and the browser.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    try:
        program = unittest.main(module=browsercases, argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    finally:
        browsercases.tearDownModule()
    return 0 if program.result.wasSuccessful() else 1


if __name__ == '__main__':
    started = time.monotonic()
    code = main()
    print('took %.0f s' % (time.monotonic() - started))
    sys.exit(code)
