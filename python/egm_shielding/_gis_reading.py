"""Reading a line on the map: the towers' layer, their tower files, the
rasters and the frames lengths are measured in (egm_shielding.gis)."""

import csv
import math
import numbers
import os
from pathlib import Path

import geopandas
import numpy
import pyproj
import rasterio
import rasterio.windows

from . import input_names

# The layer's attributes that are not inputs: the tower's place in the line,
# its label and its tower file.
_LAYER_KEYS = ("order", "number", "name", "tower", "geometry")

# Keys of a case besides the input table's names.
_CASE_KEYS = ("law_coefficients", "current_table")

# The tower file's columns per wire; the rest go to the section's wire as
# they are (the insulation's columns).
_WIRE_GEOMETRY = ("name", "kind", "x", "height", "sag")

def _key(name):
    """An input's name as the input table spells it ('-' for '_'), the
    special case keys as batch takes them."""
    k = str(name).strip().lower()
    if k.replace("-", "_") in _CASE_KEYS:
        return k.replace("-", "_")
    return k.replace("_", "-")


def _missing(value):
    """Whether a layer's field is empty: None, a NaN or an empty text."""
    if value is None:
        return True
    if isinstance(value, numbers.Real) and not isinstance(value, bool):
        return math.isnan(value)
    return isinstance(value, str) and value.strip() == ""


def _plain(value):
    """A field's value as Python's own number or text (numpy's scalars are
    not everything the case reader takes)."""
    if isinstance(value, numpy.generic):
        return value.item()
    return value


# ---------------------------------------------------------------------------
# Rasters


class _Raster:
    """A single-band raster sampled bilinearly between its cell centres.

    Within half a cell of its edge a value is interpolated along the edge
    only; outside its bounds, or where a cell that weighs in holds no data
    (the nodata value or a NaN), the sample is NaN.
    """

    def __init__(self, path, what):
        self.path = os.fspath(path)
        self.what = what
        try:
            self._src = rasterio.open(self.path)
        except (rasterio.errors.RasterioIOError, OSError) as e:
            raise ValueError(f"{what} '{self.path}': cannot be read: {_reason(e)}") from None
        if self._src.count < 1:
            raise ValueError(f"{what} '{self.path}': holds no band")
        # pyproj's CRS, which every transformation and comparison here takes.
        self.crs = pyproj.CRS.from_wkt(self._src.crs.to_wkt()) if self._src.crs is not None else None
        self.transform = self._src.transform
        self.width = self._src.width
        self.height = self._src.height
        self.bounds = self._src.bounds

    def close(self):
        self._src.close()

    def cell_size(self):
        """The cell's width and height in the raster's units."""
        t = self.transform
        return math.hypot(t.a, t.d), math.hypot(t.b, t.e)

    def sample(self, xs, ys):
        """Values at the points (in the raster's CRS): an array of xs' shape,
        NaN outside the raster and on no data."""
        xs = numpy.asarray(xs, dtype=float)
        ys = numpy.asarray(ys, dtype=float)
        out = numpy.full(xs.shape, numpy.nan)
        cols, rows = ~self.transform * (xs.ravel(), ys.ravel())
        cols = numpy.asarray(cols, dtype=float)
        rows = numpy.asarray(rows, dtype=float)
        inside = (cols >= 0) & (cols <= self.width) & (rows >= 0) & (rows <= self.height)
        if not inside.any():
            return out
        # Fractional positions between cell centres, clamped to the outermost
        # centres (half a cell of each edge).
        fc = numpy.clip(cols[inside] - 0.5, 0.0, self.width - 1.0)
        fr = numpy.clip(rows[inside] - 0.5, 0.0, self.height - 1.0)
        c0 = numpy.minimum(numpy.floor(fc).astype(int), max(self.width - 2, 0))
        r0 = numpy.minimum(numpy.floor(fr).astype(int), max(self.height - 2, 0))
        c1 = numpy.minimum(c0 + 1, self.width - 1)
        r1 = numpy.minimum(r0 + 1, self.height - 1)
        wc = fc - c0
        wr = fr - r0
        # Only the window the points cover is read.
        left, top = int(c0.min()), int(r0.min())
        window = rasterio.windows.Window(left, top, int(c1.max()) - left + 1, int(r1.max()) - top + 1)
        block = self._src.read(1, window=window, masked=True).astype(float).filled(numpy.nan)
        z00 = block[r0 - top, c0 - left]
        z01 = block[r0 - top, c1 - left]
        z10 = block[r1 - top, c0 - left]
        z11 = block[r1 - top, c1 - left]
        # A cell of no data that carries no weight does not spoil the sample.
        z00 = numpy.where((wc == 1.0) | (wr == 1.0), numpy.nan_to_num(z00), z00)
        z01 = numpy.where((wc == 0.0) | (wr == 1.0), numpy.nan_to_num(z01), z01)
        z10 = numpy.where((wc == 1.0) | (wr == 0.0), numpy.nan_to_num(z10), z10)
        z11 = numpy.where((wc == 0.0) | (wr == 0.0), numpy.nan_to_num(z11), z11)
        value = (1.0 - wr) * ((1.0 - wc) * z00 + wc * z01) + wr * ((1.0 - wc) * z10 + wc * z11)
        flat = out.ravel()
        flat[inside] = value
        return flat.reshape(xs.shape)


def _reason(e):
    """An exception's message on one line."""
    return " ".join(str(e).split()) or type(e).__name__


class _Points:
    """Points of the DEM's CRS taken into another raster's CRS."""

    def __init__(self, dem_crs, raster):
        self.raster = raster
        self._to = None
        if raster.crs is not None and dem_crs is not None and raster.crs != dem_crs:
            self._to = pyproj.Transformer.from_crs(dem_crs, raster.crs, always_xy=True)

    def point(self, at):
        """A point of the DEM's CRS in the raster's."""
        if self._to is None:
            return at
        return self._to.transform(at[0], at[1])

    def sample(self, xs, ys):
        if self._to is not None:
            xs, ys = self._to.transform(xs, ys)
        return self.raster.sample(xs, ys)


# ---------------------------------------------------------------------------
# Geometry in the DEM's CRS


class _PlaneFrame:
    """A projected DEM: straight spans on the map, lengths in its linear unit
    converted to metres."""

    def __init__(self, crs):
        axis = crs.axis_info[0] if crs is not None and crs.axis_info else None
        self.metres = axis.unit_conversion_factor if axis is not None else 1.0
        self.name = "the DEM's projection"

    def length(self, a, b):
        return math.hypot(b[0] - a[0], b[1] - a[1]) * self.metres

    def points(self, a, b, ts, xs):
        """The cross-sections' points: arrays (len(ts), len(xs)) of the DEM's
        x and y; xs in metres to the right of the direction a to b."""
        dx = b[0] - a[0]
        dy = b[1] - a[1]
        d = math.hypot(dx, dy)
        # The right-hand normal of the direction (dx, dy).
        nx, ny = dy / d, -dx / d
        ts = numpy.asarray(ts, dtype=float)[:, None]
        off = numpy.asarray(xs, dtype=float)[None, :] / self.metres
        cx = (1.0 - ts) * a[0] + ts * b[0]
        cy = (1.0 - ts) * a[1] + ts * b[1]
        return cx + off * nx, cy + off * ny

    def metres_per_unit(self, at):
        return self.metres, self.metres


class _GeodesicFrame:
    """A DEM in degrees: spans, directions and offsets as geodesics on the
    DEM's ellipsoid."""

    def __init__(self, crs):
        self.geod = crs.get_geod() if crs is not None else pyproj.Geod(ellps="WGS84")
        self.name = "geodesics on the DEM's ellipsoid"

    def length(self, a, b):
        return abs(self.geod.inv(a[0], a[1], b[0], b[1])[2])

    def points(self, a, b, ts, xs):
        azimuth, _, length = self.geod.inv(a[0], a[1], b[0], b[1])
        ts = numpy.asarray(ts, dtype=float)
        n = len(ts)
        lon, lat, back = self.geod.fwd(numpy.full(n, a[0]), numpy.full(n, a[1]), numpy.full(n, azimuth),
                                       ts * length)
        lon = numpy.asarray(lon)
        lat = numpy.asarray(lat)
        # The direction of travel at each section, and the right-hand side.
        right = numpy.asarray(back) + 180.0 + 90.0
        xs = numpy.asarray(xs, dtype=float)
        shape = (n, len(xs))
        plon, plat, _ = self.geod.fwd(numpy.broadcast_to(lon[:, None], shape).ravel(),
                                      numpy.broadcast_to(lat[:, None], shape).ravel(),
                                      numpy.broadcast_to(right[:, None], shape).ravel(),
                                      numpy.broadcast_to(xs[None, :], shape).ravel())
        return numpy.asarray(plon).reshape(shape), numpy.asarray(plat).reshape(shape)

    def metres_per_unit(self, at):
        """Metres per degree of longitude and of latitude at the point."""
        east = abs(self.geod.inv(at[0] - 0.5, at[1], at[0] + 0.5, at[1])[2])
        north = abs(self.geod.inv(at[0], at[1] - 0.5, at[0], at[1] + 0.5)[2])
        return east, north


def _frame_of(crs):
    if crs is not None and pyproj.CRS.from_user_input(crs).is_geographic:
        return _GeodesicFrame(pyproj.CRS.from_user_input(crs))
    return _PlaneFrame(pyproj.CRS.from_user_input(crs) if crs is not None else None)


# ---------------------------------------------------------------------------
# Towers


class _Tower:
    """One tower of the line: its label, place (the layer's CRS and the
    DEM's), tower file, the inputs its attributes give and its ground
    elevation."""

    def __init__(self, label, point, file, inputs):
        self.label = label
        self.point = point
        self.file = file
        self.inputs = inputs
        self.at = None
        self.elevation = None

    def __str__(self):
        return f"tower {self.label}"


def _read_layer(path):
    path = os.fspath(path)
    if not os.path.exists(path):
        raise ValueError(f"towers '{path}': no such file")
    try:
        layer = geopandas.read_file(path)
    except Exception as e:  # noqa: BLE001 (fiona's and GDAL's many errors: one line)
        raise ValueError(f"towers '{path}': cannot be read: {_reason(e)}") from None
    if len(layer) == 0:
        raise ValueError(f"towers '{path}': holds no feature")
    return layer


def _layer_inputs(row, columns):
    """The inputs a feature's attributes give: the fields named like inputs,
    not empty."""
    known = set(input_names()) | set(_CASE_KEYS)
    inputs = {}
    for column in columns:
        key = _key(column)
        if str(column).lower() in _LAYER_KEYS or key not in known:
            continue
        value = row[column]
        if not _missing(value):
            inputs[key] = _plain(value)
    return inputs


def _towers_of(path, tower_file):
    """The towers of the layer in line order, each with its tower file (a
    path) and its inputs."""
    layer = _read_layer(path)
    folder = Path(os.fspath(path)).resolve().parent
    columns = [c for c in layer.columns if c != layer.geometry.name]
    lower = {str(c).lower(): c for c in columns}
    kinds = set(layer.geometry.geom_type.dropna())
    towers = []

    def file_of(value, label):
        if not _missing(value):
            return folder / str(value)
        if tower_file is not None:
            return Path(os.fspath(tower_file))
        raise ValueError(f"tower {label}: no tower file (a 'tower' attribute, or tower= for every tower)")

    if kinds <= {"Point"} and kinds:
        order = lower.get("order", lower.get("number"))
        if order is not None and layer[order].isna().any():
            first = int(layer[order].isna().to_numpy().nonzero()[0][0]) + 1
            raise ValueError(f"towers '{os.fspath(path)}': feature {first} has no {order}")
        rows = layer.sort_values(order, kind="stable") if order is not None else layer
        for k, (_, row) in enumerate(rows.iterrows(), start=1):
            number = row[lower["number"]] if "number" in lower else None
            label = str(_plain(number)) if not _missing(number) else str(k)
            if "name" in lower and not _missing(row[lower["name"]]):
                label += f" ({row[lower['name']]})"
            geometry = row[layer.geometry.name]
            if geometry is None or geometry.is_empty:
                raise ValueError(f"tower {label}: has no point")
            file = file_of(row[lower["tower"]] if "tower" in lower else None, label)
            towers.append(_Tower(label, (geometry.x, geometry.y), file, _layer_inputs(row, columns)))
    elif kinds <= {"LineString", "MultiLineString"} and kinds:
        if len(layer) != 1:
            raise ValueError(f"towers '{os.fspath(path)}': a line layer must hold one line, not {len(layer)}")
        row = layer.iloc[0]
        geometry = row[layer.geometry.name]
        if geometry.geom_type == "MultiLineString":
            if len(geometry.geoms) != 1:
                raise ValueError(f"towers '{os.fspath(path)}': the line has {len(geometry.geoms)} parts, not one")
            geometry = geometry.geoms[0]
        inputs = _layer_inputs(row, columns)
        for k, xy in enumerate(geometry.coords, start=1):
            label = str(k)
            file = file_of(row[lower["tower"]] if "tower" in lower else None, label)
            towers.append(_Tower(label, (xy[0], xy[1]), file, dict(inputs)))
    else:
        raise ValueError(f"towers '{os.fspath(path)}': must be points or one line, not "
                         f"{', '.join(sorted(kinds)) or 'empty geometries'}")
    if len(towers) < 2:
        raise ValueError(f"towers '{os.fspath(path)}': a line needs two towers or more, not {len(towers)}")
    return towers, layer.crs


def _number(text, file, row, column):
    try:
        value = float(text)
    except ValueError:
        raise ValueError(f"tower file '{file}': row {row}: {column} '{text}': not a number") from None
    if not math.isfinite(value):
        raise ValueError(f"tower file '{file}': row {row}: {column} '{text}': not a finite number")
    return value


def _read_tower_file(path):
    """The wires of a tower file, in its order: dicts of name, kind, x,
    height, sag and the other columns' values (voltage-term, insulation);
    unnamed wires named by kind, as the computation names them."""
    try:
        with open(path, encoding="utf-8-sig", newline="") as f:
            rows = list(csv.reader(f))
    except OSError as e:
        raise ValueError(f"tower file '{path}': cannot be read: {e.strerror or _reason(e)}") from None
    rows = [r for r in rows if any(cell.strip() for cell in r)]
    if not rows:
        raise ValueError(f"tower file '{path}': is empty")
    header = [_key(c) for c in rows[0]]
    for needed in ("kind", "x", "height"):
        if needed not in header:
            raise ValueError(f"tower file '{path}': no column '{needed}'")
    wires = []
    counts = {"ground wire": 0, "conductor": 0}
    for number, cells in enumerate(rows[1:], start=2):
        item = dict(zip(header, (c.strip() for c in cells)))
        kind = item.get("kind", "").lower().replace("_", " ")
        kind = " ".join(kind.split())
        if kind not in counts:
            raise ValueError(f"tower file '{path}': row {number}: kind '{item.get('kind', '')}': "
                             "must be ground wire or conductor")
        counts[kind] += 1
        default = ("groundWire" if kind == "ground wire" else "conductor") + str(counts[kind])
        wire = {"name": item.get("name") or default, "kind": kind,
                "x": _number(item.get("x", ""), path, number, "x"),
                "height": _number(item.get("height", ""), path, number, "height"),
                "sag": _number(item["sag"], path, number, "sag") if item.get("sag") else 0.0}
        for column, text in item.items():
            if column not in _WIRE_GEOMETRY and text != "":
                wire[column] = _number(text, path, number, column)
        wires.append(wire)
    if not wires:
        raise ValueError(f"tower file '{path}': has no wire")
    return wires


# ---------------------------------------------------------------------------
# Cross-sections


def _profile_offsets(width, step):
    """x of a cross-section's points, m: every step from -width to +width,
    x = 0 among them, the ends at +-width."""
    n = int(math.floor(width / step + 1e-9))
    xs = [k * step for k in range(-n, n + 1)]
    if width - n * step > 1e-9 * width:
        xs = [-width] + xs + [width]
    return numpy.asarray(xs, dtype=float)


def _trapezoid_weights(sections):
    """Weights of the trapezoidal rule over t = 0 .. 1 at evenly spaced
    sections: the mean of a quantity is the weighted sum."""
    h = 1.0 / (sections - 1)
    w = [h] * sections
    w[0] = w[-1] = 0.5 * h
    return w
