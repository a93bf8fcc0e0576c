#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Unpacks the LZHUF bit stream `in` (without the size field) into exactly `size` bytes at `out`.
 * Not reentrant: the tables are static, as in the classic programs. */
void lzhuf_plain_c_decode(const unsigned char* in, size_t in_size, unsigned char* out, size_t size);

#ifdef __cplusplus
}
#endif
