// What egm-study works out beyond one computation: the values of a sweep
// and its cases, and one line under every striking-distance law.
#pragma once

#include <string>
#include <vector>

#include "egm/input_table.h"
#include "egm/shielding.h"
#include "study_charts.h"

namespace study {

// from, from + step, ... up to to: each value formed as from + i step (not by
// adding steps up), rounded to the decimals of from and step (so that 0.1
// steps give 0.3, not 0.30000000000000004, and -10 by 0.05 gives -0.95, not
// -0.9499999999999993), the last one kept when it lies within rounding of
// to. Throws UsageError for a step that is not positive, to
// below from, or more than 100000 values.
std::vector<double> sweepValues(double from, double to, double step);

// The cases of a sweep: named with the input param (any input's name) set to
// each of values in turn, its own value in named replaced, each resolved on
// base through egm::resolveCase; a case that cannot be resolved carries its
// error.
std::vector<egm::CaseInputs> sweepInputs(const egm::NamedInputs& named, const std::string& param,
                                         const std::vector<egm::NamedValue>& values,
                                         const egm::Inputs& base = {});

// The cases of base with the input field set to each value, computed in
// parallel (threads 0: one per core), in order.
std::vector<SweepPoint> sweepCases(const egm::Inputs& base, const egm::InputField& field,
                                   const std::vector<double>& values, unsigned threads = 0,
                                   const egm::Options& options = {});

// The line under each law: the built-in law with the base's voltage term
// (0.8 where the base has none), every other law with none, the custom law
// only when the base has it; each law under both rate methods, share then
// exposure, whatever the base's method.
struct LawComparison {
    egm::StrikingLaw law;
    egm::RateMethod method = egm::RateMethod::share;
    std::optional<egm::Result> result;
    std::string error;
};
std::vector<LawComparison> compareLaws(const egm::Inputs& base, unsigned threads = 0);

// The rows of compareLaws as text, json or csv (control and towerFile: the
// files the base was read from, for JSON's inputs). Text: one block per law,
// each conductor's rate by the share and the exposure method side by side,
// its maximum and classical maximum current, then the totals; a row that
// could not be computed gives its error in place of its figures. Any
// conductor name, however long, keeps its row whole.
std::string compareReport(const std::vector<LawComparison>& rows, const egm::Inputs& base,
                          const std::string& format, const std::string& control = {},
                          const std::string& towerFile = {});

// The rates per law as a bar chart, the laws as categories: a bar per
// conductor and the total in each, under each rate method; base's inputs
// stated in the notes.
Chart compareChart(const std::vector<LawComparison>& rows, const egm::Inputs& base);

} // namespace study
