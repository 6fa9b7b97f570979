"""How much of a real drawing's texts survive a cut or damage to its maps.

Usage: python3 bench/recovery_figures.py DWGTEXT DRAWING...
(R2004, R2010, R2013 and R2018 drawings; others are passed over.)
Prints a Markdown table: per drawing, the share of its texts kept when cut
at 90, 95 and 99 % of its length, and when a page (the objects' middle one),
the page map or the section map is overwritten with zeros at full length;
and where the objects section's last page lies in the file. A text that the
whole drawing lacks is counted and shown as "invented".
"""
import collections
import json
import struct
import subprocess
import sys
import tempfile

DATA, PAGE_MAP, SECTION_MAP = 0x4163043B, 0x41630E3B, 0x4163003B


def pages(data):
    """(address, kind, section, size in the file) of each page, by its header."""
    found, at = [], 0x100
    while at + 32 <= len(data):
        word = struct.unpack_from('<I', data, at)[0]
        mask = 0x4164536B ^ at
        if word ^ mask == DATA:
            section, size = (struct.unpack_from('<I', data, at + 4 * i)[0] ^ mask for i in (1, 2))
            found.append((at, 'data', section, size))
            at += (0x20 + size + 0x1F) // 0x20 * 0x20
        elif word in (PAGE_MAP, SECTION_MAP):
            size = struct.unpack_from('<I', data, at + 8)[0]
            found.append((at, 'page map' if word == PAGE_MAP else 'section map', None, size))
            at += (0x14 + size + 0x1F) // 0x20 * 0x20
        else:
            at += 0x20
    return found


def texts(dwgtext, data):
    with tempfile.NamedTemporaryFile(suffix='.dwg') as f:
        f.write(data)
        f.flush()
        run = subprocess.run([dwgtext, '--json', f.name], capture_output=True, text=True)
    records = [json.loads(line) for line in run.stdout.splitlines()]
    status = records[-1].get('status', '?') if records else '?'
    return collections.Counter(json.dumps(r.get('text')) for r in records[:-1]), status


def share(dwgtext, whole, data, column, shares):
    got, status = texts(dwgtext, data)
    invented = sum((got - whole).values())
    kept = sum((got & whole).values()) / max(1, sum(whole.values()))
    shares[column].append(kept)
    return f"{kept:.0%} {status}" + (f" ({invented} invented)" if invented else "")


def spoilt(data, at, length):
    return data[:at] + bytes(length) + data[at + length:]


def main():
    dwgtext = sys.argv[1]
    print('| drawing | texts | objects end at | cut 90 % | cut 95 % | cut 99 % | a page | page map | section map |')
    print('|---|---|---|---|---|---|---|---|---|')
    shares = collections.defaultdict(list)
    ends = []
    for path in sys.argv[2:]:
        data = open(path, 'rb').read()
        whole, _ = texts(dwgtext, data)
        found = pages(data)
        data_pages = [p for p in found if p[1] == 'data']
        if not data_pages:
            continue
        objects = collections.Counter(p[2] for p in data_pages).most_common(1)[0][0]
        ours = [p for p in data_pages if p[2] == objects]
        end = ours[-1][0] + 0x20 + ours[-1][3]
        ends.append(end / len(data))
        row = [path.split('/')[-1], str(sum(whole.values())), f"{end / len(data):.0%}"]
        row += [share(dwgtext, whole, data[:len(data) * c // 100], c, shares) for c in (90, 95, 99)]
        middle = ours[len(ours) // 2]
        row.append(share(dwgtext, whole, spoilt(data, middle[0], 0x20 + middle[3]), 'page', shares))
        for kind in ('page map', 'section map'):
            place = [p for p in found if p[1] == kind]
            row.append(share(dwgtext, whole, spoilt(data, place[0][0], 0x14 + place[0][3]), kind, shares))
        print('| ' + ' | '.join(row) + ' |')
    means = [f"{sum(v) / len(v):.0%}" for v in shares.values()]
    print(f"| mean | | {sum(ends) / len(ends):.0%} | " + ' | '.join(means) + ' |')


main()
