#pragma once

#include <memory>

class Bench;
class QString;
class Widget;

// A main window whose settings live in folder, with alarm limits inside the drifting voltage's
// swing (so that the recording step checks and marks readings), taking every reading into its
// record table; not yet shown.
std::unique_ptr<Widget> makeBenchWindow(const QString &folder);

// Main window figures: the recording step of one reading with a long recording behind it, with
// and without the repaint it causes, the memory a recorded reading takes, and the journal's
// share of the step.
void runWindowBenchmarks(Bench &bench);
// The same without the journal.
void runRecordStepAndMemory(Bench &bench);
// The recording step with 1k rows behind it, taking turns without and with publishing every
// recorded reading to the broker at url.
void benchRecordStepWithMqtt(Bench &bench, const QString &url);
