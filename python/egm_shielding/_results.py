"""The value types of egm_shielding's results: Result (the rates of one
tower) and Strokes (the widths of each stroke). The result columns and their
names are the study layer's (_core), as egm-study writes them."""

# The per-conductor figures of a Result, as attributes.
_PER_CONDUCTOR = ("max_current", "max_current_at_top", "classical_max_current",
                  "classical_max_current_at_top")


class Result:
    """The rates of one tower and what was worked out with them.

    Attributes:
      rates: {conductor name: rate, ..., "total": total}, shielding failures
        (strokes to a conductor) per 100 km per year by rate_method, the
        conductors in the tower's order; each rate also reads as an
        attribute (r.conductor1).
      total: the sum over the conductors.
      rate_method: 'share' or 'exposure', the method of every rate here (see
        the package's help and docs/models.md); rates of the two methods
        are different figures and never to be compared or added.
      conductors: the conductors' names, in the tower's order.
      wires: every wire's name, in the tower's order.
      heights: {wire name: m}, the heights computed with: each wire's height
        at the tower less two thirds of its sag (the span's average height).
      max_current: {conductor name: kA}: the largest current of the
        integrated range at which the conductor has a width for some
        incidence angle, to 0.01 kA; None when never exposed.
      max_current_at_top: {conductor name: bool}: still exposed at the top of
        the range (the figure is then the range's end, not a computed
        maximum).
      classical_max_current: {conductor name: kA}: the largest current with
        a width for vertical strokes (vertical also on sloped ground),
        searched from 0.1 to 1000 kA; None when never exposed.
      classical_max_current_at_top: {conductor name: bool}: still exposed at
        1000 kA.
      critical_currents: {conductor name: kA} of the conductors whose
        insulation gives a critical current Ic (critical_current, or a cfo
        with a surge_impedance or the conductor's radius; tower items or the
        built-in line's keywords): a stroke to the conductor above Ic flashes
        its insulation over. Empty when no conductor has one.
      flashover_rates: {conductor name: rate, ..., "total": total} of the
        same conductors: shielding failure flashovers per 100 km per year,
        the strokes from Ic up (Ic to Ic + 200 kA) by rate_method, exactly
        the conductor's rate with min_current=Ic; total adds them up. Empty
        when no conductor has a critical current. rates stays the strokes
        from min_current up.
      flashover_total: flashover_rates["total"], None when it is empty.
      perfectly_shielded: the conductors, in the tower's order, that no
        stroke from their critical current up reaches at any incidence
        angle (their flashover rate is 0).
      terrain_factor: 1/6, or 1/3 on steep ground (share method only).
      collection_width: the line's equivalent collection width, m (share
        method only).
      current_range: (from, to, steps), kA.
      evaluation, law, distribution: how the line was computed.
      notes: remarks about the tower's layout.
    """

    def __init__(self, d):
        conductors = d["conductors"]
        self.conductors = tuple(c["name"] for c in conductors)
        self.wires = tuple(d["wires"])
        self.rates = {c["name"]: c["rate"] for c in conductors}
        self.rates["total"] = d["total"]
        self.total = d["total"]
        self.rate_method = d["rateMethod"]
        self.heights = dict(zip(self.wires, d["heights"]))
        for key in _PER_CONDUCTOR:
            setattr(self, key, {c["name"]: c[key] for c in conductors})
        insulated = [c for c in conductors if c["critical_current"] is not None]
        self.critical_currents = {c["name"]: c["critical_current"] for c in insulated}
        self.flashover_rates = {c["name"]: c["flashover_rate"] for c in insulated}
        self.flashover_total = d["flashoverTotal"]
        if self.flashover_total is not None:
            self.flashover_rates["total"] = self.flashover_total
        self.perfectly_shielded = tuple(c["name"] for c in insulated if c["perfectly_shielded"])
        self.terrain_factor = d["terrainFactor"]
        self.collection_width = d["collectionWidth"]
        self.current_range = (d["currentFrom"], d["currentTo"], d["currentSteps"])
        self.evaluation = d["evaluation"]
        self.law = d["law"]
        self.distribution = d["distribution"]
        self.notes = list(d["notes"])
        row = dict(d["columns"])
        row["notes"] = list(row["notes"])
        self._row = row

    def __getattr__(self, name):
        rates = self.__dict__.get("rates", {})
        if name in rates:
            return rates[name]
        raise AttributeError(f"Result has no attribute or conductor {name!r}")

    def to_dict(self):
        """Every figure by the column names of egm-study's CSV output: each
        conductor's rate under its name, total, rateMethod (the method of
        those rates), maxCurrent<Name>, maxCurrentAtTop<Name>,
        classicalMaxCurrent<Name>, classicalMaxCurrentAtTop<Name> (the
        name's first letter capitalised), height<Name> for every wire (the
        height computed with, m), the flashover columns of the study
        layer's list (criticalCurrent<Name>, flashoverRate<Name>,
        flashoverTotal), then the line's figures."""
        return dict(self._row)

    def __repr__(self):
        rates = ", ".join(f"{k}={v!r}" for k, v in self.rates.items())
        return (f"Result({rates}, rate_method={self.rate_method!r}, evaluation={self.evaluation!r}, "
                f"law={self.law!r})")


class Strokes:
    """The widths of each stroke: numpy arrays that own their memory.

    Attributes:
      currents: (n,) kA.
      angles: (180,) incidence angles, radians from +x (below pi/2 the
        stroke comes from the +x side).
      widths: (n, 180, wires) m: the stroke paths each wire catches, measured
        across the stroke direction; the last axis in the tower's order.
      wires: every wire's name, in the tower's order.
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


# The package's own names, under which both are documented and pickled.
Result.__module__ = Strokes.__module__ = "egm_shielding"
