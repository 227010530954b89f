// Calibration: the five measured standards, the error terms computed from them, and the
// correction that every complete sweep applies.
//
// Reflection uses the three-term one-port model raw = Ed + Er·Γ / (1 − Es·Γ) with an
// ideal open (+1), short (−1) and load (0). Transmission subtracts the measured isolation
// and divides by the through measurement minus isolation. Points are matched by index.
// Intermediate values are doubles; every stored part is rounded to float.
//
// The arrays are written only by the device command task. The page reads the flags and
// clears them through vna_request_clear_calibration: a click in a sweep field may come
// while the task applies the arrays to a sweep, so the page never writes them itself.
#pragma once

#include <atomic>

#include "vna/device.h"

struct VNA_COMPLEX {
    float re;
    float im;
};

extern VNA_COMPLEX cal_open[VNA_MAX_POINTS], cal_short[VNA_MAX_POINTS], cal_load[VNA_MAX_POINTS];
extern VNA_COMPLEX cal_isol[VNA_MAX_POINTS], cal_thru[VNA_MAX_POINTS];
extern VNA_COMPLEX cal_ed[VNA_MAX_POINTS], cal_es[VNA_MAX_POINTS], cal_er[VNA_MAX_POINTS];

extern std::atomic<int> have_open, have_short, have_load, have_isol, have_thru;
extern std::atomic<int> vna_cal_valid;

// Forgets the standards, the flags and the error terms (all zero, calibration invalid).
void vna_clear_calibration();

// The page's clear (a click in the start, stop or points field): the flags and
// vna_cal_valid clear at once, so the next sweep is uncorrected, and the command task
// clears the arrays. It does so before it takes a command, before it corrects a sweep and
// after each command it ran, so a command running at the click (a standard, CAL APPLY,
// LOAD CAL) still ends with its flag and vna_cal_valid 0.
void vna_request_clear_calibration();
// The command task's side: vna_clear_calibration when a request is pending. Between
// commands the request is taken; within one (take false: before a sweep's correction) it
// stays pending, so the command still ends cleared whatever it stores after the sweep.
void vna_clear_calibration_if_requested(bool take = true);

// The source match and reflection tracking of one point from its open, short and load
// (the directivity is the load itself).
void vna_error_terms(const VNA_COMPLEX& open, const VNA_COMPLEX& short_, const VNA_COMPLEX& load,
                     VNA_COMPLEX& es, VNA_COMPLEX& er);

// Computes the error terms for points 0 .. vna_points - 1: 1 and "Calibration active",
// or 0 and "Incomplete calibration" (nothing changed) when a standard is missing.
int vna_compute_calibration();

// Fills the corrected arrays of points 0 .. points - 1 from the raw ones: corrected with
// a valid calibration, copies otherwise.
void vna_apply_correction(unsigned points);
