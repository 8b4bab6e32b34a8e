#!/usr/bin/env python3
"""Tests of the game generator and the index checker (bench/game/).

Run with: python3 -m unittest discover -s bench -p 'test_*.py'
"""

import copy
import hashlib
import io
import json
import shutil
import subprocess
import sys
import tempfile
import unittest
from contextlib import redirect_stdout
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE / "game"))

import check_index  # noqa: E402

SIGNATURE = bytes.fromhex("FFD8FFE000104A464946")


@unittest.skipUnless(shutil.which("cjpeg"), "cjpeg is needed to make the textures")
class MakeGameTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = Path(tempfile.mkdtemp())
        subprocess.run([sys.executable, str(HERE / "game" / "make_game.py"), str(cls.tmp),
                        "--levels", "7", "--images", "300", "--shared", "0.3", "--seed", "5"],
                       check=True, capture_output=True)
        cls.truth = json.loads((cls.tmp / "truth.json").read_text())

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    def test_the_truth_counts_what_the_levels_hold(self):
        truth = self.truth
        self.assertEqual(len(truth["levels"]), 7)
        self.assertEqual(truth["images"], 300)
        self.assertEqual(sum(len(t["in"]) for t in truth["textures"]), 300)
        self.assertEqual(truth["distinct"], len(truth["textures"]))
        # About the share asked for; never more than it.
        self.assertLessEqual(truth["shared_images"], 90)
        self.assertGreaterEqual(truth["shared_images"], 85)
        levels = {name: (self.tmp / "game" / name).read_bytes() for name in truth["levels"]}
        self.assertEqual(sum(data.count(SIGNATURE) for data in levels.values()), 300)

    def test_every_use_holds_the_texture_at_its_offset(self):
        for texture in self.truth["textures"]:
            for use in texture["in"]:
                data = (self.tmp / "game" / use["level"]).read_bytes()
                body = data[use["offset"]:use["offset"] + texture["bytes"]]
                self.assertEqual(hashlib.sha256(body).hexdigest(), texture["sha256"])
                self.assertTrue(body.endswith(b"\xff\xd9"))

    @unittest.skipUnless(shutil.which("djpeg"), "djpeg is the referee")
    def test_each_texture_decodes(self):
        texture = self.truth["textures"][0]
        use = texture["in"][0]
        data = (self.tmp / "game" / use["level"]).read_bytes()
        body = data[use["offset"]:use["offset"] + texture["bytes"]]
        result = subprocess.run(["djpeg", "-pnm"], input=body, capture_output=True)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stderr, b"")

    def run_check(self, index):
        path = self.tmp / "index.json"
        path.write_text(json.dumps(index))
        sys.argv = ["check_index.py", str(path), str(self.tmp / "truth.json")]
        with redirect_stdout(io.StringIO()) as shown:
            code = check_index.main()
        return code, shown.getvalue()

    def test_the_checker_passes_the_truth_and_finds_each_difference(self):
        index = {"levels": self.truth["levels"], "textures": self.truth["textures"]}
        self.assertEqual(self.run_check(index)[0], 0)
        self.assertEqual(self.run_check({"textures": index})[0], 0, "a --json report")
        changes = {
            "a use moved": lambda i: i["textures"][0]["in"][0].update(offset=1),
            "a texture lost": lambda i: i["textures"].pop(),
            "a size wrong": lambda i: i["textures"][1].update(bytes=1),
            "a level missing": lambda i: i["levels"].pop(),
            "a texture twice": lambda i: i["textures"].append(i["textures"][0]),
        }
        for what, change in changes.items():
            with self.subTest(what):
                changed = copy.deepcopy(index)
                change(changed)
                code, shown = self.run_check(changed)
                self.assertEqual(code, 1, shown)
                self.assertIn("differences", shown)


if __name__ == "__main__":
    unittest.main()
