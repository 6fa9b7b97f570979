#!/usr/bin/env python3
"""dwgtext-server on loopback with real clients (requests and curl): every
endpoint, every error answer, the file name, bodies kept on disk, slow
clients, SIGTERM and the access log; and, where the shared corpora are
present, the same texts and properties as dwgtext for each of their drawings.

    server_test.py --server PATH --dwgtext PATH --samples DIR [TEST...]
"""
import argparse
import contextlib
import json
import os
import re
import select
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path
from xml.etree import ElementTree

import requests

CONFIG = None
CORPORA = [Path("/work/shared/corpus"), Path("/work/shared/corpus-r2004")]

# dwgtext --json's property names and the metadata keys that stand for them.
METADATA_KEYS = {
    "title": "dc:title", "subject": "dc:description", "author": "dc:creator", "keywords": "dc:subject",
    "comments": "w:comments", "lastSavedBy": "meta:last-author", "revision": "cp:revision",
    "hyperlinkBase": "dc:relation", "created": "dcterms:created", "modified": "dcterms:modified",
    "editingTime": "extended-properties:TotalTime", "application": "extended-properties:Application",
    "applicationVersion": "extended-properties:AppVersion",
}


class Server:
    """The server on a free port of loopback, with its own TMPDIR; stopped
    with SIGTERM, after which it must exit 0 and leave TMPDIR empty."""

    def __init__(self, *options):
        self.tmp = tempfile.TemporaryDirectory(prefix="dwgtext-server-test-")
        env = dict(os.environ, TMPDIR=self.tmp.name)
        self.process = subprocess.Popen([CONFIG.server, "--port", "0", *options], env=env,
                                        stderr=subprocess.PIPE, text=True)
        first = self.process.stderr.readline()
        match = re.match(r"dwgtext-server: listening on (http://[\d.]+:\d+)\n", first)
        if not match:
            self.process.kill()
            raise AssertionError(f"server did not start: {first!r}")
        self.url = match.group(1)
        self.log = []
        self.reader = threading.Thread(target=lambda: self.log.extend(self.process.stderr))
        self.reader.start()

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        status = self.process.wait(timeout=30)
        self.reader.join()
        self.process.stderr.close()
        left = os.listdir(self.tmp.name)
        self.tmp.cleanup()
        return status, left

    def put(self, path, body, **headers):
        return requests.put(self.url + path, data=body, headers=headers, timeout=60)


@contextlib.contextmanager
def running(test, *options):
    server = Server(*options)
    try:
        yield server
    finally:
        status, left = server.stop()
        test.assertEqual(status, 0, "".join(server.log))
        test.assertEqual(left, [], "temporary files left behind")


def dwgtext(*args):
    return subprocess.run([CONFIG.dwgtext, *args], capture_output=True).stdout


def dwgtext_of(body):
    """What dwgtext prints for a file of these bytes."""
    with tempfile.NamedTemporaryFile(suffix=".dwg") as file:
        file.write(body)
        file.flush()
        return dwgtext(file.name)


def sample(name):
    return (Path(CONFIG.samples) / name).read_bytes()


def metadata_of(properties):
    """The metadata a drawing's --json properties stand for: those with a value."""
    expected = {"Content-Type": "image/vnd.dwg"}
    for name, value in properties.items():
        if name == "custom":
            expected.update({"dwg-custom:" + key: text for key, text in value.items() if text})
        elif value != "":
            expected[METADATA_KEYS[name]] = str(value)
    return expected


def json_summary(path):
    return json.loads(dwgtext("--json", str(path)).splitlines()[-1])


class Endpoints(unittest.TestCase):
    def test_every_endpoint_on_a_drawing_with_properties(self):
        path = Path(CONFIG.samples) / "r2018.dwg"
        body = path.read_bytes()
        texts = dwgtext(str(path)).decode()
        expected = metadata_of(json_summary(path)["properties"])
        self.assertIn("dc:title", expected)
        with running(self) as server:
            plain = server.put("/tika", body)
            self.assertEqual((plain.status_code, plain.headers["Content-Type"]), (200, "text/plain; charset=UTF-8"))
            self.assertEqual(plain.content.decode(), texts)

            as_json = server.put("/tika", body, Accept="application/json").json()
            self.assertEqual(as_json.pop("X-TIKA:content"), texts)
            self.assertEqual(as_json, expected)

            [record] = server.put("/rmeta/text", body).json()
            self.assertEqual(record.pop("X-TIKA:content"), texts)
            self.assertEqual(record, expected)
            [record] = server.put("/rmeta", body).json()
            page = ElementTree.fromstring(record.pop("X-TIKA:content"))
            self.assertEqual(record, expected)
            xhtml = "{http://www.w3.org/1999/xhtml}"
            self.assertEqual([p.text or "" for p in page.iter(xhtml + "p")], texts.splitlines())
            self.assertEqual({m.get("name"): m.get("content") for m in page.iter(xhtml + "meta")}, expected)
            self.assertEqual(page.find(f"{xhtml}head/{xhtml}title").text, expected["dc:title"])

            self.assertEqual(server.put("/meta", body).json(), expected)
            csv = server.put("/meta", body, Accept="text/csv")
            self.assertIn('"dc:title","Ground floor, east wing"\n', csv.text)

            self.assertEqual(server.put("/detect/stream", body).text, "image/vnd.dwg")
            self.assertEqual(server.put("/detect/stream", b"%PDF-1.7").text, "application/octet-stream")
            for path_, pattern in (("/tika", r"dwgtext-server"), ("/version", r"^TQDUDADE dwgtext-server \d"),
                                   ("/health", r"^OK")):
                answer = requests.get(server.url + path_, timeout=10)
                self.assertEqual(answer.status_code, 200)
                self.assertRegex(answer.text, pattern)

    def test_curl_as_a_user_types_it(self):
        """The README's lines (curl -T sends a PUT), and the file name from either header."""
        path = Path(CONFIG.samples) / "r12.dwg"
        with running(self) as server:
            plain = subprocess.run(["curl", "-sS", "-T", str(path), server.url + "/tika"], capture_output=True)
            self.assertEqual(plain.stdout, dwgtext(str(path)))
            rmeta = subprocess.run(["curl", "-sS", "-T", str(path), "-H", "X-File-Name: plan 1.dwg",
                                    server.url + "/rmeta/text"], capture_output=True)
            [record] = json.loads(rmeta.stdout)
            self.assertEqual(record["resourceName"], "plan 1.dwg")
            meta = subprocess.run(["curl", "-sS", "-T", str(path), "-H", 'Content-Disposition: attachment; '
                                   'filename="Floor; A.dwg"', server.url + "/meta"], capture_output=True)
            self.assertEqual(json.loads(meta.stdout)["resourceName"], "Floor; A.dwg")
        self.assertRegex("".join(server.log), r"127\.0\.0\.1 PUT /rmeta/text 200 in=\d+ out=\d+ \d+ms\n")

    def test_a_body_kept_on_disk_reads_as_from_a_file(self):
        """Past a few MiB the body moves to an unlinked temporary file."""
        body = sample("r2004.dwg") + bytes(5 * 2**20)
        texts = dwgtext_of(body)
        self.assertTrue(texts)
        with running(self) as server:
            answer = server.put("/tika", body)
            self.assertEqual((answer.status_code, answer.content), (200, texts))
        self.assertRegex("".join(server.log), rf"PUT /tika 200 in={len(body)} ")


class Errors(unittest.TestCase):
    def test_each_error_answer_with_its_reason(self):
        whole = sample("r14.dwg")
        cut_body = whole[:len(whole) * 3 // 4]
        cut_texts = dwgtext_of(cut_body)
        with running(self, "--max-bytes", "1M") as server:
            cases = {
                "not a drawing": (b"%PDF-1.7\n" * 100, 415, "not a DWG drawing"),
                "empty": (b"", 415, ""),
                "release not read": (b"AC1040" + bytes(200), 415, "AC1040"),
                "unreadable": (b"AC1015" + bytes(4000), 422, "could not read"),
                "too large": (bytes(2**20 + 1), 413, "larger than 1048576 bytes"),
            }
            for case, (body, status, reason) in cases.items():
                with self.subTest(case):
                    answer = server.put("/tika", body)
                    self.assertEqual(answer.status_code, status, answer.text)
                    self.assertIn(reason, answer.text)

            cut = server.put("/rmeta/text", cut_body)
            self.assertEqual(cut.status_code, 200)
            [record] = cut.json()
            self.assertIn("truncated", record["X-TIKA:EXCEPTION:warn"])
            self.assertEqual(record["X-TIKA:content"].encode(), cut_texts)
            self.assertTrue(cut_texts)

            self.assertEqual(requests.get(server.url + "/nowhere%0A127.0.0.1 GET /forged", timeout=10).status_code, 404)
            self.assertEqual(requests.get(server.url + "/rmeta/text", timeout=10).status_code, 405)
            with socket.create_connection(server.url[7:].split(":")) as raw:
                raw.sendall(b"PUT /tika\r\n\r\n")
                self.assertIn(b" 400 ", raw.recv(4096))
        self.assertNotIn("\n127.0.0.1 GET /forged", "".join(server.log))

    def test_bad_command_lines(self):
        for args in (["--port", "70000"], ["--workers"], ["--max-bytes=1X"]):
            with self.subTest(args):
                result = subprocess.run([CONFIG.server, *args], capture_output=True, text=True)
                self.assertEqual(result.returncode, 2)
                self.assertIn("--help", result.stderr)
        self.assertIn("--max-bytes", subprocess.run([CONFIG.server, "--help"], capture_output=True, text=True).stdout)


class Clients(unittest.TestCase):
    def test_a_slow_client_is_cut_off_without_holding_up_others(self):
        # A head sent a byte at a time is cut off by --timeout (the connection
        # closes), a body by --body-timeout (408); others are served meanwhile.
        body = sample("r14.dwg")
        head = b"PUT /tika HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n" % len(body)
        for part, option, answer in ((head, "--timeout", b""), (body, "--body-timeout", b" 408 ")):
            with self.subTest(option), running(self, "--workers", "2", option, "2") as server:
                slow = socket.create_connection(server.url[7:].split(":"))
                if part is body:
                    slow.sendall(head)
                started = time.monotonic()
                for byte in part:
                    slow.sendall(bytes([byte]))
                    self.assertEqual(server.put("/tika", body).status_code, 200)
                    if select.select([slow], [], [], 0.5)[0] or time.monotonic() - started > 10:
                        break
                slow.settimeout(5)
                cut_off = slow.recv(4096)
                slow.close()
                self.assertIn(answer, cut_off) if answer else self.assertEqual(cut_off, answer)
                self.assertLess(time.monotonic() - started, 8)

    def test_sigterm_finishes_the_request_under_way(self):
        body = sample("r2000.dwg")
        server = Server()
        with socket.create_connection(server.url[7:].split(":")) as client:
            client.sendall(b"PUT /tika HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n" % len(body) + body[:100])
            time.sleep(0.3)
            server.process.send_signal(signal.SIGTERM)
            time.sleep(0.3)
            client.sendall(body[100:])
            answer = b""
            while chunk := client.recv(65536):
                answer += chunk
        status, left = server.stop()
        self.assertEqual((status, left), (0, []))
        self.assertIn(b" 200 ", answer.split(b"\r\n")[0])
        self.assertTrue(answer.endswith(dwgtext(str(Path(CONFIG.samples) / "r2000.dwg"))))


class Corpora(unittest.TestCase):
    def test_the_texts_and_properties_of_dwgtext_for_every_drawing(self):
        drawings = [path for corpus in CORPORA if corpus.is_dir() for path in sorted(corpus.glob("*.dwg"))]
        if not drawings:
            self.skipTest("no corpus: /work/shared/corpus and /work/shared/corpus-r2004 are absent")
        with running(self) as server:
            for path in drawings:
                with self.subTest(path.name):
                    body = path.read_bytes()
                    summary = json_summary(path)
                    text = server.put("/tika", body)
                    if summary["status"] in ("not-dwg", "unsupported", "failed", "cannot-open"):
                        self.assertIn(text.status_code, (415, 422))
                        continue
                    self.assertEqual(text.content, dwgtext(str(path)))
                    [record] = server.put("/rmeta/text", body).json()
                    self.assertEqual(record.pop("X-TIKA:content").encode(), text.content)
                    record.pop("X-TIKA:EXCEPTION:warn", None)
                    self.assertEqual(record, metadata_of(summary["properties"]))
                    meta = server.put("/meta", body, Accept="application/json").json()
                    meta.pop("X-TIKA:EXCEPTION:warn", None)
                    self.assertEqual(meta, record)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--dwgtext", required=True)
    parser.add_argument("--samples", required=True)
    CONFIG, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest])
