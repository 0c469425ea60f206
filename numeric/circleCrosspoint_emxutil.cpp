#include "circleCrosspoint_emxutil.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace egm::numeric {

namespace {

constexpr std::int32_t kMinimumCapacity = 16;
// Past this, doubling would overflow a 32-bit signed capacity.
constexpr std::int32_t kLastDoubling = 1073741823;

void createArray(RealArray** holder, std::int32_t dimCount)
{
    auto* array = new RealArray{};
    const std::int32_t count = dimCount > 0 ? dimCount : 0;
    array->dims = new std::int32_t[static_cast<std::size_t>(count)]();
    array->values = nullptr;
    array->capacity = 0;
    array->dimCount = count;
    array->ownsValues = true;
    *holder = array;
}

} // namespace

void emxInit_real_T(RealArray** holder, std::int32_t dimCount)
{
    createArray(holder, dimCount);
}

void emxInit_real_T1(RealArray** holder, std::int32_t dimCount)
{
    createArray(holder, dimCount);
}

void emxEnsureCapacity(RealArray* array, std::int32_t oldCount, std::int32_t elementSize)
{
    if (oldCount < 0) {
        oldCount = 0;
    }
    std::int64_t needed = 1;
    for (std::int32_t i = 0; i < array->dimCount; ++i) {
        needed *= array->dims[i];
        if (needed > std::numeric_limits<std::int32_t>::max() || needed < 0) {
            throw std::length_error("array element count does not fit in 32 bits");
        }
    }
    if (needed <= array->capacity) {
        return;
    }
    std::int32_t capacity = array->capacity < kMinimumCapacity ? kMinimumCapacity : array->capacity;
    while (capacity < needed) {
        capacity = capacity > kLastDoubling ? std::numeric_limits<std::int32_t>::max() : capacity * 2;
    }
    // Zero-filled storage straight from the allocator: large blocks come as
    // fresh zero pages, so untouched elements cost nothing.
    auto* storage = static_cast<double*>(
        std::calloc(static_cast<std::size_t>(capacity), static_cast<std::size_t>(elementSize)));
    if (storage == nullptr) {
        throw std::bad_alloc();
    }
    if (array->values != nullptr) {
        std::memcpy(storage, array->values,
                    static_cast<std::size_t>(oldCount) * static_cast<std::size_t>(elementSize));
        if (array->ownsValues) {
            std::free(array->values);
        }
    }
    array->values = storage;
    array->capacity = capacity;
    array->ownsValues = true;
}

void emxFree_real_T(RealArray** holder)
{
    if (*holder == nullptr) {
        return;
    }
    if ((*holder)->values != nullptr && (*holder)->ownsValues) {
        std::free((*holder)->values);
    }
    delete[](*holder)->dims;
    delete *holder;
    *holder = nullptr;
}

} // namespace egm::numeric
