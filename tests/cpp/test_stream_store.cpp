// Streamed row stores in every instruction-set copy this processor runs: the
// same bytes as a plain copy or repeat for every destination offset within a
// line, lengths around whole lines and periods, and every unit size, without
// a byte written outside the row.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kernels/geometry/stream_store.hpp"

using namespace pyxa;

namespace {

constexpr uint64_t kGuard = 128;
constexpr uint8_t kUntouched = 0xA5;

// Lengths below one line, around whole lines and around periods of 3 x 64.
const uint64_t kLengths[] = {0, 1, 63, 64, 65, 127, 128, 191, 192, 193, 383, 384, 385, 767, 1000, 4099};

// A line-aligned buffer with guard bytes before and after the row.
struct Row {
    std::vector<uint8_t> storage;
    uint8_t* row;
    Row(uint64_t offset, uint64_t n) : storage(n + offset + 2 * kGuard + 64, kUntouched) {
        auto base = reinterpret_cast<uintptr_t>(storage.data()) + kGuard;
        base += (64 - base % 64) % 64;
        row = reinterpret_cast<uint8_t*>(base) + offset;
    }
    bool guards_intact(uint64_t n) const {
        for (const uint8_t* p = storage.data(); p < row; ++p)
            if (*p != kUntouched) return false;
        for (const uint8_t* p = row + n; p < storage.data() + storage.size(); ++p)
            if (*p != kUntouched) return false;
        return true;
    }
};

std::vector<Isa> runnable_isas() {
    std::vector<Isa> out;
    for (Isa isa : kAllIsas)
        if (isa_supported(isa)) out.push_back(isa);
    return out;
}

TEST(StreamStore, CopyMatchesMemcpy) {
    std::vector<uint8_t> src(5000);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 131 + 7);
    for (Isa isa : runnable_isas()) {
        const StreamCopy copy = stream_copy_for(isa);
        for (uint64_t offset = 0; offset < 64; ++offset)
            for (uint64_t n : kLengths) {
                Row r(offset, n);
                copy(r.row, src.data() + offset % 7, n);
                stream_fence();
                ASSERT_EQ(std::memcmp(r.row, src.data() + offset % 7, n), 0)
                    << "isa " << int(isa) << " offset " << offset << " n " << n;
                ASSERT_TRUE(r.guards_intact(n)) << "isa " << int(isa) << " offset " << offset << " n " << n;
            }
    }
}

TEST(StreamStore, RepeatWritesThePatternFromTheRowStart) {
    for (Isa isa : runnable_isas()) {
        const StreamRepeat repeat = stream_repeat_for(isa);
        for (uint64_t unit_len = 1; unit_len <= kStreamMaxUnit; ++unit_len) {
            std::vector<uint8_t> unit(unit_len);
            for (uint64_t i = 0; i < unit_len; ++i) unit[i] = static_cast<uint8_t>(i * 37 + unit_len);
            StreamPattern pat;
            make_stream_pattern(unit.data(), unit_len, &pat);
            ASSERT_EQ(pat.period % 64, 0u);
            ASSERT_EQ(pat.period % unit_len, 0u);
            for (uint64_t offset = 0; offset < 64; offset += unit_len % 2 ? 1 : 5)
                for (uint64_t n : kLengths) {
                    Row r(offset, n);
                    repeat(r.row, n, pat);
                    stream_fence();
                    for (uint64_t i = 0; i < n; ++i)
                        ASSERT_EQ(r.row[i], unit[i % unit_len]) << "isa " << int(isa) << " unit " << unit_len
                                                                << " offset " << offset << " n " << n << " byte " << i;
                    ASSERT_TRUE(r.guards_intact(n)) << "isa " << int(isa) << " unit " << unit_len;
                }
        }
    }
}

TEST(StreamStore, NoPatternForUnitsItCannotHold) {
    const std::vector<uint8_t> unit(kStreamMaxUnit + 1, 1);
    StreamPattern pat;
    make_stream_pattern(unit.data(), unit.size(), &pat);
    EXPECT_EQ(pat.period, 0u);
    make_stream_pattern(unit.data(), 0, &pat);
    EXPECT_EQ(pat.period, 0u);
}

}  // namespace
