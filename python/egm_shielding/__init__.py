"""Lightning shielding failure rate of an overhead line by the
electrogeometric model: any tower of ground wires and conductors (up to 16
wires), the built-in example line (two ground wires above two conductors) by
default.

For every lightning current from the lowest current up to 200 kA above it, in
steps of 1 kA, and for 180 incidence angles, each stroke comes down along
parallel paths; a path is caught by the first striking disk it enters, or by
the ground when it meets the ground's striking line first. What each
conductor catches is integrated into shielding failures per 100 km of line
per year, by one of two rate methods (rate_method):
  * 'share' (the default, the model's own): the conductors' share of the
    stroke paths the wires catch over every incidence angle (weighted
    0.75 sin^3 theta) and current, times the ground flash density, the
    line's collection width 28 h^0.6 + b and a terrain factor (1/6, or 1/3
    on steep ground).
  * 'exposure' (the line-design guides' method): for each conductor
    0.1 N_g times the sum over the current grid of f(I) D(I) 1 kA, D(I) the
    conductor's width for vertical strokes (m), f the current's probability
    density per kA; the total is the sum over the conductors. On the
    built-in line under ieee-1992 (voltage term 0) it gives about 0.16
    where 'share' gives about 0.11.
Every result says by which method its rates are (Result.rate_method, the
column rateMethod): never compare or add rates of different methods.

Conventions:
  * Lengths in metres, currents in kA, the ground slope in degrees.
  * A tower is a list of wires, each (kind, x, height), (kind, x, height,
    voltage_term), (name, kind, x, height, voltage_term), (name, kind, x,
    height, voltage_term, sag) or (name, kind, x, height, voltage_term, sag,
    critical_current), or a dict with those keys and a conductor's
    insulation items, a pandas DataFrame with those columns, or the path of
    a tower file (egm-study's CSV: name, kind, x, height, voltage-term, sag
    and the insulation columns); kind is 'ground wire', 'conductor' or
    'other wire' (a neighbouring line's wire: it catches strokes but is not
    rated; any letter case, 'ground_wire' too). Wires
    without a name are called groundWire1, groundWire2, ... and conductor1,
    conductor2, ..., counted by kind in the tower's order. Results come per
    conductor under these names.
  * The built-in line: ground wire 1 and conductor 1 are the wires on the +x
    side, ground wire 2 and conductor 2 those on the -x side; a Line gives
    their positions. Heights are above the ground at the tower.
  * Sag: how far a wire hangs below its height at the tower at mid-span, m
    (0 by default; 0 or more and less than 1.5 times the height). The
    computation takes the span's average height, height - 2/3 sag, as the
    line-design guides do; Result.heights gives the heights used. A tower
    gives each wire its own sag; the built-in line takes ground_wire_sag and
    conductor_sag. With sag 0 every figure is that of the height at the
    tower.
  * slope: the ground at the tower slopes by this angle; positive, it falls
    towards +x, so ground wire 1 and conductor 1 stand on the downhill side.
  * The built-in striking-distance law, I in kA: ground wires
    1.63 (5.015 I^0.578)^1.125 m, a conductor 1.63 (5.015 I^0.578 + U)^1.125 m,
    U its voltage term (on the built-in line voltage_term gives conductor 1
    +U and conductor 2 -U). Other laws: 'ieee-1992', 'love',
    'brown-whitehead', 'armstrong-whitehead', 'custom'
    (law_coefficients=(a, b, c, d) for r = a I^b and G = c I^d, or
    (a, b, beta) for G = beta a I^b); they take no voltage term, and
    law_coefficients goes with the custom law only.
  * The built-in current distribution: probability density of
    P(>I) = 1 / (1 + (I / current_scale)^current_exponent); or 'log-normal'
    with current_median (kA) and current_sigma (of ln I).
  * evaluation: 'first-contact' (the default, any tower) or 'compat' (as the
    egm-shielding program computes it, to the last bit; two ground wires and
    two conductors only).
  * The defaults that move the figures most: min_current (23.5 kA, the
    first current of the integration, standing for the current below which
    a stroke to a conductor cannot flash the insulation over; from 3 kA the
    built-in line's share rate more than doubles), the voltage term (0.8 on
    the built-in line: +U lengthens conductor 1's striking distance, -U
    shortens conductor 2's; 0 removes it), the current distribution and
    the rate method.

Flashovers: a conductor whose insulation gives a critical current Ic
(critical-current; or cfo, or insulation-length, with surge-impedance or
with its radius and bundle) has its flashover rate beside its rate: the
strokes from Ic up, exactly its rate with min_current=Ic
(Result.flashover_rates, Result.critical_currents,
Result.perfectly_shielded).

Every law, distribution, model term and default, with its source and its
effect in numbers: docs/models.md of the source tree.

Inputs that cannot be computed raise ValueError with the one-line message of
the command line (for example "slope 95 degrees: must lie strictly between
-90 and 90 degrees", or for a tower "wire 3 (conductor1): height -2 m: must
be greater than 0 m"). None keeps an input's default; a NaN or infinite
value is never taken for "not given": it raises ValueError naming the input
(in a batch, that row's error; only the NaN with which pandas fills a
DataFrame's empty field means "not given").

Batches and routes on a Dask cluster: egm_shielding.distributed.
A line from its towers on a map and a ground elevation model: egm_shielding.gis
(the command egm-gis-route).

Example:
    import egm_shielding as egm
    r = egm.rates(tower=[("ground wire", 0, 55), ("conductor", 6, 45), ("conductor", -6, 45)])
    r.rates        # {'conductor1': ..., 'conductor2': ..., 'total': ...}
"""

import math
import numbers

from . import _core
from ._results import Result, Strokes

__all__ = ["Line", "Result", "Strokes", "Route", "rates", "strokes", "batch", "sweep", "route", "design",
           "exposure", "to_dataframe", "plot_strokes", "plot_exposure", "input_names",
           "MAX_SPAN_LENGTH", "__version__"]

__version__ = _core.version()

def _finite(name, value):
    """value itself; ValueError naming it when it is a NaN or infinite number."""
    if isinstance(value, numbers.Real) and not isinstance(value, bool) and not math.isfinite(value):
        raise ValueError(f"{name} {value}: must be a finite number (None keeps the default)")
    return value


class Line:
    """The built-in line's cross-section: each wire's (x, height) in metres.

    Ground wire 1 and conductor 1 are the wires on the +x side, ground wire 2
    and conductor 2 those on the -x side. The defaults are the built-in
    example line: ground wires at (+-9.89, 57), conductors at (+-11.2, 42).
    For any other tower, give rates() a tower instead.
    """

    def __init__(self, ground_wire_1=(9.89, 57.0), ground_wire_2=(-9.89, 57.0),
                 conductor_1=(11.2, 42.0), conductor_2=(-11.2, 42.0)):
        given = {"ground_wire_1": ground_wire_1, "ground_wire_2": ground_wire_2,
                 "conductor_1": conductor_1, "conductor_2": conductor_2}
        for name, position in given.items():
            position = tuple(position)
            if len(position) != 2:
                raise ValueError(f"{name} {position}: must be (x, height), metres")
            _finite(f"{name} x", position[0])
            _finite(f"{name} height", position[1])
            setattr(self, name, position)

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


def _inputs(line, tower, **given):
    """The inputs by name for _core: a line's positions, the tower, and every
    keyword given (None: the library's default)."""
    if line is not None and tower is not None:
        raise ValueError("give a line or a tower, not both")
    inputs = dict(line.to_inputs()) if line is not None else {}
    if tower is not None:
        inputs["tower"] = tower
    inputs.update({k: v for k, v in given.items() if v is not None})
    if "law_coefficients" in inputs:
        inputs["law_coefficients"] = list(inputs["law_coefficients"])
    return inputs


# The keywords of rates(), strokes() and exposure() that are inputs.
_INPUT_KEYWORDS = (
    "flash_density", "thunder_days", "slope", "ground", "min_current", "voltage_term", "law",
    "law_coefficients", "distribution", "current_table", "current_scale", "current_exponent",
    "current_median", "current_sigma", "evaluation", "rate_method", "ground_wire_sag",
    "conductor_sag")

# The built-in line's insulation keywords (**insulation of rates(), strokes()
# and exposure()): each for both conductors, and with 3 or 4 for conductor 1
# or conductor 2 alone, as the input table names them.
_INSULATION_KEYWORDS = tuple(
    name + wire for name in ("critical_current", "cfo", "insulation_length", "surge_impedance",
                             "conductor_radius", "subconductors", "bundle_radius")
    for wire in ("", "3", "4"))


def _inputs_of(keywords):
    """_inputs of a public function's own arguments (its locals() on entry);
    TypeError for an insulation keyword that is none."""
    insulation = keywords["insulation"]
    for name in insulation:
        if name not in _INSULATION_KEYWORDS:
            raise TypeError(f"unexpected keyword argument {name!r} (the insulation keywords: "
                            f"{', '.join(_INSULATION_KEYWORDS)})")
    return _inputs(keywords["line"], keywords["tower"],
                   **{k: keywords[k] for k in _INPUT_KEYWORDS}, **insulation)


def rates(line=None, *, tower=None, flash_density=None, thunder_days=None, slope=None, ground=None,
          min_current=None, voltage_term=None, law=None, law_coefficients=None,
          distribution=None, current_table=None, current_scale=None, current_exponent=None,
          current_median=None, current_sigma=None, evaluation=None, rate_method=None,
          ground_wire_sag=None, conductor_sag=None, **insulation):
    """Shielding failure rates of a tower, strokes per 100 km per year.

    Each rate is the expected number of lightning strokes a year that miss
    the ground wires and reach the conductor, per 100 km of line, by the
    rate method. Every input left at None keeps its default, given in
    brackets; min_current, voltage_term, distribution and rate_method move
    the figures most. Each model, default and source: docs/models.md.

    Args:
      line: a Line, the built-in line's four positions (metres).
      tower: any tower instead: a list of (kind, x, height),
        (kind, x, height, voltage_term), (name, kind, x, height,
        voltage_term), (name, kind, x, height, voltage_term, sag) or (name,
        kind, x, height, voltage_term, sag, critical_current) tuples, a list
        of dicts with those keys and a conductor's insulation items
        (critical-current, cfo, insulation-length, surge-impedance,
        conductor-radius, subconductors, bundle-radius, "_" for "-" too), a
        pandas DataFrame with those columns, or a tower file's path; kind
        'ground wire', 'conductor' or 'other wire' (a neighbouring line's:
        catches strokes, not rated) (the built-in line when neither line
        nor tower is given). An insulation item left out or None: not given.
      flash_density: ground flashes per km^2 per year (2.8).
      thunder_days: thunder days a year instead of flash_density, which is
        then 0.04 thunder_days^1.25 (16 days: 1.28); not with flash_density.
      slope: ground slope at the tower, degrees (0); positive falls towards +x.
      ground: the ground across the line instead of the plane: (x,
        elevation) or (x, elevation, cover) tuples (m; x increasing, the
        tower at x = 0 standing on the elevation there, cover the trees or
        buildings standing on the ground), a DataFrame with those columns,
        or a CSV file's path; level beyond its ends. Not with slope nor
        evaluation='compat'. Incidence angles are then measured from the
        true horizontal.
      min_current: lowest current integrated, kA (23.5); the integration runs
        to 200 kA above it in steps of 1 kA.
      voltage_term: U of the built-in law on the built-in line: conductor 1
        +U, conductor 2 -U (0.8; 0 with other laws). A tower gives each
        conductor its own.
      law: striking-distance law ('built-in').
      law_coefficients: for law='custom' only: (a, b, c, d) or (a, b, beta).
      distribution: 'built-in', 'log-normal', 'cigre' (the CIGRE two-part
        log-normal of first negative strokes) or 'table'.
      current_table: for distribution='table' only: P(peak > I) as
        (current kA, probability) pairs, currents rising and probabilities
        falling strictly, a DataFrame with the columns current and
        probability, or the path of a CSV file of them; interpolated
        monotonically between the points.
      current_scale, current_exponent: the built-in distribution (31 kA, 2.8).
      current_median, current_sigma: the log-normal one (31.1 kA, 0.484).
      evaluation: 'first-contact' (default) or 'compat'.
      rate_method: 'share' (default), the conductors' share of the paths the
        wires catch times the collection width and terrain factor; or
        'exposure', the line-design guides' 0.1 N_g sum of f(I) D(I) over the
        currents, D the conductor's width for vertical strokes.
      ground_wire_sag, conductor_sag: the built-in line's sag of both ground
        wires and of both conductors at mid-span, m (0); computed at the
        average height, height - 2/3 sag. A tower gives each wire's own.
      **insulation: the built-in line's conductors' insulation, from which
        each one's critical current Ic follows (a tower gives each
        conductor's own): critical_current (kA); or cfo (kV, or
        insulation_length, m: 605 kV/m) with surge_impedance (ohm), Ic = 2
        cfo / Z; or cfo with conductor_radius (m), subconductors and
        bundle_radius (m), Z then under corona. Each for both conductors, or
        with 3 or 4 (critical_current3, cfo4, ...) for conductor 1 or 2.

    Returns a Result, per conductor by name, which says its rate_method and
    the heights used, with the flashover rates of the conductors that have
    a critical current. Raises ValueError for inputs that cannot be computed,
    a sag below 0 or of 1.5 times the height or more among them.
    """
    return Result(_core.rates(_inputs_of(locals())))


def strokes(line=None, *, current=None, tower=None, flash_density=None, thunder_days=None,
            slope=None, ground=None, min_current=None, voltage_term=None, law=None, law_coefficients=None,
            distribution=None, current_table=None, current_scale=None, current_exponent=None,
            current_median=None, current_sigma=None, evaluation=None, rate_method=None,
            ground_wire_sag=None, conductor_sag=None, **insulation):
    """The width of every stroke of the integration (or of one current, kA).

    Takes the inputs of rates() (rate_method changes no width; sag lowers
    the wires to their average height); returns Strokes. Raises ValueError
    for inputs that cannot be computed.
    """
    return Strokes(_core.strokes(_inputs_of(locals()), current))


def _records(cases):
    if hasattr(cases, "to_dict") and hasattr(cases, "columns"):
        return cases.to_dict("records"), True
    return [dict(c) for c in cases], False


def _columns(rows):
    """Every key of the rows, each row's own order kept: a key first seen in
    a later row goes right after the key before it in that row, so that the
    conductors of mixed towers stay together in each group of columns."""
    columns = []
    for row in rows:
        at = 0
        for key in row:
            if key in columns:
                at = columns.index(key) + 1
            else:
                columns.insert(at, key)
                at += 1
    return columns


def batch(cases, jobs=None):
    """Many cases at once, computed in parallel, results in input order.

    Args:
      cases: a sequence of dicts, or a pandas DataFrame, keyed like the
        columns of egm-study batch: any input's name ('slope', 'h1',
        'min-current' or 'min_current', 'law', 'rate_method',
        'conductor_sag', 'thunder-days', 'critical-current3', ...), 'tower'
        (a tower as rates() takes it, sag and insulation included),
        'law_coefficients', 'current_table', 'ground' (a ground profile as
        rates() takes it) and an optional 'name'; a missing key, None or
        NaN keeps the default.
      jobs: threads; None for one per core.

    Returns one dict per case (a DataFrame for a DataFrame): case, name, the
    result columns (each conductor's by its name, see Result.to_dict;
    rateMethod gives each row's own method, which rows may mix), and error
    (empty, or why the case could not be computed). Raises ValueError
    for a key that names no input.
    """
    records, frame = _records(cases)
    return _table(_batch_rows(records, 0 if jobs is None else int(jobs), 1, frame), frame)


def _batch_rows(records, jobs, first, frame):
    """The rows of a batch of records (dicts), numbered from first; frame:
    the records are a DataFrame's rows, whose NaN means "not given"."""
    rows = []
    for out in _core.batch(records, jobs, first, frame):
        row = {"case": out["case"], "name": out["name"]}
        if out["result"] is not None:
            row.update(Result(out["result"]).to_dict())
        row["error"] = out["error"]
        rows.append(row)
    return rows


def _table(rows, frame):
    if frame:
        import pandas
        return pandas.DataFrame(rows, columns=_columns(rows))
    return rows


def sweep(param, values, line=None, jobs=None, **inputs):
    """The rates as one input takes each of values, like egm-study sweep.

    param is any input's name ('slope', 'h1', 'ground-wire-height',
    'conductor-sag', 'rate-method', ...); inputs are the other inputs by name
    (as for batch, 'tower' and rate_method included).
    Returns one dict per value: the value under param's name, the result
    columns and error. Raises ValueError for a NaN or infinite value or
    input.
    """
    base = dict(line.to_inputs()) if line is not None else {}
    base.update(inputs)
    if "law_coefficients" in base and base["law_coefficients"] is not None:
        base["law_coefficients"] = list(base["law_coefficients"])
    return _core.sweep(base, param, list(values), 0 if jobs is None else int(jobs))


# The longest span a route takes, m (as egm-study route): longer is taken for
# a mistake in the route's lengths.
MAX_SPAN_LENGTH = 100000.0


class Route:
    """A route's expected shielding failures, as egm-study route reports them.

    Attributes:
      spans: one row per span in the route's order (a DataFrame for a
        DataFrame): span (1, 2, ...), name, km (where the span starts), length
        (m), the span's own inputs as given (slope, tower, ...), the result
        columns of batch, failures<Name> per conductor and
        failuresTotal (per year: the rate times the length / 100 km), share
        (of the route's total failures), flagged, and error; on a span whose
        conductors have critical currents also flashoversPerYear<Name> (of
        each conductor with one), flashoversPerYearTotal (the flashover
        rate times the length / 100 km), flashoverShare (of the route's
        total flashovers) and flaggedFlashovers.
      summary: spans, failed, lengthKm (of the computed spans), rateMethod
        (of every span's rates),
        failuresPerYear ({conductor name: ..., "total": ...}, the conductors
        in order of first appearance), averagePer100KmPerYear, topBy
        ("flashovers" or "failures": what orders top); when some span has
        critical currents also flashoverSpans, flashoverLengthKm (theirs),
        flashoversPerYear ({conductor name: ..., "total": ...}) and
        averageFlashoversPer100KmPerYear (per 100 km of those spans). The
        summaries of a route's parts add up to the whole's.
      top: the span numbers that contribute most, largest first: by
        flashovers per year when some span has critical currents (the spans
        without any after them), else by failures.
      flagged: [(from km, to km, highest rate)] of the stretches whose total
        rate exceeds flag_above, spans that follow on from each other joined.
      flagged_flashovers: likewise [(from km, to km, highest flashover
        rate)] of the stretches whose total flashover rate exceeds
        flag_flashovers_above.
    """

    def __init__(self, spans, summary, top, flagged, flagged_flashovers=()):
        self.spans = spans
        self.summary = summary
        self.top = top
        self.flagged = flagged
        self.flagged_flashovers = list(flagged_flashovers)

    def __repr__(self):
        s = self.summary
        return (f"Route(spans={s['spans']}, failed={s['failed']}, lengthKm={s['lengthKm']!r}, "
                f"failuresPerYear={s['failuresPerYear']!r})")


def _route_of(d, frame):
    """The Route of the study layer's assembled route (_core.route_assemble)."""
    return Route(_table(d["spans"], frame), d["summary"], d["top"], d["flagged"], d["flaggedFlashovers"])


def route(spans, jobs=None, flag_above=None, top=10, rate_method=None, flag_flashovers_above=None):
    """A whole line's expected shielding failures, like egm-study route.

    Args:
      spans: one span per row, a sequence of dicts or a pandas DataFrame: the
        keys of batch (a tower, or the built-in line's inputs, slope, ...),
        length (m, required, above 0 and at most MAX_SPAN_LENGTH) and
        optionally km (the kilometre post where the span starts; where not
        given, each span starts where the one before ended, from 0).
      jobs: threads; None for one per core.
      flag_above: marks the stretches whose total rate exceeds this,
        strokes per 100 km per year.
      flag_flashovers_above: marks the stretches whose total shielding
        failure flashover rate exceeds this, flashovers per 100 km per year
        (spans whose conductors have critical currents: the keys
        critical_current, cfo, ... as for batch).
      top: how many spans Route.top lists.
      rate_method: 'share' or 'exposure' for every span that names none
        ('share' by default).

    Returns a Route, the same numbers as egm-study route gives for the same
    spans (one implementation, the study layer's, places and adds them up).
    A span that cannot be computed gets its error ("span 3: ...") and counts
    as failed; every other span is still computed. Raises ValueError before
    computing anything when any span's length or km cannot be used, naming
    every such span; and when the spans take different rate methods, whose
    failures cannot be added.
    """
    records, frame = _records(spans)
    plan = _core.route_plan(records, frame, rate_method)
    outcomes = _core.plan_outcomes(plan, 0 if jobs is None else int(jobs))
    return _route_of(_core.route_assemble(plan, outcomes, flag_above, top, records, frame,
                                          flag_flashovers_above), frame)


def design(variable, target, line=None, *, range=None, samples=11, tower=None, flash_density=None,
           thunder_days=None, slope=None, ground=None, min_current=None, voltage_term=None, law=None,
           law_coefficients=None, distribution=None, current_table=None, current_scale=None,
           current_exponent=None, current_median=None, current_sigma=None, evaluation=None,
           rate_method=None, ground_wire_sag=None, conductor_sag=None, **insulation):
    """The values of one design variable that meet a target, like
    egm-study design (the same study layer solves it).

    Args:
      variable: 'spread', 'ground-wire-height', 'conductor-height' or
        'shielding-angle' (the built-in line only).
      target: 'total=R', 'NAME=R' (a conductor's name), 'each=R' (strokes
        per 100 km per year), 'perfect=I' (kA: every conductor's classical
        maximum shielding failure current at most I); on conductors with
        critical currents (a tower's insulation items, or **insulation)
        'flashover-total=R', 'flashover-NAME=R', 'flashover-each=R'
        (flashovers per 100 km per year) or 'perfect=critical' (every
        conductor's classical maximum current at most its own critical
        current). A name after flashover- is read as total, each or a
        conductor's name first.
      range: (from, to) of the variable; None for one that suits it.
      samples: values of the response table, 3 to 101.
      The other arguments are the inputs of rates().

    Returns the design as egm-study design --format json gives it, a dict:
    target ({kind, value, unit, response: what the response is}), met,
    metEverywhere, meets (the stretches that meet the target, each with
    from, to, fromRangeStart, toRangeEnd), monotone, solution, crossings,
    table (each sample: value, rates, maxShieldingFailureCurrent, response,
    and with critical currents criticalCurrents, flashoverRates,
    perfectlyShielded), evaluations, rateMethod. Raises ValueError for an
    unknown variable or target, a flashover or perfect=critical target on
    a conductor without a critical current (named), and inputs that cannot
    be computed.
    """
    inputs = _inputs_of({k: v for k, v in locals().items()
                         if k not in ("variable", "target", "range", "samples")})
    return _core.design(inputs, str(variable), str(target),
                        None if range is None else [float(v) for v in range], int(samples))


def exposure(line=None, *, tower=None, flash_density=None, thunder_days=None, slope=None, ground=None,
             min_current=None, voltage_term=None, law=None, law_coefficients=None,
             distribution=None, current_table=None, current_scale=None, current_exponent=None,
             current_median=None, current_sigma=None, evaluation=None, rate_method=None,
             ground_wire_sag=None, conductor_sag=None, **insulation):
    """Each conductor's angle-weighted exposure per current of the
    integration (its share of the widths, weighted by incidence angle,
    summed over the angles, before the current density; what the share
    method integrates): a dict of arrays, 'current' (kA) and one per
    conductor under its name, and 'result', the Result, whose rates are by
    rate_method. Takes the inputs of rates()."""
    d = _core.exposure(_inputs_of(locals()))
    out = {"current": d["current"]}
    out.update(d["conductors"])
    out["result"] = Result(d["result"])
    return out


def to_dataframe(result):
    """A pandas DataFrame of a Result (one row), of rows from batch or sweep,
    or of Strokes (one row per stroke: current, degrees, theta, a width per
    wire by its name). Needs pandas."""
    import pandas
    if isinstance(result, Result):
        return pandas.DataFrame([result.to_dict()])
    if isinstance(result, Strokes):
        n = len(result.currents)
        widths = result.widths.reshape(n * len(result.angles), len(result.wires))
        frame = pandas.DataFrame(widths, columns=list(result.wires))
        frame.insert(0, "theta", list(result.angles) * n)
        frame.insert(0, "degrees", result.degrees * n)
        frame.insert(0, "current", [c for c in result.currents for _ in result.angles])
        return frame
    rows = list(result)
    return pandas.DataFrame(rows, columns=_columns(rows))


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
    result = data["result"]
    if ax is None:
        ax = plt.figure().add_subplot()
    for name in result.conductors:
        ax.plot(data["current"], data[name], label=name)
    for name in result.conductors:
        current = result.max_current[name]
        if current is not None:
            top = " (top of range)" if result.max_current_at_top[name] else ""
            ax.axvline(current, linestyle="--", color="grey",
                       label=f"max. current, {name}: {current:g} kA{top}")
    ax.set_xlabel("lightning current, kA")
    ax.set_ylabel("angle sum (conductor's weighted share)")
    ax.set_title(f"evaluation {result.evaluation}, law {result.law}")
    ax.legend()
    return ax


def input_names():
    """The names of every input, as batch keys and egm-study flags take them."""
    return list(_core.input_names())
