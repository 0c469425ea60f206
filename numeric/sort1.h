// In-place stable ascending sorts with NaNs last, in their input order.
#pragma once

namespace egm::numeric {

// Sorts six reals; the index permutation is computed and dropped.
void b_sort(double x[6]);

// Sorts each row of a 4 x 8 matrix stored column-major (row r, column c at
// r + 4c) independently; rows never mix.
void sort(double x[32]);

} // namespace egm::numeric
