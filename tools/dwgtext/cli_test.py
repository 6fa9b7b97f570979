#!/usr/bin/env python3
"""dwgtext as a person uses it: what it prints, its messages and exit status,
its encodings, JSON Lines, drawings cut short, failed writes, ripgrep's
--pre and Recoll with the README's lines, and the progress line.

    cli_test.py --dwgtext PATH --dwgtext-pre PATH --make-drawings PATH
                --samples DIR --readme FILE [--emulator CMD] [--except TEST] [TEST...]

Without TEST, every test class runs but those named by --except.
"""
import argparse
import contextlib
import json
import os
import pty
import re
import shutil
import signal
import struct
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
        "Scale 1:50",                 # texts of block definitions
        "1", "SHEET", "Sheet number",
        "4.2500",
    ],
    "r14.dwg": [
        "Section A-A",
        "Notes:", "All dimensions in mm.", "Do not scale.",
        "Centred title",
        "Unnamed", "Room name",       # an attribute definition's default and prompt
        "Kitchen",
        "EPDM ROOF CONSTRUCTION", "O.S.B SHEATHING", "A-101",  # multileader callouts
        "Bore \u2205 40",
        "\u00b1 0.05",                # delivered as UTF-16BE
    ],
    "r2000.dwg": [
        "Site plan",
        "\u56f3\u9762",               # Shift-JIS bytes, code page ANSI_932
        "Levels:", "Ground 0.00", "First 3.20",
        "GENERAL NOTES:",             # one MTEXT longer than 256 bytes
        "1. All dimensions are in millimetres unless noted otherwise.",
        "2. Do not scale from this drawing; report any discrepancy to the architect.",
        "3. Concrete to be grade C30/37 with 40 mm cover to all reinforcement.",
        "4. Steelwork to be hot-dip galvanised after fabrication.",
        "Rev C",
        "Angle 45\u00b0",
    ],
    "r2004.dwg": [
        "Elevation north",
        "Finishes:", "Brick, red", "Oak, oiled",
        "B-12",
        "Fall 1:80 \u2193",          # delivered as UTF-16BE
    ],
    "r2018.dwg": [                    # delivered as UTF-16BE
        "Ground floor, east wing",
        "Legend:", "Wall", "Window",
        "Client:", "City council",    # a multi-line attribute
        "Width 3.60 \u00b1 0.01",
    ],
}
SAMPLES = list(SAMPLE_TEXTS)

SUPPORTED = r"\(supported: AC1006 \(R10\) to AC1032 \(R2018\)\)"


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
    def test_codepage_option_overrides_the_drawings_own(self):
        cases = [
            ("r12.dwg", "DOS850", "Roof pitch 35\u2591"),
            ("r12.dwg", "iso-8859-7", "Roof pitch 35\u00b0"),
            # Shift-JIS bytes read as ANSI_1252: 0x90 is no character there,
            # and 0x7D a brace, which MTEXT formatting drops.
            ("r2000.dwg", "ANSI_1252", "\ufffd\u2013\u00ca"),
        ]
        for name, page, text in cases:
            with self.subTest(page=page):
                result = dwgtext("--codepage", page, sample(name))
                self.assertEqual(result.returncode, 0)
                self.assertIn(text, lines(result.stdout))

    def test_properties_print_before_the_texts(self):
        # The values are the C API's (its Properties tests); the batch's tests
        # hold the JSON summary's to the Python package's.
        standard = json.loads(lines(dwgtext("--json", sample("r2018.dwg")).stdout)[-1])["properties"]
        custom = standard.pop("custom")
        self.assertEqual(custom, {"Client": "City council", "Sheet": "A-101"})
        result = dwgtext("--properties", sample("r2018.dwg"))
        self.assertEqual(result.returncode, 0, result.stderr)
        expected = [f"{name}: {value}" for found in (standard, custom) for name, value in found.items() if value]
        self.assertEqual(lines(result.stdout), expected + SAMPLE_TEXTS["r2018.dwg"])

        # Only what the drawing keeps: no empty subject, no empty custom value.
        only = dwgtext("--properties-only", "properties.dwg", "r14.dwg", cwd=CONFIG.drawings)
        self.assertEqual(lines(only.stdout), ["properties.dwg:title: Plan", "properties.dwg:editingTime: 0",
                                              "properties.dwg:Job: 42"])

    def test_preview_writes_the_image_as_stored(self):
        sentinel = bytes.fromhex("1f256d07d43628289d57ca3f9d44102b")
        drawing = bytearray(sample("r2000.dwg").read_bytes())
        image = b"BM not really a bitmap"
        entries_end = len(drawing) + len(sentinel) + 5 + 9
        struct.pack_into("<I", drawing, 13, len(drawing))
        drawing += sentinel + struct.pack("<IBBII", 10 + len(image), 1, 2, entries_end, len(image)) + image
        drawing += bytes(byte ^ 0xFF for byte in sentinel)  # the area's closing sentinel
        path = self.file("preview.dwg", bytes(drawing))
        result = dwgtext("--preview", self.dir / "preview.bmp", path)
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.assertEqual((self.dir / "preview.bmp").read_bytes(), image)

        none = dwgtext("--preview", self.dir / "none.png", sample("r14.dwg"))
        self.assertEqual((none.returncode, lines(none.stderr)), (1, [f"dwgtext: {sample('r14.dwg')}: no preview image"]))


class FileNames(TempDirTest):
    def test_prefix_follows_the_number_of_inputs_and_the_options(self):
        cases = [
            (["r14.dwg"], ["r14.dwg"], False),
            (SAMPLES, SAMPLES, True),
            (["--no-filename", "r12.dwg", "r14.dwg"], ["r12.dwg", "r14.dwg"], False),
            (["-H", "r14.dwg"], ["r14.dwg"], True),
        ]
        for args, names, prefix in cases:
            with self.subTest(args=args):
                result = dwgtext(*args, cwd=CONFIG.samples)
                self.assertEqual((result.returncode, result.stderr), (0, b""))
                self.assertEqual(lines(result.stdout), expected_lines(names, prefix))

    def test_standard_input_is_read_for_a_dash_or_when_redirected_without_files(self):
        data = sample("r14.dwg").read_bytes()
        for args in (["-H", "-"], ["-H"]):
            result = dwgtext(*args, stdin=data)
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
            ("AC102", b"AC102", r"^dwgtext: \S*AC102: not a DWG drawing$"),  # cut in its version text
            ("notes.dwg", b"Meeting notes\n" * 10, r"^dwgtext: \S*notes\.dwg: not a DWG drawing$"),
            ("r9.dwg", b"AC1004" + bytes(200),
             rf"^dwgtext: \S*r9\.dwg: DWG version AC1004 \(R9\) is not supported {SUPPORTED}$"),
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
        # Four section locators where the library needs five.
        data = bytearray(sample("r2000.dwg").read_bytes())
        struct.pack_into("<I", data, 21, 4)
        path = self.file("broken.dwg", bytes(data))
        for args in ([], ["-q"]):
            self.check_one_line(dwgtext(*args, path), 1,
                                r"^dwgtext: \S*broken\.dwg: the library could not read this AC1015 \(R2000\) drawing\n$")
        # -v adds the library's own reason.
        self.assertIn(b"*** ERROR ***", dwgtext("-v", path).stderr)

    def test_usage_errors_exit_with_2(self):
        cases = [
            ([], "no drawing given"),
            (["--bogus", "a.dwg"], "unknown option '--bogus'"),
            (["--codepage", "KLINGON", "a.dwg"], "unknown code page 'KLINGON'"),
            (["--kinds=some", "a.dwg"], "--kinds takes 'all' or 'classic'"),
        ]
        terminal, other_end = os.openpty()  # no drawing given: standard input is a terminal
        self.addCleanup(os.close, terminal)
        self.addCleanup(os.close, other_end)
        for args, text in cases:
            with self.subTest(args=args):
                result = subprocess.run(command(*args), stdin=terminal, capture_output=True, timeout=120)
                self.check_one_line(result, 2, rf"^dwgtext: .*{re.escape(text)}.*\n$")


class JsonLines(TempDirTest):
    def test_a_name_given_keeps_its_bytes_in_json_and_shows_on_one_line(self):
        # A line break, and a byte that is not UTF-8: JSON escapes both
        # (\udcff, as Python's surrogateescape), plain output shows U+FFFD.
        path = self.copy_sample("r14.dwg", os.fsdecode(b"plan\n\xffB.dwg"))
        records = [json.loads(line) for line in lines(dwgtext("--json", path).stdout)]
        self.assertEqual({os.fsencode(r["file"]) for r in records}, {os.fsencode(path)})
        self.assertEqual(lines(dwgtext("-H", path).stdout)[0], f"{self.dir}/plan \ufffdB.dwg:Section A-A")


def test_drawing(name):
    return Path(CONFIG.drawings) / name


def cut_drawing(to):
    """long.dwg cut to a third of its length: its first text, which holds
    "Acopian", still comes out, and dwgtext exits 1 without --partial-ok."""
    data = test_drawing("long.dwg").read_bytes()
    to.parent.mkdir(parents=True, exist_ok=True)
    to.write_bytes(data[:len(data) // 3])
    return to


class PlainText(TempDirTest):
    def test_every_text_is_one_clean_line_with_its_file_name(self):
        cases = {
            "nul.dwg": ["Pump room", "Valve V-12"],
            "breaks.dwg": ["first line  second line", "one two three"],
            # The paragraph "}" renders to nothing: no line.
            "mtext.dwg": ["Standard text", "4'-0 1/4\"", "Bold and Underlined next",
                          "\u00d850 \u00b10.1 45\u00b0"],
        }
        for name, texts in cases.items():
            with self.subTest(name):
                result = dwgtext("-H", name, cwd=CONFIG.drawings)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(lines(result.stdout), [f"{name}:{text}" for text in texts])
                self.assertIsNone(re.search(rb"[\x00-\x08\x0a-\x1f\x7f]", result.stdout.replace(b"\n", b"")))


class Reports(TempDirTest):
    def patched(self, name, fmt, offset, value):
        data = bytearray(sample(name).read_bytes())
        struct.pack_into(fmt, data, offset, value)
        return self.file(f"patched-{name}", bytes(data))

    def test_errors_are_counted_once_per_drawing(self):
        # The first object of r14.dwg, 512 bytes after the class section,
        # says it is two bytes long: its text cannot be read.
        path = self.patched("r14.dwg", "<H", 185 + 146 + 512, 2)
        result = dwgtext(path)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stderr.decode(), f"dwgtext: {path}: 2 library errors; -v shows them\n")
        self.assertEqual(dwgtext("-v", path).stderr.decode().count("*** ERROR ***"), 2)
        reports = json.loads(lines(dwgtext("--json", path).stdout)[-1])["reports"]
        self.assertEqual(len({r["report"] for r in reports}), len(reports))
        self.assertEqual(sum(r["count"] for r in reports), 2)
        self.assertEqual(dwgtext("-q", path).stderr, b"")


class Truncated(TempDirTest):
    def test_a_cut_drawing_keeps_its_texts_and_says_so(self):
        for name in SAMPLES:
            data = sample(name).read_bytes()
            cut = self.file(f"cut-{name}", data[:len(data) * 3 // 4])
            with self.subTest(name):
                texts = lines(dwgtext(cut).stdout)
                self.assertEqual(texts, SAMPLE_TEXTS[name][:len(texts)])
                for args in ([], ["-q"]):  # quiet or not, one line says why, and the texts still print
                    result = dwgtext(*args, cut)
                    self.assertEqual((result.returncode, lines(result.stdout)), (1, texts))
                    self.assertRegex(result.stderr.decode(), rf"^dwgtext: {re.escape(str(cut))}: truncated: "
                                     rf"(the header says \d+ bytes, the file has {len(data) * 3 // 4}|"
                                     rf"the drawing records parts past the end of the file, "
                                     rf"which has {len(data) * 3 // 4} bytes)\n$")
                summary = json.loads(lines(dwgtext("--json", cut).stdout)[-1])
                self.assertEqual((summary["status"], summary["texts"]), ("incomplete", len(texts)))

    def test_partial_ok_exits_0_only_when_texts_came_out(self):
        data = test_drawing("long.dwg").read_bytes()
        for share, status in ((3, 0), (20, 1)):
            cut = self.file(f"cut-{share}.dwg", data[:len(data) // share])
            with self.subTest(share=share):
                result = dwgtext("--partial-ok", cut)
                self.assertEqual(result.returncode, status)
                self.assertEqual(bool(result.stdout), status == 0)
                self.assertRegex(result.stderr.decode(), rf"^dwgtext: {re.escape(str(cut))}: truncated: ")
        # One drawing without texts still fails the run.
        both = dwgtext("--partial-ok", self.dir / "cut-3.dwg", self.dir / "cut-20.dwg")
        self.assertEqual(both.returncode, 1)


class WriteErrors(TempDirTest):
    def many_drawings(self, count):
        for i in range(count):
            self.copy_sample(SAMPLES[i % 3], f"many/{i:04}.dwg")
        return self.dir / "many"

    def test_a_full_disk_is_an_error_for_small_and_large_output(self):
        for label, args in (("small", [sample("r14.dwg")]), ("large", ["-r", self.many_drawings(300)])):
            with self.subTest(label), open("/dev/full", "wb") as full:
                result = subprocess.run(command(*args), stdout=full, stderr=subprocess.PIPE, timeout=120)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stderr, b"dwgtext: standard output: No space left on device\n")

    def test_a_reader_that_goes_away_ends_it_quietly(self):
        folder = self.many_drawings(1000)
        for label, ignore_sigpipe in (("SIGPIPE", False), ("EPIPE", True)):
            with self.subTest(label):
                handler = (lambda: signal.signal(signal.SIGPIPE, signal.SIG_IGN)) if ignore_sigpipe else None
                with subprocess.Popen(command("-r", folder), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                      preexec_fn=handler) as process:
                    self.assertTrue(process.stdout.readline())
                    process.stdout.close()
                    self.assertEqual(process.stderr.read(), b"")
                    status = process.wait(timeout=120)
                self.assertEqual(status, 1 if ignore_sigpipe else -signal.SIGPIPE)


class Streams(TempDirTest):
    """A pipe or a device is looked at before it is read, and copied to a
    temporary file up to a limit: memory stays bounded whatever comes."""

    def run_measured(self, args, feed):
        """dwgtext's exit status, standard error and peak memory in KiB,
        with standard input from the shell command feed."""
        with subprocess.Popen(["sh", "-c", feed], stdout=subprocess.PIPE) as feeder, \
                subprocess.Popen(command(*args), stdin=feeder.stdout, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE) as process:
            feeder.stdout.close()
            stderr = process.stderr.read()
            _, status, usage = os.wait4(process.pid, 0)
            process.returncode = os.waitstatus_to_exitcode(status)
            feeder.kill()
        return process.returncode, stderr.decode(), usage.ru_maxrss

    def test_a_device_that_is_no_drawing_is_not_read_on(self):
        result = subprocess.run(command("/dev/zero"), capture_output=True, timeout=20)
        self.assertEqual((result.returncode, result.stderr), (1, b"dwgtext: /dev/zero: not a DWG drawing\n"))

    def test_a_long_stream_stops_at_the_limit_in_bounded_memory(self):
        if CONFIG.emulator:
            self.skipTest("the memory of the emulator is not dwgtext's")
        status, stderr, peak = self.run_measured(["-"], "printf AC1015; head -c 2000000000 /dev/zero")
        self.assertEqual((status, stderr), (1, "dwgtext: (standard input): cannot open: "
                                               "a stream longer than the limit of 1073741824 bytes\n"))
        self.assertLess(peak, 64 * 1024)
        status, stderr, _ = self.run_measured(["--stream-limit", "1K", "-"], "printf AC1015; head -c 5000 /dev/zero")
        self.assertIn("limit of 1024 bytes", stderr)

    def test_a_drawing_from_a_pipe_is_read_whole(self):
        fifo = self.dir / "fifo.dwg"
        os.mkfifo(fifo)
        with subprocess.Popen(["sh", "-c", f"cat '{sample('r2000.dwg')}' > '{fifo}'"]) as writer:
            result = dwgtext(fifo)
            writer.wait(timeout=20)
        self.assertEqual((result.returncode, lines(result.stdout)), (0, SAMPLE_TEXTS["r2000.dwg"]))


def readme_block_after(marker):
    """The first fenced block of the README after the line holding marker."""
    text = Path(CONFIG.readme).read_text()
    after = text[text.index(marker):]
    return re.search(r"```[a-z]*\n(.*?)```", after, re.S).group(1)


class Recoll(TempDirTest):
    """The README's Recoll lines, tried with Recoll itself."""

    def test_recoll_finds_a_word_that_is_only_inside_a_drawing(self):
        if shutil.which("recollindex") is None or CONFIG.emulator:
            self.skipTest("Recoll is not installed, or dwgtext runs under an emulator")
        docs = self.dir / "docs"
        shutil.copy(test_drawing("recoll.dwg"), self.file("docs/plans/deck.DWG", b""))
        cut_drawing(docs / "plans" / "cut.dwg")
        self.file("docs/notes.txt", b"Quarterdeck meeting notes\n")
        config = self.dir / "config"
        self.file("config/recoll.conf", f"topdirs = {docs}\nnoaspell = 1\n".encode())
        self.file("config/mimemap", readme_block_after("~/.recoll/mimemap").encode())
        self.file("config/mimeconf", readme_block_after("~/.recoll/mimeconf").encode())
        (self.dir / "bin").mkdir()
        os.symlink(os.path.abspath(CONFIG.dwgtext), self.dir / "bin" / "dwgtext")
        env = dict(os.environ, PATH=f"{self.dir / 'bin'}:{os.environ['PATH']}", HOME=str(self.dir))
        subprocess.run(["recollindex", "-c", config], env=env, check=True, capture_output=True, timeout=300)

        def found(word):
            result = subprocess.run(["recollq", "-c", config, "-b", word], env=env, check=True,
                                    capture_output=True, timeout=60)
            return sorted(result.stdout.decode().split())

        self.assertEqual(found("zymurgical"), [f"file://{docs}/plans/deck.DWG"])
        self.assertEqual(found("quarterdeck"), [f"file://{docs}/notes.txt", f"file://{docs}/plans/deck.DWG"])
        self.assertEqual(found("acopian"), [f"file://{docs}/plans/cut.dwg"])


class ManyFiles(TempDirTest):
    def test_recursion_takes_the_dwg_and_dxf_files_below_in_path_order(self):
        self.copy_sample("r14.dwg", "plans/b/second.DWG")
        self.copy_sample("r12.dwg", "plans/a.dwg")
        self.file("plans/c.Dxf", b"0\nSECTION\n2\nENTITIES\n0\nTEXT\n1\nFrom DXF\n0\nENDSEC\n0\nEOF\n")
        self.file("plans/readme.txt", b"not a drawing")
        result = dwgtext("-r", self.dir / "plans", cwd=self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        expected = [f"{self.dir}/plans/a.dwg:{t}" for t in SAMPLE_TEXTS["r12.dwg"]] + \
                   [f"{self.dir}/plans/b/second.DWG:{t}" for t in SAMPLE_TEXTS["r14.dwg"]] + \
                   [f"{self.dir}/plans/c.Dxf:From DXF"]
        self.assertEqual(lines(result.stdout), expected)

    def test_a_search_over_no_drawing_fails(self):
        self.file("empty/readme.txt", b"not a drawing")
        (self.dir / "empty" / "deeper").mkdir()
        (self.dir / "other").mkdir()
        cases = [(["-r", "empty"], "empty"), (["-r", "--json", "empty"], "empty"),
                 (["-r", "empty", "other"], "empty, other")]
        for args, named in cases:
            with self.subTest(args=args):
                result = dwgtext(*args, cwd=self.dir)
                self.assertEqual((result.returncode, result.stdout, result.stderr.decode()),
                                 (1, b"", f"dwgtext: no drawing (*.dwg or *.dxf file) found below {named}\n"))
        # A drawing anywhere among the inputs is something to read.
        result = dwgtext("-r", "empty", sample("r14.dwg"), cwd=self.dir)
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.copy_sample("r12.dwg", "other/a.dwg")
        self.assertEqual(dwgtext("-r", "empty", "other", cwd=self.dir).returncode, 0)

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
            with contextlib.suppress(OSError):  # the terminal closed
                while chunk := os.read(leader, 4096):
                    captured += chunk
            process.wait(timeout=60)
        os.close(leader)
        return captured


class Ripgrep(TempDirTest):
    """The README's ripgrep line, on drawings of every letter case."""

    def test_rg_pre_searches_the_texts_of_drawings(self):
        if shutil.which("rg") is None:
            self.skipTest("ripgrep is not installed")
        line = next(l for l in readme_block_after("With ripgrep").splitlines() if l.startswith("rg "))
        glob = re.search(r"--pre-glob '([^']+)'", line).group(1)
        self.assertIn("--pre dwgtext-pre ", line)
        for name in SAMPLES:
            self.copy_sample(name, f"drawings/{name}")
        shutil.copy(test_drawing("nul.dwg"), self.file("drawings/PUMPS.DWG", b""))
        shutil.copy(test_drawing("mtext.dwg"), self.file("drawings/Details.Dwg", b""))
        cut_drawing(self.dir / "drawings" / "cut.dwg")
        self.file("drawings/notes.txt", "Kitchen list".encode())
        pre = CONFIG.dwgtext_pre
        if CONFIG.emulator:
            pre = str(self.file("pre.sh", f'#!/bin/sh\nexec {" ".join(command())} --partial-ok "$@"\n'.encode()))
            os.chmod(pre, 0o755)
        cases = [("Kitchen", ["drawings/notes.txt:Kitchen list", "drawings/r14.dwg:Kitchen"]),
                 ("\u56f3", ["drawings/r2000.dwg:\u56f3\u9762"]),
                 ("room$", ["drawings/PUMPS.DWG:Pump room", "drawings/cut.dwg:Acopian rectifier room"]),
                 ("Standard text", ["drawings/Details.Dwg:Standard text"])]
        for pattern, found in cases:
            with self.subTest(pattern=pattern):
                result = subprocess.run(["rg", "--no-config", "--sort", "path", "--pre", pre, "--pre-glob", glob,
                                         pattern, "drawings"], capture_output=True, cwd=self.dir, timeout=60)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(lines(result.stdout), found)


class Documents(TempDirTest):
    """The pkg-config files and --help name the releases the program reads;
    the man page every kind of text."""

    def test_the_man_page_names_every_kind_of_text(self):
        records = dwgtext("--json", "-r", CONFIG.drawings, CONFIG.samples).stdout.decode().splitlines()
        kinds = {json.loads(record).get("kind") for record in records} - {None}
        page = (Path(CONFIG.readme).parent / "tools/dwgtext/dwgtext.1").read_text()
        section = page[page.index(".SH TEXT KINDS"):page.index(".SH OPTIONS")]
        self.assertLessEqual(kinds, set(re.findall(r"^\.B (\w+)$", section, re.M)))
        self.assertIn("MULTILEADER", kinds)

    def test_descriptions_name_the_releases_the_program_reads(self):
        result = dwgtext(self.file("r9.dwg", b"AC1004" + bytes(200)))
        first, last = re.search(r"supported: \S+ \((R\d+)\) to \S+ \((R\d+)\)", result.stderr.decode()).groups()
        releases = f"({first} to {last})"
        for pc in sorted((Path(CONFIG.readme).parent / "cmake").glob("*.pc.in")):
            with self.subTest(pc.name):
                description = next(l for l in pc.read_text().splitlines() if l.startswith("Description:"))
                self.assertIn(releases, description)
        self.assertIn(releases, dwgtext("--help").stdout.decode())


def main():
    global CONFIG
    parser = argparse.ArgumentParser()
    for name in ("--dwgtext", "--dwgtext-pre", "--make-drawings", "--samples", "--readme"):
        parser.add_argument(name, required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--except", dest="excepted", action="append", default=[],
                        help="a test class to leave out when none is named")
    CONFIG, tests = parser.parse_known_args()
    if not tests:
        tests = [test.__name__ for test in TempDirTest.__subclasses__() if test.__name__ not in CONFIG.excepted]
    CONFIG.emulator = CONFIG.emulator.split(";") if CONFIG.emulator else []
    with tempfile.TemporaryDirectory(prefix="dwgtext-drawings-") as drawings:
        subprocess.run(CONFIG.emulator + [CONFIG.make_drawings, drawings], check=True, timeout=60)
        CONFIG.drawings = drawings
        run = unittest.main(argv=[sys.argv[0], "-v", *tests], exit=False)
    sys.exit(0 if run.result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
