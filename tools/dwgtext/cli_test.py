#!/usr/bin/env python3
"""dwgtext as a person uses it: what it prints, its messages and exit status,
its encodings, JSON Lines, order under -j, ripgrep's --pre, the progress line,
and the real drawings of the corpus when they are there.

    cli_test.py --dwgtext PATH --make-samples PATH --samples DIR --corpus DIR
                [--emulator CMD] [TEST...]
"""
import argparse
import json
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

CONFIG = None

# What `dwgtext r12.dwg r14.dwg r2000.dwg` prints, file by file.
SAMPLE_TEXTS = {
    "r12.dwg": [
        "Ground floor plan",
        "Roof pitch 35\u00b0",        # ANSI_1252 byte 0xB0
        "\u2205 12 holes",            # "\U+2205" left in a byte text
        "TITLEBLOCK",
        "J. Smith", "DRAWN", "Drawn by",
        "A. Jones", "CHECKED",
    ],
    "r14.dwg": [
        "Section A-A",
        "Notes:", "All dimensions in mm.", "Do not scale.",
        "Centred title",
        "Unnamed",
        "Kitchen",
        "Bore \u2205 40",
        "\u00b1 0.05",                # delivered as UTF-16BE
    ],
    "r2000.dwg": [
        "Site plan",
        "\u56f3\u9762",               # Shift-JIS bytes, code page ANSI_932
        "Levels:", "Ground 0.00", "First 3.20",
        "Rev C",
        "Angle 45\u00b0",
    ],
}
SAMPLES = list(SAMPLE_TEXTS)

SUPPORTED = r"\(supported: AC1006 \(R10\) to AC1015 \(R2000\)\)"


def command(*args):
    return CONFIG.emulator + [CONFIG.dwgtext, *map(str, args)]


def dwgtext(*args, stdin=None, cwd=None):
    return subprocess.run(command(*args), input=stdin, capture_output=True, cwd=cwd, timeout=120)


def lines(data):
    return data.decode("utf-8").splitlines()


def sample(name):
    return Path(CONFIG.samples) / name


def expected_lines(names, prefix):
    return [(f"{name}:" if prefix else "") + text for name in names for text in SAMPLE_TEXTS[name]]


class TempDirTest(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="dwgtext-test-"))
        self.addCleanup(shutil.rmtree, self.dir)

    def file(self, name, data):
        path = self.dir / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        return path

    def copy_sample(self, name, to):
        return self.file(to, sample(name).read_bytes())


class SampleOutput(TempDirTest):
    def test_samples_print_their_texts_in_utf8(self):
        result = dwgtext(*SAMPLES, cwd=CONFIG.samples)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(lines(result.stdout), expected_lines(SAMPLES, prefix=True))
        self.assertEqual(result.stderr, b"")

    def test_committed_samples_are_what_make_samples_writes(self):
        subprocess.run(CONFIG.emulator + [CONFIG.make_samples, str(self.dir)], check=True, timeout=60)
        for name in SAMPLES:
            self.assertEqual((self.dir / name).read_bytes(), sample(name).read_bytes(), name)

    def test_raw_prints_the_bytes_as_delivered(self):
        cases = {
            "r12.dwg": b"Roof pitch 35\xb0",
            "r14.dwg": "\u00b1 0.05".encode("utf-16-be"),
            "r2000.dwg": b"\x90\x7d\x96\xca",
        }
        for name, delivered in cases.items():
            with self.subTest(name):
                result = dwgtext("--raw", sample(name))
                self.assertIn(delivered, result.stdout.split(b"\n"))

    def test_codepage_option_overrides_the_drawings_own(self):
        cases = [
            ("r12.dwg", "DOS850", "Roof pitch 35\u2591"),
            ("r12.dwg", "iso-8859-7", "Roof pitch 35\u00b0"),
            # Shift-JIS bytes read as ANSI_1252: 0x90 is no character there.
            ("r2000.dwg", "ANSI_1252", "\ufffd}\u2013\u00ca"),
        ]
        for name, page, text in cases:
            with self.subTest(page=page):
                result = dwgtext("--codepage", page, sample(name))
                self.assertEqual(result.returncode, 0)
                self.assertIn(text, lines(result.stdout))

    def test_reports_go_to_stderr_with_the_file_name_unless_quiet(self):
        # A R12 drawing cut inside its header: the reader says why it found
        # no entities, and still delivers the end.
        cut = self.file("cut.dwg", sample("r12.dwg").read_bytes()[:1100])
        result = dwgtext(cut)
        self.assertRegex(result.stderr.decode(), rf"^{re.escape(str(cut))}: \*\*\* ERROR \*\*\* .+\n$")
        self.assertEqual(dwgtext("-q", cut).stderr, b"")


class FileNames(TempDirTest):
    def test_prefix_follows_the_number_of_inputs_and_the_options(self):
        cases = [
            (["r14.dwg"], ["r14.dwg"], False),
            (["r12.dwg", "r14.dwg"], ["r12.dwg", "r14.dwg"], True),
            (["--no-filename", "r12.dwg", "r14.dwg"], ["r12.dwg", "r14.dwg"], False),
            (["-H", "r14.dwg"], ["r14.dwg"], True),
        ]
        for args, names, prefix in cases:
            with self.subTest(args=args):
                result = dwgtext(*args, cwd=CONFIG.samples)
                self.assertEqual(lines(result.stdout), expected_lines(names, prefix))

    def test_standard_input_is_read_for_a_dash(self):
        data = sample("r14.dwg").read_bytes()
        result = dwgtext("-H", "-", stdin=data)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(lines(result.stdout), ["(standard input):" + t for t in SAMPLE_TEXTS["r14.dwg"]])


class Errors(TempDirTest):
    def check_one_line(self, result, status, pattern):
        self.assertEqual(result.returncode, status)
        message = result.stderr.decode()
        self.assertEqual(message.count("\n"), 1, message)
        self.assertRegex(message, pattern)

    def test_each_unreadable_input_gives_one_line_naming_the_file(self):
        cases = [
            ("missing.dwg", None, r"^dwgtext: \S*missing\.dwg: cannot open: No such file or directory$"),
            ("empty.dwg", b"", r"^dwgtext: \S*empty\.dwg: not a DWG drawing$"),
            ("notes.dwg", b"Meeting notes\n" * 10, r"^dwgtext: \S*notes\.dwg: not a DWG drawing$"),
            ("new.dwg", b"AC1018" + bytes(200),
             rf"^dwgtext: \S*new\.dwg: DWG version AC1018 \(R2004\) is not supported {SUPPORTED}$"),
            ("old.dwg", b"AC1.50\0\0" + bytes(100),
             rf"^dwgtext: \S*old\.dwg: DWG version AC1\.50 \(R2\.05\) is not supported {SUPPORTED}$"),
            ("folder", "dir", r"^dwgtext: \S*folder: cannot open: is a directory \(-r reads the drawings in it\)$"),
        ]
        for name, data, pattern in cases:
            with self.subTest(name):
                path = self.dir / name
                if data == "dir":
                    path.mkdir()
                elif data is not None:
                    path.write_bytes(data)
                result = dwgtext(path)
                self.assertEqual(result.stdout, b"")
                self.check_one_line(result, 1, pattern + "\n")

    def test_a_drawing_the_library_refuses_names_its_version(self):
        path = self.file("broken.dwg", b"AC1015" + bytes(10))
        result = dwgtext("-q", path)
        self.check_one_line(result, 1, r"^dwgtext: \S*broken\.dwg: the library could not read this AC1015 \(R2000\) drawing\n$")
        # Without -q the library's own reason comes first.
        self.assertIn(b"*** ERROR ***", dwgtext(path).stderr)

    def test_usage_errors_exit_with_2(self):
        cases = [
            ([], "no drawing given"),
            (["--bogus", "a.dwg"], "unknown option '--bogus'"),
            (["--codepage", "KLINGON", "a.dwg"], "unknown code page 'KLINGON'"),
        ]
        for args, text in cases:
            with self.subTest(args=args):
                result = dwgtext(*args)
                self.check_one_line(result, 2, rf"^dwgtext: .*{re.escape(text)}.*\n$")

    def test_good_inputs_are_still_printed_beside_a_bad_one(self):
        result = dwgtext("r14.dwg", "missing.dwg", cwd=CONFIG.samples)
        self.assertEqual(lines(result.stdout), expected_lines(["r14.dwg"], prefix=True))
        self.check_one_line(result, 1, r"^dwgtext: missing\.dwg: cannot open")

    def test_help_and_version(self):
        self.assertIn(b"Usage: dwgtext", dwgtext("--help").stdout)
        self.assertRegex(dwgtext("--version").stdout.decode(), r"^dwgtext \(TQDUDADE\) \d+\.\d+\.\d+\n$")


class JsonLines(TempDirTest):
    def test_every_line_parses_and_matches_the_text_output(self):
        self.file("notes.dwg", b"plain text")
        paths = [sample(n) for n in SAMPLES] + [self.dir / "notes.dwg", self.dir / "missing.dwg"]
        result = dwgtext("--json", *paths)
        self.assertEqual(result.returncode, 1)
        records = [json.loads(line) for line in lines(result.stdout)]

        summaries = [r for r in records if "status" in r]
        self.assertEqual([(s["file"], s["status"]) for s in summaries],
                         [(str(sample(n)), "read") for n in SAMPLES] +
                         [(str(self.dir / "notes.dwg"), "not-dwg"), (str(self.dir / "missing.dwg"), "cannot-open")])
        self.assertEqual([s["version"] for s in summaries], ["AC1009", "AC1014", "AC1015", None, None])

        for name in SAMPLES:
            texts = [r for r in records if r["file"] == str(sample(name)) and "index" in r]
            self.assertEqual([t["text"] for t in texts], SAMPLE_TEXTS[name])
            self.assertEqual([t["index"] for t in texts], list(range(len(texts))))
            summary = next(s for s in summaries if s["file"] == str(sample(name)))
            self.assertEqual(summary["texts"], len(texts))
        code51 = next(r for r in records if r.get("charset") == 51)
        self.assertEqual(bytes.fromhex(code51["bytes"]).decode("utf-16-be"), code51["text"])

    def test_reports_and_failures_are_in_the_summary(self):
        cut = self.file("cut.dwg", sample("r12.dwg").read_bytes()[:1100])
        summary = json.loads(dwgtext("--json", "-q", cut).stdout)
        self.assertEqual(summary["status"], "read")
        self.assertEqual(len(summary["reports"]), 1)
        self.assertTrue(summary["reports"][0].startswith("*** ERROR *** "))
        refused = json.loads(dwgtext("--json", self.file("new.dwg", b"AC1018" + bytes(64))).stdout)
        self.assertEqual(refused["status"], "unsupported")
        self.assertIn("AC1018 (R2004)", refused["error"])


class ManyFiles(TempDirTest):
    def test_recursion_takes_the_dwg_files_below_in_path_order(self):
        self.copy_sample("r14.dwg", "plans/b/second.DWG")
        self.copy_sample("r12.dwg", "plans/a.dwg")
        self.file("plans/readme.txt", b"not a drawing")
        result = dwgtext("-r", self.dir / "plans", cwd=self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        expected = [f"{self.dir}/plans/a.dwg:{t}" for t in SAMPLE_TEXTS["r12.dwg"]] + \
                   [f"{self.dir}/plans/b/second.DWG:{t}" for t in SAMPLE_TEXTS["r14.dwg"]]
        self.assertEqual(lines(result.stdout), expected)

    def test_output_keeps_input_order_whatever_the_jobs(self):
        names = []
        for i in range(60):
            name = SAMPLES[i % 3 if i % 7 else 0]
            names.append(f"{i:03}-{name}")
            self.copy_sample(name, names[-1])
        # A missing file in the middle: its message keeps its place too.
        names.insert(30, "missing.dwg")
        serial = dwgtext("-j", "1", *names, cwd=self.dir)
        for jobs in ("2", "7"):
            with self.subTest(jobs=jobs):
                parallel = dwgtext("-j", jobs, *names, cwd=self.dir)
                self.assertEqual(parallel.returncode, 1)
                self.assertEqual(parallel.stdout, serial.stdout)
                self.assertEqual(parallel.stderr, serial.stderr)

    def test_progress_only_on_a_terminal_and_for_several_files(self):
        two = [sample("r12.dwg"), sample("r14.dwg")]
        self.assertEqual(dwgtext(*two).stderr, b"")
        self.assertNotIn(b"files,", self.stderr_on_terminal(two[0]))
        self.assertRegex(self.stderr_on_terminal(*two), rb"dwgtext: 1/2 files, [0-9.]+ [kMG]?B/s")

    def stderr_on_terminal(self, *args):
        leader, follower = pty.openpty()
        with subprocess.Popen(command(*args), stdout=subprocess.DEVNULL, stderr=follower) as process:
            os.close(follower)
            captured = b""
            while True:
                try:
                    chunk = os.read(leader, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                captured += chunk
            process.wait(timeout=60)
        os.close(leader)
        return captured


class Ripgrep(TempDirTest):
    def test_rg_pre_searches_the_texts_of_drawings(self):
        if shutil.which("rg") is None:
            self.skipTest("ripgrep is not installed")
        for name in SAMPLES:
            self.copy_sample(name, f"drawings/{name}")
        self.file("drawings/notes.txt", "Kitchen list".encode())
        pre = CONFIG.dwgtext
        if CONFIG.emulator:
            pre = str(self.file("pre.sh", f'#!/bin/sh\nexec {" ".join(command())} "$@"\n'.encode()))
            os.chmod(pre, 0o755)
        cases = [("Kitchen", ["drawings/notes.txt:Kitchen list", "drawings/r14.dwg:Kitchen"]),
                 ("\u56f3", ["drawings/r2000.dwg:\u56f3\u9762"]),
                 ("35\u00b0", ["drawings/r12.dwg:Roof pitch 35\u00b0"])]
        for pattern, found in cases:
            with self.subTest(pattern=pattern):
                result = subprocess.run(["rg", "--no-config", "--sort", "path", "--pre", pre, "--pre-glob", "*.dwg",
                                         pattern, "drawings"], capture_output=True, cwd=self.dir, timeout=60)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(lines(result.stdout), found)


class Corpus(unittest.TestCase):
    """Every text of NAME.dwg.expected, decoded on its own here, and nothing else."""

    CODECS = {28: "cp1250", 29: "cp1251", 30: "cp1252", 22: "cp932", 38: "cp932"}

    @classmethod
    def setUpClass(cls):
        cls.drawings = sorted(Path(CONFIG.corpus).glob("*.dwg")) if CONFIG.corpus else []
        if not cls.drawings:
            raise unittest.SkipTest(f"no real drawings in {CONFIG.corpus}")

    def codec(self, data):
        if data[:6] in (b"AC1012", b"AC1013", b"AC1014", b"AC1015"):
            return self.CODECS.get(int.from_bytes(data[0x13:0x15], "little"), "cp1252")
        return "cp1252"

    @staticmethod
    def decode(code, data, codec):
        if code == 51:
            return data.decode("utf-16-be", errors="replace")
        text = re.sub(r"\\U\+([0-9A-Fa-f]{4})", lambda m: chr(int(m.group(1), 16)),
                      data.decode(codec, errors="replace"))
        # Joins surrogate pairs the codes gave, and replaces lone halves.
        return text.encode("utf-16-le", "surrogatepass").decode("utf-16-le", errors="replace")

    def expected_texts(self, drawing):
        codec = self.codec(drawing.read_bytes())
        texts = []
        for line in Path(f"{drawing}.expected").read_text().splitlines():
            if line.startswith("text "):
                fields = line.split(" ")
                texts.append(self.decode(int(fields[1]), bytes.fromhex(fields[2] if len(fields) > 2 else ""), codec))
        return texts

    def test_texts_of_each_drawing(self):
        for drawing in self.drawings:
            with self.subTest(drawing.name):
                result = dwgtext("-q", drawing)
                self.assertEqual(result.stdout.decode("utf-8").split("\n")[:-1], self.expected_texts(drawing))

    def test_json_lines_parse(self):
        result = dwgtext("--json", "-q", *self.drawings)
        records = [json.loads(line) for line in lines(result.stdout)]
        self.assertEqual(sum(1 for r in records if "status" in r), len(self.drawings))


def main():
    global CONFIG
    parser = argparse.ArgumentParser()
    parser.add_argument("--dwgtext", required=True)
    parser.add_argument("--make-samples", required=True)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--corpus", default="")
    parser.add_argument("--emulator", default="")
    CONFIG, tests = parser.parse_known_args()
    CONFIG.emulator = CONFIG.emulator.split(";") if CONFIG.emulator else []
    unittest.main(argv=[sys.argv[0], "-v", *tests])


if __name__ == "__main__":
    main()
