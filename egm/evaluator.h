// The evaluator interface: what the integration, the maximum-current
// searches and the stroke table need of an evaluation of strokes. Two
// evaluations implement it, CompatEvaluator (compat_evaluation.h) and
// ContactEvaluator (contact_evaluation.h); integrate_with.h and
// max_current.h are written once over it, as templates, so that each
// stroke's evaluation is inlined into the loops as before. evaluations.h is
// the one place where an Evaluation becomes its evaluator.
//
// An evaluator E, built from the inputs, has:
//   std::size_t wireCount() const;      widths per stroke row
//   const std::vector<std::size_t>& conductors() const;
//                                       their wire indices, tower order
//   double terrainFactor() const;       the line factors of the share rate
//   double collectionWidth() const;     m
//   void prepare(double current);       per current (kA): all that does not
//                                       depend on the angle
//   bool reached(std::size_t wire) const;
//                                       false: no stroke of the prepared
//                                       current reaches the wire
//   bool anyReached() const;            false: no stroke of the prepared
//                                       current adds to the angle sums
//   double widths(const StrokeAngle&, double* w, bool allWires);
//                                       per stroke: each wire's width (m),
//                                       the ground wires' only with allWires;
//                                       returns the total the shares are of
//   bool readOff(int l) const;          stroke l of the grid is not
//                                       evaluated but read off an image
//   void fillFromImage(int l, double* row) const;
//                                       its row, from the rows before it
//   using Sums;                         StrokeSums or FixedStrokeSums<N>
//   void add(int l, const double* w, double total, Sums&) const;
//                                       stroke l's shares into the sums,
//                                       in the evaluation's own order
//   bool catches(int l, const double* w, std::size_t wire) const;
//                                       whether stroke l (or the image it
//                                       stands for) gives the wire a width
//   std::vector<double> draw(const StrokeAngle&, StrokeGeometry&);
//                                       one stroke's widths and picture
//   static void check(const Inputs&);   throws InputError for a tower the
//                                       evaluation cannot compute
//   static void addNotes(const Inputs&, std::vector<std::string>&);
//   static constexpr bool kContactWidths;
//                                       its widths are the first-contact
//                                       ones (the exposure method's)
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace egm::model {

// One current's angle sums: the total and each conductor's share summed
// over the angles, weighted; exposed: bit k set when conductor k (tower
// order of the conductors) has a width at some angle. E::Sums is this or
// FixedStrokeSums.
struct StrokeSums {
    explicit StrokeSums(std::size_t conductors) : conductor(conductors, 0.0) {}

    double total = 0.0;
    std::vector<double> conductor;
    std::uint32_t exposed = 0;

    void reset()
    {
        total = 0.0;
        std::fill(conductor.begin(), conductor.end(), 0.0);
        exposed = 0;
    }
};

// The same for a fixed number of conductors, kept where the compiler can
// hold them in registers.
template <std::size_t N> struct FixedStrokeSums {
    explicit FixedStrokeSums(std::size_t) {}

    double total = 0.0;
    std::array<double, N> conductor{};
    std::uint32_t exposed = 0;

    void reset()
    {
        total = 0.0;
        conductor.fill(0.0);
        exposed = 0;
    }
};

// A width that counts: neither 0 nor NaN.
inline bool hasWidth(double w)
{
    return w != 0.0 && !std::isnan(w);
}

} // namespace egm::model
