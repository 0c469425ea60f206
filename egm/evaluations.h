// The one place where the inputs' evaluation becomes its evaluator: every
// entry that depends on the evaluation is written once, as a template over
// the evaluator (evaluator.h), and handed it here.
#pragma once

#include <type_traits>
#include <utility>

#include "compat_evaluation.h"
#include "contact_evaluation.h"
#include "egm/types.h"

namespace egm::model {

// f(std::type_identity<E>{}) with E the evaluator of the evaluation.
template <class F> decltype(auto) withEvaluatorType(Evaluation evaluation, F&& f)
{
    if (evaluation == Evaluation::compat) {
        return std::forward<F>(f)(std::type_identity<CompatEvaluator>{});
    }
    return std::forward<F>(f)(std::type_identity<ContactEvaluator>{});
}

// f(evaluator) with the evaluator of the inputs' evaluation built from
// them; in must outlive the call.
template <class F> decltype(auto) withEvaluator(const Inputs& in, F&& f)
{
    return withEvaluatorType(in.evaluation, [&]<class E>(std::type_identity<E>) -> decltype(auto) {
        E evaluator(in);
        return std::forward<F>(f)(evaluator);
    });
}

} // namespace egm::model
