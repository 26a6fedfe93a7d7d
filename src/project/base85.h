// Base85 blocks: how pictures and sounds travel inside archive text. Each 32-bit word (the
// bits of one float) becomes five characters, least significant base-85 digit first, each
// written as digit + 37 ('%' is 0, 'y' is 84). A block is an announcement line
// "Base85 N words" and one data line of all the words ended by 'z'.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int base85_offset = 37;
constexpr char base85_end_marker = 'z';

// The five characters of one word.
void base85_encode_word(uint32_t word, char out[5]);
// The word of five characters; characters outside the alphabet still give a value
// (modulo 2^32), never a failure.
uint32_t base85_decode_word(const char in[5]);

// Writes the announcement and the data line of row_count rows of words_per_row floats.
// A null array writes nothing and logs one line.
void write_base85(FILE* stream, const float* const* rows, int row_count, int words_per_row);

// Fills row_count rows of words_per_row floats from the data line `line` (NUL-terminated).
// Stops with one warning when the end marker or the end of the text comes before the last
// word; the words not reached keep their values. Returns the number of words filled.
long long read_base85(const char* line, float* const* rows, int row_count, int words_per_row);
