"""egm_shielding against egm-study and the independent reference lines."""

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
DATA = os.environ.get("EGM_TEST_DATA", os.path.join(os.path.dirname(__file__), "..", "..", "tests", "data"))


def study(*args):
    return subprocess.run([STUDY, *args], capture_output=True, text=True)


@pytest.mark.parametrize("evaluation", ["sound", "compat"])
def test_rates_equal_the_command_line_bit_for_bit(evaluation):
    run = study("rate", "--format", "json", "--evaluation", evaluation)
    assert run.returncode == 0, run.stderr
    expected = json.loads(run.stdout)
    r = egm.rates(evaluation=evaluation)
    assert r.conductor1.hex() == float(expected["rates"]["conductor1"]).hex()
    assert r.conductor2.hex() == float(expected["rates"]["conductor2"]).hex()
    assert r.total.hex() == float(expected["rates"]["total"]).hex()
    assert r.max_current == (expected["maxShieldingFailureCurrent"]["conductor1"],
                             expected["maxShieldingFailureCurrent"]["conductor2"])
    assert r.classical_max_current[0] == expected["classicalMaxShieldingFailureCurrent"]["conductor1"]
    assert r.terrain_factor == expected["terrainFactor"]
    assert r.current_range == (23.5, 223.5, 201)
    assert (r.evaluation, r.law, r.distribution) == (evaluation, "built-in", "built-in")
    assert r.to_dict()["total"] == r.total


def test_independent_reference_lines_bit_for_bit():
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


def test_strokes_shapes_values_and_their_own_memory():
    s = egm.strokes(current=23.5, voltage_term=0.0)
    assert s.widths.shape == (1, 180, 4) and s.widths.dtype == numpy.float64
    assert s.angles.shape == (180,) and s.currents.shape == (1,)
    assert s.wires == ("groundWire1", "groundWire2", "conductor1", "conductor2")
    run = study("strokes", "--current", "23.5", "--voltage-term", "0")
    lines = list(csv.reader(run.stdout.splitlines()))
    for l in (0, 29, 89, 179):
        fields = lines[l + 1]
        assert float(fields[1]).hex() == float(s.angles[l]).hex()
        for w in range(4):
            assert float(fields[3 + w]).hex() == float(s.widths[0, l, w]).hex()

    whole = egm.strokes(slope=-15.0)
    widths = whole.widths
    assert widths.shape == (201, 180, 4)
    kept = widths[57, 89].copy()
    del whole
    gc.collect()
    assert numpy.array_equal(widths[57, 89], kept)  # the array keeps its memory alive
    assert widths.base is not None


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
    assert out["error"][2] == "case 3: slope 'zero' is not a number"
    assert out["total"][0] == egm.rates().total
    assert out["total"][1] == egm.rates(slope=25.0).total
    assert out["distribution"][4] == "log-normal"
    serial = egm.batch([{"slope": s, "h2": 55 + s / 10} for s in range(-20, 21, 4)], jobs=1)
    parallel = egm.batch([{"slope": s, "h2": 55 + s / 10} for s in range(-20, 21, 4)], jobs=3)
    assert [r["total"].hex() for r in serial] == [r["total"].hex() for r in parallel]
    with pytest.raises(ValueError, match="unknown input 'height'"):
        egm.batch([{"height": 3}])


def test_invalid_inputs_raise_the_command_lines_message():
    for args, kwargs in ((["--slope", "95"], {"slope": 95.0}),
                         (["--min-current", "0"], {"min_current": 0.0}),
                         (["--voltage-term", "40"], {"voltage_term": 40.0})):
        run = study("rate", *args)
        assert run.returncode == 1
        message = run.stderr.strip().removeprefix("egm-study: ")
        with pytest.raises(ValueError) as raised:
            egm.rates(**kwargs)
        assert str(raised.value) == message
    line = egm.Line(ground_wire_1=(9.89, -57.0))
    with pytest.raises(ValueError, match="h1 -57 m: must be greater than 0 m"):
        egm.rates(line)


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


def test_optional_helpers():
    pandas = pytest.importorskip("pandas")
    assert list(egm.to_dataframe(egm.rates())["total"]) == [egm.rates().total]
    frame = egm.to_dataframe(egm.strokes(current=30.0))
    assert frame.shape == (180, 7)
    assert list(frame.columns[:3]) == ["current", "degrees", "theta"]
    assert len(egm.to_dataframe(egm.sweep("slope", [0.0, 5.0]))) == 2
    exposure = egm.exposure()
    assert exposure["current"].shape == (201,)
    assert exposure["result"].max_current[0] == egm.rates().max_current[0]
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    assert len(egm.plot_strokes(egm.strokes(current=30.0)).lines) == 4
    assert egm.plot_exposure().get_xlabel() == "lightning current, kA"
    assert pandas is not None


def test_help_reads_like_the_readme():
    doc = egm.rates.__doc__
    for text in ("strokes per 100 km per year", "degrees", "kA", "ValueError"):
        assert text in doc
    words = " ".join(egm.__doc__.split())
    assert "falls towards +x" in words
    assert "1.63 (5.015 I^0.578 + U)^1.125" in words
