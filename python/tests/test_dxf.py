"""DXF files written by ezdxf, a writer of its own, read with the kinds and
texts their entities hold, in file order: block definitions first; the
batch takes them from a directory."""
from __future__ import annotations

import pytest

import tqdudade

ezdxf = pytest.importorskip("ezdxf", reason="python3-ezdxf is not installed")


def composed(version: str):
    doc = ezdxf.new(version)
    block = doc.blocks.new("TITLE")
    block.add_text("Drawn by")
    block.add_attdef("DRAWN", text="J. Smith", dxfattribs={"prompt": "Who drew it?"})
    msp = doc.modelspace()
    msp.add_text("Ground floor \u00c5")
    if version != "R12":
        msp.add_mtext("\\A1;Notes\\Pline " + "x" * 300)
    msp.add_blockref("TITLE", (0, 0)).add_auto_attribs({"DRAWN": "A. Jones"})
    return doc


@pytest.mark.parametrize("version", ["R12", "R2000", "R2018"])
@pytest.mark.parametrize("fmt", ["asc", "bin"])
def test_ezdxf_files_give_every_text_with_its_kind(tmp_path, version, fmt):
    path = tmp_path / f"plan-{version}.dxf"
    composed(version).saveas(path, fmt=fmt)
    with tqdudade.open(str(path)) as drawing:
        texts = list(drawing.texts_with_kinds)
        assert (drawing.status, drawing.version) == ("read", ezdxf.const.acad_release_to_dxf_version[version])
    mtext = [] if version == "R12" else [("MTEXT", "Notes"), ("MTEXT", "line " + "x" * 300)]
    assert texts == [("TEXT", "Drawn by"), ("ATTDEF", "J. Smith"), ("ATTDEF_PROMPT", "Who drew it?"),
                     ("TEXT", "Ground floor \u00c5")] + mtext + [("ATTRIB", "A. Jones")]


def test_the_batch_takes_dxf_files_below_a_directory(tmp_path):
    import json
    import os
    import subprocess
    import sys
    composed("R2000").saveas(tmp_path / "plan.DXF")
    result = subprocess.run([sys.executable, "-m", "tqdudade.batch", str(tmp_path), "--out", "-"],
                            capture_output=True, env=dict(os.environ), timeout=120, check=True)
    [record] = [json.loads(line) for line in result.stdout.decode().splitlines()]
    assert (record["status"], record["strings"]) == (
        "read", ["Drawn by", "J. Smith", "Who drew it?", "Ground floor \u00c5", "Notes", "line " + "x" * 300, "A. Jones"])
