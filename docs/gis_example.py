"""Writes the README's example of egm-gis-route into a folder: dem.tif (a
ridge and a valley, 20 m cells, UTM zone 33N), towers.geojson (six towers in
degrees, EPSG:4326, numbered 101 to 106) and tower.csv (one ground wire above
two conductors, with sag).

    python3 docs/gis_example.py FOLDER
"""

import os
import sys

import geopandas
import numpy
import pyproj
import rasterio
import shapely.geometry
from rasterio.transform import from_origin

LEFT, TOP, CELL, CELLS = 500000.0, 5302000.0, 20.0, 150


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(folder, exist_ok=True)
    x = LEFT + (numpy.arange(CELLS) + 0.5) * CELL
    y = TOP - (numpy.arange(CELLS) + 0.5) * CELL
    xx, yy = numpy.meshgrid(x - LEFT, TOP - y)
    # A ridge running north-east, 45 m above a valley floor that falls to the east.
    z = (420.0 - 0.02 * xx + 45.0 * numpy.exp(-((xx - yy - 300.0) / 260.0) ** 2)
         - 35.0 * numpy.exp(-((xx - 2200.0) / 180.0) ** 2))
    with rasterio.open(os.path.join(folder, "dem.tif"), "w", driver="GTiff", width=CELLS, height=CELLS, count=1,
                       dtype="float32", crs="EPSG:32633", transform=from_origin(LEFT, TOP, CELL, CELL)) as f:
        f.write(z.astype("float32"), 1)
    utm = [(700.0, 1500.0), (1050.0, 1420.0), (1400.0, 1300.0), (1780.0, 1250.0), (2150.0, 1180.0),
           (2500.0, 1000.0)]
    to = pyproj.Transformer.from_crs("EPSG:32633", "EPSG:4326", always_xy=True)
    points = [shapely.geometry.Point(to.transform(LEFT + e, TOP - s)) for e, s in utm]
    geopandas.GeoDataFrame({"number": list(range(101, 107))}, geometry=points,
                           crs="EPSG:4326").to_file(os.path.join(folder, "towers.geojson"))
    with open(os.path.join(folder, "tower.csv"), "w", encoding="utf-8") as f:
        f.write("name,kind,x,height,voltage-term,sag\n"
                "earth,ground wire,0,42,,5\n"
                "L1,conductor,5.5,34,0,8\n"
                "L2,conductor,-5.5,34,0,8\n")


if __name__ == "__main__":
    main()
