// The table of every stroke's widths.
#include <stdexcept>
#include <string>

#include "egm/shielding.h"

namespace egm {

StrokeTable::StrokeTable(std::vector<double> currents, std::size_t wireCount)
    : currents_(std::move(currents)), wires_(wireCount),
      values_(currents_.size() * kAngleSteps * wireCount, 0.0)
{
}

std::size_t StrokeTable::offset(std::size_t currentStep, int angleStep) const
{
    if (currentStep >= currents_.size() || angleStep < 0 || angleStep >= kAngleSteps) {
        throw std::out_of_range("stroke table: no stroke at current step " + std::to_string(currentStep) +
                                ", angle step " + std::to_string(angleStep));
    }
    return (currentStep * kAngleSteps + static_cast<std::size_t>(angleStep)) * wires_;
}

double StrokeTable::width(std::size_t currentStep, int angleStep, std::size_t wire) const
{
    if (wire >= wires_) {
        throw std::out_of_range("stroke table: no wire " + std::to_string(wire));
    }
    return values_[offset(currentStep, angleStep) + wire];
}

std::vector<double> StrokeTable::widths(std::size_t currentStep, int angleStep) const
{
    const auto row = values_.begin() + static_cast<std::ptrdiff_t>(offset(currentStep, angleStep));
    return {row, row + static_cast<std::ptrdiff_t>(wires_)};
}

void StrokeTable::setWidths(std::size_t currentStep, int angleStep, const double* widths)
{
    std::copy(widths, widths + wires_,
              values_.begin() + static_cast<std::ptrdiff_t>(offset(currentStep, angleStep)));
}

} // namespace egm
