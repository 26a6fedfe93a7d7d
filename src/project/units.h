// Units in which positions and sizes are written: pixels, percent of the picture, seconds,
// Hz, semitones and note names. Every value read from an archive line or typed by the user
// is converted to pixels here, and every value recorded is converted back from pixels.
// An invalid value is NaN; it is returned, never reported (only an unknown unit name is).
#pragma once
#include <cstddef>

#include "project/project.h"

// Unit indexes as archive state and preferences hold them.
enum : int {
    unit_none = 0,      // "": converts to nothing
    unit_px = 1,        // "px": columns or rows
    unit_percent = 2,   // "%": of W - 1 columns, or of H rows
    unit_sec = 3,       // "sec": time
    unit_hz = 4,        // "Hz": frequency position
    unit_st = 5,        // "st": semitones, a vertical size
    unit_note = 6,      // "note": a note name with octave and cents, a frequency position
    unit_count = 7,
};

// "C", "C#", ... "B": sharps only.
extern const char* const note_names[12];

// The index of `name` (compared exactly); an unknown name logs "Unrecognised unit: %s\n"
// and gives 0. A null name gives 0 silently.
int unit_index(const char* name);
// The name of a unit index; "" for 0 and for indexes out of range.
const char* unit_name(int index);
// A vertical value text beginning with a letter "A" to "G" is a note whatever unit follows
// it: gives unit_note for such a text, else `unit`.
int value_unit(const char* text, int unit, int horizontal);

// Converts `value` from one unit to another on one axis of `p` (horizontal 1: columns and
// time; 0: rows and frequency), through pixels when neither unit is pixels.
// - to_text 0 with a text: the value is read from the text (a note text for unit_note,
//   otherwise an expression) and the numeric argument is ignored.
// - to_text 1: the numeric value is converted and the result is also written into `text`
//   (at most text_size bytes, always terminated): a plain note text when the target is
//   unit_note, else "%g".
// - Equal units with nothing to write return the value unchanged.
// A note value comes only as text: unit_note with a numeric value is invalid.
float convert_unit(float value, char* text, size_t text_size, int from_unit, int to_unit,
                   const Project& p, int horizontal, int to_text);
// Reading form: `text`, when not null, supplies the value.
float convert_unit(float value, const char* text, int from_unit, int to_unit, const Project& p,
                   int horizontal);

// Note numbers: 0 is C0, 57 is A4 (440 Hz); fractions are cents / 100.
// Frequency of a note number: 440 * 2^((n - 57) / 12).
float number_to_note(float n);
// Note number of a frequency: 12 * ln(f * 0.0022727272) / ln 2 + 57, the product in single
// precision and the logarithms in double. NaN for f <= 0.
float note_to_number(float f);
// Note text "%[A-G#]%d%g" (name, octave, optional cents, as in A4, A#4-03.25, C0) to its
// note number; NaN when the name is not one of the twelve or the octave is missing.
float read_note(const char* text);

// Plain form (verbose 0) writes the note name, octave and cents, e.g. "A4+19.56", with
// trailing zeros and a bare point removed ("A4+00"). Verbose form (verbose 1) appends
// " (A4 +00)" to the text already in the buffer. Octaves below C0 are numbered downwards
// (B-1), so that the text reads back as the same note.
void format_note(float n, char* text, size_t text_size, int verbose);

// A time text to seconds: the last "hh:mm:ss", "h:mm:ss", "mm:ss" or "m:ss" in the text (in
// that order of preference; seconds may have a fraction), otherwise a plain number at the
// start. NaN when there is none.
double parse_time_value(const char* text);
// Mode 0: whole seconds, 1:02'05" / 2'05" / 5". Modes 1 to 3 add milliseconds, which never
// read 1000: 1:02'05"500 / 2'05"500 / 5"500. Any other mode, or a time that is not a finite
// number, gives an empty text.
void format_time(double seconds, char* text, size_t text_size, int mode);
// The view's cursor line: "<time> - %.2f Hz" (only "%.2f Hz" at time 0), then the nearest
// note in brackets, e.g. 1'02"500 - 440.00 Hz (A4 +00).
void format_cursor_readout(double seconds, float freq, char* text, size_t text_size);
