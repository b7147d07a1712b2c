#!/usr/bin/env python3
"""The real program under signals and broken pipes.

Each case runs the binary in a temporary folder, waits until a run has
started writing (a temporary output file exists), then sends a signal or
breaks a pipe, and checks what the run leaves behind: every file that was
there before stays as it was, no temporary file remains, and the exit
status says what happened.

Usage: process_test.py ROVA_BINARY
"""
import os
import random
import resource
import signal
import subprocess
import sys
import tempfile
import time
import unittest

ROVA = None


def write_fhx(path, trees=200, first=1000, years=1000, seed=7):
    """A FHX2 file large enough that a run at 4096 simulations takes a while."""
    rng = random.Random(seed)
    lines = ["FHX2 FORMAT", f"{first} {trees} 3"]
    ids = [f"{i:03d}" for i in range(1, trees + 1)]
    for k in range(3):
        lines.append("".join(i[k] for i in ids))
    lines.append("")
    for y in range(years):
        lines.append("".join("U" if rng.random() < 0.08 else "|" for _ in range(trees)) +
                     f" {first + y}")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def temporaries(folder):
    return [n for n in os.listdir(folder) if n.startswith(".rova-")]


def snapshot(folder):
    """Every file below the folder with its contents (links as links)."""
    seen = {}
    for root, dirs, files in os.walk(folder):
        for name in files:
            path = os.path.join(root, name)
            if os.path.islink(path):
                seen[path] = "link:" + os.readlink(path)
            else:
                with open(path, "rb") as f:
                    seen[path] = f.read()
    return seen


def wait_for_temporary(process, folder, limit=20.0):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if temporaries(folder):
            return True
        if process.poll() is not None:
            return False
        time.sleep(0.002)
    return False


class Environment:
    def __init__(self, folder):
        self.env = dict(os.environ)
        self.env["HOME"] = os.path.join(folder, ".home")
        self.env["XDG_CONFIG_HOME"] = os.path.join(folder, ".home", "config")
        os.makedirs(self.env["HOME"], exist_ok=True)


class SignalsEndRunsCleanly(unittest.TestCase):
    def run_interrupted_batch(self, sig, expected_line):
        with tempfile.TemporaryDirectory() as top:
            # An output folder whose path is far longer than any fixed
            # buffer, with files of other programs in it.
            out = top
            for c in "abcd":
                out = os.path.join(out, c * 200)
            os.makedirs(out)
            data = os.path.join(top, "W1.FHX")
            write_fhx(data)
            with open(os.path.join(out, "W1RVA.OUT"), "w") as f:
                f.write("the report of an earlier run\n")
            with open(os.path.join(out, "NOTES.TXT"), "w") as f:
                f.write("not ROVA's\n")
            before = snapshot(top)
            p = subprocess.Popen([ROVA, "--force", "--csv", "--plot", "-n", "4096", "-o", out, data],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 env=Environment(top).env)
            self.assertTrue(wait_for_temporary(p, out), "the run never started writing")
            p.send_signal(sig)
            _, err = p.communicate(timeout=60)
            # Ended by the signal itself, as a shell loop must see it to stop.
            self.assertEqual(p.returncode, -sig, err)
            self.assertIn(expected_line, err.decode())
            self.assertEqual(temporaries(out), [])
            self.assertEqual(snapshot(top), before)

    def test_ctrl_c(self):
        self.run_interrupted_batch(signal.SIGINT, "interrupted (Ctrl-C)")

    def test_terminate(self):
        self.run_interrupted_batch(signal.SIGTERM, "terminated")

    def test_hangup(self):
        self.run_interrupted_batch(signal.SIGHUP, "hangup")

    def test_quit(self):
        self.run_interrupted_batch(signal.SIGQUIT, "quit")

    def test_cpu_time_limit(self):
        self.run_interrupted_batch(signal.SIGXCPU, "the CPU time limit was reached")


    def test_quit_leaves_no_core_file(self):
        # SIGQUIT dumps core by default; ending by it must not leave a
        # core file in the user's folder, whatever the core size limit.
        with tempfile.TemporaryDirectory() as top:
            write_fhx(os.path.join(top, "W1.FHX"))

            def allow_cores():
                resource.setrlimit(resource.RLIMIT_CORE,
                                   (resource.RLIM_INFINITY, resource.RLIM_INFINITY))

            p = subprocess.Popen([ROVA, "-n", "4096", "W1.FHX"], cwd=top, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, env=Environment(top).env,
                                 preexec_fn=allow_cores)
            self.assertTrue(wait_for_temporary(p, top), "the run never started writing")
            p.send_signal(signal.SIGQUIT)
            _, err = p.communicate(timeout=60)
            self.assertEqual(p.returncode, -signal.SIGQUIT, err)
            self.assertEqual(sorted(os.listdir(top)), [".home", "W1.FHX"])

    def test_ctrl_c_stops_the_shell_loop_that_runs_rova(self):
        # Ctrl-C reaches the whole foreground process group: the shell and
        # rova. bash goes on with its loop when the child handled the
        # signal and exited; it stops only when the child died of it.
        with tempfile.TemporaryDirectory() as top:
            write_fhx(os.path.join(top, "W1.FHX"))
            loop = (f'for n in 1 2; do "{ROVA}" --force -n 4096 W1.FHX; '
                    'echo "after run $n"; done')
            p = subprocess.Popen(["bash", "-c", loop], cwd=top, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, env=Environment(top).env,
                                 start_new_session=True)
            self.assertTrue(wait_for_temporary(p, top), "the run never started writing")
            os.killpg(p.pid, signal.SIGINT)
            out, err = p.communicate(timeout=60)
            self.assertNotIn(b"after run", out, err)
            self.assertEqual(p.returncode, -signal.SIGINT, err)
            self.assertEqual(temporaries(top), [])

    def test_interrupted_dialogue_keeps_the_old_report(self):
        with tempfile.TemporaryDirectory() as top:
            write_fhx(os.path.join(top, "W1.FHX"))
            with open(os.path.join(top, "W1RVA.OUT"), "w") as f:
                f.write("a good report\n")
            before = snapshot(top)
            answers = "W1\nW1.FHX\n\n3\n4096\n5\n\nY\nY\nY\n"
            p = subprocess.Popen([ROVA], cwd=top, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE, env=Environment(top).env)
            p.stdin.write(answers.encode())
            p.stdin.flush()
            self.assertTrue(wait_for_temporary(p, top), "the run never started writing")
            p.send_signal(signal.SIGINT)
            p.communicate(timeout=60)
            self.assertEqual(p.returncode, -signal.SIGINT)
            self.assertEqual(temporaries(top), [])
            self.assertEqual(snapshot(top), before)


class LimitsEndRunsCleanly(unittest.TestCase):
    def test_a_file_size_limit_is_a_write_error_said_at_once(self):
        # ulimit -f: the first write past the limit fails (the signal that
        # would kill the run is ignored), the run stops there with the
        # reason and leaves no temporary file.
        with tempfile.TemporaryDirectory() as top:
            write_fhx(os.path.join(top, "W1.FHX"))
            with open(os.path.join(top, "W1RVA.OUT"), "w") as f:
                f.write("the report of an earlier run\n")
            before = snapshot(top)

            def limit():
                resource.setrlimit(resource.RLIMIT_FSIZE, (64 * 1024, resource.RLIM_INFINITY))

            p = subprocess.run([ROVA, "--force", "-n", "4096", "W1.FHX"], cwd=top,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               env=Environment(top).env, preexec_fn=limit, timeout=120)
            self.assertEqual(p.returncode, 1, p.stderr)
            self.assertIn(b"W1RVA.OUT: File too large", p.stderr)
            self.assertEqual(temporaries(top), [])
            self.assertEqual(snapshot(top), before)


    def test_a_write_that_fails_stops_the_run_at_once(self):
        # 361 segments make a report of some 10 MB; under a limit of 64 KiB
        # the first block written fails, some 40 segments in, and the run
        # stops there instead of computing the rest.
        with tempfile.TemporaryDirectory() as top:
            write_fhx(os.path.join(top, "W1.FHX"), trees=30, years=400)

            def limit():
                resource.setrlimit(resource.RLIMIT_FSIZE, (64 * 1024, resource.RLIM_INFINITY))

            p = subprocess.run([ROVA, "-n", "200", "--segment-length", "40", "--segment-lag", "1",
                                "W1.FHX"], cwd=top, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               env=Environment(top).env, preexec_fn=limit, timeout=120)
            self.assertEqual(p.returncode, 1, p.stderr[-2000:])
            self.assertIn(b"cannot write W1RVA.OUT: File too large; no file of it was written",
                          p.stderr)
            self.assertLess(p.stderr.count(b"Time span"), 100)
            self.assertEqual(sorted(os.listdir(top)), [".home", "W1.FHX"])


class OutputNames(unittest.TestCase):
    def test_a_name_too_long_for_the_file_system_is_refused_before_the_analysis(self):
        with tempfile.TemporaryDirectory() as top:
            name = "A" * 250 + ".FHX"
            write_fhx(os.path.join(top, name), trees=5, years=30)
            p = subprocess.run([ROVA, "--full-names", "-n", "3", name], cwd=top,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               env=Environment(top).env, timeout=60)
            self.assertEqual(p.returncode, 1, p.stderr)
            self.assertIn(b"RVA.OUT: its name is 257 bytes long, more than the 255", p.stderr)
            self.assertNotIn(b"Time span", p.stderr)  # no analysis began
            self.assertEqual(sorted(os.listdir(top)), sorted([name, ".home"]))


class BrokenPipes(unittest.TestCase):
    def test_a_closed_output_pipe_does_not_stop_the_other_files(self):
        with tempfile.TemporaryDirectory() as top:
            for name in ("A.FHX", "B.FHX"):
                write_fhx(os.path.join(top, name), trees=5, years=30, seed=len(name))
            read_end, write_end = os.pipe()
            os.close(read_end)
            p = subprocess.run([ROVA, "-n", "3", "A.FHX", "B.FHX"], cwd=top, stdout=write_end,
                               stderr=subprocess.PIPE, env=Environment(top).env, timeout=60)
            os.close(write_end)
            self.assertEqual(p.returncode, 1, p.stderr)
            self.assertIn(b"could not be written to standard output", p.stderr)
            for name in ("ARVA.OUT", "BRVA.OUT", "BRVADF.XL2"):
                self.assertTrue(os.path.exists(os.path.join(top, name)), name)


if __name__ == "__main__":
    ROVA = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
