"""The package as a user installs it: a wheel built from the source tree by
`python3 -m build --no-isolation` (the source distribution first, the wheel
from it, so that the source distribution is seen to hold all the build
needs), installed into a fresh virtual environment that sees the system's
numpy, computes what the build tree's module computes, to the last bit."""

import importlib.util
import json
import os
import re
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

import egm_shielding as egm

pytest.importorskip("build", reason="python3-build is not installed: the packaging test is skipped")

ROOT = Path(__file__).resolve().parents[2]

# What the installed package is asked: where it was imported from, its
# version, and a few figures as hex floats (exact, unlike decimal text).
PROBE = """
import json, egm_shielding as egm
double = [("ground wire", 0, 55), ("A1", "conductor", 6, 45, 0), ("B1", "conductor", 8, 37, 0),
          ("C1", "conductor", 6.5, 29, 0), ("A2", "conductor", -6, 45, 0)]
rows = egm.batch([{"slope": s} for s in (-20.0, 0.0, 25.0)] + [{"tower": double, "min_current": 3}])
print(json.dumps({"file": egm.__file__, "version": egm.__version__,
                  "total": egm.rates().total.hex(),
                  "batch": [row["total"].hex() for row in rows]}))
"""


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(\s*egm_shielding\s+VERSION\s+([0-9.]+)", text).group(1)


def run(command, cwd, env):
    """command's standard output; on failure, the test fails with its output."""
    done = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True)
    assert done.returncode == 0, f"{' '.join(map(str, command))} failed:\n{done.stdout[-6000:]}"
    return done.stdout


@pytest.mark.slow
def test_a_wheel_installed_into_a_fresh_environment_computes_as_the_build_tree(tmp_path):
    # Nothing of the build tree may leak into the build or the environment.
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PYTHONHOME")}
    dist = tmp_path / "dist"
    run([sys.executable, "-m", "build", "--no-isolation", "--outdir", dist, ROOT], tmp_path, env)
    version = project_version()
    wheels = list(dist.glob("*.whl"))
    assert [w.name.split("-")[:2] for w in wheels] == [["egm_shielding", version]]
    assert len(list(dist.glob(f"egm-shielding-{version}.tar.gz"))) == 1
    with zipfile.ZipFile(wheels[0]) as wheel:
        names = wheel.namelist()
    assert {"egm_shielding/__init__.py", "egm_shielding/distributed.py", "egm_shielding/gis.py",
            "egm_shielding/_gis_reading.py", "egm_shielding/_gis_outputs.py", "egm_shielding/_gis_cli.py"} <= set(names)
    assert any(re.fullmatch(r"egm_shielding/_core\..*\.so", n) for n in names)
    with zipfile.ZipFile(wheels[0]) as wheel:
        entry_points = [wheel.read(n).decode() for n in names if n.endswith(".dist-info/entry_points.txt")]
    assert len(entry_points) == 1 and "egm-gis-route = egm_shielding.gis:main" in entry_points[0]

    venv = tmp_path / "venv"
    run([sys.executable, "-m", "venv", "--system-site-packages", venv], tmp_path, env)
    python = venv / "bin" / "python"
    run([python, "-m", "pip", "install", "--no-index", "--disable-pip-version-check", wheels[0]], tmp_path,
        env)
    installed = json.loads(run([python, "-c", PROBE], tmp_path, env))
    # The command the package installs, when the GIS packages are there.
    if all(importlib.util.find_spec(m) for m in ("rasterio", "geopandas", "shapely", "pyproj")):
        assert "usage: egm-gis-route" in run([venv / "bin" / "egm-gis-route", "--help"], tmp_path, env)

    assert Path(installed["file"]).resolve().is_relative_to(venv.resolve())
    assert installed["version"] == version == egm.__version__
    # The same from the module this test imports (the build tree's).
    here = json.loads(run([sys.executable, "-c", PROBE], os.getcwd(), dict(os.environ)))
    assert Path(here["file"]).resolve().parent == Path(egm.__file__).resolve().parent
    assert installed["total"] == here["total"]
    assert installed["batch"] == here["batch"]
