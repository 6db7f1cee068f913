#pragma once

class Bench;
class QString;

// Main window figures: the recording step of one reading with a long recording behind it, with
// and without the repaint it causes, the memory a recorded reading takes, and the journal's
// share of the step.
void runWindowBenchmarks(Bench &bench);
// The same without the journal.
void runRecordStepAndMemory(Bench &bench);
// The recording step with 1k rows behind it, taking turns without and with publishing every
// recorded reading to the broker at url.
void benchRecordStepWithMqtt(Bench &bench, const QString &url);
