"""The decisions of the test runners, without an emulator or Wine: scripts/emulated-i686-tests
fed the outcomes seen under QEMU (a Wine that cannot load its own DLLs, a program that ends at
once, one that passes every test and crashes at exit, one that stalls), and the whole-program
drives' wait (tests/e2e/drive.sh) against a program that ends at once.

    python3 -m unittest discover -s tests/scripts -v

Each fake "Windows program" is a small shell script named *.exe, started by bash where the
runner would start wine."""

import json
import os
import pathlib
import subprocess
import sys
import tempfile
import textwrap
import time
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
RUNNER = ROOT / "scripts" / "emulated-i686-tests"
DRIVE = ROOT / "tests" / "e2e" / "drive.sh"

# A gtest-like program: runs the tests of its --gtest_filter one after another and prints what
# gtest prints. MODE: pass (every test passes), fail:NAME (NAME fails its check), crash-at-exit
# (every test passes, then the process dies of SIGSEGV), stall:NAME (stops making progress in
# NAME), exit-at-once (ends with status 1 before printing anything), kernel32 (what Wine prints
# under an emulator that cannot start it).
FAKE_PROGRAM = r"""#!/usr/bin/env bash
mode=%(mode)s
[ "$mode" = exit-at-once ] && exit 1
if [ "$mode" = kernel32 ]; then
  echo "wine: could not load kernel32.dll, status c0000135" >&2
  exit 1
fi
touch "$(dirname "$0")/$(basename "$0").started"
filter=
for a in "$@"; do case $a in --gtest_filter=*) filter=${a#--gtest_filter=} ;; esac; done
IFS=: read -ra tests <<<"$filter"
echo "[==========] Running ${#tests[@]} tests"
for t in "${tests[@]}"; do
  echo "[ RUN      ] $t"
  if [ "$mode" = "stall:$t" ]; then sleep 600; fi
  if [ "$mode" = "fail:$t" ]; then echo "[  FAILED  ] $t (1 ms)"; else echo "[       OK ] $t (1 ms)"; fi
done
[ "$mode" = crash-at-exit ] && kill -SEGV $$
exit 0
"""

PROBE = r"""#!/usr/bin/env bash
case %(mode)s in
  sound) [ "$(basename "$0")" = loopback_exchange.exe ] && echo "300 of 300 exchanges" ||
           echo "4 threads waiting; ending the process" ;;
  unsound) [ "$(basename "$0")" = loopback_exchange.exe ] && { echo "wine: Assertion failed"; exit 1; }
           echo "4 threads waiting; ending the process" ;;
  kernel32) sleep 1; echo "wine: could not load kernel32.dll, status c0000135" >&2; exit 1 ;;
  silent) sleep 600 ;;
esac
"""

# Limits in seconds small enough for a test: a stall is seen after 2 s, the probe's line must
# come within 3 s.
LIMITS = "start_cost=20,silent_start=3,stall=2,probe=3"


class Runner:
    """A folder of fake programs and the runner's run over them."""

    def __init__(self, folder, probe_mode, programs):
        self.folder = pathlib.Path(folder)
        self.probes = self.folder / "probes"
        self.probes.mkdir()
        for probe in ("threads_waiting_at_exit.exe", "loopback_exchange.exe"):
            (self.probes / probe).write_text(PROBE % {"mode": probe_mode})
        tests = []
        for program, (mode, names) in programs.items():
            path = self.folder / program
            path.write_text(FAKE_PROGRAM % {"mode": mode})
            for name in names:
                tests.append({"name": f"{program}.{name}", "properties": [],
                              "command": ["bash", str(path), f"--gtest_filter={name}",
                                          "--gtest_also_run_disabled_tests"]})
        self.listing = self.folder / "tests.json"
        self.listing.write_text(json.dumps({"tests": tests}))

    def run(self):
        env = dict(os.environ, ORNIVEL_EMULATED_LIMITS=LIMITS, ORNIVEL_TEST_TIME_SCALE="1")
        began = time.monotonic()
        done = subprocess.run(
            [sys.executable, str(RUNNER), "--wine", "bash", "--tests", str(self.listing),
             "--probes", str(self.probes), str(self.folder / "logs")],
            capture_output=True, text=True, env=env, timeout=120)
        return done.returncode, done.stdout.splitlines(), time.monotonic() - began

    def started(self, program):
        return (self.folder / f"{program}.started").exists()


class EmulatedRunnerTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def runner(self, probe_mode, programs):
        return Runner(self.folder.name, probe_mode, programs)

    def test_a_wine_that_cannot_load_its_dlls_runs_nothing_and_says_why(self):
        runner = self.runner("kernel32", {"text_tests.exe": ("pass", ["A.one", "A.two"])})
        status, lines, seconds = runner.run()
        self.assertEqual(status, 3, lines)
        self.assertEqual(lines[-1], "Wine under qemu-i386 cannot start a program here "
                                    "(wine: could not load kernel32.dll, status c0000135)")
        self.assertFalse(runner.started("text_tests.exe"), "a test program was started")
        self.assertFalse(any("passed" in line or "tests ran" in line for line in lines), lines)
        self.assertLess(seconds, 30)

    def test_a_probe_that_never_answers_runs_nothing(self):
        runner = self.runner("silent", {"text_tests.exe": ("pass", ["A.one"])})
        status, lines, seconds = runner.run()
        self.assertEqual(status, 3, lines)
        self.assertRegex(lines[-1], r"^Wine under qemu-i386 cannot start a program here "
                                    r"\(no answer within \d+ s\)$")
        self.assertFalse(runner.started("text_tests.exe"))
        self.assertLess(seconds, 30)

    def test_each_program_line_says_what_really_happened(self):
        runner = self.runner("sound", {
            "good.exe": ("pass", ["G.one", "G.two", "G.three"]),
            "gone.exe": ("exit-at-once", ["X.one", "X.two"]),
            "crashy.exe": ("crash-at-exit", ["C.one", "C.two"]),
            "stuck.exe": ("stall:S.one", ["S.one", "S.two"]),
            "bad.exe": ("fail:B.two", ["B.one", "B.two"]),
        })
        status, lines, _ = runner.run()
        self.assertEqual(status, 1, lines)
        line = {text.split(":")[0].strip(): text for text in lines if ".exe:" in text
                and "emulator check" not in text and not text.startswith("  not")
                and not text.startswith("  failed")}
        self.assertRegex(line["good.exe"], r"^  good\.exe: 3 of 3 tests ran: 3 passed, 0 failed,"
                                           r" 0 not finished \(1 start, \d+ s\)$")
        # Never started: no test counted as run.
        self.assertRegex(line["gone.exe"], r"^  gone\.exe: 0 of 2 tests ran: 0 passed, 0 failed,"
                                           r" 2 not finished \(1 start, \d+ s\); its program "
                                           r"ended with status 1, before any test")
        self.assertRegex(line["crashy.exe"], r"^  crashy\.exe: 2 of 2 tests ran: 2 passed,"
                                             r" 0 failed, 0 not finished \(1 start, \d+ s\);"
                                             r" its program ended with status -11, after its tests")
        # The stalled test costs itself; the next one gets a start of its own and passes.
        self.assertRegex(line["stuck.exe"], r"^  stuck\.exe: 1 of 2 tests ran: 1 passed,"
                                            r" 0 failed, 1 not finished \(2 starts, \d+ s\);"
                                            r" stopped after \d+ s without progress, in this test")
        self.assertRegex(line["bad.exe"], r"^  bad\.exe: 2 of 2 tests ran: 1 passed, 1 failed,"
                                          r" 0 not finished")
        self.assertRegex(lines[-1], r"^i686 under qemu: 7 passed, 1 failed, 4 not finished, 0 "
                                    r"brought down by the emulator, 0 not run for time, 0 skipped,"
                                    r" of 12, in \d+ s$")

    def test_a_crash_at_exit_where_the_emulator_also_fails_its_probes_is_the_emulators(self):
        runner = self.runner("unsound", {"crashy.exe": ("crash-at-exit", ["C.one"]),
                                         "good.exe": ("pass", ["G.one"])})
        status, lines, _ = runner.run()
        self.assertEqual(status, 0, lines)
        self.assertIn("a fault of the emulator", "\n".join(lines))
        self.assertRegex(lines[-1], r"^i686 under qemu: 2 passed, 0 failed, 0 not finished, 1 "
                                    r"brought down by the emulator,")

    def test_a_failed_check_fails_the_run_even_where_the_emulator_is_unsound(self):
        runner = self.runner("unsound", {"bad.exe": ("fail:B.one", ["B.one"])})
        status, lines, _ = runner.run()
        self.assertEqual(status, 1, lines)
        self.assertRegex(lines[-1], r"^i686 under qemu: 0 passed, 1 failed,")


class DriveWaitTest(unittest.TestCase):
    """The whole-program drives stop waiting once the program they drive has ended."""

    def drive(self, script):
        with tempfile.TemporaryDirectory() as work:
            began = time.monotonic()
            done = subprocess.run(
                ["bash", "-c", f'set -euo pipefail; work={work}; save={work}; pids=()\n'
                               f'. "{DRIVE}"\n{script}'],
                capture_output=True, text=True, timeout=120, env=dict(os.environ, work=work))
            return done, time.monotonic() - began

    def test_a_program_that_ends_at_once_ends_the_wait_within_seconds(self):
        done, seconds = self.drive(
            '(echo "the last words"; exit 4) >"$work/program.log" 2>&1 &\n'
            'watch $!\n'
            'never() { false; }\n'
            'if wait_for 600 never; then echo "waited: yes"; else echo "waited: no"; fi\n'
            'report_failure drive "the window did not appear" "$work/program.log"\n')
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("waited: no", done.stdout)
        self.assertLess(seconds, 20)
        self.assertIn("drive: the window did not appear (the program had ended, with status 4)",
                      done.stderr)
        self.assertIn("the last words", done.stderr)

    def test_what_the_program_did_before_it_ended_still_counts(self):
        done, _ = self.drive(textwrap.dedent("""\
            (touch "$work/saved"; exit 0) &
            watch $!
            sleep 1
            saved() { [ -f "$work/saved" ]; }
            wait_for 600 saved && echo "saved: yes"
            ended() { ! kill -0 "$watched" 2>/dev/null; }
            wait_for 600 ended && echo "ended: yes"
            """))
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("saved: yes", done.stdout)
        self.assertIn("ended: yes", done.stdout)

    def test_a_living_program_is_waited_for_until_the_deadline(self):
        done, seconds = self.drive(
            'sleep 30 &\nwatch $!\npids+=($!)\n'
            'never() { false; }\n'
            'wait_for 2 never || echo "gave up"\nkill "${pids[@]}"\n')
        self.assertIn("gave up", done.stdout)
        # Bash counts whole seconds: a deadline 2 s ahead comes after 1 to 2 s.
        self.assertGreaterEqual(seconds, 1)
        self.assertLess(seconds, 20)


if __name__ == "__main__":
    unittest.main()
