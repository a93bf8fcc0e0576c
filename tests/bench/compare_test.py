"""bench/compare without building anything: its table and ratios, the parsing of the benchmarks'
output, the tables printed group by group, the start-up clock, and its answers to bad arguments. usage: compare_test.py <path of bench/compare>"""

import importlib.machinery
import importlib.util
import io
import json
import shutil
import subprocess
import sys
import unittest

SCRIPT = sys.argv.pop(1) if len(sys.argv) > 1 else "bench/compare"
loader = importlib.machinery.SourceFileLoader("compare", SCRIPT)
module_entry = importlib.util.spec_from_loader("compare", loader)
compare = importlib.util.module_from_spec(module_entry)
loader.exec_module(compare)


class Table(unittest.TestCase):
    def rows(self, samples, names=("a", "b")):
        lines = compare.table([(n, "ms") for n in names], samples, "base1", "head1")
        return {line.split()[0]: line for line in lines[2:]}

    def test_medians_ratio_and_the_mark_past_ten_percent(self):
        samples = {
            ("base", "a"): [100.0, 90.0, 500.0], ("head", "a"): [111.0, 105.0, 120.0],
            ("base", "b"): [10.0], ("head", "b"): [11.0],
        }
        rows = self.rows(samples)
        # Medians: a 100 -> 111 (1.110, marked); b 10 -> 11 (exactly 1.10, not marked).
        self.assertIn("100.0", rows["a"])
        self.assertIn("111.0", rows["a"])
        self.assertIn("1.110", rows["a"])
        self.assertTrue(rows["a"].endswith("<< worse"))
        self.assertIn("1.100", rows["b"])
        self.assertNotIn("worse", rows["b"])

    def test_a_row_one_build_lacks_has_no_ratio_and_an_empty_row_is_left_out(self):
        rows = self.rows({("head", "a"): [5.0]}, names=("a", "b"))
        self.assertEqual(rows["a"].split()[2:], ["-", "5.00", "-"])
        self.assertNotIn("b", rows)

    def test_faster_head_is_not_marked(self):
        rows = self.rows({("base", "a"): [2.0], ("head", "a"): [1.0]}, names=("a",))
        self.assertIn("0.500", rows["a"])
        self.assertNotIn("worse", rows["a"])

    def test_peers_are_peer_time_over_ours(self):
        samples = {("base", "lzhuf unpack text"): [20.0], ("base", "lzhuf unpack text (C)"): [10.0],
                   ("head", "lzhuf unpack text"): [10.0], ("head", "lzhuf unpack text (C)"): [10.0]}
        lines = compare.peer_lines(samples)
        self.assertEqual(len(lines), 1)
        self.assertIn("BASE   0.50", lines[0])
        self.assertIn("HEAD   1.00", lines[0])


class Parsing(unittest.TestCase):
    def test_google_benchmark_json_in_ms_without_aggregates_or_errors(self):
        text = json.dumps({"benchmarks": [
            {"name": "Unpack/text", "run_name": "Unpack/text", "run_type": "iteration",
             "real_time": 25000000.0, "time_unit": "ns"},
            {"name": "Unpack/text_mean", "run_name": "Unpack/text", "run_type": "aggregate",
             "real_time": 1.0, "time_unit": "ms"},
            {"name": "Unpack/bitmap", "run_name": "Unpack/bitmap", "run_type": "iteration",
             "real_time": 7.5, "time_unit": "ms"},
            {"name": "Unpack/random", "run_name": "Unpack/random", "run_type": "iteration",
             "error_occurred": True, "real_time": 1.0, "time_unit": "ms"},
            {"name": "Other", "run_name": "Other", "real_time": 3.0, "time_unit": "us"},
        ]})
        got = compare.parse_google_benchmark(
            text, {"Unpack/text": "t", "Unpack/bitmap": "b", "Unpack/random": "r", "Other": "o"})
        self.assertEqual(got, {"t": 25.0, "b": 7.5, "o": 0.003})

    def test_engine_line(self):
        out = ("10 cycles\naccepting probes, beyond the hold: median 0.42 ms, p90 0.9 ms, max 2 ms\n"
               "refused probes:                    median 0.10 ms\n")
        self.assertEqual(compare.parse_line(
            out, r"^accepting probes, beyond the hold: median ([0-9.]+) ms"), 0.42)


class Arguments(unittest.TestCase):
    def run_script(self, *args):
        return subprocess.run([sys.executable, SCRIPT, *args], capture_output=True, text=True)

    def test_bad_arguments_exit_2_with_a_message(self):
        for args, text in (((), "BASE"),
                           (("no-such-commit-here",), "not a commit|not inside a git checkout"),
                           (("--runs", "0", "HEAD"), "--runs"),
                           (("--only", "ini,nonsense", "HEAD"), "nonsense")):
            r = self.run_script(*args)
            self.assertEqual(r.returncode, 2, args)
            self.assertRegex(r.stderr, text, args)
            self.assertEqual(r.stdout, "", args)

    def test_only_names_are_kept_in_order(self):
        args = compare.parse_args(["--only", "lzhuf,ini", "A", "B"])
        self.assertEqual((args.groups, args.base, args.head), (["lzhuf", "ini"], "A", "B"))


class FakeBuild:
    def __init__(self, side, groups):
        self.side, self.short, self.groups = side, side + "123", groups

    def has(self, group):
        return group in self.groups


class GroupByGroup(unittest.TestCase):
    def test_each_groups_table_is_out_before_the_next_group_runs(self):
        out = io.StringIO()
        seen_when_lzhuf_ran = []
        calls = []

        def ini(build, wrap):
            calls.append(("ini", build.side))
            return {"ini 255 servers": 2.0 if build.side == "base" else 1.0,
                    "ini 255 servers inih": 6.0}

        def lzhuf(build, wrap):
            seen_when_lzhuf_ran.append(out.getvalue())
            calls.append(("lzhuf", build.side))
            return {"lzhuf unpack text": 10.0, "lzhuf unpack text (C)": None}

        benches = {"ini": (ini, [("ini 255 servers", "ms"), ("ini 255 servers inih", "ms")]),
                   "lzhuf": (lzhuf, [("lzhuf unpack text", "ms"),
                                     ("lzhuf unpack text (C)", "ms")])}
        builds = [FakeBuild("base", {"ini", "lzhuf"}), FakeBuild("head", {"ini"})]
        rows, samples = compare.run_groups(["ini", "lzhuf"], builds, 2, [], benches, out)

        # Two runs, the order swapped in the second; lzhuf only where the build has it.
        self.assertEqual(calls, [("ini", "base"), ("ini", "head"), ("ini", "head"),
                                 ("ini", "base"), ("lzhuf", "base"), ("lzhuf", "base")])
        first = seen_when_lzhuf_ran[0]
        self.assertTrue(first.startswith("ini: medians of 2 runs each\n"), first)
        self.assertRegex(first, r"ini 255 servers +ms +2\.00 +1\.00 +0\.500")
        self.assertIn("INI 255 servers: x faster than inih", first)
        self.assertRegex(first, r"BASE +3\.00 +HEAD +6\.00")
        self.assertNotIn("lzhuf", first)
        text = out.getvalue()
        self.assertIn("lzhuf: medians of 2 runs each", text)
        self.assertRegex(text, r"lzhuf unpack text +ms +10\.00 +- +-")
        # A value the benchmark could not give is no sample.
        self.assertNotIn(("base", "lzhuf unpack text (C)"), samples)
        self.assertEqual(len(rows), 4)

        whole = compare.report(rows, samples, builds, 2)
        self.assertTrue(whole[0].startswith("all: medians of 2 runs each"))
        self.assertEqual(sum("faster than inih" in line for line in whole), 1)


class StartTimes(unittest.TestCase):
    def test_modes_alternate_and_every_start_is_timed(self):
        true = shutil.which("true")
        r = subprocess.run([sys.executable, SCRIPT, "--time-starts", true, "3", "plain", "skin"],
                           capture_output=True, text=True, check=True)
        lines = r.stdout.splitlines()
        self.assertEqual([line.split()[0] for line in lines], ["plain"] * 3 + ["skin"] * 3)
        times = compare.parse_starts(r.stdout)
        self.assertEqual(sorted(times), ["plain", "skin"])
        self.assertTrue(all(len(v) == 3 and all(ms > 0 for ms in v) for v in times.values()))

    def test_a_probe_that_fails_fails_the_run(self):
        with self.assertRaises(subprocess.CalledProcessError):
            compare.time_starts(shutil.which("false"), ["plain"], 1)


if __name__ == "__main__":
    unittest.main()
