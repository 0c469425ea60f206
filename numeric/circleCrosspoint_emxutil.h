// RealArray: the run-time-sized, multi-dimensional array of reals that the
// rate integration keeps its per-step sums and its stroke table in.
// Elements are stored column-major (first index fastest); callers write the
// sizes into dims, then call emxEnsureCapacity, then use values by 0-based
// offset.
#pragma once

#include <cstdint>

namespace egm::numeric {

struct RealArray {
    double* values;        // element storage, or null while none is held
    std::int32_t* dims;    // dimCount sizes
    std::int32_t capacity; // elements the storage can hold
    std::int32_t dimCount; // fixed at creation
    bool ownsValues;       // the storage belongs to this record
};

// Creates an empty array of dimCount dimensions (all sizes 0, no storage,
// capacity 0) and stores its address through holder.
void emxInit_real_T(RealArray** holder, std::int32_t dimCount);
// Same behaviour; used for the three-dimensional stroke table.
void emxInit_real_T1(RealArray** holder, std::int32_t dimCount);

// Grows the storage to hold the product of the current sizes, keeping the
// first oldCount elements (a negative oldCount counts as 0); new elements are
// zero. Capacity runs 16, 32, 64, ... up to 2^30, then 2147483647; it never
// shrinks. Throws std::length_error when the element count does not fit in
// 32 bits and std::bad_alloc when storage cannot be obtained.
void emxEnsureCapacity(RealArray* array, std::int32_t oldCount, std::int32_t elementSize);

// Releases the array and sets the holder to null; a null holder is left alone.
void emxFree_real_T(RealArray** holder);

} // namespace egm::numeric
