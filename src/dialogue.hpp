// The dialogue: the banner, the five questions, the echo of the answers, and
// the notes on answers that were not read as typed or not used as given.
#pragma once

// The five answers, with their start values for answers that were not read.
struct RunParameters {
  int popSize = 0;
  int genSize = 0;
  float mutRate = 0.0f;
  float crossRate = 0.0f;
  int treeDepth = 0;
};

// Writes the banner, asks the five questions, reads each answer from
// standard input and echoes them. A note on standard error names the first
// answer that was not read as typed, and another the answers the input
// ended before.
RunParameters runDialogue();

// Makes the answers fit the run, with a note for each change: a negative
// size or depth becomes 0; when generations run (`evolving`) the rates are
// clamped into 0 to 1, and an empty population is noted. A plain run with
// generations says that it does not run them.
void settleParameters(RunParameters& parameters, bool evolving);
