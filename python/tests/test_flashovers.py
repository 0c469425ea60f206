"""Flashovers: each conductor's critical current, its flashover rate (the
strokes from the critical current up), thunder days and the CIGRE and table
current distributions, as egm_shielding gives them."""

import math
import os
import re
import tempfile

import pytest

import egm_shielding as egm

METHODS = ("share", "exposure")

# The built-in line with conductor 1's critical current 9.5 kA and conductor
# 2's 14.25 kA (built-in law and distribution, share method): the flashover
# rates of an independent implementation of the first-contact evaluation.
REFERENCE = {"conductor1": 0.46340687541443837, "conductor2": 0.036489047815348626,
             "total": 0.499895923229787}
# Agreement expected with an independent implementation: relative to the total.
REFERENCE_TOLERANCE = 1e-9

# The built-in line as a tower: (name, kind, x, height, voltage term, sag),
# names left to their defaults.
BUILT_IN = [(None, "ground wire", 9.89, 57.0, 0.0, 0.0), (None, "ground wire", -9.89, 57.0, 0.0, 0.0),
            (None, "conductor", 11.2, 42.0, 0.8, 0.0), (None, "conductor", -11.2, 42.0, -0.8, 0.0)]
# Each wire's critical current in BUILT_IN's order (None: not given).
REFERENCE_IC = (None, None, 9.5, 14.25)


def as_dicts(ic_key):
    return [{"kind": w[1], "x": w[2], "height": w[3], "voltage_term": w[4], ic_key: ic}
            for w, ic in zip(BUILT_IN, REFERENCE_IC)]


def as_frame():
    pandas = pytest.importorskip("pandas")
    return pandas.DataFrame([{"kind": w[1], "x": w[2], "height": w[3], "voltage-term": w[4],
                              "critical-current": math.nan if ic is None else ic}
                             for w, ic in zip(BUILT_IN, REFERENCE_IC)])


def as_file():
    path = os.path.join(tempfile.mkdtemp(), "insulated.csv")
    with open(path, "w") as f:
        f.write("kind,x,height,voltage-term,critical-current\n")
        for w, ic in zip(BUILT_IN, REFERENCE_IC):
            f.write(f"{w[1]},{w[2]},{w[3]},{w[4]},{'' if ic is None else ic}\n")
    return path


REFERENCE_FORMS = {
    "keywords per conductor": lambda: {"critical_current3": 9.5, "critical_current4": 14.25},
    "tuples with a critical current": lambda: {"tower": [w + (ic,) for w, ic in zip(BUILT_IN, REFERENCE_IC)]},
    "dicts with critical-current": lambda: {"tower": as_dicts("critical-current")},
    "dicts with critical_current": lambda: {"tower": as_dicts("critical_current")},
    "DataFrame, NaN for the ground wires": lambda: {"tower": as_frame()},
    "tower file": lambda: {"tower": as_file()},
}


@pytest.mark.parametrize("form", REFERENCE_FORMS.values(), ids=REFERENCE_FORMS.keys())
def test_the_flashover_rates_agree_with_an_independent_implementation(form):
    r = egm.rates(**form())
    assert set(r.flashover_rates) == set(REFERENCE)
    for name, expected in REFERENCE.items():
        assert abs(r.flashover_rates[name] - expected) <= REFERENCE_TOLERANCE * REFERENCE["total"], name
    assert r.flashover_total == r.flashover_rates["total"]
    assert r.critical_currents == {"conductor1": 9.5, "conductor2": 14.25}
    assert r.perfectly_shielded == ()
    # The strokes from the lowest current are the built-in line's own.
    assert r.rates == egm.rates().rates


def test_no_critical_current_gives_empty_flashover_figures():
    r = egm.rates()
    assert r.critical_currents == {} and r.flashover_rates == {}
    assert r.flashover_total is None and r.perfectly_shielded == ()


# A tower of three conductors under one ground wire, each with its own
# voltage term, as dicts.
THREE = [{"kind": "ground wire", "x": 0.0, "height": 40.0},
         {"name": "a", "kind": "conductor", "x": 7.0, "height": 30.0, "voltage_term": 0.5},
         {"name": "b", "kind": "conductor", "x": -6.0, "height": 28.0},
         {"name": "c", "kind": "conductor", "x": 0.0, "height": 22.0, "voltage_term": -0.3}]


def three_with(currents):
    """THREE with a critical current per conductor (None: not given)."""
    tower = [dict(THREE[0])]
    for wire, ic in zip(THREE[1:], currents):
        tower.append(dict(wire, critical_current=ic))
    return tower


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("ic", [3.0, 9.5, 23.5, 41.25])
def test_one_critical_current_everywhere_is_that_lowest_current_to_the_bit(ic, method):
    r = egm.rates(critical_current=ic, rate_method=method)
    assert r.flashover_rates == egm.rates(min_current=ic, rate_method=method).rates
    r = egm.rates(tower=three_with([ic] * 3), rate_method=method)
    assert r.flashover_rates == egm.rates(tower=THREE, min_current=ic, rate_method=method).rates


@pytest.mark.parametrize("method", METHODS)
def test_raising_one_critical_current_lowers_only_that_conductors_flashover_rate(method):
    before = None
    for ic in (3.0, 5.5, 9.5, 12.0, 12.25, 20.0, 31.0, 47.5):
        r = egm.rates(tower=three_with([12.0, ic, 7.0]), rate_method=method)
        if before is not None:
            assert r.flashover_rates["b"] <= before.flashover_rates["b"], ic
            assert r.flashover_rates["a"] == before.flashover_rates["a"]
            assert r.flashover_rates["c"] == before.flashover_rates["c"]
        before = r


@pytest.mark.parametrize("method", METHODS)
def test_a_perfectly_shielded_conductor_has_no_flashovers(method):
    r = egm.rates(critical_current3=80.0, critical_current4=14.25, rate_method=method)
    assert r.perfectly_shielded == ("conductor1",)
    assert r.flashover_rates["conductor1"] == 0.0
    # The other conductor's is its rate from its own critical current.
    assert r.flashover_rates["conductor2"] == egm.rates(min_current=14.25, rate_method=method).conductor2
    r = egm.rates(critical_current=80.0, rate_method=method)
    assert r.perfectly_shielded == ("conductor1", "conductor2")
    assert r.flashover_rates == {"conductor1": 0.0, "conductor2": 0.0, "total": 0.0}


@pytest.mark.parametrize("ic", [20.0, 30.0, 60.0, 70.0, 80.0, 100.0])
def test_perfectly_shielded_is_a_critical_current_above_the_maximum_current(ic):
    # The maximum currents of the integration from 3 kA, which covers every
    # current from ic up that reaches a conductor: 74.47 and 24.84 kA on the
    # built-in line.
    top = egm.rates(min_current=3.0).max_current
    r = egm.rates(critical_current=ic)
    for name in r.conductors:
        assert (name in r.perfectly_shielded) == (top[name] is None or top[name] < ic), name
        assert (r.flashover_rates[name] == 0.0) == (name in r.perfectly_shielded), name


def test_the_critical_current_of_the_cfo_and_surge_impedance():
    assert egm.rates(cfo=1200, surge_impedance=400).critical_currents == {"conductor1": 6.0,
                                                                           "conductor2": 6.0}
    # conductor 1 alone, from its insulation's length: CFO 605 kV/m 2 m.
    r = egm.rates(insulation_length3=2.0, surge_impedance3=400.0)
    assert list(r.critical_currents) == ["conductor1"]
    assert r.critical_currents["conductor1"] == pytest.approx(2 * 605.0 * 2.0 / 400.0, rel=1e-15)
    assert list(r.flashover_rates) == ["conductor1", "total"]
    assert r.flashover_rates["total"] == r.flashover_rates["conductor1"]


def corona_critical_current(cfo, radius, height):
    """Ic = 2 CFO / Z, Z = 60 sqrt(ln(2h/r) ln(2h/R_c)), the corona radius R_c
    solving R_c ln(2h/R_c) = CFO / 1500 kV/m (by bisection, on the root
    below 2h/e where the left side rises)."""
    target = cfo / 1500.0
    low, high = radius, 2.0 * height / math.e
    for _ in range(200):
        mid = 0.5 * (low + high)
        if mid * math.log(2.0 * height / mid) < target:
            low = mid
        else:
            high = mid
    corona = max(0.5 * (low + high), radius)
    z = 60.0 * math.sqrt(math.log(2.0 * height / radius) * math.log(2.0 * height / corona))
    return 2.0 * cfo / z


@pytest.mark.parametrize("cfo,radius,height", [(1210.0, 0.0141, 20.0), (600.0, 0.02, 35.0)])
def test_the_critical_current_under_corona(cfo, radius, height):
    r = egm.rates(tower=[("ground wire", 0.0, height + 10.0),
                         {"kind": "conductor", "x": 3.0, "height": height, "conductor-radius": radius,
                          "cfo": cfo}])
    assert r.critical_currents["conductor1"] == pytest.approx(corona_critical_current(cfo, radius, height),
                                                              rel=1e-6)
    if cfo == 1210.0:
        assert r.critical_currents["conductor1"] == pytest.approx(6.027, abs=5e-4)


BAD_INSULATION = {
    "critical current below 0": ({"critical_current": -1.0}, "critical-current -1"),
    "critical current and cfo": ({"critical_current3": 3.0, "cfo3": 1000.0}, "critical-current 3 kA and cfo"),
    "cfo without an impedance": ({"cfo": 1000.0}, "cfo 1000"),
    "cfo too high": ({"cfo": 20000.0, "surge_impedance": 400.0}, "cfo 20000"),
    "on a ground wire": ({"tower": [{"kind": "ground wire", "x": 0, "height": 30, "critical-current": 5},
                                    ("conductor", 3, 20)]}, "wire 1 (groundWire1): critical-current 5"),
    "a NaN in a dict": ({"tower": [("ground wire", 0, 30), {"kind": "conductor", "x": 3, "height": 20,
                                                           "cfo": math.nan}]}, "wire 2: cfo nan"),
    "not a number": ({"tower": [("ground wire", 0, 30), {"kind": "conductor", "x": 3, "height": 20,
                                                        "surge_impedance": "high"}]}, "surge-impedance 'high'"),
}


@pytest.mark.parametrize("kwargs,message", BAD_INSULATION.values(), ids=BAD_INSULATION.keys())
def test_bad_insulation_raises_value_error_naming_it(kwargs, message):
    with pytest.raises(ValueError, match=re.escape(message)):
        egm.rates(**kwargs)


def test_an_insulation_keyword_that_is_none_is_a_type_error():
    with pytest.raises(TypeError, match="critical_current5"):
        egm.rates(critical_current5=3.0)


def test_a_dataframes_nan_is_not_given():
    pandas = pytest.importorskip("pandas")
    frame = pandas.DataFrame([{"kind": "ground wire", "x": 0.0, "height": 30.0, "cfo": math.nan,
                               "surge-impedance": math.nan},
                              {"kind": "conductor", "x": 3.0, "height": 20.0, "cfo": 1000.0,
                               "surge-impedance": 500.0},
                              {"kind": "conductor", "x": -3.0, "height": 20.0, "cfo": math.nan,
                               "surge-impedance": math.nan}])
    assert egm.rates(tower=frame).critical_currents == {"conductor1": 4.0}


@pytest.mark.parametrize("method", METHODS)
def test_thunder_days_give_their_flash_density(method):
    assert egm.rates(thunder_days=16, rate_method=method).rates == \
        egm.rates(flash_density=1.28, rate_method=method).rates
    with pytest.raises(ValueError, match="flash-density and thunder-days"):
        egm.rates(thunder_days=16, flash_density=1.28, rate_method=method)


def test_thunder_days_in_a_batch():
    rows = egm.batch([{"thunder-days": 16}, {"thunder_days": 16, "flash_density": 1.28}])
    assert rows[0]["error"] == "" and rows[0]["total"] == egm.rates(flash_density=1.28).total
    assert "flash-density and thunder-days" in rows[1]["error"]


# P(> I) of the built-in distribution every 0.5 kA from 0.5 to 1000 kA.
SAMPLED = [(0.5 * k, 1.0 / (1.0 + (0.5 * k / 31.0) ** 2.8)) for k in range(1, 2001)]
# The built-in rates from a monotone interpolation of SAMPLED: the error of
# the interpolated density, relative.
TABLE_TOLERANCE = 0.002


def sampled_frame():
    pandas = pytest.importorskip("pandas")
    return pandas.DataFrame(SAMPLED, columns=["current", "probability"])


def sampled_file():
    path = os.path.join(tempfile.mkdtemp(), "currents.csv")
    with open(path, "w") as f:
        f.write("current,probability\n")
        for current, p in SAMPLED:
            f.write(f"{current!r},{p!r}\n")
    return path


TABLE_FORMS = {"pairs": lambda: SAMPLED, "DataFrame": sampled_frame, "CSV file": sampled_file}


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("form", TABLE_FORMS.values(), ids=TABLE_FORMS.keys())
def test_a_table_sampled_from_the_built_in_curve_gives_its_rates(form, method):
    r = egm.rates(distribution="table", current_table=form(), min_current=15, rate_method=method)
    built_in = egm.rates(min_current=15, rate_method=method)
    assert r.distribution == "table"
    for name, rate in built_in.rates.items():
        assert abs(r.rates[name] - rate) <= TABLE_TOLERANCE * rate, name
    # Every form gives the same points, so the same figures.
    assert r.rates == egm.rates(distribution="table", current_table=SAMPLED, min_current=15,
                                rate_method=method).rates


BAD_TABLES = {
    "a probability that rises": ([(1.0, 0.9), (2.0, 0.8), (3.0, 0.85)], "row 3"),
    "a current that falls": ([(1.0, 0.9), (0.5, 0.8)], "row 2"),
    "one row": ([(1.0, 0.9)], "two rows"),
    "a probability above 1": ([(1.0, 1.5), (2.0, 0.5)], "row 1"),
    "not a pair": ([(1.0, 0.9), (2.0, 0.5, 0.1)], "row 2"),
    "not a number": ([(1.0, 0.9), ("two", 0.5)], "row 2: current 'two'"),
    "a missing file": (os.path.join(tempfile.gettempdir(), "no-such-table.csv"), "no-such-table.csv"),
}


@pytest.mark.parametrize("table,message", BAD_TABLES.values(), ids=BAD_TABLES.keys())
def test_a_table_that_is_no_distribution_raises_value_error_naming_the_row(table, message):
    with pytest.raises(ValueError, match=message):
        egm.rates(distribution="table", current_table=table)


def test_a_table_goes_with_the_table_distribution():
    with pytest.raises(ValueError, match="current table"):
        egm.rates(distribution="table")
    with pytest.raises(ValueError, match="current-table"):
        egm.rates(current_table=SAMPLED)


@pytest.mark.parametrize("method", METHODS)
def test_the_cigre_distribution_gives_a_rate(method):
    r = egm.rates(distribution="cigre", rate_method=method)
    assert r.distribution == "cigre"
    assert math.isfinite(r.total) and r.total > 0.0
    assert r.total != egm.rates(rate_method=method).total


def test_batch_sweep_and_route_carry_the_insulation():
    r = egm.rates(critical_current3=9.5, critical_current4=14.25)
    rows = egm.batch([{"critical-current3": 9.5, "critical_current4": 14.25},
                      {"tower": as_dicts("critical-current")},
                      {"distribution": "table", "current_table": SAMPLED, "min_current": 15}])
    assert [row["error"] for row in rows] == ["", "", ""]
    for row in rows[:2]:
        assert row["total"] == r.total
        # The study layer's flashover columns, as the command line writes them.
        assert row["flashoverTotal"] == r.flashover_total
        assert row["flashoverRateConductor1"] == r.flashover_rates["conductor1"]
        assert row["criticalCurrentConductor2"] == 14.25
    assert rows[2]["total"] == egm.rates(distribution="table", current_table=SAMPLED, min_current=15).total
    swept = egm.sweep("critical-current3", [9.5, 80.0], critical_current4=14.25)
    assert [row["error"] for row in swept] == ["", ""]
    assert swept[0]["total"] == r.total
    route = egm.route([{"length": 500.0, "critical_current3": 9.5, "critical_current4": 14.25},
                       {"length": 250.0, "tower": as_dicts("critical-current")}])
    assert route.summary["failed"] == 0
    assert [span["total"] for span in route.spans] == [r.total, r.total]


def test_exposure_and_strokes_take_the_same_inputs():
    kwargs = {"critical_current3": 9.5, "cfo4": 1200.0, "surge_impedance4": 400.0, "thunder_days": 30}
    r = egm.rates(**kwargs)
    assert egm.exposure(**kwargs)["result"].flashover_rates == r.flashover_rates
    assert r.critical_currents == {"conductor1": 9.5, "conductor2": 6.0}
    widths = egm.strokes(current=30.0, distribution="table", current_table=SAMPLED, **kwargs).widths
    assert (widths == egm.strokes(current=30.0).widths).all()
