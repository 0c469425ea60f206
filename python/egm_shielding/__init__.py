"""Lightning shielding failure rate of an overhead line with two ground wires
above two conductors, by the electrogeometric model.

For every lightning current from the lowest current up to 200 kA above it, in
steps of 1 kA, and for 180 incidence angles, the striking circles of the four
wires are built over the (possibly sloped) ground, their exposed arcs found
and projected onto the ground; what the conductors collect is integrated into
shielding failures per 100 km of line per year.

Conventions:
  * Lengths in metres, currents in kA, the ground slope in degrees.
  * Ground wire 1 and conductor 1 are the wires on the +x side of the line,
    ground wire 2 and conductor 2 those on the -x side; heights are above the
    ground at the tower.
  * slope: the ground at the tower slopes by this angle; positive, it falls
    towards +x, so ground wire 1 and conductor 1 stand on the downhill side.
  * The built-in striking-distance law, I in kA: ground wires
    1.63 (5.015 I^0.578)^1.125 m, conductor 1 1.63 (5.015 I^0.578 + U)^1.125 m,
    conductor 2 1.63 (5.015 I^0.578 - U)^1.125 m, U the voltage term. Other
    laws: 'ieee-1992', 'love', 'brown-whitehead', 'armstrong-whitehead',
    'custom' (law_coefficients=(a, b, c, d) for r = a I^b and G = c I^d, or
    (a, b, beta) for G = beta a I^b); they take no voltage term.
  * The built-in current distribution: probability density of
    P(>I) = 1 / (1 + (I / current_scale)^current_exponent); or 'log-normal'
    with current_median (kA) and current_sigma (of ln I).
  * evaluation: 'sound' (the default: both sides' outward-facing arcs, the
    shielding cut mirrored for strokes from the -x side) or 'compat' (as the
    egm-shielding program computes it, to the last bit).

Inputs that cannot be computed raise ValueError with the one-line message of
the command line (for example "slope 95 degrees: must lie strictly between
-90 and 90 degrees").

Example:
    >>> import egm_shielding as egm
    >>> egm.rates().total
    0.23694265317097735
"""

from . import _core

__all__ = ["Line", "Result", "Strokes", "rates", "strokes", "batch", "sweep", "exposure",
           "to_dataframe", "plot_strokes", "plot_exposure", "input_names", "__version__"]

__version__ = _core.version()

WIRES = ("groundWire1", "groundWire2", "conductor1", "conductor2")


class Line:
    """A line's cross-section: each wire's (x, height) in metres.

    Ground wire 1 and conductor 1 are the wires on the +x side, ground wire 2
    and conductor 2 those on the -x side. The defaults are the built-in
    example line: ground wires at (+-9.89, 57), conductors at (+-11.2, 42).
    """

    def __init__(self, ground_wire_1=(9.89, 57.0), ground_wire_2=(-9.89, 57.0),
                 conductor_1=(11.2, 42.0), conductor_2=(-11.2, 42.0)):
        self.ground_wire_1 = tuple(ground_wire_1)
        self.ground_wire_2 = tuple(ground_wire_2)
        self.conductor_1 = tuple(conductor_1)
        self.conductor_2 = tuple(conductor_2)

    def to_inputs(self):
        """The positions as inputs by name: x1..x4 and h1..h4, metres."""
        wires = (self.ground_wire_1, self.ground_wire_2, self.conductor_1, self.conductor_2)
        inputs = {}
        for k, (x, h) in enumerate(wires, start=1):
            inputs[f"x{k}"] = float(x)
            inputs[f"h{k}"] = float(h)
        return inputs

    def __repr__(self):
        return (f"Line(ground_wire_1={self.ground_wire_1}, ground_wire_2={self.ground_wire_2}, "
                f"conductor_1={self.conductor_1}, conductor_2={self.conductor_2})")


def _inputs(line, flash_density, slope, min_current, voltage_term, law, law_coefficients,
            distribution, current_scale, current_exponent, current_median, current_sigma,
            evaluation):
    inputs = dict((line or Line()).to_inputs())
    inputs.update({"flash-density": flash_density, "slope": slope, "min-current": min_current,
                   "law": law, "distribution": distribution, "current-scale": current_scale,
                   "current-exponent": current_exponent, "current-median": current_median,
                   "current-sigma": current_sigma, "evaluation": evaluation})
    if voltage_term is not None:
        inputs["voltage-term"] = voltage_term
    if law_coefficients is not None:
        inputs["law_coefficients"] = list(law_coefficients)
    return inputs


class Result:
    """The rates of one line and what was worked out with them.

    Attributes:
      conductor1, conductor2, total: shielding failure rates, strokes per
        100 km per year.
      max_current: (conductor 1, conductor 2), kA: the largest current of the
        integrated range at which the conductor has a width for some incidence
        angle, to 0.01 kA; None when never exposed.
      max_current_at_top: (bool, bool): still exposed at the top of the range
        (the figure is then the range's end, not a computed maximum).
      classical_max_current: (conductor 1, conductor 2), kA: the largest
        current with a width for vertical strokes, searched from 0.1 to
        1000 kA; None when never exposed.
      classical_max_current_at_top: (bool, bool): still exposed at 1000 kA.
      terrain_factor: 1/6, or 1/3 on steep ground.
      collection_width: the line's equivalent collection width, m.
      current_range: (from, to, steps), kA.
      evaluation, law, distribution: how the line was computed.
      notes: remarks about the line's layout.
    """

    def __init__(self, row):
        self._row = dict(row)
        self.conductor1 = row["conductor1"]
        self.conductor2 = row["conductor2"]
        self.total = row["total"]
        self.max_current = (row["maxCurrentConductor1"], row["maxCurrentConductor2"])
        self.max_current_at_top = (row["maxCurrentAtTopConductor1"], row["maxCurrentAtTopConductor2"])
        self.classical_max_current = (row["classicalMaxCurrentConductor1"], row["classicalMaxCurrentConductor2"])
        self.classical_max_current_at_top = (row["classicalMaxCurrentAtTopConductor1"], row["classicalMaxCurrentAtTopConductor2"])
        self.terrain_factor = row["terrainFactor"]
        self.collection_width = row["collectionWidth"]
        self.current_range = (row["currentFrom"], row["currentTo"], row["currentSteps"])
        self.evaluation = row["evaluation"]
        self.law = row["law"]
        self.distribution = row["distribution"]
        self.notes = list(row["notes"])

    def to_dict(self):
        """Every figure by the column names of egm-study's CSV output."""
        return dict(self._row)

    def __repr__(self):
        return (f"Result(conductor1={self.conductor1!r}, conductor2={self.conductor2!r}, "
                f"total={self.total!r}, evaluation={self.evaluation!r}, law={self.law!r})")


def rates(line=None, *, flash_density=2.8, slope=0.0, min_current=23.5, voltage_term=None,
          law="built-in", law_coefficients=None, distribution="built-in", current_scale=31.0,
          current_exponent=2.8, current_median=31.1, current_sigma=0.484, evaluation="sound"):
    """Shielding failure rates of a line, strokes per 100 km per year.

    Args:
      line: a Line (metres); the built-in example line when None.
      flash_density: ground flashes per km^2 per year (2.8).
      slope: ground slope at the tower, degrees (0); positive falls towards +x.
      min_current: lowest current integrated, kA (23.5); the integration runs
        to 200 kA above it in steps of 1 kA.
      voltage_term: U of the built-in law (0.8 when None; 0 with other laws).
      law: striking-distance law ('built-in').
      law_coefficients: for law='custom': (a, b, c, d) or (a, b, beta).
      distribution: 'built-in' or 'log-normal'.
      current_scale, current_exponent: the built-in distribution (31 kA, 2.8).
      current_median, current_sigma: the log-normal one (31.1 kA, 0.484).
      evaluation: 'sound' (default) or 'compat'.

    Returns a Result. Raises ValueError for inputs that cannot be computed.
    """
    return Result(_core.rates(_inputs(line, flash_density, slope, min_current, voltage_term, law,
                                      law_coefficients, distribution, current_scale,
                                      current_exponent, current_median, current_sigma, evaluation)))


class Strokes:
    """The widths of each stroke: numpy arrays that own their memory.

    Attributes:
      currents: (n,) kA.
      angles: (180,) incidence angles, radians from +x (below pi/2 the
        stroke comes from the +x side).
      widths: (n, 180, 4) m: the width of each wire's shadow across the
        stroke direction, the conductors' after the shielding cut; the last
        axis in the order of wires.
      wires: ('groundWire1', 'groundWire2', 'conductor1', 'conductor2').
      evaluation: how they were computed.
    """

    def __init__(self, d):
        self.currents = d["currents"]
        self.angles = d["angles"]
        self.widths = d["widths"]
        self.wires = tuple(d["wires"])
        self.evaluation = d["evaluation"]

    @property
    def degrees(self):
        """The incidence angles in degrees, 1 to 180."""
        return [k + 1 for k in range(len(self.angles))]


def strokes(line=None, *, current=None, flash_density=2.8, slope=0.0, min_current=23.5,
            voltage_term=None, law="built-in", law_coefficients=None, distribution="built-in",
            current_scale=31.0, current_exponent=2.8, current_median=31.1, current_sigma=0.484,
            evaluation="sound"):
    """The width of every stroke of the integration (or of one current, kA).

    Takes the inputs of rates(); returns Strokes. Raises ValueError for inputs
    that cannot be computed.
    """
    return Strokes(_core.strokes(_inputs(line, flash_density, slope, min_current, voltage_term, law,
                                         law_coefficients, distribution, current_scale,
                                         current_exponent, current_median, current_sigma,
                                         evaluation), current))


def _records(cases):
    if hasattr(cases, "to_dict") and hasattr(cases, "columns"):
        return cases.to_dict("records"), True
    return [dict(c) for c in cases], False


def batch(cases, jobs=None):
    """Many cases at once, computed in parallel, results in input order.

    Args:
      cases: a sequence of dicts, or a pandas DataFrame, keyed like the
        columns of egm-study batch: any input's name ('slope', 'h1',
        'min-current' or 'min_current', 'law', ...) and an optional 'name';
        a missing key, None or NaN keeps the built-in value.
      jobs: threads; None for one per core.

    Returns one dict per case (a DataFrame for a DataFrame): case, name, the
    result columns, and error (empty, or why the case could not be
    computed). Raises ValueError for a key that names no input.
    """
    records, frame = _records(cases)
    rows = _core.batch(records, 0 if jobs is None else int(jobs))
    if frame:
        import pandas
        return pandas.DataFrame(rows)
    return rows


def sweep(param, values, line=None, jobs=None, **inputs):
    """The rates as one input takes each of values, like egm-study sweep.

    param is any input's name ('slope', 'h1', 'ground-wire-height', ...);
    inputs are the other inputs by name (as for batch). Returns one dict per
    value: the value under param's name, the result columns and error.
    """
    base = dict((line or Line()).to_inputs())
    base.update({k: v for k, v in inputs.items()})
    cases = []
    for v in values:
        case = dict(base)
        case[param] = v
        cases.append(case)
    rows = batch(cases, jobs)
    out = []
    for v, row in zip(values, rows):
        entry = {param: v}
        entry.update({k: x for k, x in row.items() if k not in ("case", "name")})
        out.append(entry)
    return out


def exposure(line=None, *, flash_density=2.8, slope=0.0, min_current=23.5, voltage_term=None,
             law="built-in", law_coefficients=None, distribution="built-in", current_scale=31.0,
             current_exponent=2.8, current_median=31.1, current_sigma=0.484, evaluation="sound"):
    """Each conductor's angle-weighted exposure per current of the
    integration (its share of the four widths, weighted by incidence angle,
    summed over the angles, before the current density): a dict of arrays
    'current' (kA), 'conductor1', 'conductor2', and 'result', the Result.
    Takes the inputs of rates()."""
    d = _core.exposure(_inputs(line, flash_density, slope, min_current, voltage_term, law,
                               law_coefficients, distribution, current_scale, current_exponent,
                               current_median, current_sigma, evaluation))
    d["result"] = Result(d["result"])
    return d


def to_dataframe(result):
    """A pandas DataFrame of a Result (one row), of rows from batch or sweep,
    or of Strokes (one row per stroke: current, degrees, theta, the four
    widths). Needs pandas."""
    import pandas
    if isinstance(result, Result):
        return pandas.DataFrame([result.to_dict()])
    if isinstance(result, Strokes):
        n = len(result.currents)
        widths = result.widths.reshape(n * len(result.angles), 4)
        frame = pandas.DataFrame(widths, columns=list(result.wires))
        frame.insert(0, "theta", list(result.angles) * n)
        frame.insert(0, "degrees", result.degrees * n)
        frame.insert(0, "current", [c for c in result.currents for _ in result.angles])
        return frame
    return pandas.DataFrame(list(result))


def plot_strokes(result, current_index=0, ax=None):
    """Each wire's width against the incidence angle for one current of
    Strokes, with matplotlib; returns the axes."""
    import matplotlib.pyplot as plt
    if ax is None:
        ax = plt.figure().add_subplot()
    for w, name in enumerate(result.wires):
        ax.plot(result.degrees, result.widths[current_index, :, w], label=name)
    ax.set_xlabel("incidence angle, degrees from +x")
    ax.set_ylabel("width, m")
    ax.set_title(f"{result.currents[current_index]:g} kA ({result.evaluation})")
    ax.legend()
    return ax


def plot_exposure(line=None, ax=None, **inputs):
    """Each conductor's angle-weighted exposure against current with the
    maximum shielding failure currents marked, with matplotlib; returns the
    axes. Takes the inputs of rates()."""
    import matplotlib.pyplot as plt
    data = exposure(line, **inputs)
    if ax is None:
        ax = plt.figure().add_subplot()
    ax.plot(data["current"], data["conductor1"], label="conductor 1")
    ax.plot(data["current"], data["conductor2"], label="conductor 2")
    for k, (current, top) in enumerate(zip(data["result"].max_current, data["result"].max_current_at_top)):
        if current is not None:
            ax.axvline(current, linestyle="--", color="grey",
                       label=f"max. current, conductor {k + 1}: {current:g} kA" + (" (top of range)" if top else ""))
    ax.set_xlabel("lightning current, kA")
    ax.set_ylabel("angle sum (conductor's weighted share)")
    ax.set_title(f"evaluation {data['result'].evaluation}, law {data['result'].law}")
    ax.legend()
    return ax


def input_names():
    """The names of every input, as batch keys and egm-study flags take them."""
    return list(_core.input_names())
