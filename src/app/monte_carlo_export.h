// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the Monte Carlo window gives out of its last run: Copy Results (the results table, the
// verdict and the notes, tab-separated, on the clipboard), Export CSV… (the histogram's bins) and
// Save Chart… (the chart as PNG or SVG, by the file's suffix). Each runs under the default
// handler; a run that has no results does nothing.

namespace mirevant {

class Dialogs;
class MonteCarloWindow;

void copyMonteCarloResults(MonteCarloWindow& window);
void exportHistogramCsv(MonteCarloWindow& window, Dialogs& dialogs);
void saveMonteCarloChart(MonteCarloWindow& window, Dialogs& dialogs);

}  // namespace mirevant
