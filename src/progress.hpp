// A status line on standard error for long runs whose transcript goes
// elsewhere: shown only while standard error is a terminal and standard
// output is not, so the transcript itself never changes.
#pragma once

// Reports that `individual` (counted from 0) of `individuals` is about to be
// evaluated, within generation `generation` of `generations` when
// `generations` is above 0. Draws nothing during the first second of the run
// and redraws at most ten times a second. Costs one test when nothing can
// be shown.
void showProgress(long long individual, long long individuals,
                  int generation = 0, int generations = 0);

// Erases the status line if one is drawn. Call it before anything else is
// written to standard error and before the program ends; a hangup,
// interrupt, broken pipe or termination signal erases it by itself.
void endProgress();
