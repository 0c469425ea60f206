"""The time of egm_shielding.gis.route over a line of many spans on rolling
ground, written here as a GeoTIFF (nothing downloaded):

    PYTHONPATH=build/default/python python3 python/bench/gis_route_speed.py [SPANS] [CELL]

The line winds to and fro across a DEM of CELL m cells (10 by default), in
spans of 300 m; each span's 5 cross-sections reach 600 m either side, one
point a cell (121 points at 10 m). Prints the time to sample the sections
and the time of the whole route, on every core of this machine.
"""

import math
import os
import sys
import tempfile
import time

import geopandas
import numpy
import rasterio
import shapely.geometry
from rasterio.transform import from_origin

import egm_shielding.gis as gis

SPAN = 300.0
ROW = 20000.0  # m, the length of one leg of the line


def main():
    spans = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    cell = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    per_row = int(ROW // SPAN)
    rows = math.ceil(spans / per_row) + 1
    size = ROW + 2000.0
    cells = int(size / cell)
    height_m = rows * 1500.0 + 2000.0
    left, top = 500000.0, 5300000.0 + height_m
    with tempfile.TemporaryDirectory() as d:
        x = left + (numpy.arange(cells) + 0.5) * cell
        y = top - (numpy.arange(int(height_m / cell)) + 0.5) * cell
        xx, yy = numpy.meshgrid(x, y)
        # Rolling hills: some 60 m from trough to crest, 1 to 3 km apart.
        z = (400.0 + 25.0 * numpy.sin((xx - left) / 450.0) * numpy.cos((yy - top) / 700.0)
             + 10.0 * numpy.sin((xx - left + yy - top) / 170.0))
        dem = os.path.join(d, "dem.tif")
        with rasterio.open(dem, "w", driver="GTiff", width=z.shape[1], height=z.shape[0], count=1,
                           dtype="float64", crs="EPSG:32633", transform=from_origin(left, top, cell, cell)) as f:
            f.write(z, 1)
        points = []
        for k in range(spans + 1):
            r, j = divmod(k, per_row + 1)
            along = j * SPAN if r % 2 == 0 else (per_row - j) * SPAN
            points.append((left + 1000.0 + along, top - 1000.0 - r * 1500.0))
        towers = os.path.join(d, "towers.gpkg")
        geopandas.GeoDataFrame({"number": list(range(1, len(points) + 1))},
                               geometry=[shapely.geometry.Point(p) for p in points], crs="EPSG:32633").to_file(towers)
        tower = os.path.join(d, "tower.csv")
        with open(tower, "w") as f:
            f.write("name,kind,x,height,voltage-term,sag\nE,ground wire,0,55,,4\n"
                    "A1,conductor,6,45,0,7\nA2,conductor,-6,45,0,7\nB1,conductor,7,38,0,7\nB2,conductor,-7,38,0,7\n")
        started = time.perf_counter()
        sections = gis.cross_sections(towers, dem, tower=tower)
        sampled = time.perf_counter() - started
        print(f"{len(sections)} sections of {len(sections[0]['case']['ground'])} points sampled: {sampled:.1f} s",
              flush=True)
        started = time.perf_counter()
        r = gis.route(towers, dem, tower=tower)
        whole = time.perf_counter() - started
        print(f"route of {r.summary['spans']} spans ({r.summary['lengthKm']:.1f} km) on {os.cpu_count()} cores: "
              f"{whole:.1f} s; {r.summary['failuresPerYear']['total']:.6g} failures per year")


if __name__ == "__main__":
    main()
