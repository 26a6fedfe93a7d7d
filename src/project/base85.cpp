#include "project/base85.h"

#include <cstring>

#include "support/log.h"

void base85_encode_word(uint32_t word, char out[5])
{
    for (int i = 0; i < 5; i++) {
        out[i] = (char)(word % 85 + base85_offset);
        word /= 85;
    }
}

uint32_t base85_decode_word(const char in[5])
{
    // Unsigned arithmetic wraps modulo 2^32, so any bytes at all decode to some word.
    uint32_t v = 0;
    for (int i = 4; i >= 0; i--)
        v = v * 85u + (uint32_t)((int)(unsigned char)in[i] - base85_offset);
    return v;
}

void write_base85(FILE* stream, const float* const* rows, int row_count, int words_per_row)
{
    if (!rows) {
        log_printf(stderr, "fprint_base85(): array is NULL\n");
        return;
    }
    if (!stream)
        return;
    if (row_count < 0)
        row_count = 0;
    if (words_per_row < 0)
        words_per_row = 0;
    fprintf(stream, "Base85 %lld words\n", (long long)row_count * words_per_row);
    char chunk[5 * 1024];
    for (int y = 0; y < row_count; y++) {
        const float* row = rows[y];
        int x = 0;
        while (x < words_per_row) {
            int n = words_per_row - x < 1024 ? words_per_row - x : 1024;
            for (int i = 0; i < n; i++) {
                uint32_t word;
                memcpy(&word, &row[x + i], 4);
                base85_encode_word(word, &chunk[5 * i]);
            }
            fwrite(chunk, 1, (size_t)n * 5, stream);
            x += n;
        }
    }
    fputc(base85_end_marker, stream);
    fputc('\n', stream);
}

long long read_base85(const char* line, float* const* rows, int row_count, int words_per_row)
{
    if (!rows) {
        log_printf(stderr, "read_base85(): array is NULL\n");
        return 0;
    }
    if (!line) {
        log_printf(stderr, "read_base85(): line is NULL\n");
        return 0;
    }
    const char* p = line;
    long long filled = 0;
    for (int y = 0; y < row_count; y++) {
        float* row = rows[y];
        for (int x = 0; x < words_per_row; x++) {
            // The five characters must all be present and none may be the end marker; the
            // string's terminator counts as the end of the data.
            for (int i = 0; i < 5; i++) {
                if (p[i] == base85_end_marker || p[i] == '\0') {
                    log_printf(stderr, "Warning: End of Base85 data reached unexpectedly\n");
                    return filled;
                }
            }
            uint32_t word = base85_decode_word(p);
            if (row)
                memcpy(&row[x], &word, 4);
            p += 5;
            filled++;
        }
    }
    return filled;
}
