"""egm.route and egm.sweep against egm-study route and sweep on the same
inputs: one study layer under both, so every number agrees to the last digit."""

import csv
import io
import os
import subprocess

import pytest

import egm_shielding as egm

EXE = os.environ.get("EGM_STUDY_EXE")
needs_cli = pytest.mark.skipif(not EXE, reason="EGM_STUDY_EXE names no egm-study")

# Lengths and km posts whose decimals a binary sum would lose.
ROUTE = [
    {"name": "a", "km": "1.23456789", "length": "333.3333333333333"},
    {"name": "b", "km": "", "length": "0.1234567890123457", "slope": "12.5"},
    {"name": "c", "km": "", "length": "1e-5", "h1": "60"},
    {"name": "d", "km": "7.5", "length": "100.1"},
    {"name": "e", "km": "", "length": "0.3", "slope": "95"},
    {"name": "f", "km": "", "length": "200.2"},
]
COLUMNS = ["name", "km", "length", "slope", "h1"]


def cli(*args):
    run = subprocess.run([EXE, *args], capture_output=True, text=True)
    return run


def route_file(tmp_path, spans):
    path = tmp_path / "route.csv"
    with open(path, "w", newline="") as f:
        writer = csv.DictWriter(f, COLUMNS, lineterminator="\n")
        writer.writeheader()
        for s in spans:
            writer.writerow({c: s.get(c, "") for c in COLUMNS})
    return path


def records(spans):
    """The spans as Python gives them: numbers as floats, empty fields left out."""
    out = []
    for s in spans:
        out.append({k: (v if k == "name" else float(v)) for k, v in s.items() if v != ""})
    return out


def same_number(text, value, what):
    """text, as the CLI wrote it, and Python's value are the same double."""
    assert value is not None, what
    assert repr(float(text)) == repr(float(value)), f"{what}: CLI {text}, Python {value!r}"


@needs_cli
def test_a_route_gives_the_same_numbers_from_the_cli_and_python(tmp_path):
    path = route_file(tmp_path, ROUTE)
    run = cli("route", str(path), "--format", "csv", "--flag-above", "0.2")
    assert run.returncode == 1, run.stderr  # span e cannot be computed
    lines = run.stdout.splitlines()
    rows = list(csv.DictReader(io.StringIO("\n".join(l for l in lines if not l.startswith("#")))))
    r = egm.route(records(ROUTE), flag_above=0.2)
    assert len(rows) == len(r.spans) == len(ROUTE)
    compared = 0
    for row, span in zip(rows, r.spans):
        assert int(row["span"]) == span["span"] and row["name"] == span["name"]
        assert bool(row["error"]) == bool(span["error"])
        for key, text in row.items():
            if key in ("span", "line", "name", "error") or text == "":
                continue
            if text in ("true", "false"):
                assert span[key] == (text == "true"), key
            elif key in span and isinstance(span[key], str):
                assert span[key] == text, key
            else:
                same_number(text, span[key], f"span {span['span']} {key}")
            compared += 1
    assert compared >= 100
    # The figures worked out by hand: the km posts kept to their decimals.
    assert r.spans[1]["km"] == 1.5679012233333331
    assert r.spans[2]["km"] == 1.5680246801223454
    # The summary lines: "# spans 6, failed 1, length L km", the failures
    # per conductor and in total, the average.
    summary = [l for l in lines if l.startswith("#")]
    s = r.summary
    assert summary[0].startswith(f"# spans {s['spans']}, failed {s['failed']}, length ")
    same_number(summary[0].split("length ")[1].split(" km")[0], s["lengthKm"], "lengthKm")
    failures = summary[1][len("# failures per year: "):].split(", ")
    for entry in failures:
        name, text = entry.rstrip(",").rsplit(" ", 1)
        same_number(text, s["failuresPerYear"][name], f"failures {name}")
    same_number(summary[2].split()[2], s["averagePer100KmPerYear"], "average")


@needs_cli
def test_the_json_summary_and_flagged_stretches_agree(tmp_path):
    import json
    path = route_file(tmp_path, ROUTE)
    run = cli("route", str(path), "--format", "json", "--flag-above", "0.2", "--top", "3")
    j = json.loads(run.stdout)
    r = egm.route(records(ROUTE), flag_above=0.2, top=3)
    assert j["summary"]["lengthKm"] == r.summary["lengthKm"]
    assert j["summary"]["rateMethod"] == r.summary["rateMethod"]
    assert [(f["fromKm"], f["toKm"], f["highestRate"]) for f in j["summary"]["flaggedStretches"]] == r.flagged
    assert [s["km"] for s in j["spans"]] == [s["km"] for s in r.spans]


def test_a_km_post_is_taken_from_its_shortest_text():
    # 1.23456789 is not a binary fraction: its own eight decimals count, so
    # the next span starts at 1.33456789, not at the binary value + 0.1 or at
    # a post rounded to the lengths' decimals (1.335).
    r = egm.route([{"km": 1.23456789, "length": 100.0}, {"length": 100.0}, {"km": 0.1, "length": 0.2}])
    assert [s["km"] for s in r.spans] == [1.23456789, 1.33456789, 0.1]
    assert r.summary["lengthKm"] == 0.2002


@needs_cli
def test_a_sweep_gives_the_same_rows_from_the_cli_and_python():
    run = cli("sweep", "--param", "slope", "--from", "-20", "--to", "100", "--step", "30")
    rows = list(csv.DictReader(io.StringIO(run.stdout)))
    py = egm.sweep("slope", [float(row["slope"]) for row in rows])
    assert len(rows) == len(py) == 5
    for row, p in zip(rows, py):
        assert row["error"] == p["error"]
        for key, text in row.items():
            if key == "error" or text == "":
                continue
            if text in ("true", "false"):
                assert p[key] == (text == "true"), key
            elif isinstance(p[key], str):
                assert p[key] == text, key
            else:
                same_number(text, p[key], f"slope {row['slope']} {key}")
