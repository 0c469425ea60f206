"""Designing for flashovers with egm.design and adding them up along a route
with egm.route: the answers fed back into egm.rates, conductors without a
critical current, and the route's flashovers per year against its spans,
also against egm-study on the same inputs."""

import json
import os
import subprocess

import pytest

import egm_shielding as egm

EXE = os.environ.get("EGM_STUDY_EXE")
needs_cli = pytest.mark.skipif(not EXE, reason="EGM_STUDY_EXE names no egm-study")

INSULATION = {"critical_current3": 9.5, "critical_current4": 14.25}


def largest_flashover_rate(r):
    return max(v for k, v in r.flashover_rates.items() if k != "total")


# target, what it holds at or below its value from a Result, the value.
FLASHOVER_TARGETS = [
    ("flashover-total=0.5", lambda r: r.flashover_rates["total"], 0.5),
    ("flashover-each=0.45", largest_flashover_rate, 0.45),
    ("flashover-conductor2=0.05", lambda r: r.flashover_rates["conductor2"], 0.05),
]


@pytest.mark.parametrize("target,figure,value", FLASHOVER_TARGETS)
def test_each_end_of_a_flashover_answer_fed_back_meets_the_target(target, figure, value):
    d = egm.design("ground-wire-height", target, **INSULATION)
    assert d["met"]
    assert d["target"]["unit"] == "flashovers per 100 km per year"
    for stretch in d["meets"]:
        for end, at_range_end, step in ((stretch["from"], stretch["fromRangeStart"], -0.01),
                                        (stretch["to"], stretch["toRangeEnd"], 0.01)):
            h = end["value"]
            r = egm.rates(egm.Line(ground_wire_1=(9.89, h), ground_wire_2=(-9.89, h)), **INSULATION)
            assert figure(r) <= value
            assert figure(r) == end["response"]
            if not at_range_end:
                past = h + step
                r = egm.rates(egm.Line(ground_wire_1=(9.89, past), ground_wire_2=(-9.89, past)),
                              **INSULATION)
                assert figure(r) > value


def test_flashover_each_is_the_largest_of_the_conductors_responses():
    each = egm.design("shielding-angle", "flashover-each=0.1", **INSULATION)["table"]
    one = egm.design("shielding-angle", "flashover-conductor1=0.1", **INSULATION)["table"]
    two = egm.design("shielding-angle", "flashover-conductor2=0.1", **INSULATION)["table"]
    assert [s["response"] for s in each] == [max(a["response"], b["response"]) for a, b in zip(one, two)]


def test_perfect_critical_shields_every_conductor_from_its_own_critical_current():
    d = egm.design("shielding-angle", "perfect=critical", **INSULATION)
    assert d["target"]["kind"] == "perfect-critical" and d["target"]["value"] == 0
    assert d["meets"]
    for stretch in d["meets"]:
        for end in (stretch["from"], stretch["to"]):
            classical = end["classicalMaxShieldingFailureCurrent"]
            for name, ic in end["criticalCurrents"].items():
                assert (classical[name] or 0.0) <= ic


@pytest.mark.parametrize("target,kwargs,named", [
    ("flashover-total=0.1", {"critical_current3": 9.5}, "conductor conductor2 has no critical current"),
    ("flashover-each=0.1", {}, "conductors conductor1, conductor2 have no critical current"),
    ("perfect=critical", {"critical_current4": 9.5}, "conductor conductor1 has no critical current"),
    ("flashover-conductor2=0.1", {"critical_current3": 9.5}, "conductor conductor2 has"),
    ("bogus=1", {}, "flashover-total=R"),
])
def test_a_target_on_missing_insulation_raises_value_error_naming_the_conductor(target, kwargs, named):
    with pytest.raises(ValueError, match=named):
        egm.design("ground-wire-height", target, **kwargs)


def test_a_tower_conductor_named_flashover_something_keeps_its_own_target():
    tower = [("ground wire", 0.0, 55.0),
             {"name": "a", "kind": "conductor", "x": 6.0, "height": 45.0, "critical_current": 9.5},
             ("flashover-x", "conductor", -6.0, 45.0, 0.0)]
    assert egm.design("ground-wire-height", "flashover-x=0.5", tower=tower)["target"]["kind"] == "flashover-x"
    d = egm.design("ground-wire-height", "flashover-a=0.5", tower=tower, samples=3)
    assert d["target"]["response"] == "a's flashover rate"
    assert d["table"][1]["response"] == d["table"][1]["flashoverRates"]["a"]


@needs_cli
def test_design_is_the_command_lines_json():
    d = egm.design("shielding-angle", "flashover-total=0.2", **INSULATION)
    run = subprocess.run([EXE, "design", "--variable", "shielding-angle", "--target", "flashover-total=0.2",
                          "--critical-current3", "9.5", "--critical-current4", "14.25", "--format", "json"],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert d == json.loads(run.stdout)


SPANS = [{"length": 300.0, **INSULATION}, {"length": 400.0},
         {"length": 250.5, "critical_current3": 12.0},
         {"length": 120.0, "critical_current": 8.0, "slope": 10.0}]


def test_route_flashovers_are_the_spans_flashover_rates_times_their_lengths():
    r = egm.route(SPANS, flag_flashovers_above=0.6)
    s = r.summary
    expected = {"conductor1": 0.0, "conductor2": 0.0, "total": 0.0}
    metres = 0.0
    for span in r.spans:
        if "flashoverTotal" not in span:
            assert "flashoversPerYearTotal" not in span
            continue
        for name in ("conductor1", "conductor2"):
            rate = span.get("flashoverRate" + name.capitalize())
            if rate is not None:
                expected[name] += rate * span["length"] / 100000.0
        expected["total"] += span["flashoverTotal"] * span["length"] / 100000.0
        metres += span["length"]
    assert s["flashoverSpans"] == 3
    assert s["flashoverLengthKm"] == pytest.approx(metres / 1000.0, abs=1e-15)
    for key, value in expected.items():
        assert s["flashoversPerYear"][key] == pytest.approx(value, rel=1e-14)
    assert s["averageFlashoversPer100KmPerYear"] == pytest.approx(100.0 * expected["total"] / (metres / 1000.0))
    assert s["topBy"] == "flashovers"
    assert [span["span"] for span in r.spans if span.get("flaggedFlashovers")] == [4]
    assert r.flagged_flashovers == [(0.9505, 1.0705, r.spans[3]["flashoverTotal"])]
    # The spans that flash over most lead; the span without insulation is last.
    assert r.top[-1] == 2


def test_route_parts_add_up_to_the_whole():
    whole = egm.route(SPANS).summary
    a = egm.route(SPANS[:2]).summary
    b = egm.route(SPANS[2:]).summary
    for key in ("conductor1", "conductor2", "total"):
        assert a["flashoversPerYear"][key] + b["flashoversPerYear"][key] == \
            pytest.approx(whole["flashoversPerYear"][key], rel=1e-14)
    assert a["flashoverSpans"] + b["flashoverSpans"] == whole["flashoverSpans"]
    assert a["flashoverLengthKm"] + b["flashoverLengthKm"] == pytest.approx(whole["flashoverLengthKm"])


def test_a_route_without_insulation_has_no_flashover_figures():
    r = egm.route([{"length": 300.0}], flag_flashovers_above=0.1)
    assert "flashoversPerYear" not in r.summary
    assert r.summary["topBy"] == "failures"
    assert r.flagged_flashovers == []
    assert "flashoversPerYearTotal" not in r.spans[0]


@needs_cli
def test_route_flashovers_are_the_command_lines(tmp_path):
    path = tmp_path / "route.csv"
    path.write_text("length,critical-current3,critical-current4,critical-current,slope\n"
                    "300,9.5,14.25,,\n400,,,,\n250.5,12,,,\n120,,,8,10\n")
    run = subprocess.run([EXE, "route", str(path), "--format", "json", "--flag-flashovers-above", "0.6"],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    cli = json.loads(run.stdout)["summary"]
    r = egm.route(SPANS, flag_flashovers_above=0.6)
    for key in ("flashoverSpans", "flashoverLengthKm", "flashoversPerYear", "averageFlashoversPer100KmPerYear",
                "topBy"):
        assert r.summary[key] == cli[key], key
    assert [list(f) for f in r.flagged_flashovers] == \
        [[f["fromKm"], f["toKm"], f["highestFlashoverRate"]] for f in cli["flaggedFlashoverStretches"]]
