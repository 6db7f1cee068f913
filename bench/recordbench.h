#pragma once

class Bench;

// Record table figures: CSV export of a recording of the bench's scale, and the memory of the
// object-per-reading layout.
void runRecordBenchmarks(Bench &bench);
// The CSV export alone.
void runCsvExport(Bench &bench);
// Import figures: a recording's CSV file of the bench's scale and ten times that read back into
// table and chart, and the heap per imported reading against a recorded one.
void runImportBenchmarks(Bench &bench);
