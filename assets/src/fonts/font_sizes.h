// Written by the font generator (tools/fontgen.cpp); do not edit by hand.
// Sizes in bytes of the generated font arrays.
#pragma once

#include <cstddef>

inline constexpr size_t v_off8_bytes = 728;
inline constexpr size_t v_tim8_bytes = 728;
inline constexpr size_t v_off16_bytes = 2912;
inline constexpr size_t v_off24_bytes = 6552;
inline constexpr size_t v_tim16_bytes = 2912;
inline constexpr size_t v_tim24_bytes = 6552;
inline constexpr size_t v_tim32_bytes = 11648;
inline constexpr size_t MS_Sans_Serif_8_bytes = 1249;
inline constexpr size_t MS_Sans_Serif_10_bytes = 1672;
inline constexpr size_t MS_Sans_Serif_12_bytes = 2456;
inline constexpr size_t MS_Sans_Serif_14_bytes = 3379;
inline constexpr size_t MS_Sans_Serif_18_bytes = 4903;
inline constexpr size_t MS_Sans_Serif_24_bytes = 7993;
inline constexpr size_t Arial_Black_8_bytes = 1646;
inline constexpr size_t Arial_Black_10_bytes = 2198;
inline constexpr size_t Arial_Black_12_bytes = 3185;
inline constexpr size_t Arial_Black_14_bytes = 4422;
inline constexpr size_t Arial_Black_18_bytes = 6615;
inline constexpr size_t Arial_Black_24_bytes = 11769;
inline constexpr size_t Courier_New_8_Bold_bytes = 1540;
inline constexpr size_t Courier_New_10_Bold_bytes = 1828;
inline constexpr size_t Courier_New_12_Bold_bytes = 2500;
inline constexpr size_t Courier_New_14_Bold_bytes = 3268;
inline constexpr size_t Courier_New_18_Bold_bytes = 4900;
inline constexpr size_t Courier_New_24_Bold_bytes = 8548;
inline constexpr size_t Clarendon_Extended_14_Bold_bytes = 3979;
inline constexpr size_t Clarendon_Extended_18_Bold_bytes = 6139;
inline constexpr size_t Clarendon_Extended_24_Bold_bytes = 10562;
inline constexpr size_t T_Arial_Unicode_MS_10_bytes = 116477;
inline constexpr size_t T_Arial_Unicode_MS_12_bytes = 164316;
inline constexpr size_t T__Arial_Unicode_MS_14_bytes = 229251;
inline constexpr size_t T_Arial_Unicode_MS_16_bytes = 263992;
inline constexpr size_t T_Arial_Unicode_MS_18_Bold_bytes = 264049;
inline constexpr size_t T_Arial_Unicode_MS_28_bytes = 263872;
