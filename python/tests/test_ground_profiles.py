"""The first contact over a ground profile as egm_shielding takes it: tuples,
a DataFrame or a file, in rates, strokes, batch and sweep, against the
figures of an independent brute force, and the refusals."""

import math

import pytest

import egm_shielding as egm

# The built-in line on a ridge falling 25 degrees both ways and on a 30
# degree hillside falling towards +x (share method), from a brute force of
# its own.
FALL25 = -279.78459489299917
RIDGE = [(-600.0, FALL25), (0.0, 0.0), (600.0, FALL25)]
RIDGE_FIGURES = {"conductor1": 1.21295304396325, "conductor2": 0.35249678037467713,
                 "total": 1.5654498243379273}
HILLSIDE = [(-600.0, 346.41016151377545), (600.0, -346.41016151377545)]


def close(a, b, scale):
    return abs(a - b) <= 1e-9 * scale


def test_a_ridge_given_three_ways_meets_the_brute_force(tmp_path):
    pandas = pytest.importorskip("pandas")
    path = tmp_path / "ridge.csv"
    path.write_text("x,elevation,cover\n" + "".join(f"{x!r},{z!r},\n" for x, z in RIDGE))
    frame = pandas.DataFrame({"X": [p[0] for p in RIDGE], "elevation": [p[1] for p in RIDGE]})
    total = RIDGE_FIGURES["total"]
    for ground in (RIDGE, [(x, z, 0.0) for x, z in RIDGE], frame, str(path), path):
        r = egm.rates(ground=ground)
        assert close(r.rates["conductor1"], RIDGE_FIGURES["conductor1"], total)
        assert close(r.rates["conductor2"], RIDGE_FIGURES["conductor2"], total)
        assert close(r.total, total, total)


def test_batch_and_sweep_take_the_profile():
    rows = egm.batch([{"name": "ridge", "ground": RIDGE}, {"name": "plane"},
                      {"name": "hill", "ground": HILLSIDE}])
    assert close(rows[0]["total"], RIDGE_FIGURES["total"], RIDGE_FIGURES["total"])
    assert close(rows[1]["total"], 0.24300561714751143, 0.243)
    assert close(rows[2]["conductor1"], 1.2930605724710151, 1.293)
    assert rows[2]["conductor2"] < 1e-40
    swept = egm.sweep("min-current", [23.5, 30.0], ground=RIDGE)
    assert swept[0]["total"] == rows[0]["total"]
    assert swept[1]["total"] < swept[0]["total"]


def test_another_lines_wire_catches_but_is_not_rated():
    tower = [("GW", "ground wire", 0.0, 40.0, 0.0), ("A", "conductor", 6.0, 30.0, 0.0),
             ("next", "other wire", 30.0, 32.0, 0.0)]
    s = egm.strokes(tower=tower, ground=RIDGE, current=20.0)
    assert s.wires == ("GW", "A", "next")
    assert s.widths[:, :, 2].sum() > 0.0
    r = egm.rates(tower=tower, ground=RIDGE, rate_method="exposure")
    assert list(r.conductors) == ["A"]
    alone = egm.rates(tower=tower[:2], ground=RIDGE, rate_method="exposure")
    assert r.rates["A"] <= alone.rates["A"]


@pytest.mark.parametrize("ground, message", [
    ([(0.0, 0.0)], "at least two points"),
    ([(-5.0, 0.0), (-5.0, 1.0), (5.0, 0.0)], "point 2: x -5 m: x must increase strictly"),
    ([(-5.0, math.nan), (5.0, 0.0)], "point 1: elevation"),
    ([(-5.0, 0.0, -1.0), (5.0, 0.0)], "point 1: cover -1 m"),
    ([(1.0, 0.0), (5.0, 0.0)], "it must reach the tower at x = 0"),
    ([(-5.0, "high"), (5.0, 0.0)], "point 1: elevation 'high' is not a number"),
    ([(-5.0,), (5.0, 0.0)], "must be an \\(x, elevation\\)"),
    ("no-such-profile.csv", "cannot open ground profile"),
])
def test_bad_profiles_are_value_errors(ground, message):
    with pytest.raises(ValueError, match=message):
        egm.rates(ground=ground)


def test_a_profile_does_not_go_with_a_slope_or_compat():
    with pytest.raises(ValueError, match="a ground profile gives the ground's shape"):
        egm.rates(ground=RIDGE, slope=10.0)
    with pytest.raises(ValueError, match="plane ground only"):
        egm.rates(ground=RIDGE, evaluation="compat")
