/* The plain C yardstick for LZHUF unpacking: the method written the straightforward way, with
 * static tables, a 16-bit bit buffer filled a byte at a time, the tree walked a bit at a time and
 * the ring buffer between the decoder and the output. Only the benchmark uses it; it must give
 * the same bytes as LzhufUnpack, which the benchmark checks before timing. */
#include "LzhufPlainC.h"

#include <string.h>

#define N 4096
#define F 60
#define THRESHOLD 2
#define N_CHAR (256 - THRESHOLD + F)
#define T (N_CHAR * 2 - 1)
#define R (T - 1)
#define MAX_FREQ 0x8000

static unsigned short freq[T + 1];
static short prnt[T + N_CHAR];
static short son[T];
static unsigned char text_buf[N];
static unsigned char d_code[256];
static unsigned char d_len[256];

static const unsigned char *in_pos, *in_end;
static unsigned getbuf;
static int getlen;

static void make_tables(void) {
    static const int counts[6] = {1, 3, 8, 12, 24, 16};
    int value = 0, code = 0;
    for (int li = 0; li < 6; ++li) {
        int len = li + 3;
        for (int k = 0; k < counts[li]; ++k, ++value) {
            int span = 1 << (8 - len);
            for (int b = 0; b < span; ++b) {
                d_code[code + b] = (unsigned char)value;
                d_len[code + b] = (unsigned char)len;
            }
            code += span;
        }
    }
}

static int next_byte(void) {
    return in_pos < in_end ? *in_pos++ : 0;
}

static int get_bit(void) {
    while (getlen <= 8) {
        getbuf |= (unsigned)next_byte() << (8 - getlen);
        getlen += 8;
    }
    unsigned i = getbuf;
    getbuf = (getbuf << 1) & 0xFFFF;
    getlen--;
    return (i & 0x8000) ? 1 : 0;
}

static int get_byte(void) {
    while (getlen <= 8) {
        getbuf |= (unsigned)next_byte() << (8 - getlen);
        getlen += 8;
    }
    unsigned i = getbuf;
    getbuf = (getbuf << 8) & 0xFFFF;
    getlen -= 8;
    return (int)(i >> 8);
}

static void start_huff(void) {
    int i, j;
    for (i = 0; i < N_CHAR; i++) {
        freq[i] = 1;
        son[i] = (short)(i + T);
        prnt[i + T] = (short)i;
    }
    i = 0;
    j = N_CHAR;
    while (j <= R) {
        freq[j] = freq[i] + freq[i + 1];
        son[j] = (short)i;
        prnt[i] = prnt[i + 1] = (short)j;
        i += 2;
        j++;
    }
    freq[T] = 0xFFFF;
    prnt[R] = 0;
}

static void reconst(void) {
    int i, j, k;
    unsigned f;
    for (i = 0, j = 0; i < T; i++) {
        if (son[i] >= T) {
            freq[j] = (unsigned short)((freq[i] + 1) / 2);
            son[j] = son[i];
            j++;
        }
    }
    for (i = 0, j = N_CHAR; j < T; i += 2, j++) {
        f = freq[j] = (unsigned short)(freq[i] + freq[i + 1]);
        for (k = j - 1; f < freq[k]; k--)
            ;
        k++;
        memmove(&freq[k + 1], &freq[k], (size_t)(j - k) * sizeof freq[0]);
        freq[k] = (unsigned short)f;
        memmove(&son[k + 1], &son[k], (size_t)(j - k) * sizeof son[0]);
        son[k] = (short)i;
    }
    for (i = 0; i < T; i++) {
        if ((k = son[i]) >= T)
            prnt[k] = (short)i;
        else
            prnt[k] = prnt[k + 1] = (short)i;
    }
}

static void update(int c) {
    int i, j, l;
    unsigned k;
    if (freq[R] == MAX_FREQ)
        reconst();
    c = prnt[c + T];
    do {
        k = ++freq[c];
        if (k > freq[l = c + 1]) {
            while (k > freq[++l])
                ;
            l--;
            freq[c] = freq[l];
            freq[l] = (unsigned short)k;
            i = son[c];
            prnt[i] = (short)l;
            if (i < T)
                prnt[i + 1] = (short)l;
            j = son[l];
            son[l] = (short)i;
            prnt[j] = (short)c;
            if (j < T)
                prnt[j + 1] = (short)c;
            son[c] = (short)j;
            c = l;
        }
    } while ((c = prnt[c]) != 0);
}

static int decode_char(void) {
    int c = son[R];
    while (c < T) {
        c += get_bit();
        c = son[c];
    }
    c -= T;
    update(c);
    return c;
}

static int decode_position(void) {
    int i = get_byte();
    int c = d_code[i] << 6;
    int j = d_len[i] - 2;
    while (j--)
        i = (i << 1) + get_bit();
    return c | (i & 0x3F);
}

void lzhuf_plain_c_decode(const unsigned char* in, size_t in_size, unsigned char* out,
                          size_t size) {
    int i, j, k, r, c;
    size_t count;
    make_tables();
    in_pos = in;
    in_end = in + in_size;
    getbuf = 0;
    getlen = 0;
    start_huff();
    memset(text_buf, ' ', N);
    r = N - F;
    for (count = 0; count < size;) {
        c = decode_char();
        if (c < 256) {
            out[count++] = (unsigned char)c;
            text_buf[r++] = (unsigned char)c;
            r &= (N - 1);
        } else {
            i = (r - decode_position() - 1) & (N - 1);
            j = c - 255 + THRESHOLD;
            for (k = 0; k < j && count < size; k++) {
                c = text_buf[(i + k) & (N - 1)];
                out[count++] = (unsigned char)c;
                text_buf[r++] = (unsigned char)c;
                r &= (N - 1);
            }
        }
    }
}
