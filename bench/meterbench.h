#pragma once

class Bench;

// Receive-path figures: reply frames cut out of received chunks, decoded and emitted as readings.
void runMeterBenchmarks(Bench &bench);
