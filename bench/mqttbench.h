#pragma once

class Bench;

// MQTT figures against a local Mosquitto (started here, or the one KLM704_BENCH_MQTT names as
// mqtt://host:port): the time from a reading handed to the publisher to its delivery to a
// subscriber, and the window's recording step with and without publishing, in the same run.
void runMqttBenchmarks(Bench &bench);
