#pragma once

class Bench;

// Start-up of the window on a real X server until its panel shows the first reading (group
// "startup"), and the rate of readings against the real-timed virtual meter (group "live").
void runStartupBenchmarks(Bench &bench);
void runLiveBenchmarks(Bench &bench);
