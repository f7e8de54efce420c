// Pool buffers: first-fit acquisition and reference release.
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "engine/memory/buffer_planner.hpp"

namespace pyxa {

void FreeDeleter::operator()(uint8_t* p) const { std::free(p); }

bool view_layout_valid(const ImageView& v) {
    const uint64_t px = pixel_size(v.dtype, v.channels);
    const uint64_t row = packed_row_size(v.dtype, v.width, v.channels);
    return v.data != nullptr && row != 0 && row != kSizeMax && row_layout(v.row_stride, row, px) == RowLayout::Fits;
}

namespace {

// Index of the first free slot that holds `size` bytes, or pool.size().
size_t first_fit(const BufferPlanner& p, uint64_t size) {
    for (size_t i = 0; i < p.pool.size(); ++i)
        if (p.pool[i].refs == 1 && p.pool[i].size >= size) return i;
    return p.pool.size();
}

// A whole-image buffer is fresh memory that the first step to write it
// faults in page by page: for a 24 Mpx float32 RGB image, 70,000 faults of
// 4 KB. Where the system gives huge pages only on request (Linux's
// transparent huge pages in "madvise" mode), the buffer asks for them, and
// each fault then maps 2 MB. Only the whole 2 MB pages inside the buffer are
// advised; the advice is a hint, and a refusal changes nothing.
void advise_huge_pages(uint8_t* mem, uint64_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uint64_t kHugePage = uint64_t{1} << 21;
    if (size < 2 * kHugePage) return;
    const uint64_t start = (reinterpret_cast<uintptr_t>(mem) + kHugePage - 1) & ~(kHugePage - 1);
    const uint64_t end = (reinterpret_cast<uintptr_t>(mem) + size) & ~(kHugePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)mem;
    (void)size;
#endif
}

Status new_slot(BufferPlanner& p, uint64_t size, size_t* index) {
    if (size > static_cast<uint64_t>(PTRDIFF_MAX)) return OUT_OF_MEMORY;
    uint8_t* mem = static_cast<uint8_t*>(std::calloc(size, 1));
    if (mem == nullptr) return OUT_OF_MEMORY;
    advise_huge_pages(mem, size);
    PoolSlot slot;
    slot.data.reset(mem);
    slot.capacity = size;
    slot.size = size;
    try {
        p.pool.push_back(std::move(slot));
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    }
    *index = p.pool.size() - 1;
    return OK;
}

}  // namespace

Status acquire(BufferPlanner& p, uint32_t id, ImageView* view, bool* reused) {
    if (reused != nullptr) *reused = false;
    auto it = p.buffers.find(id);
    if (it != p.buffers.end()) {
        if (it->second.view.data == nullptr) return INTERNAL;
        *view = it->second.view;
        return OK;
    }
    if (p.output_ids.count(id)) return INTERNAL;  // outputs always live in caller arrays
    const TensorDesc* d = p.desc(id);
    if (d == nullptr) return INTERNAL;
    uint64_t size = 0;
    if (!checked_mul(d->height, d->stride, &size)) return OUT_OF_MEMORY;
    if (size == 0) return INVALID_ARGUMENT;

    size_t index = first_fit(p, size);
    if (index == p.pool.size()) PYXA_TRY(new_slot(p, size, &index));
    else if (reused != nullptr) *reused = true;
    const ImageView v{p.pool[index].data.get(), d->height, d->width, d->channels, d->dtype, d->stride};
    try {
        p.buffers[id] = BufferEntry{v, index, 1};
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    }
    PoolSlot& slot = p.pool[index];
    slot.refs = saturating_add(2, p.consumers(id));
    ++p.live_slots;
    *view = v;
    return OK;
}

void release_tensor(BufferPlanner& p, uint32_t id) {
    auto it = p.buffers.find(id);
    if (it == p.buffers.end() || !it->second.owns_slot) return;
    if (it->second.slot >= p.pool.size()) return;
    PoolSlot& slot = p.pool[it->second.slot];
    if (slot.refs <= 1) return;
    --slot.refs;
    if (slot.refs == 1 && p.live_slots > 0) --p.live_slots;
}

}  // namespace pyxa
