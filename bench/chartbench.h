#pragma once

class Bench;

// Chart figures: full redraw time against the plain full polyline, pixel agreement of the two,
// and memory per stored sample.
void runChartBenchmarks(Bench &bench);

// Figures of a zoomed stretch of 1M and 10M stored samples, from the block summaries.
void runStatisticsBenchmarks(Bench &bench);
