"""The command egm-gis-route over egm_shielding.gis.route: its flags are the
function's keywords; the table goes to standard output or --table."""

import argparse
import os
import sys
from pathlib import Path

from ._gis_outputs import _replace, write_table
from ._gis_reading import _reason

# The command's input flags: every input of rates() that a tower over a
# ground profile takes, by the input table's names; numbers unless named
# here.
_TEXT_INPUTS = ("law", "distribution", "evaluation", "rate-method")
_FLAG_INPUTS = ("thunder-days", "min-current", "law", "law-a", "law-b", "law-c", "law-d", "law-beta",
                "distribution", "current-scale", "current-exponent", "current-median", "current-sigma",
                "rate-method", "evaluation")


def _parser():
    p = argparse.ArgumentParser(
        prog="egm-gis-route",
        description="A line's expected shielding failures from its towers on a map and a ground elevation "
                    "model: each span's ground across the line sampled at cross-sections, each computed as a "
                    "ground profile case, combined by the trapezoidal rule along the span. Writes the route's "
                    "table (CSV, one row per span, the summary as '#' lines) to standard output or --table.")
    p.add_argument("towers", help="point layer of the towers in line order (an order or number attribute, "
                                  "else the file's order), or a line layer whose vertices are the towers")
    p.add_argument("dem", help="ground elevation raster, m (GeoTIFF, any CRS)")
    p.add_argument("--tower", metavar="FILE", help="tower file for every tower without a 'tower' attribute")
    p.add_argument("--cover", metavar="RASTER", help="raster of tree and building heights, m")
    p.add_argument("--flash-density", metavar="N|RASTER",
                   help="ground flashes per km^2 per year: a number, or a raster averaged along each span")
    p.add_argument("--sections", type=int, default=5, help="cross-sections per span, both towers included (5)")
    p.add_argument("--profile-step", type=float, metavar="M", help="m between profile points (the DEM's cell)")
    p.add_argument("--profile-width", type=float, default=600.0, metavar="M", help="m each side of the line (600)")
    p.add_argument("--output", metavar="FILE", help="spans and towers as a .gpkg or .geojson layer")
    p.add_argument("--map", metavar="FILE", help="picture of the line: .png, .svg or .pdf")
    p.add_argument("--table", metavar="FILE", help="the route's table (default: standard output)")
    p.add_argument("--client", metavar="ADDRESS",
                   help="a Dask scheduler's address (tcp://host:8786): the sections computed on its workers")
    p.add_argument("--jobs", type=int, help="threads (default: one per core)")
    p.add_argument("--flag-above", type=float, metavar="R", help="flag the stretches whose total rate exceeds R")
    p.add_argument("--top", type=int, default=10, help="spans listed as contributing most (10)")
    for name in _FLAG_INPUTS:
        p.add_argument(f"--{name}", type=str if name in _TEXT_INPUTS else float,
                       help="as egm-study's --" + name)
    p.add_argument("--current-table", metavar="FILE", help="as egm-study's --current-table")
    return p


def main(argv=None):
    """egm-gis-route: exit status 0, 1 with one line on standard error for
    inputs that cannot be used (nothing written), 2 for usage errors."""
    from .gis import route

    args = _parser().parse_args(argv)
    inputs = {}
    for name in _FLAG_INPUTS + ("current-table",):
        value = getattr(args, name.replace("-", "_"))
        if value is not None:
            inputs[name.replace("-", "_")] = value
    density = args.flash_density
    if density is not None:
        try:
            density = float(density)
        except ValueError:
            pass
    client = None
    try:
        if args.table is not None:
            # Refused before anything is computed or written, as the other outputs.
            table = Path(args.table)
            if not table.resolve().parent.is_dir():
                raise ValueError(f"table '{table}': no folder '{table.parent}'")
            for given in (args.towers, args.dem, args.tower, args.cover, args.flash_density, args.output, args.map):
                if given is not None and os.path.exists(given) and table.exists() and os.path.samefile(given, table):
                    raise ValueError(f"table '{table}' is the file '{given}': an input is never replaced; "
                                     "nothing written")
        if args.client is not None:
            from distributed import Client
            client = Client(args.client)
        result = route(args.towers, args.dem, tower=args.tower, cover=args.cover, flash_density=density,
                       sections=args.sections, profile_step=args.profile_step, profile_width=args.profile_width,
                       output=args.output, map=args.map, client=client, jobs=args.jobs,
                       flag_above=args.flag_above, top=args.top, **inputs)
        if args.table is not None:
            _replace(table, lambda temporary: _write_table_file(temporary, result))
        else:
            write_table(result, sys.stdout)
            sys.stdout.flush()
    except (ValueError, TypeError, OSError) as e:
        print(f"egm-gis-route: {_reason(e)}", file=sys.stderr)
        return 1
    finally:
        if client is not None:
            client.close()
    return 0


def _write_table_file(path, result):
    with open(path, "w", encoding="utf-8", newline="") as f:
        write_table(result, f)
