#pragma once

class Bench;

// Chart figures at the bench's scale, a tenth and a hundredth of it: full redraw time against
// the plain full polyline, pixel agreement of the two, and memory per stored sample.
void runChartBenchmarks(Bench &bench);
// The same for a chart of count samples.
void runChartRedraw(Bench &bench, int count);

// Figures of a zoomed stretch of the bench's scale and ten times that stored samples, from the
// block summaries.
void runStatisticsBenchmarks(Bench &bench);
