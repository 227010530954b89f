#include "sim/model.h"

#include <gtest/gtest.h>

TEST(SimModel, ValuesTakeSiSuffixes)
{
    const std::pair<const char*, double> good[] = {{"10p", 10e-12}, {"100n", 100e-9}, {"2.2k", 2200}, {"4.7u", 4.7e-6},
                                                   {"3m", 3e-3},    {"1M", 1e6},      {"2G", 2e9},    {"5f", 5e-15},
                                                   {"1e-9", 1e-9},  {"0", 0},         {"-3", -3}};
    for (const auto& [text, value] : good) {
        double v = -1;
        EXPECT_TRUE(sim::parse_value(text, v)) << text;
        EXPECT_DOUBLE_EQ(v, value) << text;
    }
    for (const char* text : {"", "k", "1x", "1kk", "1 k", "nan", "inf", "0x10", "1,5"}) {
        double v;
        EXPECT_FALSE(sim::parse_value(text, v)) << text;
    }
}

TEST(SimModel, DevicesAtDcAndWithElementsLeftOut)
{
    // At 0 Hz a series capacitor is open and a parallel inductor a short; a zero value
    // leaves an element out instead of shorting or opening the device.
    const std::tuple<const char*, double, std::complex<double>> cases[] = {
        {"series 10 1n 1p", 0, 1},  {"parallel 1k 1n 1p", 0, -1}, {"series 50 0 0", 1e9, 0},
        {"parallel 50 0 0", 1e9, 0}, {"parallel 0 0 0", 1e9, 1},   {"c 0", 1e9, 1}, {"l 0", 1e9, -1}};
    for (const auto& [device, freq, s11] : cases) {
        sim::Dut d;
        std::string error;
        EXPECT_TRUE(sim::parse_dut(device, d, error)) << device << ": " << error;
        EXPECT_EQ(sim::dut_sparams(d, freq, false).s11, s11) << device;
    }
}
