#include "sortIdx.h"

#include "sort_with_index.h"

namespace egm::numeric {

void merge(std::int32_t idx[], double x[], std::int32_t offset, std::int32_t np, std::int32_t nq,
           std::int32_t iwork[], double xwork[])
{
    sort_detail::mergeRuns(idx, x, offset, np, nq, iwork, xwork);
}

void b_merge(std::int32_t idx[], double x[], std::int32_t offset, std::int32_t np, std::int32_t nq,
             std::int32_t iwork[], double xwork[])
{
    sort_detail::mergeRuns(idx, x, offset, np, nq, iwork, xwork);
}

void sortIdx(double x[8], std::int32_t idx[8])
{
    sort_detail::sortWithIndex<8>(x, idx, merge);
}

} // namespace egm::numeric
