"""egm_shielding.gis and egm-gis-route on small rasters written here (planes,
a ridge, a valley): every cross-section against the ground profile case
built by hand, the same towers in other CRSs, bad inputs, the command end
to end and on a Dask LocalCluster."""

import io
import logging
import math
import os
import re
import subprocess
import sys

import pytest

for module in ("rasterio", "geopandas", "shapely", "pyproj", "pandas"):
    pytest.importorskip(module, reason=f"{module} is not installed: the GIS tests are skipped")

import geopandas  # noqa: E402
import matplotlib.image  # noqa: E402
import numpy  # noqa: E402
import pandas  # noqa: E402
import pyproj  # noqa: E402
import rasterio  # noqa: E402
import shapely.geometry  # noqa: E402
from rasterio.transform import from_origin  # noqa: E402

import egm_shielding as egm  # noqa: E402
import egm_shielding.gis as gis  # noqa: E402
from egm_shielding import _gis_outputs  # noqa: E402

CRS = "EPSG:32633"
# The DEM's upper left corner and cells (m): 2 km square.
LEFT, TOP, CELL, CELLS = 500000.0, 5302000.0, 25.0, 80
# Profiles short enough to keep the cases quick: 9 points a side.
WIDTH = 100.0
# Tolerances: the same computation by another route (a level profile for
# the plane, weights summed in another order): 1e-12; the DEM's bilinear
# samples against a plane's exact elevations and the towers transformed
# between CRSs: 1e-9.
SAME = 1e-12
SAMPLED = 1e-9

TOWER = "name,kind,x,height,voltage-term,sag\nE,ground wire,0,55,,0\nA1,conductor,6,45,0,0\nA2,conductor,-6,45,0,0\n"
# The same wires at other heights and places, with sag.
TALL = "name,kind,x,height,voltage-term,sag\nE,ground wire,0.5,61,,4\nA2,conductor,-7,49,0,7\nA1,conductor,7,49,0,7\n"
SAGGING = "name,kind,x,height,voltage-term,sag\nE,ground wire,0,55,,4\nA1,conductor,6,45,0,7\nA2,conductor,-6,45,0,7\n"
# Three spans, not straight, well inside the DEM.
POINTS = [(LEFT + 600.0, TOP - 600.0), (LEFT + 900.0, TOP - 800.0), (LEFT + 1200.0, TOP - 900.0),
          (LEFT + 1300.0, TOP - 1250.0)]


def write_dem(path, elevation, crs=CRS, left=LEFT, top=TOP, cell=CELL, cells=CELLS, nodata=None):
    """A GeoTIFF of elevation(x, y) at the cell centres; the cells where it
    gives NaN hold nodata."""
    x = left + (numpy.arange(cells) + 0.5) * cell
    y = top - (numpy.arange(cells) + 0.5) * cell
    z = numpy.asarray(elevation(*numpy.meshgrid(x, y)), dtype=float) * numpy.ones((cells, cells))
    if nodata is not None:
        z = numpy.where(numpy.isnan(z), nodata, z)
    with rasterio.open(path, "w", driver="GTiff", width=cells, height=cells, count=1, dtype="float64", crs=crs,
                       transform=from_origin(left, top, cell, cell), nodata=nodata) as f:
        f.write(z, 1)
    return path


def write_towers(path, points=POINTS, crs=CRS, **columns):
    frame = geopandas.GeoDataFrame(columns or {"number": list(range(1, len(points) + 1))},
                                   geometry=[shapely.geometry.Point(p) for p in points], crs=crs)
    frame.to_file(path)
    return path


def in_crs(points, crs):
    to = pyproj.Transformer.from_crs(CRS, crs, always_xy=True)
    return [to.transform(*p) for p in points]


@pytest.fixture
def here(tmp_path):
    (tmp_path / "tower.csv").write_text(TOWER)
    (tmp_path / "tall.csv").write_text(TALL)
    (tmp_path / "sagging.csv").write_text(SAGGING)
    return tmp_path


def close(a, b, rel):
    return abs(a - b) <= rel * max(abs(a), abs(b))


def trapezoid(values):
    """The mean over t = 0 .. 1 of values at evenly spaced t."""
    n = len(values)
    return (sum(values) - 0.5 * (values[0] + values[-1])) / (n - 1)


def rates_of(case):
    """The section's case computed on its own, as rates() takes it."""
    return egm.rates(**case)


def assert_rates(row, expected, rel):
    for name, value in expected.items():
        assert close(row[name], value, rel), f"{name}: {row[name]!r} against {value!r}"


# --------------------------------------------------------------------------
# Planes


def test_a_level_dem_gives_every_section_the_flat_ground_figures(here):
    dem = write_dem(here / "level.tif", lambda x, y: 312.5 + 0 * x)
    towers = write_towers(here / "towers.gpkg")
    flat = egm.rates(tower=str(here / "tower.csv"))
    for s in gis.cross_sections(towers, dem, tower=here / "tower.csv", profile_width=WIDTH):
        assert [p[1] for p in s["case"]["ground"]] == pytest.approx([312.5] * len(s["case"]["ground"]), rel=SAME)
        assert [w["height"] for w in s["case"]["tower"]] == pytest.approx([55.0, 45.0, 45.0], rel=SAME)
        assert_rates(rates_of(s["case"]).rates, flat.rates, SAME)
    r = gis.route(towers, dem, tower=here / "tower.csv", profile_width=WIDTH)
    lengths = [math.dist(a, b) for a, b in zip(POINTS, POINTS[1:])]
    # The same spans by the route of towers over flat ground.
    plain = egm.route([{"tower": str(here / "tower.csv"), "length": length} for length in lengths]).spans
    assert list(r.spans["length"]) == pytest.approx(lengths, rel=SAME)
    assert list(r.spans["km"]) == pytest.approx([0.0, lengths[0] / 1000, (lengths[0] + lengths[1]) / 1000], rel=SAME)
    for (_, row), expected in zip(r.spans.iterrows(), plain):
        assert_rates(row, {k: expected[k] for k in ("A1", "A2", "total", "failuresA1", "failuresTotal")}, SAME)
        assert close(row["failuresTotal"], row["total"] * row["length"] / 100000.0, SAME)
    assert list(r.spans["from"]) == ["1", "2", "3"] and list(r.spans["name"]) == ["1-2", "2-3", "3-4"]
    assert r.summary["spans"] == 3 and r.summary["rateMethod"] == "share"
    assert close(r.summary["failuresPerYear"]["total"], sum(p["failuresTotal"] for p in plain), SAME)


def test_on_level_ground_each_section_stands_at_its_interpolated_heights(here):
    dem = write_dem(here / "level.tif", lambda x, y: 250.0 + 0 * x)
    # Tower 2 of another height, and every wire with sag.
    towers = write_towers(here / "towers.gpkg", POINTS[:3], number=[1, 2, 3],
                          tower=["sagging.csv", "tall.csv", "sagging.csv"])
    sections = gis.cross_sections(towers, dem, profile_width=WIDTH)
    assert [(s["span"], s["section"], s["t"]) for s in sections] == [
        (i, k + 1, t) for i in (1, 2) for k, t in enumerate((0.0, 0.25, 0.5, 0.75, 1.0))]
    short = {"E": (0.0, 55.0, 4.0), "A1": (6.0, 45.0, 7.0), "A2": (-6.0, 45.0, 7.0)}
    tall = {"E": (0.5, 61.0, 4.0), "A1": (7.0, 49.0, 7.0), "A2": (-7.0, 49.0, 7.0)}
    for s in sections:
        a, b = (short, tall) if s["span"] == 1 else (tall, short)
        t = s["t"]
        for wire in s["case"]["tower"]:
            xa, ha, sag = a[wire["name"]]
            xb, hb, _ = b[wire["name"]]
            # A parabola through both towers' heights, sag lower at mid-span.
            assert wire["height"] == pytest.approx(ha + t * (hb - ha) - 4 * sag * t * (1 - t), rel=SAME)
            assert wire["x"] == pytest.approx(xa + t * (xb - xa), rel=SAME, abs=1e-15)
            assert wire["sag"] == 0.0
        # In tower A's order.
        assert [w["name"] for w in s["case"]["tower"]] == (["E", "A1", "A2"] if s["span"] == 1 else ["E", "A2", "A1"])
    r = gis.route(towers, dem, profile_width=WIDTH)
    for span in (1, 2):
        each = [egm.rates(tower=s["case"]["tower"]) for s in sections if s["span"] == span]
        row = r.spans.iloc[span - 1]
        assert_rates(row, {n: trapezoid([e.rates[n] for e in each]) for n in ("A1", "A2", "total")}, SAME)
        totals = [e.total for e in each]
        assert row["highestSection"] == totals.index(max(totals)) + 1
        assert row["highestSectionTotal"] == max(totals)


def test_a_wire_takes_its_voltage_term_and_insulation_from_the_nearer_tower(here):
    dem = write_dem(here / "level.tif", lambda x, y: 250.0 + 0 * x)
    (here / "other.csv").write_text("name,kind,x,height,voltage-term,critical-current\nE,ground wire,0,55,,\n"
                                    "A1,conductor,6,45,0.8,12\nA2,conductor,-6,45,-0.8,14\n")
    (here / "plain.csv").write_text("name,kind,x,height,voltage-term,critical-current\nE,ground wire,0,55,,\n"
                                    "A1,conductor,6,45,0,9\nA2,conductor,-6,45,0,10\n")
    towers = write_towers(here / "towers.gpkg", POINTS[:2], number=[1, 2], tower=["plain.csv", "other.csv"])
    sections = gis.cross_sections(towers, dem, profile_width=WIDTH)
    for s in sections:
        a1 = s["case"]["tower"][1]
        assert (a1["voltage-term"], a1["critical-current"]) == ((0.0, 9.0) if s["t"] <= 0.5 else (0.8, 12.0))
    r = gis.route(towers, dem, profile_width=WIDTH)
    each = [rates_of(s["case"]) for s in sections]
    assert r.spans["flashoverTotal"][0] == pytest.approx(trapezoid([e.flashover_total for e in each]), rel=SAME)


def test_an_inclined_plane_gives_straight_profiles_and_the_hand_built_cases(here):
    a, b, c = 0.11, -0.07, 400.0

    def plane(x, y):
        return a * (x - LEFT) + b * (y - TOP) + c

    dem = write_dem(here / "plane.tif", plane)
    towers = write_towers(here / "towers.gpkg")
    sections = gis.cross_sections(towers, dem, tower=here / "tower.csv", profile_width=WIDTH, sections=5)
    wires = {"E": (0.0, 55.0), "A1": (6.0, 45.0), "A2": (-6.0, 45.0)}
    hand = {}
    for s in sections:
        (ax, ay), (bx, by) = POINTS[s["span"] - 1], POINTS[s["span"]]
        length = math.dist((ax, ay), (bx, by))
        # x to the right of the direction of the span.
        nx, ny = (by - ay) / length, -(bx - ax) / length
        slope = a * nx + b * ny
        t = s["t"]
        base = plane(ax + t * (bx - ax), ay + t * (by - ay))
        ground = numpy.asarray(s["case"]["ground"])
        assert ground[0][0] == -WIDTH and ground[-1][0] == WIDTH
        assert list(ground[:, 1]) == pytest.approx(list(base + slope * ground[:, 0]), rel=SAMPLED)
        ea, eb = plane(ax, ay), plane(bx, by)
        tower = [{"name": n, "kind": "ground wire" if n == "E" else "conductor", "x": x,
                  "height": (1 - t) * (ea + h) + t * (eb + h) - base} for n, (x, h) in wires.items()]
        r = egm.rates(tower=tower, ground=[(-WIDTH, base - WIDTH * slope), (WIDTH, base + WIDTH * slope)])
        hand.setdefault(s["span"], []).append(r)
        assert_rates(rates_of(s["case"]).rates, r.rates, SAMPLED)
    route = gis.route(towers, dem, tower=here / "tower.csv", profile_width=WIDTH, sections=5)
    for span, each in hand.items():
        row = route.spans.iloc[span - 1]
        assert_rates(row, {n: trapezoid([e.rates[n] for e in each]) for n in ("A1", "A2", "total")}, SAMPLED)
        assert close(row["failuresTotal"], row["total"] * row["length"] / 1e5, SAME)


def ridge(x, y):
    """A ridge across the line's second span, 30 m above the valley floor."""
    return 280.0 + 30.0 * numpy.exp(-(((x - LEFT) - 1050.0) / 120.0) ** 2) + 0.01 * (y - TOP)


@pytest.mark.parametrize("crs, suffix", [("EPSG:4326", "geojson"), ("EPSG:3035", "shp"), ("EPSG:32634", "gpkg")])
def test_the_same_towers_in_another_crs_give_the_same_spans_and_rates(here, crs, suffix):
    dem = write_dem(here / "ridge.tif", ridge)
    mine = gis.route(write_towers(here / "towers.gpkg"), dem, tower=here / "tower.csv", profile_width=WIDTH,
                     sections=3)
    other = gis.route(write_towers(here / f"other.{suffix}", in_crs(POINTS, crs), crs=crs), dem,
                      tower=here / "tower.csv", profile_width=WIDTH, sections=3)
    for (_, m), (_, o) in zip(mine.spans.iterrows(), other.spans.iterrows()):
        assert close(m["length"], o["length"], 1e-6)
        assert_rates(o, {n: m[n] for n in ("A1", "A2", "total", "failuresTotal")}, SAMPLED)


def test_a_dem_in_degrees_measures_the_spans_on_the_ellipsoid(here):
    to = pyproj.Transformer.from_crs(CRS, "EPSG:4326", always_xy=True)
    lon, lat = to.transform(LEFT + 1000.0, TOP - 1000.0)
    # About 2 km square, in degrees, level.
    dem = write_dem(here / "degrees.tif", lambda x, y: 150.0 + 0 * x, crs="EPSG:4326", left=lon - 0.014,
                    top=lat + 0.009, cell=0.00025, cells=112)
    r = gis.route(write_towers(here / "towers.gpkg"), dem, tower=here / "tower.csv", profile_width=WIDTH,
                  sections=3)
    geod = pyproj.Geod(ellps="WGS84")
    ll = in_crs(POINTS, "EPSG:4326")
    lengths = [geod.inv(*p, *q)[2] for p, q in zip(ll, ll[1:])]
    assert list(r.spans["length"]) == pytest.approx(lengths, rel=SAME)
    # Within the projection's scale factor of the map's lengths.
    assert list(r.spans["length"]) == pytest.approx([math.dist(p, q) for p, q in zip(POINTS, POINTS[1:])], rel=1e-3)
    assert_rates(r.spans.iloc[1], egm.rates(tower=str(here / "tower.csv")).rates, SAME)
    # The default step is the cell in metres at the line, the smaller of about 19 m east and 28 m north.
    case = gis.cross_sections(write_towers(here / "towers.gpkg"), dem, tower=here / "tower.csv",
                              profile_width=WIDTH, sections=2)[0]["case"]
    steps = numpy.diff([p[0] for p in case["ground"]])
    assert 18.0 < steps[1] < 20.0


# --------------------------------------------------------------------------
# Valleys and ridges


def test_across_a_valley_the_wires_stand_higher_above_its_floor(here):
    # Towers on either side of a valley 40 m deep, level along the line.
    dem = write_dem(here / "valley.tif",
                    lambda x, y: 300.0 - 40.0 * numpy.exp(-(((x - LEFT) - 1000.0) / 100.0) ** 2))
    points = [(LEFT + 700.0, TOP - 1000.0), (LEFT + 1300.0, TOP - 1000.0)]
    towers = write_towers(here / "towers.gpkg", points)
    sections = gis.cross_sections(towers, dem, tower=here / "tower.csv", profile_width=WIDTH, sections=5)
    bases = [dict((p[0], p[1]) for p in s["case"]["ground"])[0.0] for s in sections]
    ends = bases[0]
    # Mid-span, halfway between two cell centres 12.5 m either side of the floor.
    assert bases[2] == pytest.approx(300.0 - 40.0 * math.exp(-(12.5 / 100.0) ** 2), rel=SAME)
    for s, base in zip(sections, bases):
        # Level wires: each one's height above the floor under it.
        assert s["case"]["tower"][0]["height"] == pytest.approx(ends + 55.0 - base, rel=SAME)
    r = gis.route(towers, dem, tower=here / "tower.csv", profile_width=WIDTH, sections=5)
    each = [rates_of(s["case"]).total for s in sections]
    assert close(r.spans["total"][0], trapezoid(each), SAME)
    assert r.spans["highestSection"][0] == each.index(max(each)) + 1


def test_a_ridge_above_the_wires_names_the_span_and_section(here):
    dem = write_dem(here / "ridge.tif",
                    lambda x, y: 300.0 + 80.0 * numpy.exp(-(((x - LEFT) - 1000.0) / 60.0) ** 2))
    points = [(LEFT + 200.0, TOP - 1000.0), (LEFT + 700.0, TOP - 1000.0), (LEFT + 1300.0, TOP - 1000.0)]
    towers = write_towers(here / "towers.gpkg", points)
    with pytest.raises(ValueError, match=r"^span 2 \(tower 2 to tower 3\), section 3 of 5 \(t = 0.5\): .*height"):
        gis.route(towers, dem, tower=here / "tower.csv", profile_width=WIDTH, output=here / "out.gpkg")
    assert not (here / "out.gpkg").exists()


def test_a_section_ends_where_the_dem_has_no_data_or_ends(here):
    # No data east of 1,100 m; the DEM's west edge 40 m west of the line.
    dem = write_dem(here / "edge.tif", lambda x, y: numpy.where(x - LEFT > 1100.0, numpy.nan, 200.0 + 0.1 * (x - LEFT)),
                    nodata=-9999.0, left=LEFT + 1000.0, cells=40)
    # Northwards, so that +x is east.
    towers = write_towers(here / "towers.gpkg", [(LEFT + 1040.0, TOP - 900.0), (LEFT + 1040.0, TOP - 600.0)])
    for s in gis.cross_sections(towers, dem, tower=here / "tower.csv", profile_width=WIDTH, profile_step=15.0,
                                sections=3):
        ground = s["case"]["ground"]
        # Every 15 m from the line: west to the DEM's edge (-40 m), east to
        # the last sample whose cells all hold data (x = 45 m, between the
        # centres at 1,062.5 and 1,087.5 m).
        assert [p[0] for p in ground] == [-30.0, -15.0, 0.0, 15.0, 30.0, 45.0]
        # Within half a cell of the edge the elevation is the edge cell's.
        expected = [200.0 + 0.1 * max(1040.0 + p[0], 1012.5) for p in ground]
        assert [p[1] for p in ground] == pytest.approx(expected, rel=SAME)
        assert_rates(rates_of(s["case"]).rates, egm.rates(tower=s["case"]["tower"], ground=ground).rates, SAME)


# --------------------------------------------------------------------------
# Cover, flash density, the layer's attributes


def test_cover_stands_on_the_ground_of_every_section(here):
    dem = write_dem(here / "level.tif", lambda x, y: 200.0 + 0 * x)
    # In another CRS: 4 km square around the line.
    (x, y), = in_crs([(LEFT + 1000.0, TOP - 1000.0)], "EPSG:3035")
    cover = write_dem(here / "cover.tif", lambda x, y: 12.0 + 0 * x, crs="EPSG:3035", left=x - 2000.0,
                      top=y + 2000.0, cell=50.0, cells=80)
    towers = write_towers(here / "towers.gpkg", POINTS[:2])
    expected = egm.rates(tower=str(here / "tower.csv"), ground=[(-WIDTH, 200.0, 12.0), (WIDTH, 200.0, 12.0)])
    for s in gis.cross_sections(towers, dem, tower=here / "tower.csv", cover=cover, profile_width=WIDTH):
        assert [p[2] for p in s["case"]["ground"]] == pytest.approx([12.0] * len(s["case"]["ground"]), rel=SAME)
    r = gis.route(towers, dem, tower=here / "tower.csv", cover=cover, profile_width=WIDTH, sections=2)
    assert_rates(r.spans.iloc[0], expected.rates, SAME)


def test_the_flash_density_is_a_number_or_a_raster_averaged_along_each_span(here):
    dem = write_dem(here / "level.tif", lambda x, y: 200.0 + 0 * x)
    towers = write_towers(here / "towers.gpkg", POINTS[:3])
    # Rising eastwards: the mean along a span is its midpoint's.
    density = write_dem(here / "density.tif", lambda x, y: 2.0 + 0.001 * (x - LEFT), cell=100.0, cells=20)
    r = gis.route(towers, dem, tower=here / "tower.csv", flash_density=density, profile_width=WIDTH, sections=2)
    for k in (0, 1):
        mid = (POINTS[k][0] + POINTS[k + 1][0]) / 2
        assert r.spans["flashDensity"][k] == pytest.approx(2.0 + 0.001 * (mid - LEFT), rel=SAMPLED)
        assert_rates(r.spans.iloc[k], egm.rates(tower=str(here / "tower.csv"),
                                                flash_density=r.spans["flashDensity"][k]).rates, SAME)
    fixed = gis.route(towers, dem, tower=here / "tower.csv", flash_density=5.6, profile_width=WIDTH, sections=2)
    assert_rates(fixed.spans.iloc[0], egm.rates(tower=str(here / "tower.csv"), flash_density=5.6).rates, SAME)


def test_a_towers_attributes_give_its_span_its_own_inputs(here):
    dem = write_dem(here / "level.tif", lambda x, y: 200.0 + 0 * x)
    # Listed out of order: the order attribute gives the line's.
    order = [3, 1, 4, 2]
    points = [POINTS[k - 1] for k in order]
    towers = write_towers(here / "towers.gpkg", points, order=order, number=[f"T{k}" for k in order],
                          **{"min-current": [None, None, None, 10.0]}, tower=["tower.csv"] * 4)
    r = gis.route(towers, dem, profile_width=WIDTH, sections=2, min_current=15.0)
    assert list(r.spans["name"]) == ["T1-T2", "T2-T3", "T3-T4"]
    assert list(r.spans["currentFrom"]) == [15.0, 10.0, 15.0]
    assert_rates(r.spans.iloc[1], egm.rates(tower=str(here / "tower.csv"), min_current=10.0).rates, SAME)
    # A line whose vertices are the towers.
    line = geopandas.GeoDataFrame({"tower": ["tower.csv"]}, geometry=[shapely.geometry.LineString(POINTS)], crs=CRS)
    line.to_file(here / "line.geojson")
    by_line = gis.route(here / "line.geojson", dem, profile_width=WIDTH, sections=2, min_current=15.0)
    assert list(by_line.spans["total"]) == [r.spans["total"][0]] * 3


# --------------------------------------------------------------------------
# Bad input: Python and the command


def bad_cases(here):
    """Label: (arguments of the command, the message's pattern)."""
    level = write_dem(here / "level.tif", lambda x, y: 200.0 + 0 * x)
    holes = write_dem(here / "holes.tif", lambda x, y: numpy.where(x - LEFT > 1000.0, numpy.nan, 200.0),
                      nodata=-9999.0)
    (here / "text.tif").write_text("not a raster\n")
    (here / "other.csv").write_text(TOWER.replace("A2,", "B2,"))
    good = write_towers(here / "good.gpkg")
    far = write_towers(here / "far.gpkg", POINTS[:2] + [(LEFT - 500.0, TOP - 900.0)])
    same = write_towers(here / "same.gpkg", [POINTS[0], POINTS[1], POINTS[1], POINTS[2]])
    mixed = write_towers(here / "mixed.gpkg", POINTS[:3], number=[1, 2, 3],
                         tower=["tower.csv", "tower.csv", "other.csv"])
    unnamed = write_towers(here / "unnamed.gpkg", POINTS[:3], number=[1, 2, 3], tower=["tower.csv", "none.csv", "x"])
    tower = str(here / "tower.csv")
    return {
        "a missing towers file": ([str(here / "nowhere.gpkg"), level, "--tower", tower], r"towers '.*nowhere.gpkg': no such file"),
        "an unreadable DEM": ([good, str(here / "text.tif"), "--tower", tower], r"DEM '.*text.tif': cannot be read"),
        "a missing DEM": ([good, str(here / "none.tif"), "--tower", tower], r"DEM '.*none.tif': cannot be read"),
        "a missing tower file": ([unnamed, level], r"tower file '.*none.csv': cannot be read: No such file"),
        "a tower outside the DEM": ([far, level, "--tower", tower], r"tower 3: outside the DEM '.*level.tif'"),
        "a tower on no data": ([good, holes, "--tower", tower], r"tower 3: on no-data cells of the DEM"),
        "two towers at the same place": ([same, level, "--tower", tower], r"tower 2 and tower 3: stand at the same place"),
        "tower files of different wires": ([mixed, level], r"tower 2 and tower 3: tower files '.*tower.csv' and "
                                                           r"'.*other.csv' have different wires \(only in the first: A2; "
                                                           r"only in the second: B2\)"),
    }


BAD = ["a missing towers file", "an unreadable DEM", "a missing DEM", "a missing tower file", "a tower outside the DEM",
       "a tower on no data", "two towers at the same place", "tower files of different wires"]


def command(args, cwd):
    return subprocess.run([sys.executable, "-m", "egm_shielding.gis"] + [str(a) for a in args], cwd=cwd,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


@pytest.mark.parametrize("label", BAD)
def test_bad_input_is_one_line_naming_the_tower_or_file_and_nothing_written(here, label):
    args, message = bad_cases(here)[label]
    keywords = {"tower": args[3]} if len(args) > 2 else {}
    with pytest.raises(ValueError, match=message):
        gis.route(args[0], args[1], profile_width=WIDTH, output=here / "out.gpkg", map=here / "map.png", **keywords)
    done = command(args + ["--profile-width", WIDTH, "--output", "out.gpkg", "--map", "map.png", "--table", "t.csv"],
                   here)
    assert done.returncode == 1, done.stderr
    assert done.stdout == ""
    assert len(done.stderr.splitlines()) == 1 and done.stderr.startswith("egm-gis-route: ")
    assert re.search(message, done.stderr), done.stderr
    assert not any((here / f).exists() for f in ("out.gpkg", "map.png", "t.csv"))


def test_outputs_of_an_unknown_kind_or_an_input_are_refused_before_computing(here):
    dem = write_dem(here / "level.tif", lambda x, y: 200.0 + 0 * x)
    towers = write_towers(here / "towers.gpkg")
    with pytest.raises(ValueError, match=r"output '.*out.shp': must end in .gpkg, .geojson, .json"):
        gis.route(towers, dem, tower=here / "tower.csv", output=here / "out.shp")
    with pytest.raises(ValueError, match=r"is the input .*an input is never replaced"):
        gis.route(towers, dem, tower=here / "tower.csv", output=towers)
    with pytest.raises(ValueError, match=r"^slope: not an input here: the DEM gives the ground"):
        gis.route(towers, dem, tower=here / "tower.csv", slope=10)
    with pytest.raises(TypeError, match=r"unexpected keyword argument 'hight'"):
        gis.route(towers, dem, tower=here / "tower.csv", hight=10)


# --------------------------------------------------------------------------
# The command end to end, and on a cluster


def test_the_command_writes_the_table_the_layers_and_the_map(here):
    dem = write_dem(here / "ridge.tif", ridge)
    towers = write_towers(here / "towers.gpkg", number=[11, 12, 13, 14], tower=["tower.csv"] * 4)
    done = command([towers, dem, "--profile-width", WIDTH, "--sections", 3, "--min-current", 20,
                    "--output", "lines.gpkg", "--map", "line.png"], here)
    assert done.returncode == 0, done.stderr
    assert done.stderr == ""
    r = gis.route(towers, dem, profile_width=WIDTH, sections=3, min_current=20.0)
    lines = done.stdout.splitlines()
    summary = [line for line in lines if line.startswith("#")]
    s = r.summary
    assert summary == [f"# spans 3, failed 0, length {s['lengthKm']!r} km",
                       f"# failures per year: A1 {s['failuresPerYear']['A1']!r}, A2 {s['failuresPerYear']['A2']!r}, "
                       f"total {s['failuresPerYear']['total']!r}",
                       f"# average {s['averagePer100KmPerYear']!r} per 100 km per year, share method"]
    table = pandas.read_csv(io.StringIO(done.stdout), comment="#", dtype={"from": str, "to": str},
                            float_precision="round_trip")
    assert list(table.columns[:6]) == ["span", "name", "km", "length", "from", "to"]
    assert {"A1", "A2", "total", "rateMethod", "failuresA1", "failuresA2", "failuresTotal", "share", "flagged",
            "highestSection", "highestSectionT", "highestSectionTotal", "error"} <= set(table.columns)
    assert list(table["name"]) == ["11-12", "12-13", "13-14"]
    for column in ("length", "km", "A1", "A2", "total", "failuresTotal", "highestSectionTotal"):
        assert list(table[column]) == list(r.spans[column]), column
    assert list(table["currentFrom"]) == [20.0] * 3
    spans = geopandas.read_file(here / "lines.gpkg", layer="spans")
    points = geopandas.read_file(here / "lines.gpkg", layer="towers")
    assert list(spans.geom_type) == ["LineString"] * 3 and list(points.geom_type) == ["Point"] * 4
    assert spans.crs == pyproj.CRS(CRS)
    assert list(spans["total"]) == list(r.spans["total"])
    assert list(spans.geometry[1].coords) == [POINTS[1], POINTS[2]]
    assert list(points["tower"]) == ["11", "12", "13", "14"]
    assert list(points["km"]) == pytest.approx([0.0] + list((r.spans["km"] + r.spans["length"] / 1000)), rel=SAME)
    image = matplotlib.image.imread(here / "line.png")
    assert image.shape[0] > 400 and image.shape[1] > 400
    # GeoJSON: both in one, in degrees; and the table to a file.
    done = command([towers, dem, "--profile-width", WIDTH, "--sections", 3, "--min-current", 20,
                    "--output", "lines.geojson", "--table", "table.csv"], here)
    assert done.returncode == 0 and done.stdout == "", done.stderr
    assert (here / "table.csv").read_text() == "\n".join(lines) + "\n"
    both = geopandas.read_file(here / "lines.geojson")
    assert list(both["feature"]) == ["span"] * 3 + ["tower"] * 4 and both.crs == pyproj.CRS("EPSG:4326")
    assert not [f for f in os.listdir(here) if "partial" in f]


def test_the_map_shows_the_line_north_up_with_a_round_scale_bar(here):
    dem = write_dem(here / "ridge.tif", ridge)
    towers = write_towers(here / "towers.gpkg")
    plan = gis._plan(towers, dem, here / "tower.csv", None, None, 2, None, WIDTH, {})
    r = gis.route(towers, dem, tower=here / "tower.csv", profile_width=WIDTH, sections=2)
    scene = _gis_outputs._map_scene(plan, r, dem)
    left, right, bottom, top = scene["extent"]
    assert left <= min(p[0] for p in POINTS) and right >= max(p[0] for p in POINTS)
    assert bottom <= min(p[1] for p in POINTS) and top >= max(p[1] for p in POINTS)
    assert scene["segments"] == [[p, q] for p, q in zip(POINTS, POINTS[1:])]
    assert scene["totals"] == list(r.spans["total"])
    assert scene["bar_metres"] in (100.0, 200.0, 500.0) and scene["bar_units"] == scene["bar_metres"]
    assert scene["aspect"] == 1.0 and scene["rate_method"] == "share"
    assert 0.0 <= scene["shade"].min() <= scene["shade"].max() <= 1.0


def test_sections_on_a_dask_local_cluster_give_the_local_route(here):
    distributed = pytest.importorskip("distributed", reason="python3-distributed is not installed")
    dem = write_dem(here / "ridge.tif", ridge)
    towers = write_towers(here / "towers.gpkg")
    local = gis.route(towers, dem, tower=here / "tower.csv", profile_width=WIDTH, sections=3)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None, silence_logs=logging.CRITICAL) as cluster, \
            distributed.Client(cluster) as client:
        remote = gis.route(towers, dem, tower=here / "tower.csv", profile_width=WIDTH, sections=3, client=client)
    pandas.testing.assert_frame_equal(remote.spans, local.spans, check_exact=True)
    assert remote.summary == local.summary and remote.top == local.top
