"""Writing a route on the map: the spans and towers as layers, the map over
the hillshade and the table (egm_shielding.gis)."""

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
import shapely.geometry

from ._gis_reading import _plain

# ---------------------------------------------------------------------------
# Outputs

_LAYER_SUFFIXES = {".gpkg": "GPKG", ".geojson": "GeoJSON", ".json": "GeoJSON"}
_MAP_SUFFIXES = (".png", ".svg", ".pdf")


def _check_outputs(output, map_file, inputs):
    """The output files by kind, refused before anything is computed when
    their kind is unknown, their folder missing, or one is an input."""
    out = {"output": None, "map": None}
    for what, path, suffixes in (("output", output, tuple(_LAYER_SUFFIXES)), ("map", map_file, _MAP_SUFFIXES)):
        if path is None:
            continue
        path = Path(os.fspath(path))
        if path.suffix.lower() not in suffixes:
            raise ValueError(f"{what} '{path}': must end in {', '.join(suffixes)}")
        if not path.resolve().parent.is_dir():
            raise ValueError(f"{what} '{path}': no folder '{path.parent}'")
        for given in inputs:
            if given is not None and os.path.exists(given) and path.exists() and os.path.samefile(given, path):
                raise ValueError(f"{what} '{path}' is the input '{given}': an input is never replaced; "
                                 "nothing written")
        out[what] = path
    if out["output"] is not None and out["map"] is not None and out["output"].resolve() == out["map"].resolve():
        raise ValueError(f"output and map are the same file '{out['output']}'")
    return out


def _scalar_columns(frame):
    """The columns of a frame that a layer can hold: numbers, texts,
    booleans (not lists)."""
    keep = []
    for c in frame.columns:
        if frame[c].map(lambda v: isinstance(v, (list, tuple, dict))).any():
            continue
        keep.append(c)
    return frame[keep]


def _replace(path, write):
    """write(temporary path) then the temporary file renamed to path: an
    interrupted run leaves no partial file."""
    temporary = path.with_name(f".{path.stem}.{os.getpid()}.partial{path.suffix}")
    try:
        if temporary.exists():
            temporary.unlink()
        write(temporary)
        os.replace(temporary, path)
    finally:
        if temporary.exists():
            temporary.unlink()


def _layers(plan, result):
    """The spans as lines and the towers as points, in the towers' CRS."""
    spans = _scalar_columns(result.spans.copy())
    spans = geopandas.GeoDataFrame(
        spans, geometry=[shapely.geometry.LineString([s["from"].point, s["to"].point]) for s in plan.spans],
        crs=plan.layer_crs)
    # Each tower's chainage: where its span starts, the last one where the
    # last span ends.
    km = list(result.spans["km"])
    km.append(km[-1] + float(result.spans["length"].iloc[-1]) / 1000.0)
    towers = geopandas.GeoDataFrame(
        {"tower": [t.label for t in plan.towers], "file": [str(t.file) for t in plan.towers],
         "elevation": [t.elevation for t in plan.towers], "km": km},
        geometry=[shapely.geometry.Point(t.point) for t in plan.towers], crs=plan.layer_crs)
    return spans, towers


def _write_layers(path, plan, result):
    spans, towers = _layers(plan, result)
    driver = _LAYER_SUFFIXES[path.suffix.lower()]

    def write(temporary):
        if driver == "GPKG":
            spans.to_file(temporary, layer="spans", driver="GPKG")
            towers.to_file(temporary, layer="towers", driver="GPKG")
        else:
            both = geopandas.GeoDataFrame(
                __import__("pandas").concat([spans.assign(feature="span"), towers.assign(feature="tower")],
                                            ignore_index=True), crs=spans.crs)
            if both.crs is not None:
                both = both.to_crs("EPSG:4326")
            both.to_file(temporary, driver="GeoJSON")

    _replace(path, write)


def _nice_length(metres):
    """A round length for a scale bar near metres: 1, 2 or 5 times a power
    of ten."""
    power = 10.0 ** math.floor(math.log10(metres))
    for m in (5.0, 2.0, 1.0):
        if m * power <= metres:
            return m * power
    return power


def _map_scene(plan, result, dem, pixels=1200):
    """What the map shows, in numbers: the hillshade (an array and its
    extent in the DEM's CRS), the spans' segments and totals, the towers'
    places and labels, the scale bar's length in metres and in map units,
    and the axes' aspect."""
    import matplotlib.colors
    from rasterio.enums import Resampling
    xs = [t.at[0] for t in plan.towers]
    ys = [t.at[1] for t in plan.towers]
    mid = ((min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2)
    east, north = plan.frame.metres_per_unit(mid)
    # Around the line: its cross-sections' half width, or a tenth of its extent.
    margin = max(0.1 * max((max(xs) - min(xs)) * east, (max(ys) - min(ys)) * north), 0.5 * plan.profile_width,
                 200.0)
    with rasterio.open(os.fspath(dem)) as src:
        t = src.transform
        if t.b != 0 or t.d != 0:
            raise ValueError(f"map: the DEM '{os.fspath(dem)}' is not north up (a rotated grid)")
        b = src.bounds
        left = max(b.left, min(xs) - margin / east)
        right = min(b.right, max(xs) + margin / east)
        bottom = max(b.bottom, min(ys) - margin / north)
        top = min(b.top, max(ys) + margin / north)
        window = rasterio.windows.from_bounds(left, bottom, right, top, transform=t).round_offsets().round_lengths()
        window = window.intersection(rasterio.windows.Window(0, 0, src.width, src.height))
        scale = max(1.0, max(window.width, window.height) / pixels)
        shape = (max(1, int(window.height / scale)), max(1, int(window.width / scale)))
        z = src.read(1, window=window, out_shape=shape, masked=True,
                     resampling=Resampling.bilinear).astype(float).filled(numpy.nan)
        wb = rasterio.windows.bounds(window, t)
    extent = (wb[0], wb[2], wb[1], wb[3])
    dx = (extent[1] - extent[0]) / shape[1] * east
    dy = (extent[3] - extent[2]) / shape[0] * north
    if numpy.isnan(z).all():
        z = numpy.zeros(shape)
    z = numpy.where(numpy.isnan(z), numpy.nanmean(z), z)
    shade = matplotlib.colors.LightSource(azdeg=315, altdeg=45).hillshade(z, vert_exag=1.0, dx=dx, dy=dy)
    width_m = (extent[1] - extent[0]) * east
    bar = _nice_length(width_m / 5.0)
    labels_every = max(1, int(math.ceil(len(plan.towers) / 40)))
    return {"shade": shade, "extent": extent,
            "segments": [[s["from"].at, s["to"].at] for s in plan.spans],
            "totals": list(result.spans["total"]), "towers": [t.at for t in plan.towers],
            "labels": [(k, t.label) for k, t in enumerate(plan.towers) if k % labels_every == 0
                       or k == len(plan.towers) - 1],
            "bar_metres": bar, "bar_units": bar / east, "aspect": north / east,
            "rate_method": result.summary["rateMethod"]}


def _draw_map(path, plan, result, dem):
    import matplotlib.colors
    from matplotlib.collections import LineCollection
    from matplotlib.figure import Figure
    from mpl_toolkits.axes_grid1 import make_axes_locatable
    from mpl_toolkits.axes_grid1.anchored_artists import AnchoredSizeBar
    scene = _map_scene(plan, result, dem)
    left, right, bottom, top = scene["extent"]
    tall = (top - bottom) * scene["aspect"] / (right - left)
    # A figure of its own, outside pyplot: no backend and no global state.
    fig = Figure(figsize=(9.0, min(max(9.0 * tall, 3.0), 12.0) + 1.0))
    ax = fig.subplots()
    ax.imshow(scene["shade"], cmap="gray", vmin=0.0, vmax=1.0, extent=scene["extent"], origin="upper",
              interpolation="bilinear")
    totals = numpy.asarray(scene["totals"], dtype=float)
    low, high = float(totals.min()), float(totals.max())
    if not high > low:
        low, high = 0.0, high if high > 0 else 1.0
    lines = LineCollection(scene["segments"], cmap="plasma", norm=matplotlib.colors.Normalize(low, high),
                           linewidths=3.0)
    lines.set_array(totals)
    ax.add_collection(lines)
    px = [p[0] for p in scene["towers"]]
    py = [p[1] for p in scene["towers"]]
    ax.plot(px, py, "o", color="white", markeredgecolor="black", markersize=4, zorder=3)
    for k, label in scene["labels"]:
        ax.annotate(label, scene["towers"][k], xytext=(4, 4), textcoords="offset points", fontsize=8,
                    color="black", bbox={"boxstyle": "round,pad=0.1", "fc": "white", "alpha": 0.7, "lw": 0})
    bar_label = (f"{scene['bar_metres'] / 1000:g} km" if scene["bar_metres"] >= 1000
                 else f"{scene['bar_metres']:g} m")
    ax.add_artist(AnchoredSizeBar(ax.transData, scene["bar_units"], bar_label, "lower left", pad=0.5,
                                  frameon=True, size_vertical=0))
    ax.annotate("N", xy=(0.95, 0.97), xytext=(0.95, 0.86), xycoords="axes fraction",
                textcoords="axes fraction", ha="center", va="center", fontsize=11, fontweight="bold",
                bbox={"boxstyle": "round,pad=0.2", "fc": "white", "alpha": 0.8, "lw": 0},
                arrowprops={"arrowstyle": "-|>", "color": "black"})
    ax.ticklabel_format(useOffset=False, style="plain")
    ax.set_xlim(scene["extent"][0], scene["extent"][1])
    ax.set_ylim(scene["extent"][2], scene["extent"][3])
    ax.set_aspect(scene["aspect"])
    bar = fig.colorbar(lines, cax=make_axes_locatable(ax).append_axes("right", size="3%", pad=0.1))
    bar.set_label(f"shielding failures per 100 km per year\n({scene['rate_method']} method)")
    crs = pyproj.CRS.from_user_input(plan.dem_crs)
    ax.set_xlabel(f"{crs.name}: x" if not crs.is_geographic else "longitude, degrees")
    ax.set_ylabel(f"{crs.name}: y" if not crs.is_geographic else "latitude, degrees")
    s = result.summary
    ax.set_title(f"{s['spans']} spans, {s['lengthKm']:.3f} km: "
                 f"{s['failuresPerYear']['total']:.4g} shielding failures per year")
    _replace(path, lambda temporary: fig.savefig(temporary, dpi=120, bbox_inches="tight",
                                                 format=path.suffix[1:].lower()))


# ---------------------------------------------------------------------------
# The command egm-gis-route

def _text(value):
    """A table's field as egm-study writes it: shortest numbers, true and
    false, nothing for none."""
    if value is None:
        return ""
    if isinstance(value, (bool, numpy.bool_)):
        return "true" if value else "false"
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, numbers.Real):
        v = float(value)
        if math.isnan(v):
            return ""
        return repr(v) if not v.is_integer() or abs(v) >= 1e16 else str(int(v))
    return str(value)


def write_table(result, out):
    """The route's table as egm-study route --format csv writes it: one row
    per span, then the summary as '#' lines."""
    frame = result.spans
    columns = [c for c in frame.columns
               if not frame[c].map(lambda v: isinstance(v, (list, tuple, dict))).any()]
    w = csv.writer(out, lineterminator="\n")
    w.writerow(columns)
    for row in frame[columns].itertuples(index=False):
        w.writerow([_text(_plain(v)) for v in row])
    s = result.summary
    out.write(f"# spans {s['spans']}, failed {s['failed']}, length {_text(s['lengthKm'])} km\n")
    failures = ", ".join(f"{k} {_text(v)}" for k, v in s["failuresPerYear"].items())
    out.write(f"# failures per year: {failures}\n")
    out.write(f"# average {_text(s['averagePer100KmPerYear'])} per 100 km per year, {s['rateMethod']} method\n")
