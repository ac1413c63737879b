#pragma once
// Decodes Morse audio back to text, for tests of what goes on the air.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "echolink/morse.h"

namespace qm {

// A receiving operator of our own: an envelope follower (mean of the rectified signal over two cycles of the tone,
// centred), a threshold at half the strongest envelope, and the runs of tone and silence classified by length in
// units at the known speed. Every run must also be close to 1, 3 or 7 units, so timing faults show up.
inline std::string decode(const std::vector<std::int16_t>& x, int rate, int wpm) {
  const double unit = rate * 1.2 / wpm;
  const std::size_t window = static_cast<std::size_t>(std::lround(2.0 * rate / kMorseToneHz));
  std::vector<double> envelope(x.size(), 0.0);
  double sum = 0, strongest = 0;
  for (std::size_t i = 0; i < x.size() + window / 2; ++i) {
    if (i < x.size()) sum += std::abs(static_cast<double>(x[i]));
    if (i >= window) sum -= std::abs(static_cast<double>(x[i - window]));
    if (i >= window / 2) {
      envelope[i - window / 2] = sum / window;
      strongest = std::max(strongest, sum / window);
    }
  }
  std::vector<std::pair<bool, double>> runs;  // (tone, length in units)
  for (std::size_t i = 0; i < x.size();) {
    bool on = envelope[i] > strongest / 2;
    std::size_t j = i;
    while (j < x.size() && (envelope[j] > strongest / 2) == on) ++j;
    runs.emplace_back(on, (j - i) / unit);
    i = j;
  }
  if (!runs.empty() && !runs.front().first) runs.erase(runs.begin());
  if (!runs.empty() && !runs.back().first) runs.pop_back();

  std::map<std::string, char> letters;
  for (int c = 32; c < 127; ++c)
    if (auto code = morseCode(static_cast<char>(c)); code && !(c >= 'a' && c <= 'z'))
      letters[std::string(*code)] = static_cast<char>(c);
  std::string text, symbol;
  auto endCharacter = [&] {
    auto it = letters.find(symbol);
    text += it == letters.end() ? '*' : it->second;
    symbol.clear();
  };
  for (auto [on, units] : runs) {
    double nearest = units < 2 ? 1 : (units < 5 ? 3 : 7);
    if (std::fabs(units - nearest) > 0.2) ADD_FAILURE() << (on ? "tone" : "gap") << " of " << units << " units";
    if (on) {
      symbol += units < 2 ? '.' : '-';
    } else if (units >= 5) {
      endCharacter();
      text += ' ';
    } else if (units >= 2) {
      endCharacter();
    }
  }
  if (!symbol.empty()) endCharacter();
  return text;
}

}  // namespace qm
