"""The two rate methods and the wires' sag, as egm_shielding gives them."""

import math
import os
import tempfile

import numpy
import pytest

import egm_shielding as egm

# One ground wire above two circuits of three conductors, with names.
NAMED = [("shield", "ground wire", 0.0, 55.0, 0.0),
         ("A1", "conductor", 6.0, 45.0, 0.0), ("B1", "conductor", 8.0, 37.0, 0.0),
         ("C1", "conductor", 6.5, 29.0, 0.0), ("A2", "conductor", -6.0, 45.0, 0.0),
         ("B2", "conductor", -8.0, 37.0, 0.0), ("C2", "conductor", -6.5, 29.0, 0.0)]
# Each wire's sag, m, in NAMED's order.
NAMED_SAG = [4.5, 9.0, 7.5, 12.0, 9.0, 6.0, 3.0]


def built_in_density(current, scale=31.0, exponent=2.8):
    """-dP/dI of P(>I) = 1 / (1 + (I / scale)^exponent), per kA."""
    x = current / scale
    return exponent / scale * x ** (exponent - 1) / (1 + x ** exponent) ** 2


def relative(a, b):
    return abs(a - b) / max(abs(a), abs(b)) if a != b else 0.0


# --- Rate methods -----------------------------------------------------------

# The built-in line under ieee-1992 without the voltage term: the guides'
# figure (exposure) and the model's share.
IEEE_1992 = {"share": 0.1065, "exposure": 0.15508}


@pytest.mark.parametrize("method", IEEE_1992)
def test_each_rate_method_gives_its_figure_on_the_built_in_line(method):
    r = egm.rates(law="ieee-1992", voltage_term=0.0, rate_method=method)
    assert r.total == pytest.approx(IEEE_1992[method], abs=5e-5)
    assert r.rate_method == method
    assert r.to_dict()["rateMethod"] == method
    assert method in repr(r)


def test_share_is_the_default_rate_method():
    default = egm.rates()
    assert default.rate_method == "share"
    assert default.to_dict() == egm.rates(rate_method="share").to_dict()


EXPOSURE_TOWERS = {
    "built-in line": {},
    "built-in line, ieee-1992": {"law": "ieee-1992", "voltage_term": 0.0},
    "named double circuit from 3 kA": {"tower": NAMED, "min_current": 3.0},
    "named double circuit, 5 flashes per km2": {"tower": NAMED, "min_current": 3.0, "flash_density": 5.0},
}


@pytest.mark.parametrize("tower", EXPOSURE_TOWERS)
def test_the_exposure_rate_is_the_vertical_widths_weighted_by_the_current_density(tower):
    """0.1 N_g times the integral of f(I) D(I) dI over the 200 kA above the
    lowest current per conductor, D the conductor's width for vertical
    strokes (theta = pi/2, angle step 90), integrated here by the
    trapezoidal rule every 0.1 kA from the widths strokes(current=I) gives:
    within the 1e-4 of the integral the method promises."""
    inputs = EXPOSURE_TOWERS[tower]
    r = egm.rates(rate_method="exposure", **inputs)
    lowest = inputs.get("min_current", 23.5)
    currents = lowest + numpy.arange(2001) * 0.1
    widths = numpy.array([egm.strokes(current=float(i), **inputs).widths[0, 89, :] for i in currents])
    s = egm.strokes(current=lowest, **inputs)
    assert s.angles[89] == math.pi / 2
    weights = built_in_density(currents)
    density = inputs.get("flash_density", 2.8)
    for name in r.conductors:
        integrand = weights * widths[:, s.wires.index(name)]
        expected = 0.1 * density * float(numpy.sum((integrand[1:] + integrand[:-1]) / 2.0) * 0.1)
        assert abs(r.rates[name] - expected) <= 1e-4 * r.total, name
    assert r.total == pytest.approx(sum(r.rates[name] for name in r.conductors), rel=1e-12)
    assert r.total > 0.0


@pytest.mark.parametrize("as_frame", [False, True])
def test_a_batch_mixing_both_methods_keeps_each_rows_method(as_frame):
    cases = [{"name": "default", "slope": 5.0},
             {"name": "exposure", "slope": 5.0, "rate_method": "exposure"},
             {"name": "share", "slope": 5.0, "rate_method": "share"},
             {"name": "exposure, tower", "tower": NAMED, "min_current": 3.0, "rate_method": "exposure"},
             {"name": "unknown", "rate_method": "guide"}]
    if as_frame:
        pandas = pytest.importorskip("pandas")
        rows = egm.batch(pandas.DataFrame(cases), jobs=2).to_dict("records")
    else:
        rows = egm.batch(cases, jobs=2)
    expected = [egm.rates(slope=5.0), egm.rates(slope=5.0, rate_method="exposure"),
                egm.rates(slope=5.0, rate_method="share"),
                egm.rates(tower=NAMED, min_current=3.0, rate_method="exposure")]
    for row, result in zip(rows, expected):
        assert row["error"] == "", row["name"]
        assert row["rateMethod"] == result.rate_method, row["name"]
        assert row["total"] == result.total, row["name"]
    assert [r["rateMethod"] for r in rows[:4]] == ["share", "exposure", "share", "exposure"]
    assert rows[4]["error"].startswith("case 5: ") and "guide" in rows[4]["error"]


def test_a_sweep_over_the_rate_method_and_the_hyphenated_name():
    rows = egm.sweep("rate-method", ["share", "exposure"], law="ieee-1992", voltage_term=0.0)
    assert [r["rateMethod"] for r in rows] == ["share", "exposure"]
    assert rows[1]["total"] == egm.rates(law="ieee-1992", voltage_term=0.0, rate_method="exposure").total
    assert egm.batch([{"rate-method": "exposure"}])[0]["rateMethod"] == "exposure"


def test_a_route_adds_failures_of_one_method_only():
    spans = [{"length": 1000.0}, {"length": 500.0, "slope": 10.0}]
    share = egm.route(spans)
    exposure = egm.route(spans, rate_method="exposure")
    assert share.summary["rateMethod"] == "share"
    assert exposure.summary["rateMethod"] == "exposure"
    assert [s["rateMethod"] for s in exposure.spans] == ["exposure", "exposure"]
    expected = egm.rates(rate_method="exposure").total * 1.0 / 100.0 + \
        egm.rates(slope=10.0, rate_method="exposure").total * 0.5 / 100.0
    assert exposure.summary["failuresPerYear"]["total"] == pytest.approx(expected, rel=1e-12)
    # A span's own method is kept, and two methods on one route are refused.
    with pytest.raises(ValueError, match="different rate methods.*share: spans 1; exposure: spans 2"):
        egm.route([{"length": 1000.0}, {"length": 500.0, "rate_method": "exposure"}])
    with pytest.raises(ValueError, match="different rate methods"):
        egm.route([{"length": 1000.0}, {"length": 500.0, "rate_method": "share"}], rate_method="exposure")


# --- Sag --------------------------------------------------------------------

def lowered(wires, sags):
    """The wires at their span's average height, height - 2/3 sag."""
    return [w[:3] + (w[3] - 2.0 / 3.0 * sag,) + w[4:] for w, sag in zip(wires, sags)]


def with_sag_tuples():
    return [w + (sag,) for w, sag in zip(NAMED, NAMED_SAG)]


def with_sag_dicts():
    return [{"name": w[0], "kind": w[1], "x": w[2], "height": w[3], "voltage_term": w[4], "sag": sag}
            for w, sag in zip(NAMED, NAMED_SAG)]


def with_sag_frame():
    pandas = pytest.importorskip("pandas")
    return pandas.DataFrame(with_sag_dicts())


def with_sag_file():
    """A tower file with a sag column, egm-study's CSV; the ground wire's
    voltage term left empty."""
    path = os.path.join(tempfile.mkdtemp(), "sagging.csv")
    with open(path, "w") as f:
        f.write("name,kind,x,height,voltage-term,sag\n")
        for w, sag in zip(NAMED, NAMED_SAG):
            voltage = w[4] if w[1] == "conductor" else ""
            f.write(f"{w[0]},{w[1]},{w[2]},{w[3]},{voltage},{sag}\n")
    return path


SAG_TOWERS = {
    "tuples with a sag": with_sag_tuples,
    "dicts with a sag": with_sag_dicts,
    "DataFrame with a sag column": with_sag_frame,
    "tower file with a sag column": with_sag_file,
}


@pytest.mark.parametrize("method", ["share", "exposure"])
@pytest.mark.parametrize("slope", [0.0, 12.0])
@pytest.mark.parametrize("form", SAG_TOWERS)
def test_a_tower_with_sag_is_the_tower_lowered_by_two_thirds_of_it(form, slope, method):
    inputs = {"min_current": 3.0, "slope": slope, "rate_method": method}
    r = egm.rates(tower=SAG_TOWERS[form](), **inputs)
    low = lowered(NAMED, NAMED_SAG)
    expected = egm.rates(tower=low, **inputs)
    assert r.rates.keys() == expected.rates.keys()
    # The share method's collection width keeps the ground wires' height at
    # the tower: 28 * 55^0.6 here, not 28 * 52^0.6.
    scale = 1.0
    if method == "share":
        assert r.collection_width == pytest.approx(28.0 * 55.0 ** 0.6, rel=1e-12)
        scale = r.collection_width / expected.collection_width
    for name, rate in expected.rates.items():
        assert relative(r.rates[name], rate * scale) <= 1e-12, name
    assert r.heights == {w[0]: w[3] for w in low}
    assert r.max_current == expected.max_current
    assert r.to_dict()["heightC1"] == NAMED[3][3] - 2.0 / 3.0 * NAMED_SAG[3]


@pytest.mark.parametrize("evaluation", ["first-contact", "compat"])
@pytest.mark.parametrize("ground_wire_sag,conductor_sag", [(9.0, 6.0), (0.0, 12.0), (15.0, 0.0)])
def test_the_built_in_lines_sag_lowers_its_wires(ground_wire_sag, conductor_sag, evaluation):
    r = egm.rates(ground_wire_sag=ground_wire_sag, conductor_sag=conductor_sag, evaluation=evaluation)
    g = 57.0 - 2.0 / 3.0 * ground_wire_sag
    c = 42.0 - 2.0 / 3.0 * conductor_sag
    expected = egm.rates(egm.Line((9.89, g), (-9.89, g), (11.2, c), (-11.2, c)), evaluation=evaluation)
    # First contact collects by the ground wires' height at the tower; compat
    # keeps its own collection width, of the heights computed with.
    scale = r.collection_width / expected.collection_width if evaluation == "first-contact" else 1.0
    for name, rate in expected.rates.items():
        assert relative(r.rates[name], rate * scale) <= 1e-12, name
    assert r.heights == {"groundWire1": g, "groundWire2": g, "conductor1": c, "conductor2": c}
    rows = egm.batch([{"ground-wire-sag": ground_wire_sag, "conductor_sag": conductor_sag,
                       "evaluation": evaluation}])
    assert rows[0]["total"] == r.total and rows[0]["heightConductor2"] == c


NO_SAG = {
    "built-in line, keywords": ({"ground_wire_sag": 0.0, "conductor_sag": 0.0}, {}),
    "built-in line, compat": ({"conductor_sag": 0.0, "evaluation": "compat"}, {"evaluation": "compat"}),
    "tower, sag 0 in every tuple": ({"tower": [w + (0.0,) for w in NAMED], "min_current": 3.0},
                                    {"tower": NAMED, "min_current": 3.0}),
    "tower, sag 0 in every dict": ({"tower": [{"name": w[0], "kind": w[1], "x": w[2], "height": w[3], "sag": 0}
                                              for w in NAMED]}, {"tower": NAMED}),
}


@pytest.mark.parametrize("method", ["share", "exposure"])
@pytest.mark.parametrize("case", NO_SAG)
def test_sag_0_gives_every_figure_unchanged(case, method):
    given, plain = NO_SAG[case]
    r = egm.rates(rate_method=method, **given)
    expected = egm.rates(rate_method=method, **plain)
    assert {k: v.hex() for k, v in r.rates.items()} == {k: v.hex() for k, v in expected.rates.items()}
    assert r.to_dict() == expected.to_dict()


def test_sag_0_keeps_the_built_in_lines_reference_figure():
    r = egm.rates(ground_wire_sag=0.0, conductor_sag=0.0)
    assert abs(r.total - 0.24300561714751143) <= 1e-9 * 0.24300561714751143
    assert r.heights == {"groundWire1": 57.0, "groundWire2": 57.0, "conductor1": 42.0, "conductor2": 42.0}


NAN = float("nan")
GROUND_WIRE = ("ground wire", 0.0, 50.0)

# Each call gives a sag that cannot be used: negative, not a number, or so
# large that the average height would not stay above the ground.
BAD_SAG = {
    "tower, negative": (lambda: egm.rates(tower=[(None,) + GROUND_WIRE + (0.0, -1.0), ("conductor", 1.0, 30.0)]),
                        "wire 1.*sag -1 m"),
    "tower, nan": (lambda: egm.rates(tower=[(None,) + GROUND_WIRE + (0.0, NAN), ("conductor", 1.0, 30.0)]),
                   "wire 1: sag nan"),
    "tower, 1.5 times the height": (lambda: egm.rates(tower=[(None, "conductor", 1.0, 30.0, 0.0, 45.0)]),
                                    "sag 45 m"),
    "tower, twice the height": (lambda: egm.rates(tower=[{"kind": "conductor", "x": 1.0, "height": 30.0,
                                                          "sag": 60.0}]), "sag 60 m"),
    "tower, not a number": (lambda: egm.rates(tower=[{"kind": "conductor", "x": 1.0, "height": 30.0,
                                                      "sag": "low"}]), "wire 1: sag 'low' is not a number"),
    "conductor sag negative": (lambda: egm.rates(conductor_sag=-0.5), "sag -0.5"),
    "conductor sag nan": (lambda: egm.rates(conductor_sag=NAN), "conductor_sag nan"),
    "conductor sag 1.5 times the height": (lambda: egm.rates(conductor_sag=63.0), "sag 63"),
    "ground wire sag far too large": (lambda: egm.rates(ground_wire_sag=200.0), "sag 200"),
    "ground wire sag on a tower": (lambda: egm.rates(tower=NAMED, ground_wire_sag=3.0), "ground-wire-sag"),
    "eight items": (lambda: egm.rates(tower=[(None, "conductor", 1.0, 30.0, 0.0, 1.0, 2.0, 3.0)]),
                    "wire 1: 8 items"),
}


@pytest.mark.parametrize("case", BAD_SAG)
def test_a_bad_sag_raises_value_error_naming_it(case):
    call, message = BAD_SAG[case]
    with pytest.raises(ValueError, match=message) as raised:
        call()
    assert "\n" not in str(raised.value)


def test_a_bad_sag_in_a_batch_is_that_rows_error():
    rows = egm.batch([{"conductor_sag": 3.0}, {"conductor_sag": -3.0},
                      {"tower": [(None, "conductor", 1.0, 30.0, 0.0, NAN)]}])
    assert rows[0]["error"] == ""
    assert rows[1]["error"].startswith("case 2: ") and "sag -3" in rows[1]["error"]
    assert rows[2]["error"].startswith("case 3: wire 1: sag nan")


def test_the_help_explains_rate_methods_sag_and_points_to_the_models_page():
    for doc in (egm.__doc__, egm.rates.__doc__):
        words = " ".join(doc.split())
        for text in ("docs/models.md", "rate_method", "'exposure'", "2/3 sag"):
            assert text in words, text
    assert "rate_method" in egm.Result.__doc__ and "heights" in egm.Result.__doc__
