#pragma once

class Bench;

// Main window figures: the recording step of one reading with a long recording behind it, with
// and without the repaint it causes, the memory a recorded reading takes, and the journal's
// share of the step.
void runWindowBenchmarks(Bench &bench);
