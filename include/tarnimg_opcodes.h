/* Public C interface of the raw-correction opcode library: image and parameter
 * records, the opcode entry type, the lookup by name and the library version. */
#ifndef TARNIMG_OPCODES_H
#define TARNIMG_OPCODES_H

#include <stdint.h>

#if defined(_WIN32)
#define TARNIMG_EXPORT __declspec(dllexport)
#else
#define TARNIMG_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A whole image: element (y, x, c) lies at
 * data + y * row_stride + (x * channels + c) * element_size(dtype). */
typedef struct ImageView {
    void* data;
    uint64_t height;
    uint64_t width;
    uint64_t channels;
    int32_t dtype; /* 0 uint8, 1 uint16, 2 float16, 3 float32 */
    uint64_t row_stride;
} ImageView;

/* Attribute type codes shared with the graph records. */
enum {
    TARNIMG_ATTR_INT32 = 1,
    TARNIMG_ATTR_FLOAT32 = 2,
    TARNIMG_ATTR_FLOAT64 = 3,
    TARNIMG_ATTR_INT32_ARRAY = 4,
    TARNIMG_ATTR_FLOAT32_ARRAY = 5,
    TARNIMG_ATTR_FLOAT64_ARRAY = 6,
    TARNIMG_ATTR_STRING = 7
};

/* One named parameter. Scalars live in place in `value`; arrays and strings
 * are pointers. An item whose name is null is skipped by every search. */
typedef struct AttrItem {
    const char* name;
    int32_t type;
    uint64_t count;
    union {
        int32_t i32;
        float f32;
        double f64;
        const void* ptr;
        uint64_t bits;
    } value;
} AttrItem;

/* Entry function of one opcode: 0 on success, else a status code. */
typedef int32_t (*OpcodeFn)(const ImageView* inputs, uint64_t input_count,
                            const ImageView* outputs, uint64_t output_count,
                            const AttrItem* items, uint64_t item_count);

/* The entry function of the named opcode, or null for an unknown or null name. */
TARNIMG_EXPORT OpcodeFn tarnimg_lookup_opcode(const char* name);

/* The library's version, "1.0.0"; never null. */
TARNIMG_EXPORT const char* tarnimg_version(void);

#ifdef __cplusplus
}
#endif

#endif /* TARNIMG_OPCODES_H */
