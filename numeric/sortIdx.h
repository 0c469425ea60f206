// Stable ascending sort of eight reals with NaNs last, in their input order,
// each keeping its own bits. idx receives, for each output position, the
// 1-based input position of the value now there.
#pragma once

#include <cstdint>

namespace egm::numeric {

void sortIdx(double x[8], std::int32_t idx[8]);

// Merge of two adjacent sorted runs of x, starting at the 0-based offset, of
// lengths np and nq; idx moves in step. Ties take the left element, so the
// merge is stable. iwork and xwork hold at least np + nq elements. merge
// serves sortIdx and b_merge serves b_sort; they behave identically.
void merge(std::int32_t idx[], double x[], std::int32_t offset, std::int32_t np, std::int32_t nq,
           std::int32_t iwork[], double xwork[]);
void b_merge(std::int32_t idx[], double x[], std::int32_t offset, std::int32_t np, std::int32_t nq,
             std::int32_t iwork[], double xwork[]);

} // namespace egm::numeric
