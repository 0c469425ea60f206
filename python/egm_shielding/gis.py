"""A line's expected shielding failures from its towers on a map and a ground
elevation model: every span's ground across the line sampled from the DEM at
a few cross-sections and each computed as a ground profile case.

    import egm_shielding.gis as gis
    r = gis.route("towers.gpkg", "dem.tif", tower="tower.csv", output="spans.gpkg", map="line.png")
    r.summary["failuresPerYear"]["total"]

The towers are a point layer (GeoJSON, GeoPackage, Shapefile, anything
geopandas reads) in line order (an `order` or `number` attribute, else the
file's order), or a line layer of one line whose vertices are the towers.
Each tower names its tower file in a `tower` attribute (relative to the
layer's folder), or tower= gives one file for all. Attributes named like the
inputs (flash-density, min-current, rate-method, ...; "_" for "-" too) give
a span starting at that tower its own value; the keywords give every span
that names none.

Along a span from tower A to tower B, `sections` cross-sections stand at the
fractions t = 0, 1/(n-1), ..., 1 of its length, both towers included. Each
runs perpendicular to the span, x to the right of the direction A to B, from
-profile_width to +profile_width every profile_step (the DEM's cell size by
default), the DEM sampled bilinearly (cover, when given, added as the
profile's cover). Each wire stands at the elevation
    (1 - t)(e_A + h_A) + t(e_B + h_B) - 4 sag t (1 - t)
(e the ground elevation at the tower, h the wire's height in the tower
file, sag the mean of both files' sags) and at x = (1 - t) x_A + t x_B; the
section is computed as the ground profile case rates(tower=..., ground=...)
with each wire's height above the profile's elevation under the line and
sag 0 (the sag is in the elevations). A wire takes its voltage term and
insulation from tower A's file up to mid-span and from B's beyond. The
section rates (per 100 km per year) are combined over the span by the
trapezoidal rule in t, and the span's expected failures per year are that
mean times its length / 100 km, as egm_shielding.route adds them up.

Coordinates: the towers are transformed into the DEM's CRS (pyproj). In a
projected DEM lengths and offsets are the map's, in its linear unit
converted to metres; a DEM in degrees is sampled in degrees while lengths,
directions and the cross-sections' offsets are geodesics on the DEM's
ellipsoid (pyproj.Geod), exact at any latitude and span length. Beyond the
DEM or on its no-data cells a cross-section ends (the ground is level
beyond a profile's ends); a tower there is an error naming the tower.
"""

import math
import numbers
import os
import sys

from . import Route, _core, _table, input_names

try:
    import numpy
    import pyproj

    from ._gis_outputs import _check_outputs, _draw_map, _write_layers, write_table
    from ._gis_reading import (_CASE_KEYS, _WIRE_GEOMETRY, _Points, _Raster, _frame_of, _key, _profile_offsets,
                               _read_tower_file, _towers_of, _trapezoid_weights)
except ModuleNotFoundError as e:
    if e.name not in ("geopandas", "numpy", "pyproj", "rasterio", "shapely", "matplotlib"):
        raise
    raise ImportError("egm_shielding.gis needs rasterio, geopandas, shapely and pyproj: install "
                      "python3-rasterio python3-geopandas python3-shapely python3-pyproj (Debian)") from e

__all__ = ["route", "cross_sections", "write_table", "main", "SECTION_CHUNK"]

# Cross-sections per task on a Dask cluster and per step of the progress
# bar: a section of 100 to 250 profile points takes some 10 to 30 ms of one
# core, so a chunk is a fraction of a second of work, well above the
# scheduler's cost per task, while a route of 1,000 spans still makes 200
# tasks to share out.
SECTION_CHUNK = 25

# Inputs that the DEM and the tower files set for every section.
_SET_HERE = {"tower": "the tower files give the towers",
             "ground": "the DEM gives the ground",
             "slope": "the DEM gives the ground",
             "line": "the tower files give the towers"}

# Two towers closer than this, m, stand at the same place.
_SAME_PLACE = 1e-6


class _Plan:
    """A route's spans and their cross-sections' cases, sampled on the
    client: what a worker needs is in the cases."""

    def __init__(self):
        self.towers = []
        self.spans = []      # dicts: from, to, length, inputs, name
        self.cases = []      # one record per section, spans in order
        self.where = []      # (span index, section index, t) per case
        self.frame = None
        self.dem_crs = None
        self.layer_crs = None
        self.sections = 0
        self.ts = None       # the sections' fractions of the span
        self.profile_width = 0.0


def _wires_of_span(a, b, files):
    """The wires of span a-b: A's wires in A's order, each with B's of the
    same name; ValueError naming both files when they differ."""
    wa, wb = files[a.file], files[b.file]
    names_a = [w["name"] for w in wa]
    by_name = {w["name"]: w for w in wb}
    if sorted(names_a) != sorted(by_name) or len(names_a) != len(wb):
        only_a = sorted(set(names_a) - set(by_name))
        only_b = sorted(set(by_name) - set(names_a))
        detail = "; ".join(part for part in (
            f"only in the first: {', '.join(only_a)}" if only_a else "",
            f"only in the second: {', '.join(only_b)}" if only_b else "") if part)
        raise ValueError(f"{a} and {b}: tower files '{a.file}' and '{b.file}' have different wires"
                         + (f" ({detail})" if detail else ""))
    pairs = []
    for w in wa:
        v = by_name[w["name"]]
        if v["kind"] != w["kind"]:
            raise ValueError(f"{a} and {b}: tower files '{a.file}' and '{b.file}' have different wires "
                             f"({w['name']} is a {w['kind']} in the first, a {v['kind']} in the second)")
        pairs.append((w, v))
    return pairs


def _section_tower(pairs, ea, eb, base, t):
    """The wires of the cross-section at t, heights above base (m), sag 0."""
    wires = []
    for wa, wb in pairs:
        sag = 0.5 * (wa["sag"] + wb["sag"])
        elevation = (1.0 - t) * (ea + wa["height"]) + t * (eb + wb["height"]) - 4.0 * sag * t * (1.0 - t)
        near = wa if t <= 0.5 else wb
        wire = {k: v for k, v in near.items() if k not in _WIRE_GEOMETRY}
        wire.update(name=wa["name"], kind=wa["kind"], x=(1.0 - t) * wa["x"] + t * wb["x"],
                    height=elevation - base, sag=0.0)
        wires.append(wire)
    return wires


def _resolve_inputs(inputs):
    """The keywords for every span, by the input table's names; TypeError
    for one that names no input, ValueError for one set here."""
    known = set(input_names()) | set(_CASE_KEYS)
    out = {}
    for name, value in inputs.items():
        if name in _SET_HERE:
            raise ValueError(f"{name}: not an input here: {_SET_HERE[name]}")
        key = _key(name)
        if key not in known:
            raise TypeError(f"unexpected keyword argument {name!r} (the inputs: {', '.join(sorted(known))})")
        if value is not None:
            out[key] = list(value) if key == "law_coefficients" else value
    return out


def _span_profile(xs, z, cover, centre):
    """The ground profile of a cross-section from its samples: the points
    of the unbroken run of samples around x = 0 (the ground level beyond);
    None when x = 0 itself has no sample or no other point has one."""
    valid = numpy.isfinite(z)
    if not valid[centre]:
        return None
    lo = centre
    while lo > 0 and valid[lo - 1]:
        lo -= 1
    hi = centre
    while hi < len(z) - 1 and valid[hi + 1]:
        hi += 1
    if lo == hi:
        return None
    columns = [xs[lo:hi + 1], z[lo:hi + 1]]
    if cover is not None:
        c = cover[lo:hi + 1]
        columns.append(numpy.where(numpy.isfinite(c), numpy.maximum(c, 0.0), 0.0))
    return numpy.column_stack(columns)


def _plan(towers, dem, tower, cover, flash_density, sections, profile_step, profile_width, inputs):
    """Everything before computing: the towers read and placed, the spans
    and the cross-sections' cases. Raises ValueError for any input that
    cannot be used, naming the tower, file or span."""
    sections = int(sections)
    if sections < 2:
        raise ValueError(f"sections {sections}: must be 2 or more (both towers of each span)")
    profile_width = float(profile_width)
    if not (math.isfinite(profile_width) and profile_width > 0):
        raise ValueError(f"profile_width {profile_width}: must be a length above 0 m")
    base = _resolve_inputs(inputs)
    plan = _Plan()
    plan.sections = sections
    plan.profile_width = profile_width
    plan.towers, plan.layer_crs = _towers_of(towers, tower)
    files = {}
    for t in plan.towers:
        if t.file not in files:
            files[t.file] = _read_tower_file(t.file)
    rasters = []
    try:
        dem_raster = _Raster(dem, "DEM")
        rasters.append(dem_raster)
        if dem_raster.crs is None:
            raise ValueError(f"DEM '{dem_raster.path}': has no coordinate reference system")
        cover_points = None
        if cover is not None:
            cover_raster = _Raster(cover, "cover")
            rasters.append(cover_raster)
            cover_points = _Points(dem_raster.crs, cover_raster)
        density_points = None
        if flash_density is not None and not isinstance(flash_density, numbers.Real):
            density_raster = _Raster(flash_density, "flash density")
            rasters.append(density_raster)
            density_points = _Points(dem_raster.crs, density_raster)
        elif flash_density is not None:
            base["flash-density"] = flash_density
        plan.dem_crs = dem_raster.crs
        frame = plan.frame = _frame_of(dem_raster.crs)
        _place_towers(plan, dem_raster)
        if profile_step is None:
            east, north = frame.metres_per_unit(plan.towers[len(plan.towers) // 2].at)
            cx, cy = dem_raster.cell_size()
            profile_step = min(cx * east, cy * north)
        profile_step = float(profile_step)
        if not (math.isfinite(profile_step) and profile_step > 0):
            raise ValueError(f"profile_step {profile_step}: must be a length above 0 m")
        xs = _profile_offsets(profile_width, profile_step)
        centre = int(numpy.argmin(numpy.abs(xs)))
        ts = plan.ts = numpy.linspace(0.0, 1.0, sections)
        for i, (a, b) in enumerate(zip(plan.towers, plan.towers[1:]), start=1):
            length = frame.length(a.at, b.at)
            if length < _SAME_PLACE:
                raise ValueError(f"{a} and {b}: stand at the same place")
            pairs = _wires_of_span(a, b, files)
            span_inputs = dict(base)
            span_inputs.update(a.inputs)
            name = f"{a.label}-{b.label}"
            if density_points is not None and "flash-density" not in a.inputs:
                span_inputs["flash-density"] = _mean_density(frame, density_points, a, b, length, sections, i)
            px, py = frame.points(a.at, b.at, ts, xs)
            z = dem_raster.sample(px, py)
            cv = cover_points.sample(px, py) if cover_points is not None else None
            for k, t in enumerate(ts):
                ground = _span_profile(xs, z[k], cv[k] if cv is not None else None, centre)
                if ground is None:
                    raise ValueError(f"span {i} ({a} to {b}), section {k + 1} of {sections} (t = {t:g}): "
                                     f"the DEM '{dem_raster.path}' gives no ground across the line there")
                record = dict(span_inputs)
                record["tower"] = _section_tower(pairs, a.elevation, b.elevation, z[k][centre], float(t))
                record["ground"] = ground
                plan.cases.append(record)
                plan.where.append((i, k, float(t)))
            plan.spans.append({"from": a, "to": b, "length": length, "name": name, "inputs": span_inputs})
    finally:
        for r in rasters:
            r.close()
    return plan


def _place_towers(plan, dem_raster):
    """Each tower's place in the DEM's CRS and its ground elevation; a tower
    outside the DEM or on no data is an error naming it."""
    points = [t.point for t in plan.towers]
    xs = numpy.array([p[0] for p in points], dtype=float)
    ys = numpy.array([p[1] for p in points], dtype=float)
    if plan.layer_crs is not None and plan.layer_crs != dem_raster.crs:
        to = pyproj.Transformer.from_crs(plan.layer_crs, dem_raster.crs, always_xy=True)
        xs, ys = to.transform(xs, ys)
        xs, ys = numpy.asarray(xs, dtype=float), numpy.asarray(ys, dtype=float)
    z = dem_raster.sample(xs, ys)
    b = dem_raster.bounds
    for t, x, y, e in zip(plan.towers, xs, ys, z):
        if not (math.isfinite(x) and math.isfinite(y)) or not (b.left <= x <= b.right and b.bottom <= y <= b.top):
            raise ValueError(f"{t}: outside the DEM '{dem_raster.path}'")
        if not math.isfinite(e):
            raise ValueError(f"{t}: on no-data cells of the DEM '{dem_raster.path}'")
        t.at = (float(x), float(y))
        t.elevation = float(e)


def _mean_density(frame, density_points, a, b, length, sections, span):
    """The flash density averaged along the span (trapezoidal rule), from
    samples at least every cell of its raster."""
    raster = density_points.raster
    cx, cy = raster.cell_size()
    east, north = _frame_of(raster.crs).metres_per_unit(density_points.point(a.at))
    cell = min(cx * east, cy * north)
    # Half a cell apart at most: every cell the span crosses weighs in.
    n = max(sections, int(math.ceil(2.0 * length / cell)) + 1)
    ts = numpy.linspace(0.0, 1.0, n)
    px, py = frame.points(a.at, b.at, ts, [0.0])
    values = density_points.sample(px[:, 0], py[:, 0])
    if not numpy.isfinite(values).all():
        raise ValueError(f"span {span} ({a} to {b}): the flash density raster '{raster.path}' "
                         "has no value along the span")
    w = _trapezoid_weights(n)
    mean = 0.0
    for wk, v in zip(w, values):
        mean += wk * float(v)
    return mean


# ---------------------------------------------------------------------------
# Computing and combining


class _Progress:
    """A progress bar on standard error, drawn only on a terminal."""

    def __init__(self, total, what):
        self.total = total
        self.done = 0
        self.what = what
        self.shown = total > 0 and sys.stderr is not None and sys.stderr.isatty()
        self.draw()

    def add(self, n):
        self.done += n
        self.draw()

    def draw(self):
        if not self.shown:
            return
        width = 30
        filled = width * self.done // self.total
        sys.stderr.write(f"\r{self.what} {self.done}/{self.total} [{'#' * filled}{'.' * (width - filled)}] "
                         f"{100 * self.done // self.total:3d}%")
        sys.stderr.flush()

    def close(self):
        if self.shown:
            sys.stderr.write("\n")
            sys.stderr.flush()


def _compute(cases, rate_method, jobs, client):
    """Every case's outcome (egm_shielding._core.Outcome), in order: here
    on jobs threads, or on the Dask client's workers."""
    progress = _Progress(len(cases), "sections")
    try:
        if client is not None:
            from .distributed import _rows, _span_chunk
            return _rows(cases, False, client, SECTION_CHUNK, task=_span_chunk, rate_method=rate_method,
                         progress=progress.add)
        jobs = 0 if jobs is None else int(jobs)
        threads = jobs or os.cpu_count() or 1
        # Chunks large enough that the threads seldom wait for each other at
        # a chunk's end (a section each at most), small enough for the bar.
        chunk = max(4 * SECTION_CHUNK, 16 * threads)
        out = []
        for s in range(0, len(cases), chunk):
            part = _core.span_outcomes(cases[s:s + chunk], False, rate_method, jobs)
            out.extend(part)
            progress.add(len(part))
        return out
    finally:
        progress.close()


# The state of an outcome (egm_shielding._core.Outcome, as pickled):
# (error,) or (error, conductors, total, rate method, wire names, heights,
# line figures, law, distribution, notes, flashover total); a conductor
# (wire, name, rate, (max current, at top), (classical, at top), critical
# current, flashover rate, perfectly shielded).


def _larger_current(states, c, item):
    """The largest maximum current of conductor c over the sections (None
    when never exposed) and whether one at that current is at the top."""
    best = None
    top = False
    for s in states:
        current, at_top = s[1][c][item]
        if current is not None and (best is None or current > best):
            best, top = current, at_top
        elif current is not None and current == best:
            top = top or at_top
    return best, top


def _span_outcome(states, weights, highest):
    """The outcome of a span from its sections' outcome states: every rate
    the trapezoidal mean over t, each maximum current the largest of the
    sections; the rest (heights, the line's figures, critical currents)
    those of the highest section."""
    h = states[highest]
    conductors = []
    for c, hc in enumerate(h[1]):
        rate = 0.0
        for w, s in zip(weights, states):
            rate += w * s[1][c][2]
        flashover = None
        if all(s[1][c][6] is not None for s in states):
            flashover = 0.0
            for w, s in zip(weights, states):
                flashover += w * s[1][c][6]
        shielded = all(s[1][c][7] for s in states)
        critical = hc[5] if flashover is not None else None
        conductors.append((hc[0], hc[1], rate, _larger_current(states, c, 3), _larger_current(states, c, 4),
                           critical, flashover, shielded and flashover is not None))
    total = 0.0
    for w, s in zip(weights, states):
        total += w * s[2]
    flashover_total = None
    if any(c[6] is not None for c in conductors) and all(s[10] is not None for s in states):
        flashover_total = 0.0
        for w, s in zip(weights, states):
            flashover_total += w * s[10]
    state = ("", conductors, total) + tuple(h[3:10]) + (flashover_total,)
    outcome = _core.Outcome.__new__(_core.Outcome)
    outcome.__setstate__(state)
    return outcome


def _combine(plan, outcomes):
    """Each span's outcome, highest section and its total; ValueError naming
    the span and section when some section could not be computed."""
    states = [o.__getstate__() for o in outcomes]
    failed = [(where, s[0]) for where, s in zip(plan.where, states) if len(s) == 1]
    if failed:
        (i, k, t), message = failed[0]
        span = plan.spans[i - 1]
        more = f"; and {len(failed) - 1} more sections" if len(failed) > 1 else ""
        raise ValueError(f"span {i} ({span['from']} to {span['to']}), section {k + 1} of {plan.sections} "
                         f"(t = {t:g}): {message}{more}")
    weights = _trapezoid_weights(plan.sections)
    spans = []
    for i in range(len(plan.spans)):
        own = states[i * plan.sections:(i + 1) * plan.sections]
        totals = [s[2] for s in own]
        highest = max(range(len(own)), key=lambda k: totals[k])
        spans.append((_span_outcome(own, weights, highest), highest, totals[highest]))
    return spans


def _route_records(plan):
    """The spans as egm_shielding.route places them: name, length and the
    span's rate method (the rest of the case is the sections')."""
    records = []
    for s in plan.spans:
        record = {"name": s["name"], "length": s["length"]}
        if "rate-method" in s["inputs"]:
            record["rate_method"] = s["inputs"]["rate-method"]
        records.append(record)
    return records


def route(towers, dem, *, tower=None, cover=None, flash_density=None, sections=5, profile_step=None,
          profile_width=600.0, output=None, map=None, client=None, jobs=None, flag_above=None, top=10,
          **inputs):
    """A line's expected shielding failures from its towers on a map and a
    ground elevation model (see the module's help for the cross-sections).

    Args:
      towers: the path of a point layer (towers in line order: an order or
        number attribute, else the file's order) or of a line layer of one
        line whose vertices are the towers; any format and CRS geopandas
        reads.
      dem: the path of the ground elevation raster (m), any CRS.
      tower: a tower file for every tower without a 'tower' attribute (which
        names its file relative to the layer's folder).
      cover: a raster of tree and building heights (m) standing on the
        ground, added to the surface as the profiles' cover.
      flash_density: ground flashes per km^2 per year for every span: a
        number, or a raster averaged along each span.
      sections: cross-sections per span, evenly spaced, both towers
        included (5).
      profile_step: m between a cross-section's points (the DEM's cell).
      profile_width: m each side of the line (600).
      output: a .gpkg (layers spans and towers) or .geojson file (both in
        one, EPSG:4326, a 'feature' attribute telling them apart).
      map: a picture of the line (.png, .svg or .pdf): the DEM's hillshade,
        each span coloured by its total rate, the towers numbered.
      client: a dask.distributed Client: the sections computed on its
        workers (sampled here; the workers read no raster).
      jobs: threads here; None for one per core.
      flag_above, top: as egm_shielding.route.
      **inputs: every input of egm_shielding.rates for every span (min_current,
        law, rate_method, ...), but the tower and the ground.

    Returns the Route of egm_shielding.route: spans (a DataFrame: span,
    name, km, length, from, to, the rates of every conductor and total,
    the flashover rates when some conductor has a critical current,
    failures<Name>, failuresTotal, share, flagged, highestSection,
    highestSectionT, highestSectionTotal, error), summary, top, flagged.
    Raises ValueError, before anything is written, for any input that
    cannot be used, naming the tower, file, span or section.
    """
    outputs = _check_outputs(output, map, [towers, dem, cover, tower,
                                           flash_density if not isinstance(flash_density, numbers.Real) else None])
    plan = _plan(towers, dem, tower, cover, flash_density, sections, profile_step, profile_width, inputs)
    rate_method = inputs.get("rate_method", inputs.get("rate-method"))
    records = _route_records(plan)
    route_plan = _core.route_plan(records, False, rate_method)
    outcomes = _compute(plan.cases, rate_method, jobs, client)
    spans = _combine(plan, outcomes)
    d = _core.route_assemble(route_plan, [s[0] for s in spans], flag_above, top, None, False)
    rows = []
    for row, s, (_, highest, highest_total) in zip(d["spans"], plan.spans, spans):
        out = {}
        for key, value in row.items():
            out[key] = value
            if key == "length":
                out["from"] = s["from"].label
                out["to"] = s["to"].label
                if "flash-density" in s["inputs"]:
                    out["flashDensity"] = s["inputs"]["flash-density"]
            if key == "flagged":
                out["highestSection"] = highest + 1
                out["highestSectionT"] = float(plan.ts[highest])
                out["highestSectionTotal"] = highest_total
        rows.append(out)
    result = Route(_table(rows, True), d["summary"], d["top"], d["flagged"])
    if outputs["output"] is not None:
        _write_layers(outputs["output"], plan, result)
    if outputs["map"] is not None:
        _draw_map(outputs["map"], plan, result, dem)
    return result


def cross_sections(towers, dem, *, tower=None, cover=None, flash_density=None, sections=5,
                   profile_step=None, profile_width=600.0, **inputs):
    """The cases route() computes, without computing them: one dict per
    cross-section, spans in order: span, section (1, 2, ...), t, and the
    case (tower, ground and the inputs) as egm_shielding.rates takes it."""
    plan = _plan(towers, dem, tower, cover, flash_density, sections, profile_step, profile_width, inputs)
    return [{"span": i, "section": k + 1, "t": t, "case": case}
            for (i, k, t), case in zip(plan.where, plan.cases)]


from ._gis_cli import main  # noqa: E402  (the command over route, defined above)

if __name__ == "__main__":
    sys.exit(main())
