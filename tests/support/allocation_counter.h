#pragma once
// Every operator new of a test binary that links allocation_counter.cpp is
// counted while armed (a plug-in the binary loads included, when the binary
// exports its symbols): what the audio path must never do.
namespace orve::test {
extern bool countingArmed;
extern long allocationsSeen;
}  // namespace orve::test
