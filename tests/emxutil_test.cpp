// Growth of the dynamic real arrays: zero-filled, contents kept, never shrunk.
#include "bits.h"
#include "circleCrosspoint_emxutil.h"

namespace {

using namespace egm::numeric;

struct Holder {
    RealArray* array = nullptr;
    explicit Holder(std::int32_t dims) { emxInit_real_T(&array, dims); }
    ~Holder() { emxFree_real_T(&array); }
    void resize(std::initializer_list<std::int32_t> sizes, std::int32_t oldCount)
    {
        int i = 0;
        for (std::int32_t s : sizes) {
            array->dims[i++] = s;
        }
        emxEnsureCapacity(array, oldCount, sizeof(double));
    }
};

TEST(RealArray, FreshArrayIsEmptyAndZeroSizesTakeNoStorage)
{
    Holder h(2);
    EXPECT_EQ(h.array->values, nullptr);
    EXPECT_EQ(h.array->capacity, 0);
    EXPECT_EQ(h.array->dimCount, 2);
    EXPECT_TRUE(h.array->ownsValues);
    EXPECT_EQ(h.array->dims[0], 0);
    EXPECT_EQ(h.array->dims[1], 0);
    emxEnsureCapacity(h.array, 0, sizeof(double));
    EXPECT_EQ(h.array->values, nullptr);
    EXPECT_EQ(h.array->capacity, 0);
}

TEST(RealArray, ReleaseLeavesTheHolderNull)
{
    RealArray* table = nullptr;
    emxInit_real_T1(&table, 3);
    table->dims[0] = 201;
    table->dims[1] = 180;
    table->dims[2] = 4;
    emxEnsureCapacity(table, 0, sizeof(double));
    for (std::int32_t i = 0; i < 201 * 180 * 4; ++i) {
        ASSERT_EQ(bitsOf(table->values[i]), 0u); // the stroke table starts zero-filled
    }
    emxFree_real_T(&table);
    EXPECT_EQ(table, nullptr);
    emxFree_real_T(&table); // a second release does nothing
}

TEST(RealArray, GrowingKeepsOldElementsAndZeroesTheRest)
{
    Holder h(1);
    h.resize({10}, 0);
    ASSERT_EQ(h.array->capacity, 16);
    for (int i = 0; i < 10; ++i) {
        h.array->values[i] = i + 1.5;
    }
    h.array->values[12] = 99.0; // beyond oldCount: not carried over
    h.resize({40}, 10);
    EXPECT_EQ(h.array->capacity, 64);
    for (int i = 0; i < 64; ++i) {
        EXPECT_SAME_BITS(i < 10 ? i + 1.5 : 0.0, h.array->values[i]);
    }

    double* before = h.array->values;
    h.resize({20}, 40); // smaller: nothing changes
    EXPECT_EQ(h.array->values, before);
    EXPECT_EQ(h.array->capacity, 64);
    EXPECT_EQ(h.array->values[3], 4.5);
}

TEST(RealArray, ElementCountBeyondThirtyTwoBitsIsRefused)
{
    Holder h(2);
    h.array->dims[0] = 65536;
    h.array->dims[1] = 65536;
    EXPECT_THROW(emxEnsureCapacity(h.array, 0, sizeof(double)), std::length_error);
    EXPECT_EQ(h.array->values, nullptr);
}

} // namespace
