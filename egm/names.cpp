// The names of the enumerations: rate methods, wire kinds, evaluations.
#include <algorithm>
#include <cctype>
#include <string>

#include "egm/shielding.h"

namespace egm {

std::string_view rateMethodName(RateMethod method)
{
    return method == RateMethod::share ? "share" : "exposure";
}

std::optional<RateMethod> rateMethodNamed(std::string_view name)
{
    if (name == "share") {
        return RateMethod::share;
    }
    if (name == "exposure") {
        return RateMethod::exposure;
    }
    return std::nullopt;
}

std::string_view wireKindName(WireKind kind)
{
    switch (kind) {
    case WireKind::groundWire:
        return "ground wire";
    case WireKind::conductor:
        return "conductor";
    case WireKind::otherWire:
        break;
    }
    return "other wire";
}

std::optional<WireKind> wireKindNamed(std::string_view name)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "ground wire") {
        return WireKind::groundWire;
    }
    if (lower == "conductor") {
        return WireKind::conductor;
    }
    if (lower == "other wire") {
        return WireKind::otherWire;
    }
    return std::nullopt;
}

std::string_view evaluationName(Evaluation evaluation)
{
    return evaluation == Evaluation::firstContact ? "first-contact" : "compat";
}

std::optional<Evaluation> evaluationNamed(std::string_view name)
{
    if (name == "first-contact") {
        return Evaluation::firstContact;
    }
    if (name == "compat") {
        return Evaluation::compat;
    }
    return std::nullopt;
}

} // namespace egm
