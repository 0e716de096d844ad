"""The type stubs against the built module: stubtest, `mypy --strict` over a
typed usage file and the examples, and the setters that stubtest cannot see."""

from __future__ import annotations

import ast
import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import pytest

import vorlix
from vorlix import readable

ROOT = Path(__file__).resolve().parents[2]
USAGE = Path(__file__).with_name("typing_usage.py")
PACKAGE = Path(vorlix.__file__).resolve().parent
# The directory that holds the package and the extension, as the tests import them.
SITE = PACKAGE.parent

needs_mypy = pytest.mark.skipif(
    importlib.util.find_spec("mypy") is None,
    reason="mypy is not installed (scripts/requirements-dev.txt lists it; `make setup` installs it)",
)


def run(args: list[str], cwd: Path) -> subprocess.CompletedProcess[str]:
    env = {**os.environ, "PYTHONPATH": os.pathsep.join([str(SITE), os.environ.get("PYTHONPATH", "")])}
    env.pop("MYPYPATH", None)
    return subprocess.run(
        [sys.executable, *args], cwd=cwd, env=env, capture_output=True, text=True, timeout=600
    )


@needs_mypy
def test_stubtest(tmp_path):
    # vorlix.readable is checked as a submodule of vorlix: naming it as well
    # makes stubtest load its stub twice.
    out = run(["-m", "mypy.stubtest", "vorlix", "_vorlix"], tmp_path)
    assert out.returncode == 0, out.stdout + out.stderr
    assert "no issues found in 3 modules" in out.stdout


@needs_mypy
def test_mypy_strict_over_usage_and_examples(tmp_path):
    files = [str(USAGE), *sorted(str(p) for p in (ROOT / "examples").glob("*.py"))]
    out = run(["-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"), *files], tmp_path)
    assert out.returncode == 0, out.stdout + out.stderr
    assert f"no issues found in {len(files)} source files" in out.stdout


def test_typed_usage_runs():
    spec = importlib.util.spec_from_file_location("typing_usage", USAGE)
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    module.main()


def stub_properties(stub: Path) -> dict[str, dict[str, bool]]:
    """{class: {property: has a setter}} as the stub declares them."""
    found: dict[str, dict[str, bool]] = {}
    for node in ast.parse(stub.read_text()).body:
        if not isinstance(node, ast.ClassDef):
            continue
        props = found.setdefault(node.name, {})
        for item in node.body:
            if not isinstance(item, ast.FunctionDef):
                continue
            for deco in item.decorator_list:
                if isinstance(deco, ast.Name) and deco.id == "property":
                    props.setdefault(item.name, False)
                elif isinstance(deco, ast.Attribute) and deco.attr == "setter":
                    props[item.name] = True
    return found


def instances() -> dict[str, object]:
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    cell = sheet.cell(1, 1, "x")
    sheet.add_comment(1, 1, "t", "a")
    finder = readable.Finder([sheet])
    snap = finder.get_sheet_index(0)
    return {
        "Service": vorlix.Service(None), "Book": book, "Sheet": sheet, "Cell": cell,
        "Comment": sheet.comments[0], "Finder": finder, "ReadableSheet": snap,
        "ReadableCell": snap.cells[0],
    }


@pytest.mark.parametrize("stub", ["__init__.pyi", "readable.pyi"])
def test_stub_setters_match_runtime(stub):
    # stubtest checks that the attributes exist but not which ones can be set.
    objects = instances()
    declared = {k: v for k, v in stub_properties(PACKAGE / stub).items() if k in objects}
    assert declared, "no handle class found in the stub"
    for cls_name, props in declared.items():
        obj = objects[cls_name]
        for name, settable in props.items():
            # A value of the wrong type: a setter refuses it with TypeError and
            # changes nothing; an attribute without a setter raises AttributeError.
            with pytest.raises(TypeError if settable else AttributeError):
                setattr(obj, name, object())
