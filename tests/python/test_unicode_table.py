"""The generated upper-case table against this interpreter's str.upper().

Needs no compiled extension: it reads core/model/unicode_tables.inc directly.
"""

from __future__ import annotations

import re
import subprocess
import sys
import unicodedata
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
TABLE = ROOT / "core" / "model" / "unicode_tables.inc"
GENERATOR = ROOT / "tools" / "gen_unicode_tables.py"

ENTRY = re.compile(r"\{0x([0-9A-Fa-f]+), (\d+), \{([^}]*)\}\}")
BYTE = re.compile(r"'\\x([0-9a-fA-F]{2})'")


def read_table() -> dict[int, str]:
    text = TABLE.read_text(encoding="utf-8")
    body = text[text.index("kUpperTable[]") :]
    table: dict[int, str] = {}
    order = []
    for cp_hex, length, data in ENTRY.findall(body):
        raw = bytes(int(b, 16) for b in BYTE.findall(data))
        assert len(raw) == int(length), f"U+{cp_hex}: length {length}, bytes {raw!r}"
        cp = int(cp_hex, 16)
        assert cp not in table, f"U+{cp:04X} listed twice"
        table[cp] = raw.decode("utf-8")
        order.append(cp)
    assert order == sorted(order), "entries must be sorted for the binary search"
    width = int(re.search(r"kUpperMappingMaxBytes = (\d+);", text).group(1))
    assert max(len(v.encode("utf-8")) for v in table.values()) <= width
    return table


@pytest.fixture(scope="module")
def table() -> dict[int, str]:
    return read_table()


def test_header_records_database_version():
    header = TABLE.read_text(encoding="utf-8").splitlines()[1]
    assert re.search(r"Unicode Character Database \d+\.\d+\.\d+", header)


def test_table_is_exactly_the_ascii_producing_mappings(table):
    table = dict(table)
    missing = []
    wrong = []
    for cp in range(0x80, 0x110000):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        upper = chr(cp).upper()
        if any(ord(ch) < 0x80 for ch in upper):
            got = table.pop(cp, None)
            if got is None:
                missing.append(cp)
            elif got != upper:
                wrong.append((cp, got, upper))
    version = unicodedata.unidata_version
    assert not missing, f"absent (UCD {version}): {[hex(c) for c in missing]}"
    assert not wrong, f"wrong mapping (UCD {version}): {wrong}"
    # Whatever is left is listed but has no ASCII in its upper case (or is ASCII).
    assert not table, f"listed without cause: {[hex(c) for c in table]}"


def test_known_entries(table):
    assert table[0x017F] == "S"
    assert table[0x0131] == "I"
    assert table[0x00DF] == "SS"
    assert table[0xFB01] == "FI"
    assert table[0xFB03] == "FFI"
    assert table[0x0149] == "\u02bcN"


def test_generator_output_is_committed():
    header = TABLE.read_text(encoding="utf-8").splitlines()[1]
    same_ucd = f"Unicode Character Database {unicodedata.unidata_version}," in header
    if not same_ucd:
        pytest.skip("table generated with another Unicode version than this interpreter's")
    result = subprocess.run(
        [sys.executable, str(GENERATOR), "--check"], capture_output=True, text=True
    )
    assert result.returncode == 0, result.stderr
