#!/usr/bin/env python3
"""dwgtext-server on loopback with real clients (requests, curl and raw
sockets): each route's answer in the shape the extraction clients read,
every error answer, the limits on chunked and compressed bodies, malformed
requests, slow clients and keep-alive load, SIGTERM with requests queued;
and, where the shared corpora are present, the same texts and properties as
dwgtext for each of their drawings.

    server_test.py --server PATH --dwgtext PATH --samples DIR [TEST...]
"""
import argparse
import contextlib
import csv
import gzip
import io
import json
import os
import re
import select
import signal
import socket
import subprocess
import statistics
import sys
import tarfile
import tempfile
import threading
import time
import unittest
from concurrent.futures import ThreadPoolExecutor
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
# The properties that also stand in the content, before the texts.
SUMMARY = ["title", "subject", "author", "keywords", "comments", "lastSavedBy", "hyperlinkBase"]


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

    def address(self):
        host, port = self.url[7:].split(":")
        return host, int(port)

    def raw(self, request, source="127.0.0.1"):
        """What the server answers a request sent as these bytes, until it closes."""
        with socket.create_connection(self.address(), timeout=10, source_address=(source, 0)) as client:
            client.sendall(request)
            answer = b""
            with contextlib.suppress(ConnectionResetError):
                while chunk := client.recv(65536):
                    answer += chunk
            return answer


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


def dwgtext_of(body, *options):
    """What dwgtext prints for a file of these bytes."""
    with tempfile.NamedTemporaryFile(suffix=".dwg") as file:
        file.write(body)
        file.flush()
        return dwgtext(*options, file.name)


def sample(name):
    return (Path(CONFIG.samples) / name).read_bytes()


def metadata_of(properties):
    """The metadata a drawing's --json properties stand for: those with a value."""
    expected = {"Content-Type": "image/vnd.dwg", "X-TIKA:Parsed-By": ["dwgtext-server"]}
    for name, value in properties.items():
        if name == "custom":
            expected.update({"dwg-custom:" + key: text for key, text in value.items() if text})
        elif name == "revision" and value != "" and not str(value).isdigit():
            expected["dwg:revision"] = value
        elif value != "":
            expected[METADATA_KEYS[name]] = str(value)
    return expected


def content_of(path):
    """The content the server gives: the summary properties' lines, then dwgtext's texts."""
    properties = json_summary(path)["properties"]
    return "".join(properties[name] + "\n" for name in SUMMARY if properties.get(name)) + dwgtext(str(path)).decode()


def json_summary(path):
    return json.loads(dwgtext("--json", str(path)).splitlines()[-1])


XHTML = "{http://www.w3.org/1999/xhtml}"


def paragraphs(page):
    return [p.text or "" for p in ElementTree.fromstring(page).iter(XHTML + "p")]


def multipart(path, route, server, **headers):
    with open(path, "rb") as file:
        return requests.post(server.url + route, files={"upload-file": (path.name, file)}, headers=headers,
                             timeout=60)


class Routes(unittest.TestCase):
    def test_each_route_in_the_shape_its_clients_read(self):
        path = Path(CONFIG.samples) / "r2018.dwg"
        body = path.read_bytes()
        content = content_of(path)
        expected = metadata_of(json_summary(path)["properties"])
        self.assertIn("dc:title", expected)
        self.assertTrue(content.startswith("Ground floor, east wing\n"))
        json_type = {"Accept": "application/json"}
        with running(self) as server:
            for route, accept, kind in (("/tika", {}, "text/plain"), ("/tika", {"Accept": "text/plain"}, "text/plain"),
                                        ("/tika/text", {}, "text/plain"), ("/tika", {"Accept": "text/html"}, "text/html"),
                                        ("/tika/html", {}, "text/html"), ("/tika/xml", {}, "text/xml")):
                with self.subTest(route=route, accept=accept):
                    answer = server.put(route, body, **accept)
                    self.assertEqual((answer.status_code, answer.headers["Content-Type"].split(";")[0]), (200, kind))
                    text = answer.content.decode()
                    self.assertEqual(paragraphs(text) if kind != "text/plain" else text.splitlines(),
                                     content.splitlines())
            # A JSON object of /tika and /tika/json holds the XHTML page, of
            # /tika/text the plain content; the multipart routes the same.
            for route, page in (("/tika", True), ("/tika/json", True), ("/tika/text", False)):
                answers = [server.put(route, body, **json_type).json()]
                if route != "/tika/json":
                    answers.append(multipart(path, route.replace("/tika", "/tika/form"), server, **json_type).json())
                for answer in answers:
                    with self.subTest(route=route):
                        got = answer.pop("X-TIKA:content")
                        self.assertEqual(paragraphs(got) if page else got.splitlines(), content.splitlines())
                        answer.pop("resourceName", None)
                        self.assertEqual(answer, expected)
            for route in ("/rmeta", "/rmeta/xml", "/rmeta/html", "/rmeta/text", "/rmeta/ignore",
                          "/rmeta/form", "/rmeta/form/html", "/rmeta/form/text"):
                with self.subTest(route=route):
                    answer = (multipart(path, route, server) if "form" in route else server.put(route, body)).json()
                    [record] = answer
                    record.pop("resourceName", None)
                    got = record.pop("X-TIKA:content", None)
                    self.assertEqual(record, expected)
                    if route.endswith("ignore"):
                        self.assertIsNone(got)
                    else:
                        self.assertEqual(got.splitlines() if route.endswith("text") else paragraphs(got),
                                         content.splitlines())
            self.assertEqual(server.put("/meta", body).json(), expected)
            form = multipart(path, "/meta/form", server).json()
            self.assertEqual(form.pop("resourceName"), "r2018.dwg")
            self.assertEqual(form, expected)
            self.assertIn('"dc:title","Ground floor, east wing"\n', server.put("/meta", body, Accept="text/csv").text)
            self.assertEqual(server.put("/meta/dc:creator", body).json(), {"dc:creator": expected["dc:creator"]})
            self.assertEqual(server.put("/meta/dc:creator", body, Accept="text/plain").text,
                             expected["dc:creator"] + "\n")
            self.assertEqual(server.put("/meta/nothing", body).status_code, 404)

            with tarfile.open(fileobj=io.BytesIO(server.put("/unpack/all", body).content)) as tar:
                self.assertEqual(tar.getnames(), ["__METADATA__", "__TEXT__"])
                self.assertEqual(tar.extractfile("__TEXT__").read().decode(), content)
                rows = list(csv.reader(io.StringIO(tar.extractfile("__METADATA__").read().decode())))
                self.assertIn(["dc:title", expected["dc:title"]], rows)

            self.assertEqual(server.put("/detect/stream", body).text, "image/vnd.dwg")
            self.assertEqual(server.put("/detect/stream", b"%PDF-1.7").text, "application/octet-stream")
            self.assertEqual(server.put("/language/string", "Der Hund läuft schnell über die Straße und "
                                        "bellt den Briefträger an, der das Haus verlässt.".encode()).text, "de")
            self.assertEqual(server.put("/language/stream", body).text, "en")

            for route in ("/parsers", "/parsers/details", "/detectors", "/mime-types"):
                with self.subTest(route=route):
                    answer = requests.get(server.url + route, headers=json_type, timeout=10).json()
                    self.assertIn("dwgtext-server", json.dumps(answer))
            self.assertIn("image/vnd.dwg", requests.get(server.url + "/parsers/details", headers=json_type,
                                                        timeout=10).json()["supportedTypes"])
            for route, pattern in (("/", r"/rmeta/form/text"), ("/tika", r"dwgtext-server"),
                                   ("/version", r"^TQDUDADE dwgtext-server \d"), ("/health", r"^OK")):
                answer = requests.get(server.url + route, timeout=10)
                self.assertEqual(answer.status_code, 200)
                self.assertRegex(answer.text, pattern)
            wrong = requests.get(server.url + "/rmeta/text", timeout=10)
            self.assertEqual((wrong.status_code, wrong.headers["Allow"]), (405, "PUT"))

    def test_summary_left_out_write_limit_and_file_names(self):
        path = Path(CONFIG.samples) / "r2018.dwg"
        body = path.read_bytes()
        with running(self, "--no-summary-in-content") as server:
            self.assertEqual(server.put("/tika", body).content, dwgtext(str(path)))
            [record] = server.put("/rmeta/text", body, writeLimit="10").json()
            self.assertEqual((record["X-TIKA:content"], record["X-TIKA:EXCEPTION:write_limit_reached"]),
                             (dwgtext(str(path)).decode()[:10], "true"))
            for header, name in (("attachment; filename=plan.dwg; size=2572", "plan.dwg"),
                                 ('attachment; filename="Floor; A.dwg"', "Floor; A.dwg")):
                self.assertEqual(server.put("/meta", body, **{"Content-Disposition": header}).json()["resourceName"],
                                 name)
            self.assertEqual(server.put("/meta", body, **{"X-File-Name": "plan 1.dwg"}).json()["resourceName"],
                             "plan 1.dwg")
        self.assertRegex("".join(server.log), r"127\.0\.0\.1 PUT /meta 200 in=2572 out=\d+ \d+ms\n")

    def test_a_dxf_drawing_reads_as_dwgtext_reads_it(self):
        body = b"0\nSECTION\n2\nENTITIES\n0\nTEXT\n1\nFrom DXF\n0\nENDSEC\n0\nEOF\n"
        with running(self) as server:
            self.assertEqual(server.put("/tika", body, **{"Content-Type": "image/vnd.dxf"}).content,
                             b"From DXF\n")
            [record] = server.put("/rmeta/text", body).json()
            self.assertEqual((record["Content-Type"], record["X-TIKA:content"]), ("image/vnd.dxf", "From DXF\n"))

    def test_a_body_kept_on_disk_reads_as_from_a_file(self):
        """Past a few MiB the body moves to an unlinked temporary file."""
        body = sample("r2004.dwg") + bytes(5 * 2**20)
        texts = dwgtext_of(body)
        self.assertTrue(texts)
        with running(self, "--no-summary-in-content") as server:
            answer = server.put("/tika", body)
            self.assertEqual((answer.status_code, answer.content), (200, texts))
        self.assertRegex("".join(server.log), rf"PUT /tika 200 in={len(body)} ")


class Errors(unittest.TestCase):
    def test_each_outcome_in_the_shape_of_each_route(self):
        whole = sample("r14.dwg")
        middle = len(whole) // 2
        cut = whole[:len(whole) * 3 // 4]
        damaged = whole[:middle] + b"U" * 64 + whole[middle + 64:]
        with running(self, "--no-summary-in-content") as server:
            # A drawing cut short or damaged still gives its texts, with a warning.
            for body, status in ((cut, "incomplete"), (damaged, "damaged")):
                with self.subTest(status):
                    texts = dwgtext_of(body)
                    self.assertTrue(texts)
                    self.assertEqual(json.loads(dwgtext_of(body, "--json").splitlines()[-1])["status"], status)
                    answer = server.put("/tika", body)
                    self.assertEqual((answer.status_code, answer.content), (200, texts))
                    [record] = server.put("/rmeta/text", body).json()
                    self.assertIn("X-TIKA:EXCEPTION:warn", record)
            # One that cannot be read, or no drawing: the status alone, and
            # a list of one object that says why.
            for body, status in ((b"AC1015" + bytes(4000), 422), (b"%PDF-1.7\n" * 100, 415), (b"", 415)):
                with self.subTest(status=status, size=len(body)):
                    answer = server.put("/tika", body)
                    self.assertEqual((answer.status_code, answer.content), (status, b""))
                    self.assertEqual(server.put("/meta", body).status_code, status)
                    [record] = server.put("/rmeta", body).json()
                    self.assertIn("X-TIKA:EXCEPTION:container_exception", record)
                    self.assertEqual(record["X-TIKA:Parsed-By"], ["dwgtext-server"])
            self.assertEqual(requests.get(server.url + "/nowhere%0A127.0.0.1 GET /forged", timeout=10).status_code, 404)
        self.assertNotIn("\n127.0.0.1 GET /forged", "".join(server.log))

    def test_malformed_requests_get_400(self):
        cases = {
            "two lengths": b"PUT /tika HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd",
            "no colon": b"GET /health HTTP/1.1\r\nHost: x\r\nBad header\r\n\r\n",
            "space before colon": b"GET /health HTTP/1.1\r\nHost: x\r\nBad : y\r\n\r\n",
            "NUL": b"GET /health HTTP/1.1\r\nHost: x\r\nX-A: a\0b\r\n\r\n",
            "no Host": b"GET /health HTTP/1.1\r\n\r\n",
            "no version": b"PUT /tika\r\n\r\n",
        }
        with running(self) as server:
            for case, request in cases.items():
                with self.subTest(case):
                    self.assertRegex(server.raw(request), rb"^HTTP/1\.[01] 400 ")
            # Three requests sent at once get three answers, in order.
            pipelined = server.raw(b"GET /health HTTP/1.1\r\nHost: x\r\n\r\n" * 2 +
                                   b"GET /version HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            self.assertEqual(pipelined.count(b" 200 OK\r\n"), 3)
            self.assertTrue(pipelined.endswith(b"\n") and b"TQDUDADE" in pipelined)

    def test_limits_hold_for_stated_chunked_and_compressed_bodies(self):
        body = sample("r14.dwg")
        with running(self, "--max-bytes", "64K") as server:
            started = time.monotonic()
            over = server.raw(b"PUT /tika HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n" % 2**30)
            self.assertRegex(over, rb"^HTTP/1\.1 413 ")
            self.assertLess(time.monotonic() - started, 5)
            chunk = b"%x\r\n%s\r\n" % (32768, bytes(32768))
            chunked = server.raw(b"PUT /tika HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" + chunk * 3)
            self.assertEqual(chunked, b"")
            bomb = gzip.compress(bytes(2**26))
            self.assertLess(len(bomb), 2**17)
            self.assertEqual(server.raw(b"PUT /tika HTTP/1.1\r\nHost: x\r\nContent-Encoding: gzip\r\n"
                                        b"Content-Length: %d\r\n\r\n" % len(bomb) + bomb), b"")
            within = server.put("/tika", gzip.compress(body), **{"Content-Encoding": "gzip"})
            self.assertEqual(within.content, server.put("/tika", body).content)
            self.assertEqual(server.put("/tika", body, **{"Content-Encoding": "br"}).status_code, 415)
            self.assertEqual(server.put("/tika", b"\x1f\x8b junk", **{"Content-Encoding": "gzip"}).status_code, 400)
            # No length and no chunks: the body is empty, at once.
            self.assertRegex(server.raw(b"PUT /tika HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"),
                             rb"^HTTP/1\.1 415 ")
        log = "".join(server.log)
        self.assertEqual(log.count("closed without an answer: the body is larger than 65536 bytes"), 2, log)

    def test_bad_command_lines_and_a_busy_port(self):
        for args in (["--port", "70000"], ["--workers"], ["--max-bytes=1X"]):
            with self.subTest(args):
                result = subprocess.run([CONFIG.server, *args], capture_output=True, text=True)
                self.assertEqual(result.returncode, 2)
                self.assertIn("--help", result.stderr)
        with running(self) as server:
            busy = subprocess.run([CONFIG.server, "--port", str(server.address()[1])], capture_output=True, text=True,
                                  timeout=10)
            self.assertEqual(busy.returncode, 1)
            self.assertIn("Address already in use", busy.stderr)


class Clients(unittest.TestCase):
    def test_slow_clients_cost_no_worker(self):
        """200 clients dripping a head and 10 dripping a body, from addresses
        of their own; a normal client is answered quickly all along, and the
        slow ones are cut off at the timeout, each with a line in the log."""
        body = sample("r14.dwg")
        head = b"PUT /tika HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n" % len(body)
        with running(self, "--workers", "2", "--timeout", "2", "--max-per-address", "8") as server:
            slow = []
            for n in range(210):
                client = socket.create_connection(server.address(), source_address=(f"127.0.1.{n // 8 + 1}", 0))
                client.sendall(head[:5] if n < 200 else head + body[:10])
                slow.append(client)
            times = []
            for _ in range(20):
                started = time.monotonic()
                self.assertEqual(server.put("/tika", body).status_code, 200)
                times.append(time.monotonic() - started)
                for client in slow:
                    client.send(b"x")
                time.sleep(0.05)
            self.assertLess(statistics.median(times), 0.05)
            time.sleep(2)
            cut = sum(1 for client in slow if select.select([client], [], [], 1)[0] and not client.recv(100))
            for client in slow:
                client.close()
        log = "".join(server.log)
        self.assertEqual(cut, 210)
        self.assertEqual(log.count("closed: no whole request head"), 200)
        self.assertEqual(log.count("closed: a body slower than the minimum rate"), 10)

    def test_keep_alive_load_loses_no_request(self):
        body = sample("r12.dwg")
        deadline = time.monotonic() + 3

        def client(_):
            session, count = requests.Session(), 0
            while time.monotonic() < deadline:
                self.assertEqual(session.put(server.url + "/tika", data=body, timeout=30).status_code, 200)
                count += 1
            return count

        with running(self, "--workers", "2") as server:
            with ThreadPoolExecutor(64) as pool:
                done = sum(pool.map(client, range(64)))
        self.assertEqual("".join(server.log).count("PUT /tika 200"), done)
        self.assertNotIn("without an answer", "".join(server.log))

    def test_a_full_queue_says_to_come_back(self):
        body = sample("r2000.dwg")
        with running(self, "--workers", "1", "--queue", "1") as server:
            clients = [socket.create_connection(server.address(), timeout=10) for _ in range(8)]
            for client in clients:
                client.sendall(b"PUT /tika HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n" % len(body) + body[:-1])
            time.sleep(0.3)
            for client in clients:
                client.sendall(body[-1:])
            heads = [client.recv(65536).split(b"\r\n\r\n")[0] for client in clients]
        statuses = {head.split(b" ")[1] for head in heads}
        self.assertEqual(statuses, {b"200", b"503"})
        self.assertTrue(all(b"Retry-After: 1" in head for head in heads if b" 503 " in head))

    def test_sigterm_answers_every_request_under_way(self):
        """Ten requests whose bodies are half sent when SIGTERM comes: each
        is answered in full, and the server exits 0."""
        body = sample("r2000.dwg")
        server = Server("--workers", "1")
        clients = [socket.create_connection(server.address(), timeout=10) for _ in range(10)]
        for client in clients:
            client.sendall(b"PUT /tika HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n" % len(body) + body[:100])
        time.sleep(0.3)
        server.process.send_signal(signal.SIGTERM)
        time.sleep(0.3)
        answers = []
        for client in clients:
            client.sendall(body[100:])
            answers.append(b"")
            while chunk := client.recv(65536):
                answers[-1] += chunk
            client.close()
        status, left = server.stop()
        self.assertEqual((status, left), (0, []))
        texts = dwgtext(str(Path(CONFIG.samples) / "r2000.dwg"))
        for answer in answers:
            self.assertTrue(answer.startswith(b"HTTP/1.1 200 OK\r\n") and answer.endswith(texts))


class Corpora(unittest.TestCase):
    def test_the_texts_and_properties_of_dwgtext_for_every_drawing(self):
        drawings = [path for corpus in CORPORA if corpus.is_dir() for path in sorted(corpus.glob("*.dwg"))]
        if not drawings:
            self.skipTest("no corpus: /work/shared/corpus and /work/shared/corpus-r2004 are absent")
        with running(self, "--no-summary-in-content") as server:
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
