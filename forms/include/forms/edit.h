// Edit fields: a box showing the bound value with a fixed number of characters and
// decimals, focus by pointer, typing on the keyboard, and conversion of the typed text into
// the variable's type on commit.
#pragma once

#include <cstdint>

inline constexpr int EDIT_STRING = 64;
extern char edit_string[EDIT_STRING];  // typing buffer shared by all fields
extern uint8_t _doubleclick;           // 1: a first press only focuses a field

void TEdit();
// One keyboard step of the typing buffer, at most max characters.
void input_string(int max);
// atof(edit_string) x 10^decimali, nudged by 0.1 away from zero for signed integer types.
float input_num(int decimali);
double input_dnum(int decimali);
// x rounded to n decimals.
double round_n(double x, int n);
// Print a value text in the field: integer text as fixed point, %f text cut to decimals
// and right-aligned, or text cut to the field width.
void fill_edit_num(const char* s);
void fill_edit_real(const char* s);
void fill_edit_string(const char* s);
// The text fill_edit_* would print (without printing), for tests and measurement.
void edit_num_text(const char* s, char* out, int size);
void edit_real_text(const char* s, char* out, int size);
// Field width and decimals clamped to what the buffers hold.
int edit_digits();
int edit_decimals();
