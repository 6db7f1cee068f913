#pragma once

class Bench;

// Chart figures: full redraw time against the plain full polyline, pixel agreement of the two,
// and memory per stored sample.
void runChartBenchmarks(Bench &bench);
