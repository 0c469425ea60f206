// The route's bindings: the route planned, its cases computed (here or on
// Dask workers, whose outcomes come back pickled) and assembled, all by the
// study layer.
#include <optional>
#include <pybind11/stl.h>
#include <string>
#include <vector>

#include "python_values.h"
#include "study_route.h"

namespace pyegm {

namespace {

// A span's length or km post as the route planner reads it: a text as it
// is, a number as its shortest text; none when not given.
std::optional<std::string> spanText(const py::handle& value, Source source)
{
    if (isMissing(value, source)) {
        return std::nullopt;
    }
    if (py::isinstance<py::str>(value)) {
        return value.cast<std::string>();
    }
    if (!py::isinstance<py::bool_>(value)) {
        try {
            return egm::shortestText(value.cast<double>());
        } catch (const py::cast_error&) {
        }
    }
    return textOf(value);
}

// The spans of a route's records (dicts): each one's inputs, with
// rate_method for every span that names none, and its length and km.
std::vector<study::SpanRow> spanRows(const py::list& records, bool frame, const py::object& rateMethod)
{
    const Source source = frame ? Source::frame : Source::given;
    std::vector<study::SpanRow> rows;
    for (const py::handle record : records) {
        py::dict d = py::dict(record.cast<py::dict>()); // a copy: the caller's stays as it was
        study::SpanRow row;
        for (auto [key, text] : {std::pair{"length", &row.length}, std::pair{"km", &row.km}}) {
            if (d.contains(key)) {
                *text = spanText(d[key], source);
                PyDict_DelItemString(d.ptr(), key);
            }
        }
        if (!rateMethod.is_none()) {
            const bool named = (d.contains("rate_method") && !isMissing(d["rate_method"], source)) ||
                               (d.contains("rate-method") && !isMissing(d["rate-method"], source));
            if (!named) {
                d["rate_method"] = rateMethod;
                if (d.contains("rate-method")) {
                    PyDict_DelItemString(d.ptr(), "rate-method");
                }
            }
        }
        try {
            row.inputs = egm::resolveCase(namedOf(d, source, &row.name));
        } catch (const RowError& e) {
            row.inputs = {egm::Inputs{}, e.message};
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// The outcomes of a route's spans, in order: the part of a route a worker
// computes (the records of consecutive spans).
std::vector<egm::CaseOutcome> spanOutcomes(const py::list& records, bool frame, const py::object& rateMethod,
                                           unsigned jobs)
{
    std::vector<egm::CaseInputs> cases;
    for (study::SpanRow& row : spanRows(records, frame, rateMethod)) {
        cases.push_back(std::move(row.inputs));
    }
    py::gil_scoped_release free;
    return egm::computeMany(cases, {}, jobs, raiseOnSignal);
}

py::object optionalNumber(const std::optional<double>& x)
{
    return x ? py::object(py::float_(*x)) : py::object(py::none());
}

// The route as Python gives it: spans (one dict per span: span, name, km,
// length, the result's row, failures<Name> of its conductors,
// failuresTotal, share, flagged, with flashover figures
// flashoversPerYear<Name> of its conductors with a critical current,
// flashoversPerYearTotal, flashoverShare, flaggedFlashovers; error),
// summary, top (span numbers), flagged ((from km, to km, highest rate) per
// stretch), flaggedFlashovers (likewise, the highest flashover rate).
py::dict routeDict(const study::RouteOutcome& out, const py::object& records, bool frame)
{
    const Source source = frame ? Source::frame : Source::given;
    const study::RouteSummary& sum = out.summary;
    py::list spans;
    for (const study::Span& s : out.spans) {
        py::dict span;
        span["span"] = s.index;
        span["name"] = s.name;
        span["km"] = s.from;
        span["length"] = s.length;
        // The span's own inputs as the caller gave them, beside its results.
        if (!records.is_none()) {
            for (const auto& [key, value] : records.cast<py::list>()[s.index - 1].cast<py::dict>()) {
                const std::string k = py::str(key);
                if (k != "name" && k != "length" && k != "km" && !isMissing(value, source)) {
                    span[key] = value;
                }
            }
        }
        if (s.result) {
            for (const auto& [key, value] : resultRow(*s.result)) {
                span[key] = value;
            }
            for (std::size_t c = 0; c < s.result->conductors.size(); ++c) {
                span[py::str(study::failuresColumn(s.result->conductors[c].name))] = s.failures[c];
            }
            span["failuresTotal"] = s.totalFailures;
            span["share"] = study::shareOf(out, s);
            span["flagged"] = s.flagged;
            if (s.totalFlashovers) {
                for (std::size_t c = 0; c < s.result->conductors.size(); ++c) {
                    if (s.flashovers[c]) {
                        span[py::str(study::flashoversColumn(s.result->conductors[c].name))] =
                            *s.flashovers[c];
                    }
                }
                span[py::str(study::flashoversColumn("Total"))] = *s.totalFlashovers;
                span["flashoverShare"] = study::flashoverShareOf(out, s);
                span["flaggedFlashovers"] = s.flaggedFlashovers;
            }
        }
        span["error"] = s.error;
        spans.append(span);
    }
    py::dict failures;
    for (std::size_t k = 0; k < sum.conductors.size(); ++k) {
        failures[py::str(sum.conductors[k])] = sum.failuresPerYear[k];
    }
    failures["total"] = sum.totalFailuresPerYear;
    py::dict summary;
    summary["spans"] = sum.spans;
    summary["failed"] = sum.failed;
    summary["lengthKm"] = sum.lengthKm;
    summary["rateMethod"] = std::string(egm::rateMethodName(sum.rateMethod));
    summary["failuresPerYear"] = failures;
    summary["averagePer100KmPerYear"] = sum.averagePer100Km;
    summary["topBy"] = out.topByFlashovers ? "flashovers" : "failures";
    if (sum.flashoverSpans > 0) {
        py::dict flashovers;
        for (std::size_t k = 0; k < sum.conductors.size(); ++k) {
            flashovers[py::str(sum.conductors[k])] = sum.flashoversPerYear[k];
        }
        flashovers["total"] = sum.totalFlashoversPerYear;
        summary["flashoverSpans"] = sum.flashoverSpans;
        summary["flashoverLengthKm"] = sum.flashoverLengthKm;
        summary["flashoversPerYear"] = flashovers;
        summary["averageFlashoversPer100KmPerYear"] = sum.averageFlashoversPer100Km;
    }
    py::list top;
    for (std::size_t k : out.topSpans) {
        top.append(out.spans[k].index);
    }
    py::list flagged;
    for (const study::FlaggedStretch& f : out.flagged) {
        flagged.append(py::make_tuple(f.from, f.to, f.highestRate));
    }
    py::list flaggedFlashovers;
    for (const study::FlaggedStretch& f : out.flaggedFlashovers) {
        flaggedFlashovers.append(py::make_tuple(f.from, f.to, f.highestRate));
    }
    py::dict d;
    d["spans"] = spans;
    d["summary"] = summary;
    d["top"] = top;
    d["flagged"] = flagged;
    d["flagAbove"] = optionalNumber(out.flagAbove);
    d["flaggedFlashovers"] = flaggedFlashovers;
    d["flagFlashoversAbove"] = optionalNumber(out.flagFlashoversAbove);
    return d;
}

// A case's outcome kept as the library's value, so that a route assembles
// the very results its workers computed; pickled (for Dask) as plain
// numbers and texts, every double exactly.
py::tuple outcomeState(const egm::CaseOutcome& o)
{
    if (!o.result) {
        return py::make_tuple(o.error);
    }
    const egm::Result& r = *o.result;
    const auto current = [](const egm::MaxCurrent& m) {
        return py::make_tuple(optionalNumber(m.current), m.exposedAtTop);
    };
    py::list conductors;
    for (const egm::ConductorResult& c : r.conductors) {
        conductors.append(py::make_tuple(c.wire, c.name, c.rate, current(c.maxCurrent),
                                         current(c.classicalMaxCurrent), optionalNumber(c.criticalCurrent),
                                         optionalNumber(c.flashoverRate), c.perfectlyShielded));
    }
    const egm::StrikingLaw& law = r.law;
    const egm::CurrentDistribution& dist = r.distribution;
    return py::make_tuple(
        o.error, conductors, r.totalRate, static_cast<int>(r.rateMethod), r.wireNames, r.heights,
        py::make_tuple(r.terrainFactor, r.collectionWidth, r.currentFrom, r.currentTo, r.currentSteps,
                       static_cast<int>(r.evaluation)),
        py::make_tuple(static_cast<int>(law.kind), law.a, law.b, law.c, law.d, optionalNumber(law.beta)),
        py::make_tuple(static_cast<int>(dist.kind), dist.scale, dist.exponent, dist.median, dist.sigma,
                       dist.table.currents(), dist.table.probabilities()),
        r.notes, optionalNumber(r.flashoverTotal));
}

egm::CaseOutcome outcomeOfState(const py::tuple& t)
{
    egm::CaseOutcome o;
    o.error = t[0].cast<std::string>();
    if (t.size() == 1) {
        return o;
    }
    const auto current = [](const py::handle& h) {
        const py::tuple c = h.cast<py::tuple>();
        egm::MaxCurrent m;
        if (!c[0].is_none()) {
            m.current = c[0].cast<double>();
        }
        m.exposedAtTop = c[1].cast<bool>();
        return m;
    };
    const auto number = [](const py::handle& h) {
        return h.is_none() ? std::nullopt : std::optional<double>(h.cast<double>());
    };
    egm::Result r;
    for (const py::handle h : t[1].cast<py::list>()) {
        const py::tuple c = h.cast<py::tuple>();
        egm::ConductorResult cr;
        cr.wire = c[0].cast<std::size_t>();
        cr.name = c[1].cast<std::string>();
        cr.rate = c[2].cast<double>();
        cr.maxCurrent = current(c[3]);
        cr.classicalMaxCurrent = current(c[4]);
        cr.criticalCurrent = number(c[5]);
        cr.flashoverRate = number(c[6]);
        cr.perfectlyShielded = c[7].cast<bool>();
        r.conductors.push_back(std::move(cr));
    }
    r.totalRate = t[2].cast<double>();
    r.rateMethod = static_cast<egm::RateMethod>(t[3].cast<int>());
    r.wireNames = t[4].cast<std::vector<std::string>>();
    r.heights = t[5].cast<std::vector<double>>();
    const py::tuple line = t[6].cast<py::tuple>();
    r.terrainFactor = line[0].cast<double>();
    r.collectionWidth = line[1].cast<double>();
    r.currentFrom = line[2].cast<double>();
    r.currentTo = line[3].cast<double>();
    r.currentSteps = line[4].cast<int>();
    r.evaluation = static_cast<egm::Evaluation>(line[5].cast<int>());
    const py::tuple law = t[7].cast<py::tuple>();
    r.law.kind = static_cast<egm::StrikingLaw::Kind>(law[0].cast<int>());
    r.law.a = law[1].cast<double>();
    r.law.b = law[2].cast<double>();
    r.law.c = law[3].cast<double>();
    r.law.d = law[4].cast<double>();
    if (!law[5].is_none()) {
        r.law.beta = law[5].cast<double>();
    }
    const py::tuple dist = t[8].cast<py::tuple>();
    r.distribution.kind = static_cast<egm::CurrentDistribution::Kind>(dist[0].cast<int>());
    r.distribution.scale = dist[1].cast<double>();
    r.distribution.exponent = dist[2].cast<double>();
    r.distribution.median = dist[3].cast<double>();
    r.distribution.sigma = dist[4].cast<double>();
    const auto points = dist[5].cast<std::vector<double>>();
    if (!points.empty()) {
        r.distribution.table = egm::CurrentTable(points, dist[6].cast<std::vector<double>>());
    }
    r.notes = t[9].cast<std::vector<std::string>>();
    r.flashoverTotal = number(t[10]);
    o.result = std::move(r);
    return o;
}

} // namespace

void bindRoute(py::module_& m)
{
    py::class_<study::RoutePlan>(m, "RoutePlan")
        .def_property_readonly("spans", [](const study::RoutePlan& p) { return p.spans.size(); });
    py::class_<egm::CaseOutcome>(m, "Outcome")
        .def(py::pickle([](const egm::CaseOutcome& o) { return outcomeState(o); },
                        [](const py::tuple& t) { return outcomeOfState(t); }));
    // Plans the route: places the spans and resolves their cases; raises
    // ValueError, before anything is computed, as egm-study route refuses a
    // route file.
    m.def(
        "route_plan",
        [](const py::list& records, bool frame, const py::object& rateMethod) {
            const std::vector<study::SpanRow> rows = spanRows(records, frame, rateMethod);
            return study::planRoute(
                rows, "route", egm::rateMethodNamed(textOf(rateMethod)).value_or(egm::RateMethod::share));
        },
        py::arg("records"), py::arg("frame") = false, py::arg("rate_method") = py::none());
    // The outcomes of a plan's cases, computed here.
    m.def(
        "plan_outcomes",
        [](const study::RoutePlan& plan, unsigned jobs) {
            py::gil_scoped_release free;
            return egm::computeMany(plan.cases, {}, jobs, raiseOnSignal);
        },
        py::arg("plan"), py::arg("jobs") = 0);
    // The outcomes of consecutive spans' records, as a worker computes them.
    m.def("span_outcomes", &spanOutcomes, py::arg("records"), py::arg("frame") = false,
          py::arg("rate_method") = py::none(), py::arg("jobs") = 1);
    // The route of a plan and its outcomes, in order.
    m.def(
        "route_assemble",
        [](const study::RoutePlan& plan, std::vector<egm::CaseOutcome> outcomes,
           std::optional<double> flagAbove, int top, const py::object& records, bool frame,
           std::optional<double> flagFlashoversAbove) {
            return routeDict(
                study::assembleRoute(plan, std::move(outcomes), flagAbove, top, flagFlashoversAbove), records,
                frame);
        },
        py::arg("plan"), py::arg("outcomes"), py::arg("flag_above") = py::none(), py::arg("top") = 10,
        py::arg("records") = py::none(), py::arg("frame") = false,
        py::arg("flag_flashovers_above") = py::none());
}

} // namespace pyegm
