// The program's clock and its small deterministic random generator.
#pragma once

#include <cstdint>

// Seconds since the process started, from the performance counter. Counting from process start
// (not machine start) keeps sub-millisecond steps in the float however long the machine has run.
float GetTimeSeconds();

// Next value 0..32767 of the multiplicative generator (state x 22695477, no increment). A state
// of 0 is first seeded with the calendar time in seconds, so runs started in the same second
// draw the same sequence.
int Random15();
// n x r / 32767 truncated, r from Random15 kept below 32767: 0..n-1 for n > 0, 0 for n = 0.
int RandomBelow(int n);
// Sets the generator's state; 0 makes the next draw seed from the clock again.
void SetRandomState(uint32_t state);

constexpr int kRandom15Max = 32767;
constexpr uint32_t kRandomMultiplier = 22695477u;
