// The multi-site summary: one tidy CSV table with a row per input file and
// span, for researchers who analyse many sites in one batch run and want
// one table to plot.
//
// Each row holds the site (the input file's name without folder and
// extension) and the file as given, the span, its length and the trees,
// the observed frequency of all trees at both thresholds (single
// precision, as the simulations compute it), the Chao2 asymptote with its
// 95 % interval (double precision; fire events per century), Q1, Q2 and
// the fire years observed, the trees needed at both thresholds by the
// simulations and by the exact mean, and the run's settings (method,
// injuries, simulations, seed, X and P). NA stands for a missing upper
// limit and for trees needed that are not reached. Texts are quoted as CSV
// quotes them; lines end with "\n".
#pragma once

#include <string>

#include "analysis/sample_adequacy.h"

namespace rova {

struct SiteSummary {
  std::string site;
  std::string file;      // the input file as given
  std::string method;    // "D" or "R"
  std::string injuries;  // "F" or "I"
  int simulations = 0;
  int seed = 0;
  AdequacyCriterion criterion;
  SpanAdequacy span;
};

// The header row, ending in "\n".
std::string siteSummaryHeader();

// The row of one site and span, ending in "\n".
std::string siteSummaryRow(const SiteSummary& summary);

}  // namespace rova
