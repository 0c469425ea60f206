"""egm_shielding against egm-study and the independent reference figures."""

import csv
import gc
import json
import os
import subprocess
import threading
import time

import numpy
import pytest

import egm_shielding as egm

STUDY = os.environ.get("EGM_STUDY_EXE", "egm-study")
HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.environ.get("EGM_TEST_DATA", os.path.join(HERE, "..", "..", "tests", "data"))


def study(*args):
    return subprocess.run([STUDY, *args], capture_output=True, text=True)


def same(a, b):
    """Equal, or both missing (a DataFrame holds None as NaN)."""
    missing = lambda v: v is None or (isinstance(v, float) and v != v)
    return (missing(a) and missing(b)) or a == b


def close(value, reference, scale):
    """Within 1e-9 of scale (a total), the same zero when scale is 0."""
    return abs(value - reference) <= 1e-9 * abs(scale)


# The double-circuit tower: one ground wire above two circuits of three
# conductors, as (kind, x, height).
DOUBLE_CIRCUIT = [("ground wire", 0.0, 55.0),
                  ("conductor", 6.0, 45.0), ("conductor", 8.0, 37.0), ("conductor", 6.5, 29.0),
                  ("conductor", -6.0, 45.0), ("conductor", -8.0, 37.0), ("conductor", -6.5, 29.0)]
DOUBLE_CIRCUIT_INPUTS = {"min_current": 3.0}
BUILT_IN_LINE = [("ground wire", 9.89, 57.0), ("ground wire", -9.89, 57.0),
                 ("conductor", 11.2, 42.0, 0.8), ("conductor", -11.2, 42.0, -0.8)]


# --- The reference figures --------------------------------------------------

def test_first_contact_of_the_built_in_line_against_independent_figures():
    r = egm.rates()
    total = 0.24300561714751143
    assert r.evaluation == "first-contact"
    assert r.conductors == ("conductor1", "conductor2")
    assert r.wires == ("groundWire1", "groundWire2", "conductor1", "conductor2")
    assert close(r.rates["conductor1"], 0.24193729261218427, total)
    assert close(r.rates["conductor2"], 0.0010683245353271648, total)
    assert close(r.total, total, total)
    assert r.conductor1 == r.rates["conductor1"] and r.rates["total"] == r.total


def contact_rows():
    path = os.path.join(DATA, "contact.tsv")
    if not os.path.exists(path):
        path = os.path.join(HERE, "..", "..", "..", "shared", "reference", "contact.tsv")
    rows = []
    with open(path) as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            name, ngf, slope, imin, scale, expo, tower, rates, total = line.rstrip("\n").split("\t")
            wires = []
            for wire in tower.split():
                kind, numbers = wire.split(":")
                numbers = [float(v) for v in numbers.split(",")]
                wires.append(({"g": "ground wire", "c": "conductor"}[kind], *numbers))
            inputs = {"flash_density": float(ngf), "slope": float(slope), "min_current": float(imin),
                      "current_scale": float(scale), "current_exponent": float(expo)}
            expected = [float.fromhex(v) for v in rates.split()]
            rows.append(pytest.param(wires, inputs, expected, float.fromhex(total), id=name))
    return rows


@pytest.mark.parametrize("tower,inputs,expected,total", contact_rows())
def test_towers_against_the_independent_first_contact_figures(tower, inputs, expected, total):
    r = egm.rates(tower=tower, **inputs)
    assert len(r.conductors) == len(expected)
    for name, rate in zip(r.conductors, expected):
        assert close(r.rates[name], rate, total), name
    assert close(r.total, total, total)


def test_compat_independent_reference_lines_bit_for_bit():
    with open(os.path.join(DATA, "rates.tsv")) as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    assert len(rows) == 48
    for row in rows:
        v = {k: float.fromhex(x) for k, x in row.items()}
        line = egm.Line((v["x1"], v["h1"]), (v["x2"], v["h2"]), (v["x3"], v["h3"]), (v["x4"], v["h4"]))
        r = egm.rates(line, flash_density=v["groundFlashDensity"], slope=v["slopeAngle"],
                      min_current=v["minCurrent"], voltage_term=v["voltageTerm"],
                      current_scale=v["currentScale"], current_exponent=v["currentExponent"],
                      evaluation="compat")
        assert (r.conductor1.hex(), r.conductor2.hex(), r.total.hex()) == (
            v["rateC1"].hex(), v["rateC2"].hex(), v["rateTotal"].hex())


@pytest.mark.parametrize("evaluation", ["first-contact", "compat"])
def test_rates_equal_the_command_line_bit_for_bit(evaluation):
    run = study("rate", "--format", "json", "--evaluation", evaluation)
    assert run.returncode == 0, run.stderr
    expected = json.loads(run.stdout)
    r = egm.rates(evaluation=evaluation)
    for name in ("conductor1", "conductor2", "total"):
        assert r.rates[name].hex() == float(expected["rates"][name]).hex()
    assert r.max_current == expected["maxShieldingFailureCurrent"]
    assert r.classical_max_current == expected["classicalMaxShieldingFailureCurrent"]
    assert r.terrain_factor == expected["terrainFactor"]
    assert r.current_range == (23.5, 223.5, 201)
    assert (r.evaluation, r.law, r.distribution) == (evaluation, "built-in", "built-in")
    assert r.to_dict()["total"] == r.total


# --- Towers -------------------------------------------------------------------

def frame_of(wires):
    pandas = pytest.importorskip("pandas")
    return pandas.DataFrame([{"kind": w[0], "x": w[1], "height": w[2]} for w in wires])


TOWER_FORMS = {
    "tuples (kind, x, height)": lambda: DOUBLE_CIRCUIT,
    "tuples with a voltage term": lambda: [w + (0.0,) for w in DOUBLE_CIRCUIT],
    "tuples with no name": lambda: [(None,) + w + (0.0,) for w in DOUBLE_CIRCUIT],
    "lists, kinds in other cases": lambda: [[w[0].upper().replace(" ", "_"), w[1], w[2]] for w in DOUBLE_CIRCUIT],
    "dicts": lambda: [{"kind": w[0], "x": w[1], "height": w[2]} for w in DOUBLE_CIRCUIT],
    "dicts with voltage-term": lambda: [{"kind": w[0], "x": w[1], "height": w[2], "voltage-term": 0.0}
                                        for w in DOUBLE_CIRCUIT],
    "dicts, numbers as text": lambda: [{"kind": w[0], "x": str(w[1]), "height": str(w[2])} for w in DOUBLE_CIRCUIT],
    "DataFrame": lambda: frame_of(DOUBLE_CIRCUIT),
}


@pytest.mark.parametrize("form", TOWER_FORMS)
def test_every_form_of_a_tower_gives_the_same_rates(form):
    expected = egm.rates(tower=DOUBLE_CIRCUIT, **DOUBLE_CIRCUIT_INPUTS)
    r = egm.rates(tower=TOWER_FORMS[form](), **DOUBLE_CIRCUIT_INPUTS)
    assert r.conductors == ("conductor1", "conductor2", "conductor3", "conductor4", "conductor5", "conductor6")
    assert r.wires == ("groundWire1",) + r.conductors
    assert {k: v.hex() for k, v in r.rates.items()} == {k: v.hex() for k, v in expected.rates.items()}
    assert r.max_current == expected.max_current


def test_a_tower_file_gives_the_rates_of_its_wires(tmp_path):
    path = tmp_path / "double.csv"
    path.write_text("name,kind,x,height,voltage-term\n" +
                    "".join(f"{w[0]},{w[1]},{w[2]},{w[3]},{w[4] if w[1] == 'conductor' else ''}\n" for w in NAMED))
    expected = egm.rates(tower=NAMED, **DOUBLE_CIRCUIT_INPUTS).rates
    assert egm.rates(tower=str(path), **DOUBLE_CIRCUIT_INPUTS).rates == expected
    assert egm.batch([{"tower": path, "min_current": 3.0}])[0]["A1"] == expected["A1"]
    pandas = pytest.importorskip("pandas")
    frame = pandas.read_csv(path)  # the ground wire's empty voltage term: NaN, kept at 0
    assert egm.rates(tower=frame, **DOUBLE_CIRCUIT_INPUTS).rates == expected


@pytest.mark.parametrize("evaluation", ["first-contact", "compat"])
def test_the_built_in_line_as_a_tower_is_the_built_in_line(evaluation):
    assert egm.rates(tower=BUILT_IN_LINE, evaluation=evaluation).to_dict() == \
        egm.rates(evaluation=evaluation).to_dict()


NAMED = [("shield", "ground wire", 0.0, 55.0, 0.0),
         ("A1", "conductor", 6.0, 45.0, 0.0), ("B1", "conductor", 8.0, 37.0, 0.0),
         ("C1", "conductor", 6.5, 29.0, 0.0), ("A2", "conductor", -6.0, 45.0, 0.0),
         ("B2", "conductor", -8.0, 37.0, 0.0), ("C2", "conductor", -6.5, 29.0, 0.0)]


@pytest.mark.parametrize("order", [[6, 5, 4, 3, 2, 1, 0], [3, 0, 6, 1, 5, 2, 4], [1, 2, 3, 4, 5, 6, 0]])
@pytest.mark.parametrize("slope", [0.0, 15.0])
def test_relabelled_towers_give_each_wire_its_own_rate(order, slope):
    expected = egm.rates(tower=NAMED, slope=slope, **DOUBLE_CIRCUIT_INPUTS)
    r = egm.rates(tower=[NAMED[k] for k in order], slope=slope, **DOUBLE_CIRCUIT_INPUTS)
    assert r.conductors == tuple(NAMED[k][0] for k in order if NAMED[k][1] == "conductor")
    assert set(r.rates) == set(expected.rates)
    for name, rate in expected.rates.items():
        assert close(r.rates[name], rate, expected.total), name
        assert getattr(r, name) == r.rates[name]
    assert r.max_current == expected.max_current


BAD_TOWERS = {
    "no conductor": ([("ground wire", 0.0, 50.0)], "conductor"),
    "17 wires": ([("conductor", float(k), 30.0) for k in range(17)], "16"),
    "duplicate names": ([("a", "conductor", 1.0, 30.0, 0.0), ("a", "conductor", -1.0, 30.0, 0.0)], "wire 2 \\(a\\): the name 'a' is already wire 1's"),
    "unknown kind": ([("phase", 1.0, 30.0)], "wire 1: kind 'phase'"),
    "negative height": ([("ground wire", 0.0, 50.0), ("conductor", 1.0, -3.0)], "wire 2.*height -3"),
    "height not a number": ([("conductor", 1.0, "high")], "wire 1: height 'high' is not a number"),
    "two items": ([("conductor", 1.0)], "wire 1: 2 items"),
    "unknown key": ([{"kind": "conductor", "x": 1.0, "height": 30.0, "colour": "red"}], "wire 1: unknown key 'colour'"),
    "no height": ([{"kind": "conductor", "x": 1.0}], "wire 1: height missing"),
    "voltage term on a ground wire": ([("ground wire", 0.0, 50.0, 0.5), ("conductor", 1.0, 30.0)], "wire 1"),
    "not a list": (3.5, "tower '3.5': must be a list of wires"),
    "no such file": ("/nonexistent/tower.csv", "tower file '/nonexistent/tower.csv'"),
}


@pytest.mark.parametrize("case", BAD_TOWERS)
def test_a_bad_tower_raises_value_error_naming_the_reason(case):
    tower, reason = BAD_TOWERS[case]
    with pytest.raises(ValueError, match=reason) as raised:
        egm.rates(tower=tower)
    assert "\n" not in str(raised.value)


def test_a_tower_excludes_the_four_wire_lines_inputs():
    with pytest.raises(ValueError):
        egm.rates(tower=DOUBLE_CIRCUIT, voltage_term=0.5)
    with pytest.raises(ValueError, match="not both"):
        egm.rates(egm.Line(), tower=DOUBLE_CIRCUIT)
    rows = egm.sweep("h1", [50.0], tower=DOUBLE_CIRCUIT)
    assert rows[0]["error"].startswith("h1: belongs to the four-wire line")


# --- Inputs -------------------------------------------------------------------

LAW_COEFFICIENTS = {
    "built-in law by default": ({}, (10.0, 0.65, 10.0, 0.65)),
    "built-in law named": ({"law": "built-in"}, (10.0, 0.65, 0.9)),
    "another law": ({"law": "love"}, (10.0, 0.65, 10.0, 0.65)),
    "custom law, two coefficients": ({"law": "custom"}, (10.0, 0.65)),
}


@pytest.mark.parametrize("case", LAW_COEFFICIENTS)
def test_law_coefficients_go_with_the_custom_law_only(case):
    inputs, coefficients = LAW_COEFFICIENTS[case]
    with pytest.raises(ValueError):
        egm.rates(law_coefficients=coefficients, **inputs)


def test_sweep_and_laws():
    rows = egm.sweep("slope", [0.0, 10.0, 95.0])
    assert [r["slope"] for r in rows] == [0.0, 10.0, 95.0]
    assert rows[1]["total"] == egm.rates(slope=10.0).total
    assert rows[2]["error"].startswith("slope 95 degrees")  # as egm-study sweep's error column
    love = egm.rates(law="love")
    assert love.law == "love"  # the voltage term's default does not apply
    custom = egm.rates(law="custom", law_coefficients=(10.0, 0.65, 10.0, 0.65))
    assert custom.total == love.total
    assert egm.rates(distribution="log-normal").distribution == "log-normal"
    tower = egm.sweep("slope", [0.0, 15.0], tower=DOUBLE_CIRCUIT, min_current=3.0)
    assert tower[1]["conductor6"] == egm.rates(tower=DOUBLE_CIRCUIT, slope=15.0, min_current=3.0).rates["conductor6"]


INVALID = [
    (["--slope", "95"], {"slope": 95.0}),
    (["--min-current", "0"], {"min_current": 0.0}),
    (["--voltage-term", "40"], {"voltage_term": 40.0}),
]


@pytest.mark.parametrize("args,kwargs", INVALID)
def test_invalid_inputs_raise_the_command_lines_message(args, kwargs):
    run = study("rate", *args)
    assert run.returncode == 1
    message = run.stderr.strip().removeprefix("egm-study: ")
    with pytest.raises(ValueError) as raised:
        egm.rates(**kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize("evaluation", ["sound", "", "first contact"])
def test_only_first_contact_and_compat_are_evaluations(evaluation):
    with pytest.raises(ValueError, match="evaluation"):
        egm.rates(evaluation=evaluation)


def test_a_line_with_a_bad_height_names_it():
    with pytest.raises(ValueError, match="h1 -57 m: must be greater than 0 m"):
        egm.rates(egm.Line(ground_wire_1=(9.89, -57.0)))


def test_missing_values_keep_the_default():
    assert egm.rates(slope=None).total == egm.rates().total
    assert egm.batch([{"slope": None, "tower": None}])[0]["total"] == egm.rates().total
    with pytest.raises(ValueError):
        egm.rates(slope="")


NAN, INF = float("nan"), float("inf")


def changed_line():
    line = egm.Line()
    line.conductor_2 = (NAN, 42.0)  # after the Line was made
    return egm.rates(line)


# Each call gives a NaN or infinite value: it raises ValueError naming the
# value, never computes with a default in its place.
NOT_FINITE = {
    "rates, slope nan": (lambda: egm.rates(slope=NAN), "slope nan"),
    "rates, flash density inf": (lambda: egm.rates(flash_density=INF), "flash_density inf"),
    "rates, min current -inf": (lambda: egm.rates(min_current=-INF), "min_current -inf"),
    "rates, voltage term nan": (lambda: egm.rates(voltage_term=NAN), "voltage_term nan"),
    "rates, numpy nan": (lambda: egm.rates(current_scale=numpy.float64("nan")), "current_scale nan"),
    "compat, current sigma nan": (lambda: egm.rates(distribution="log-normal", current_sigma=NAN,
                                                    evaluation="compat"), "current_sigma nan"),
    "law coefficient nan": (lambda: egm.rates(law="custom", law_coefficients=(10.0, NAN, 10.0, 0.65)), "b nan"),
    "Line, a height nan": (lambda: egm.Line(ground_wire_1=(10.0, NAN)), "ground_wire_1 height nan"),
    "Line, an x inf": (lambda: egm.Line(conductor_1=(INF, 42.0)), "conductor_1 x inf"),
    "Line changed afterwards": (changed_line, "x4 nan"),
    "tower, a height nan": (lambda: egm.rates(tower=[("ground wire", 0.0, NAN), ("conductor", 1.0, 30.0)]),
                            "wire 1: height nan"),
    "tower, a voltage term nan": (lambda: egm.rates(tower=[("ground wire", 0.0, 50.0), ("conductor", 1.0, 30.0, NAN)]),
                                  "wire 2: voltage term nan"),
    "tower of dicts, an x inf": (lambda: egm.rates(tower=[{"kind": "conductor", "x": INF, "height": 30.0}]),
                                 "wire 1: x inf"),
    "strokes, current nan": (lambda: egm.strokes(current=NAN), "current nan"),
    "exposure, slope nan": (lambda: egm.exposure(slope=NAN), "slope nan"),
    "sweep, a value nan": (lambda: egm.sweep("slope", [0.0, NAN]), "slope nan"),
    "sweep, an input inf": (lambda: egm.sweep("slope", [0.0], h1=INF), "h1 inf"),
    "route, a length nan": (lambda: egm.route([{"length": 300.0}, {"length": NAN}]), "span 2 length 'nan'"),
}


@pytest.mark.parametrize("case", NOT_FINITE)
def test_a_nan_or_infinite_input_raises_value_error_naming_it(case):
    call, message = NOT_FINITE[case]
    with pytest.raises(ValueError, match=message) as raised:
        call()
    assert "\n" not in str(raised.value)


def test_a_batch_refuses_a_given_nan_in_its_row_and_keeps_a_dataframes_empty_field():
    rows = egm.batch([{"slope": 5.0}, {"slope": NAN}, {"tower": [("ground wire", 0.0, 50.0), ("conductor", 1.0, INF)]},
                      {"h1": 60.0}])
    assert [r["error"] for r in rows] == [
        "", "case 2: slope nan: must be a finite number (None keeps the default)",
        "case 3: wire 2: height inf: must be a finite number", ""]
    assert rows[3]["total"] == egm.rates(egm.Line(ground_wire_1=(9.89, 60.0))).total
    pandas = pytest.importorskip("pandas")
    frame = pandas.DataFrame({"slope": [5.0, NAN, INF]})  # pandas fills row 2's slope with NaN
    out = egm.batch(frame)
    assert list(out["total"][:2]) == [egm.rates(slope=5.0).total, egm.rates().total]
    assert list(out["error"]) == ["", "", "case 3: slope inf: must be a finite number (None keeps the default)"]


# --- Strokes, batch, helpers ------------------------------------------------

def test_strokes_shapes_values_and_their_own_memory():
    s = egm.strokes(current=23.5, voltage_term=0.0)
    assert s.widths.shape == (1, 180, 4) and s.widths.dtype == numpy.float64
    assert s.angles.shape == (180,) and s.currents.shape == (1,)
    assert s.wires == ("groundWire1", "groundWire2", "conductor1", "conductor2")
    run = study("strokes", "--current", "23.5", "--voltage-term", "0")
    assert run.returncode == 0, run.stderr
    lines = list(csv.reader(run.stdout.splitlines()))
    header = lines[0]
    for l in (0, 29, 89, 179):
        fields = dict(zip(header, lines[l + 1]))
        assert float(fields["theta"]).hex() == float(s.angles[l]).hex()
        for w, name in enumerate(s.wires):
            assert float(fields[name]).hex() == float(s.widths[0, l, w]).hex()

    whole = egm.strokes(slope=-15.0)
    widths = whole.widths
    assert widths.shape == (201, 180, 4)
    kept = widths[57, 89].copy()
    del whole
    gc.collect()
    assert numpy.array_equal(widths[57, 89], kept)  # the array keeps its memory alive
    assert widths.base is not None


def test_strokes_of_a_tower_have_a_width_per_wire():
    s = egm.strokes(tower=NAMED, current=10.0)
    assert s.widths.shape == (1, 180, 7)
    assert s.wires == tuple(w[0] for w in NAMED)
    whole = egm.strokes(tower=NAMED, min_current=3.0)
    assert whole.widths.shape == (201, 180, 7)
    assert numpy.array_equal(whole.widths[7], s.widths[0])  # 3 + 7 kA
    pytest.importorskip("pandas")
    frame = egm.to_dataframe(s)
    assert list(frame.columns) == ["current", "degrees", "theta"] + [w[0] for w in NAMED]


def test_batch_keeps_order_and_bad_rows_and_runs_in_parallel():
    pandas = pytest.importorskip("pandas")
    frame = pandas.DataFrame({
        "name": ["flat", "steep", "bad", "high", "log"],
        "slope": [0.0, 25.0, "zero", 5.0, float("nan")],
        "h1": [57.0, 57.0, 57.0, 61.0, 57.0],
        "distribution": ["built-in", "built-in", "built-in", "built-in", "log-normal"],
    })
    out = egm.batch(frame, jobs=2)
    assert list(out["name"]) == ["flat", "steep", "bad", "high", "log"]
    assert list(out["case"]) == [1, 2, 3, 4, 5]
    assert out["error"][2].startswith("case 3: slope 'zero'")
    assert list(out["error"] == "") == [True, True, False, True, True]
    assert out["total"][0] == egm.rates().total
    assert out["total"][1] == egm.rates(slope=25.0).total
    assert out["distribution"][4] == "log-normal"
    assert list(out.columns[:5]) == ["case", "name", "conductor1", "conductor2", "total"]
    assert out.columns[-1] == "error"
    serial = egm.batch([{"slope": s, "h2": 55 + s / 10} for s in range(-20, 21, 4)], jobs=1)
    parallel = egm.batch([{"slope": s, "h2": 55 + s / 10} for s in range(-20, 21, 4)], jobs=3)
    assert [r["total"].hex() for r in serial] == [r["total"].hex() for r in parallel]
    with pytest.raises(ValueError, match="unknown input 'height'"):
        egm.batch([{"height": 3}])


@pytest.mark.parametrize("as_frame", [False, True])
def test_a_batch_of_mixed_towers_keeps_each_rows_error_and_order(as_frame):
    pandas = pytest.importorskip("pandas")
    cases = [
        {"name": "unreadable", "tower": [("conductor", 1.0)]},
        {"name": "line", "slope": 5.0},
        {"name": "double circuit", "tower": DOUBLE_CIRCUIT, "min_current": 3.0},
        {"name": "negative height", "tower": [("conductor", 1.0, -3.0)]},
        {"name": "named", "tower": frame_of(DOUBLE_CIRCUIT[:3]), "slope": -5.0},
        {"name": "sound", "evaluation": "sound"},
    ]
    out = egm.batch(pandas.DataFrame(cases) if as_frame else cases, jobs=2)
    rows = out.to_dict("records") if as_frame else out
    assert [r["name"] for r in rows] == [c["name"] for c in cases]
    assert [r["case"] for r in rows] == [1, 2, 3, 4, 5, 6]
    assert rows[0]["error"].startswith("case 1: wire 1: 2 items")
    assert rows[3]["error"].startswith("case 4: wire 1") and "height" in rows[3]["error"]
    assert rows[5]["error"].startswith("case 6: ") and "sound" in rows[5]["error"]
    assert [r["error"] == "" for r in rows] == [False, True, True, False, True, False]
    line = egm.rates(slope=5.0)
    tower = egm.rates(tower=DOUBLE_CIRCUIT, min_current=3.0)
    two = egm.rates(tower=DOUBLE_CIRCUIT[:3], slope=-5.0)
    for row, expected in ((rows[1], line), (rows[2], tower), (rows[4], two)):
        assert {k: row[k] for k in expected.rates} == expected.rates
        for k, v in expected.to_dict().items():
            assert same(row[k], v), k
    if as_frame:
        names = ["conductor1", "conductor2", "conductor3", "conductor4", "conductor5", "conductor6"]
        columns = list(out.columns)
        assert columns[:2 + len(names) + 1] == ["case", "name"] + names + ["total"]
        assert columns.index("maxCurrentConductor6") < columns.index("maxCurrentAtTopConductor1")
        assert columns[-1] == "error"
        assert pandas.isna(out["conductor3"][1])  # the four-wire line has two conductors
    else:
        assert "conductor3" not in rows[1] and "conductor6" in rows[2]


UNREADABLE = {"tower": [("conductor", 1.0)]}  # read, never computed
STEEP = {"slope": 95.0}                     # read, refused by the computation
SOUND = {"slope": 5.0}

# Rows that cannot be read come first: each failing row is numbered by its
# place among all the cases, as is its case column.
BATCH_NUMBERING = {
    "unreadable, then refused": [UNREADABLE, STEEP],
    "two unreadable, one sound, then refused": [UNREADABLE, UNREADABLE, SOUND, STEEP],
    "sound, unreadable, refused, unreadable, refused": [SOUND, UNREADABLE, STEEP, UNREADABLE, STEEP],
}


@pytest.mark.parametrize("cases", BATCH_NUMBERING)
@pytest.mark.parametrize("as_frame", [False, True])
def test_each_failing_case_is_numbered_by_its_place_among_all_cases(cases, as_frame):
    cases = BATCH_NUMBERING[cases]
    if as_frame:
        pandas = pytest.importorskip("pandas")
        out = egm.batch(pandas.DataFrame(cases)).to_dict("records")
    else:
        out = egm.batch(cases)
    assert [r["case"] for r in out] == list(range(1, len(cases) + 1))
    for number, (case, row) in enumerate(zip(cases, out), start=1):
        if case is SOUND:
            assert row["error"] == ""
        else:
            reason = "wire 1: 2 items" if case is UNREADABLE else "slope 95 degrees"
            assert row["error"].startswith(f"case {number}: {reason}"), row["error"]


def built_in_density(current, scale=31.0, exponent=2.8):
    """-dP/dI of P(>I) = 1 / (1 + (I / scale)^exponent)."""
    x = current / scale
    return exponent / scale * x ** (exponent - 1) / (1 + x ** exponent) ** 2


def log_normal_density(current, median, sigma):
    return numpy.exp(-numpy.log(current / median) ** 2 / (2 * sigma ** 2)) / (current * sigma * numpy.sqrt(2 * numpy.pi))


EXPOSURE_LINES = {
    "built-in line": {},
    "built-in line on a slope of -15 degrees": {"slope": -15.0},
    "named double circuit": {"tower": NAMED, "min_current": 3.0},
    "named double circuit on a slope of 20 degrees": {"tower": NAMED, "min_current": 3.0, "slope": 20.0},
}


@pytest.mark.parametrize("line", EXPOSURE_LINES)
def test_each_conductors_exposure_integrates_to_its_own_rate(line):
    """Each conductor's rate is its exposure weighted by the current's
    density and summed over the currents, times one factor of the line's:
    the same factor for every conductor."""
    data = egm.exposure(**EXPOSURE_LINES[line])
    result = data["result"]
    weights = built_in_density(data["current"])
    factors = {}
    for name in result.conductors:
        weighted = float(numpy.sum(data[name] * weights))
        if result.rates[name] == 0.0:
            assert weighted == 0.0, name
        else:
            factors[name] = result.rates[name] / weighted
    assert len(factors) >= 2
    first = next(iter(factors.values()))
    for name, factor in factors.items():
        assert abs(factor - first) <= 1e-9 * first, name


# median kA, sigma of ln I
LOG_NORMAL = [(31.1, 0.484), (25.0, 0.6), (45.0, 0.3), (20.0, 1.2)]


@pytest.mark.parametrize("median,sigma", LOG_NORMAL)
def test_the_log_normal_rates_follow_the_median_and_sigma_given(median, sigma):
    """The line's factor comes from the built-in distribution; the log-normal
    rates are then the exposures weighted by the log-normal density of the
    median and sigma given."""
    data = egm.exposure()
    built_in = data["result"]
    factor = built_in.total / float(sum(numpy.sum(data[c] * built_in_density(data["current"]))
                                        for c in built_in.conductors))
    r = egm.rates(distribution="log-normal", current_median=median, current_sigma=sigma)
    weights = log_normal_density(data["current"], median, sigma)
    for name in r.conductors:
        expected = factor * float(numpy.sum(data[name] * weights))
        assert abs(r.rates[name] - expected) <= 1e-9 * r.total, name


# Every keyword of rates() against its egm-study flag: each value reaches its
# own input.
KEYWORD_FLAGS = [
    ({"flash_density": 5.5}, ["--flash-density", "5.5"]),
    ({"slope": -12.0}, ["--slope", "-12"]),
    ({"min_current": 10.0}, ["--min-current", "10"]),
    ({"voltage_term": 0.3}, ["--voltage-term", "0.3"]),
    ({"law": "love"}, ["--law", "love"]),
    ({"law": "custom", "law_coefficients": (8.0, 0.65, 6.4, 0.65)}, ["--law", "custom", "--law-coefficients", "8,0.65,6.4,0.65"]),
    ({"current_scale": 25.0, "current_exponent": 2.2}, ["--current-scale", "25", "--current-exponent", "2.2"]),
    ({"distribution": "log-normal", "current_median": 25.0, "current_sigma": 0.6},
     ["--distribution", "log-normal", "--current-median", "25", "--current-sigma", "0.6"]),
    ({"evaluation": "compat", "slope": 7.0}, ["--evaluation", "compat", "--slope", "7"]),
    ({"rate_method": "exposure", "slope": -7.0}, ["--rate-method", "exposure", "--slope", "-7"]),
    ({"ground_wire_sag": 9.0, "conductor_sag": 6.0}, ["--ground-wire-sag", "9", "--conductor-sag", "6"]),
    ({"conductor_sag": 4.5, "evaluation": "compat"}, ["--conductor-sag", "4.5", "--evaluation", "compat"]),
]


@pytest.mark.parametrize("kwargs,flags", KEYWORD_FLAGS)
def test_each_keyword_reaches_the_input_of_its_flag(kwargs, flags):
    run = study("rate", "--format", "json", *flags)
    assert run.returncode == 0, run.stderr
    expected = json.loads(run.stdout)["rates"]
    r = egm.rates(**kwargs)
    assert {k: v.hex() for k, v in r.rates.items()} == {k: float(v).hex() for k, v in expected.items()}


def test_a_route_adds_its_spans_failures_along_exact_chainage():
    spans = [{"name": "A", "length": 1000.0}, {"name": "B", "length": 100.1, "slope": 20.0},
             {"name": "C", "length": 200.2, "slope": 95.0}, {"name": "D", "length": 300.3, "km": 7.0},
             {"name": "E", "length": 0.1, "tower": DOUBLE_CIRCUIT, "min_current": 3.0}]
    r = egm.route(spans, flag_above=0.3)
    assert [s["km"] for s in r.spans] == [0.0, 1.0, 1.1001, 7.0, 7.3003]
    assert [s["error"] for s in r.spans][2].startswith("span 3: slope 95 degrees")
    rates = [egm.rates(), egm.rates(slope=20.0), None, egm.rates(), egm.rates(tower=DOUBLE_CIRCUIT, min_current=3.0)]
    failures = [x.total * s["length"] / 100000.0 for x, s in zip(rates, spans) if x is not None]
    assert [s["failuresTotal"] for s in r.spans if not s["error"]] == failures
    assert r.summary["failuresPerYear"]["total"] == sum(failures)
    assert r.summary["failuresPerYear"]["conductor6"] == rates[4].rates["conductor6"] * 0.1 / 100000.0
    assert (r.summary["spans"], r.summary["failed"]) == (5, 1)
    computed = [k + 1 for k, x in enumerate(rates) if x is not None]
    assert r.top == [n for _, n in sorted(zip(failures, computed), key=lambda p: -p[0])]
    ends = [1.0, 1.1001, 1.3003, 7.3003, 7.3004]
    high = [(s["km"], end, x.total) for x, s, end in zip(rates, r.spans, ends) if x and x.total > 0.3]
    assert r.flagged == high and high[0] == (1.0, 1.1001, rates[1].total)


# The messages of egm-study route, from the same planner.
BAD_SPANS = {
    "missing": ({"slope": 1.0}, "span 2 without a length"),
    "negative": ({"length": -500.0}, "span 2 length '-500'"),
    "zero": ({"length": 0.0}, "span 2 length '0'"),
    "too long": ({"length": 1e12}, "span 2 length '1e\\+12'"),
    "text": ({"length": "long"}, "span 2 length 'long'"),
    "km inf": ({"length": 10.0, "km": INF}, "span 2 km 'inf'"),
}


@pytest.mark.parametrize("case", BAD_SPANS)
def test_a_route_with_an_unusable_span_is_refused_naming_every_such_span(case):
    span, message = BAD_SPANS[case]
    spans = [{"length": 10.0}, span, {"length": 10.0}, {"name": "last", "length": -1.0}]
    with pytest.raises(ValueError, match=message) as raised:
        egm.route(spans)
    assert "span 4 (last) length '-1'" in str(raised.value)
    assert "span 1" not in str(raised.value) and "\n" not in str(raised.value)


def test_batch_releases_the_interpreter_while_it_runs():
    cases = [{"slope": (k % 41) - 20} for k in range(300)]
    ticks = []
    done = threading.Event()

    def run():
        egm.batch(cases, jobs=1)
        done.set()

    worker = threading.Thread(target=run)
    started = time.perf_counter()
    worker.start()
    while not done.is_set():
        ticks.append(time.perf_counter())
        time.sleep(0.001)
    worker.join()
    elapsed = time.perf_counter() - started
    assert elapsed > 0.05
    # This thread kept running while the batch was computed.
    assert len(ticks) > 10


def test_optional_helpers():
    pandas = pytest.importorskip("pandas")
    assert list(egm.to_dataframe(egm.rates())["total"]) == [egm.rates().total]
    frame = egm.to_dataframe(egm.strokes(current=30.0))
    assert frame.shape == (180, 7)
    assert list(frame.columns[:3]) == ["current", "degrees", "theta"]
    assert len(egm.to_dataframe(egm.sweep("slope", [0.0, 5.0]))) == 2
    exposure = egm.exposure()
    assert exposure["current"].shape == (201,)
    assert exposure["conductor1"].shape == (201,) and exposure["conductor2"].shape == (201,)
    assert exposure["result"].max_current == egm.rates().max_current
    tower = egm.exposure(tower=NAMED, min_current=3.0)
    assert all(tower[w[0]].shape == (201,) for w in NAMED if w[1] == "conductor")
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    assert len(egm.plot_strokes(egm.strokes(current=30.0)).lines) == 4
    assert len(egm.plot_strokes(egm.strokes(tower=NAMED, current=30.0)).lines) == 7
    assert egm.plot_exposure().get_xlabel() == "lightning current, kA"
    assert egm.plot_exposure(tower=NAMED, min_current=3.0).get_xlabel() == "lightning current, kA"
    assert pandas is not None


def test_help_reads_like_the_readme():
    doc = egm.rates.__doc__
    for text in ("strokes per 100 km per year", "degrees", "kA", "ValueError", "tower", "first-contact"):
        assert text in doc
    words = " ".join(egm.__doc__.split())
    assert "falls towards +x" in words
    assert "1.63 (5.015 I^0.578 + U)^1.125" in words
    assert "sound" not in words
