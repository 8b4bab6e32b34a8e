#!/usr/bin/env python3
"""Tests of the benchmark tools: container generator, whole-image checker, report, run.sh.

Run with: python3 -m unittest discover -s bench -p 'test_*.py'
"""

import hashlib
import io
import json
import random
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest
from contextlib import redirect_stderr, redirect_stdout
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import count_whole  # noqa: E402
import make_container as mc  # noqa: E402
import report  # noqa: E402
import timeloop  # noqa: E402

SIG = mc.SIGNATURE


def fake_image(payload):
    """A byte string shaped like a JFIF image: signature, payload, end-of-image marker."""
    return SIG + payload + mc.EOI


def occurrences(data, needle):
    """Every offset where needle starts in data, overlapping ones included."""
    found, i = [], data.find(needle)
    while i >= 0:
        found.append(i)
        i = data.find(needle, i + 1)
    return found


class TempDirCase(unittest.TestCase):
    def setUp(self):
        self.tmp = Path(tempfile.mkdtemp(prefix="glintmark-bench-test-"))
        self.addCleanup(shutil.rmtree, self.tmp)


class FillerTest(unittest.TestCase):
    def test_scrub_leaves_no_jpeg_start_and_keeps_the_length(self):
        cases = [
            b"",
            b"\xff\xd8",
            b"\xff\xff\xd8\xd8",
            b"\xff\xd8\xff\xd8\xff",
            SIG * 3,
            b"abc\xffd\xd8",
            bytes(range(256)) * 4,
        ]
        for data in cases:
            with self.subTest(data=data[:16]):
                out = mc.scrub_filler(data)
                self.assertEqual(len(out), len(data))
                self.assertNotIn(mc.SOI, out)

    def test_filler_has_the_asked_size_and_never_a_signature_or_jpeg_start(self):
        rng = random.Random(7)
        for size in (0, 1, 9, 10, 1000, 70000):
            with self.subTest(size=size):
                out = mc.make_filler(rng, size)
                self.assertEqual(len(out), size)
                self.assertNotIn(mc.SOI, out)

    def test_grain_never_carries_into_the_next_byte(self):
        rng = random.Random(3)
        for value, amp in ((0, 40), (255, 40), (128, 90), (255, 1), (7, 0)):
            with self.subTest(value=value, amp=amp):
                pixels = bytes([value]) * 5000
                out = mc.add_grain(rng, pixels, amp)
                self.assertEqual(len(out), len(pixels))
                base = value * (255 - amp) // 255 if amp else value
                self.assertTrue(all(base <= b <= base + amp for b in out), (min(out), max(out)))


class CleanJpegTest(unittest.TestCase):
    def test_only_a_single_signature_and_a_final_end_marker_pass(self):
        cases = [
            ("clean", fake_image(b"\x01\x02\xff\x00"), True),
            ("no signature", b"\xff\xd8\xff\xdb" + b"\x00" * 8 + mc.EOI, False),
            ("second signature inside", fake_image(b"\x00" + SIG + b"\x00"), False),
            ("early end marker", fake_image(b"\x00" + mc.EOI + b"\x00"), False),
            ("no end marker", SIG + b"\x00\x00", False),
        ]
        for name, data, expected in cases:
            with self.subTest(name):
                self.assertEqual(mc.jpeg_is_clean(data), expected)


class PoolTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pool = mc.make_pool(seed=11, count=60)

    def test_images_are_distinct_clean_and_decode(self):
        digests = [info["sha256"] for _, info in self.pool]
        self.assertEqual(len(set(digests)), len(self.pool))
        for data, info in self.pool:
            self.assertTrue(mc.jpeg_is_clean(data), info)
            self.assertEqual(hashlib.sha256(data).hexdigest(), info["sha256"])
            self.assertEqual(len(data), info["size"])
        # Decoding every image again would be slow; a few from each end of the size range do.
        by_size = sorted(self.pool, key=lambda p: p[1]["size"])
        for data, info in by_size[:3] + by_size[-3:]:
            self.assertTrue(mc.decodes(data), info)

    def test_sizes_range_from_under_a_kilobyte_to_tens_of_kilobytes(self):
        sizes = [info["size"] for _, info in self.pool]
        self.assertLess(min(sizes), 1024)
        self.assertGreater(max(sizes), 50 * 1024)
        self.assertLessEqual(max(sizes), mc.MAX_IMAGE)


class ContainerTest(TempDirCase):
    SIZE = 3 * mc.MIB // 2

    def make(self, name, seed):
        path = self.tmp / name
        truth = mc.build(path, self.tmp / (name + ".json"), self.SIZE, seed, pool_count=12)
        return path.read_bytes(), truth

    @classmethod
    def setUpClass(cls):
        cls.shared = Path(tempfile.mkdtemp(prefix="glintmark-bench-test-"))
        path = cls.shared / "c.ldb"
        cls.truth = mc.build(path, cls.shared / "c.json", cls.SIZE, 5, pool_count=12)
        cls.data = path.read_bytes()
        with open(cls.shared / "c.json", encoding="utf-8") as f:
            cls.truth_file = json.load(f)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.shared)

    def test_container_has_the_asked_size_and_the_truth_file_matches(self):
        self.assertEqual(len(self.data), self.SIZE)
        self.assertEqual(self.truth_file, self.truth)
        self.assertGreater(len(self.truth["images"]), 20)

    def test_every_listed_image_is_in_place_and_nothing_else_looks_like_one(self):
        images = self.truth["images"]
        offsets = [im["offset"] for im in images]
        for im in images:
            chunk = self.data[im["offset"] : im["offset"] + im["size"]]
            self.assertEqual(hashlib.sha256(chunk).hexdigest(), im["sha256"])
            self.assertEqual(self.truth["pool"][im["pool"]]["sha256"], im["sha256"])
        for a, b in zip(images, images[1:]):
            self.assertLessEqual(a["offset"] + a["size"], b["offset"])
        self.assertEqual(occurrences(self.data, SIG), offsets)
        self.assertEqual(occurrences(self.data, mc.SOI), offsets)

    def test_same_seed_gives_the_same_bytes_and_another_seed_does_not(self):
        again, truth = self.make("again.ldb", 5)
        self.assertEqual(again, self.data)
        self.assertEqual(truth, self.truth)
        other, _ = self.make("other.ldb", 6)
        self.assertNotEqual(other, self.data)

    def test_command_line_writes_container_and_default_truth_file(self):
        out = self.tmp / "cli.ldb"
        res = subprocess.run(
            [sys.executable, str(HERE / "make_container.py"), str(out), "--size", "0.25",
             "--pool", "4", "--seed", "2"],
            capture_output=True, text=True, check=False,
        )
        self.assertEqual(res.returncode, 0, res.stderr)
        self.assertEqual(out.stat().st_size, mc.MIB // 4)
        truth = json.loads((self.tmp / "cli.ldb.truth.json").read_text(encoding="utf-8"))
        self.assertEqual(truth["seed"], 2)
        self.assertEqual(truth["size"], mc.MIB // 4)


class CountWholeTest(TempDirCase):
    A = fake_image(b"\x11" * 40)
    B = fake_image(b"\x22" * 90)
    FILLER = b"\x00\xff\xd9\x00\xab"

    def truth(self, *images):
        return {"images": [{"sha256": hashlib.sha256(im).hexdigest()} for im in images]}

    def write(self, folder, files):
        for rel, data in files.items():
            path = self.tmp / folder / rel
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        (self.tmp / folder).mkdir(exist_ok=True)
        return self.tmp / folder

    def test_counts_per_case(self):
        a, b, f = self.A, self.B, self.FILLER
        # name, true images, files written, expected (whole, files, other, surplus)
        cases = [
            ("exact copies", [a, b], {"1.jpg": a, "2.jpg": b}, (2, 2, 0, 0)),
            ("filler after the image", [a, b], {"1.jpg": a + f, "2.jpg": b + f + a}, (2, 2, 0, 0)),
            ("truncated", [a], {"1.jpg": a[:-1]}, (0, 1, 1, 0)),
            ("one byte changed", [a], {"1.jpg": a[:20] + b"\x12" + a[21:]}, (0, 1, 1, 0)),
            ("bytes before the image", [a], {"1.jpg": b"\x00" + a}, (0, 1, 1, 0)),
            ("two images in one file", [a, b], {"1.jpg": a + b}, (1, 1, 0, 0)),
            ("more copies than embedded", [a, a], {"1.jpg": a, "2.jpg": a, "3.jpg": a}, (2, 3, 0, 1)),
            ("fewer copies than embedded", [a, a, b], {"1.jpg": a}, (1, 1, 0, 0)),
            ("sub-folders and case", [a, b], {"jpg/1.JPG": a, "x/y/2.jpg": b}, (2, 2, 0, 0)),
            ("other files ignored", [a], {"audit.txt": a, "1.jpg": a}, (1, 1, 0, 0)),
            ("empty folder", [a], {}, (0, 0, 0, 0)),
        ]
        for i, (name, images, files, expected) in enumerate(cases):
            with self.subTest(name):
                res = count_whole.count(self.truth(*images), self.write(f"case{i}", files))
                self.assertEqual(res["true"], len(images))
                got = (res["whole"], res["files"], res["other"], res["surplus"])
                self.assertEqual(got, expected)

    def test_command_line_prints_json_and_rejects_a_missing_folder(self):
        truth = self.tmp / "truth.json"
        truth.write_text(json.dumps(self.truth(self.A)), encoding="utf-8")
        folder = self.write("out", {"Vorlesk_0001.jpg": self.A + self.FILLER})
        buf = io.StringIO()
        with redirect_stdout(buf):
            self.assertEqual(count_whole.main([str(truth), str(folder), "--json"]), 0)
        self.assertEqual(json.loads(buf.getvalue())["whole"], 1)
        with redirect_stdout(io.StringIO()), redirect_stderr(io.StringIO()):
            self.assertEqual(count_whole.main([str(truth), str(self.tmp / "missing")]), 2)


def timing_json(name, median, cpu=None):
    """An export like timeloop.py's for two runs of `median` seconds; CPU split half and half."""
    cpu = median / 2 if cpu is None else cpu
    return {
        "results": [
            {"command": name, "median": median, "min": median, "max": median,
             "user": cpu / 2, "system": cpu / 2, "times": [median, median],
             "user_times": [cpu / 2, cpu / 2], "system_times": [cpu / 2, cpu / 2]}
        ]
    }


class ReportTest(TempDirCase):
    def test_verdicts_against_glintmark(self):
        cases = [
            ("foremost", 3.0, 1.0, ">= 3x: met"),
            ("foremost", 2.9, 1.0, ">= 3x: MISSED"),
            ("scalpel", 3.5, 1.0, ">= 3.5x: met"),
            ("scalpel", 3.4, 1.0, ">= 3.5x: MISSED"),
            ("cp -r", 1.0, 0.8, "<= 0.8x: met"),
            ("cp -r", 1.0, 0.85, "<= 0.8x: MISSED"),
            ("glintmark --writers 1", 1.4, 1.0, ""),
            ("cat", 0.1, 1.0, ""),
            ("glintmark", 1.0, 1.0, ""),
            ("foremost", 1.0, None, ""),
        ]
        for name, median, ref, target in cases:
            with self.subTest(name=name, median=median, ref=ref):
                self.assertEqual(report.verdict(name, median, ref)[1], target)

    def test_table_holds_each_variant_against_glintmarks_same_variant(self):
        rows = [
            ("glintmark", timing_json("glintmark", 1.0, cpu=0.5)["results"][0]),
            ("glintmark + sync", timing_json("glintmark + sync", 4.0, cpu=1.0)["results"][0]),
            ("foremost", timing_json("foremost", 3.0, cpu=2.0)["results"][0]),
            ("foremost + sync", timing_json("foremost + sync", 6.0, cpu=1.0)["results"][0]),
            ("cp -r", timing_json("cp -r", 0.5, cpu=0.25)["results"][0]),
        ]
        table = report.time_table(rows)
        # Wall-clock ratio, CPU ratio, then the target, judged on wall-clock time.
        self.assertIn("| foremost | 3.000 | 3.000 | 3.000 | 2.000 |", table)
        self.assertIn("| 3.00x glintmark | 4.00x glintmark | >= 3x: met |", table)
        self.assertIn("| 1.50x glintmark | 1.00x glintmark | >= 3x: MISSED |", table)
        self.assertIn("| glintmark takes 2.00x | glintmark takes 2.00x | <= 0.8x: MISSED |", table)
        self.assertNotIn("met", report.time_table(rows, targets=False))

    def test_cpu_median_is_taken_per_run(self):
        result = {"user": 9.0, "system": 9.0, "user_times": [0.1, 0.2, 5.0],
                  "system_times": [0.1, 0.3, 0.0]}
        self.assertAlmostEqual(report.cpu_median(result), 0.5)
        self.assertAlmostEqual(report.cpu_median({"user": 0.25, "system": 0.5}), 0.75)

    def test_memory_check_allows_two_megabytes_between_sources(self):
        for spread, verdict in ((0, "met"), (2048, "met"), (2049, "MISSED")):
            with self.subTest(spread=spread):
                lines = ["glintmark\t3 MiB\t5000", f"glintmark\t300 MiB\t{5000 + spread}",
                         "foremost\t300 MiB\t900000"]
                self.assertIn(f"by {spread} KB between its sources (<= 2048 KB: {verdict})",
                              report.memory_table(lines))

    def test_render_keeps_the_order_of_the_result_files(self):
        (self.tmp / "time").mkdir()
        for i, (name, median) in enumerate((("glintmark", 1.0), ("scalpel", 4.0), ("cat", 0.2))):
            (self.tmp / "time" / f"{i + 1:02d}.json").write_text(
                json.dumps(timing_json(name, median)), encoding="utf-8")
        (self.tmp / "whole.jsonl").write_text(
            json.dumps({"name": "glintmark", "true": 9, "whole": 9, "files": 9, "other": 0,
                        "surplus": 0}) + "\n", encoding="utf-8")
        text = report.render(self.tmp)
        self.assertLess(text.index("| glintmark |"), text.index("| scalpel |"))
        self.assertLess(text.index("| scalpel |"), text.index("| cat |"))
        self.assertIn("| glintmark | 9 | 9 | 9 | 0 | 0 |", text)


class TimeLoopTest(TempDirCase):
    def contender(self, name, log):
        """A command that fails unless its folder is empty, then leaves a file there and
        notes its name in the log."""
        out = self.tmp / f"out-{name}"
        script = f'test -z "$(ls -A {out})" && touch {out}/x && echo {name} >> {log}'
        return name, out, ["sh", "-c", script]

    def test_rounds_rotate_and_every_run_starts_in_an_empty_folder(self):
        log = self.tmp / "log"
        contenders = [self.contender(n, log) for n in "abc"]
        samples = timeloop.run_rounds(contenders, runs=3, warmup=1)
        order = log.read_text(encoding="utf-8").split()
        self.assertEqual(order, list("abc" "bca" "cab" "abc"))
        for sample in samples:
            self.assertEqual([len(sample[k]) for k in ("wall", "user", "system")], [3, 3, 3])
            self.assertTrue(all(t > 0 for t in sample["wall"]))
        for _, out, _ in contenders:
            self.assertFalse(out.exists())

    def test_a_failing_run_stops_the_loop_and_leaves_no_folder(self):
        out = self.tmp / "out"
        cases = [("exit code", ["false"]), ("killed", ["sh", "-c", "kill -9 $$"])]
        for name, argv in cases:
            with self.subTest(name):
                with self.assertRaises(timeloop.RunFailed):
                    timeloop.run_rounds([("x", out, argv)], runs=2, warmup=0)
                self.assertFalse(out.exists())

    def test_command_line_exports_one_file_per_contender_from_the_first_index(self):
        log = self.tmp / "log"
        name, out, argv = self.contender("a", log)
        export = self.tmp / "export"
        code = timeloop.main(["--runs", "2", "--warmup", "0", "--export-dir", str(export),
                              "--first-index", "4", "--contender", name, str(out),
                              " ".join(map(shlex.quote, argv)), "--contender", "cat", "-",
                              f"cat {log}"])
        self.assertEqual(code, 0)
        self.assertEqual(sorted(p.name for p in export.iterdir()), ["04.json", "05.json"])
        rows = report.load_times(export)
        self.assertEqual([n for n, _ in rows], ["a", "cat"])
        self.assertEqual(len(rows[0][1]["times"]), 2)
        self.assertEqual(len(rows[1][1]["system_times"]), 2)


class RunScriptTest(unittest.TestCase):
    def test_bad_arguments_stop_before_anything_is_installed_or_built(self):
        cases = [
            (["--help"], 0),
            (["--frobnicate"], 2),
            (["--runs", "x"], 2),
            (["--size", "-3"], 2),
            (["--runs", "0"], 2),
        ]
        for args, code in cases:
            with self.subTest(args=args):
                res = subprocess.run(["bash", str(HERE / "run.sh"), *args], capture_output=True,
                                     text=True, check=False, timeout=30)
                self.assertEqual(res.returncode, code, res.stderr)
                self.assertNotIn("Installing", res.stderr)


if __name__ == "__main__":
    unittest.main()
