#pragma once

class Bench;

// How long the window's event loop stands still while the user acts on a long recording: each
// action (chart zoom, unzoom, hover, Fit values, a reading that widens the value axis, scrolling
// the table to its end, new limits, Delete, a change of function, export, import and print) is
// driven on a real window holding the bench's scale of readings and ten times that, and the
// longest stall of the GUI thread while it runs is printed as max_stall_ms_<action>_N.
void runFramesBenchmarks(Bench &bench);
