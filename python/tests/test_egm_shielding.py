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
    assert rows[0]["error"].startswith("case 1: ")


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
    assert rows[2]["error"].startswith("case 3: slope 95 degrees")
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
    assert egm.batch([{"slope": float("nan"), "tower": None}])[0]["total"] == egm.rates().total
    with pytest.raises(ValueError):
        egm.rates(slope="")


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
