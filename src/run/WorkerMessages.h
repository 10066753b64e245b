#pragma once
// What travels between the run and a worker in another process (an MPI rank):
// the worker's state, the calculations handed out, and the events coming
// back, as byte strings. The format is private to one build of Korvane (all
// ranks run the same program): fields in a fixed order, numbers as 8-byte
// little-endian values, texts with their length in front.

#include <string>

#include "run/CalcWorker.h"

namespace korvane {

// The part of the run's state a worker calculates with: the workbook, the
// variables with their cells, formats, replacement lists and limits, the
// macros and programs, the restart flag, the initial texts.
std::string EncodeWorkerState(const RunState& state);
bool DecodeWorkerState(const std::string& bytes, RunState& state);

std::string EncodeCalcValues(const CalcValues& values);
bool DecodeCalcValues(const std::string& bytes, CalcValues& values);

std::string EncodeWorkerEvent(const WorkerEvent& event);
bool DecodeWorkerEvent(const std::string& bytes, WorkerEvent& event);

}  // namespace korvane
