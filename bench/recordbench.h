#pragma once

class Bench;

// Record table figures: CSV export of a large recording.
void runRecordBenchmarks(Bench &bench);
