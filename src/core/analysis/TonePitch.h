#pragma once
// Finds the pitch of a keyed tone in a recording: the strongest line of the
// averaged power spectrum between two frequencies.

#include <cstddef>
#include <cstdint>

// Pitch in Hz of the strongest tone between loHz and hiHz in n samples at
// rateHz; 0 when there are too few samples or no signal at all.
double FindTonePitch(const int16_t* samples, size_t n, double rateHz = 8000.0, double loHz = 200.0,
                     double hiHz = 3000.0);
