#pragma once

class Bench;

// Record table figures: CSV export of a large recording.
void runRecordBenchmarks(Bench &bench);
// Import figures: a recording's CSV file of 1M and 10M rows read back into table and chart,
// and the heap per imported reading against a recorded one.
void runImportBenchmarks(Bench &bench);
