#include "tests/Sampler/sdk/calvatero/vardecay/DecayReference.h"

#include <algorithm>
#include <cmath>

namespace calvatero::testing {

std::vector<double> factorsOf(const std::vector<DecayCall>& calls, double floor) {
  std::vector<double> d;
  double inForce = 1.0;
  for (const DecayCall& call : calls) {
    std::size_t left = call.frames;
    for (std::size_t j = 0; j < call.nodes.size() && left > 0; ++j) {
      const DecayNode& node = call.nodes[j];
      const bool last = j + 1 == call.nodes.size();
      if (node.frames == 0 && !last) continue;  // skipped: its factor never takes effect
      if (!std::isnan(node.decayFactor)) inForce = std::clamp(node.decayFactor, floor, 1.0);
      const std::size_t n = last ? left : std::min<std::size_t>(left, node.frames);
      d.insert(d.end(), n, inForce);
      left -= n;
    }
    d.insert(d.end(), left, inForce);  // no nodes
  }
  return d;
}

std::vector<double> decayingConvolution(const std::vector<float>& x, const std::vector<float>& h,
                                        const std::vector<double>& d) {
  std::vector<double> y(x.size(), 0.0);
  const std::size_t nonZero = h.size() - std::count(h.begin(), h.end(), 0.0f);
  if (nonZero * 8 >= h.size()) {
    for (std::size_t t = 0; t < x.size(); ++t) {
      double weight = 1.0, sum = 0.0;
      for (std::size_t k = 0; k < h.size() && k <= t; ++k) {
        sum += double(h[k]) * x[t - k] * weight;
        if (k < t) weight *= d[t - k - 1];
      }
      y[t] = sum;
    }
    return y;
  }
  std::vector<double> logSum(x.size() + 1, 0.0);  // sum of log d_j for j < t
  for (std::size_t t = 0; t < x.size(); ++t) logSum[t + 1] = logSum[t] + std::log(d[t]);
  for (std::size_t k = 0; k < h.size(); ++k) {
    if (h[k] == 0.0f) continue;
    for (std::size_t t = k; t < x.size(); ++t) {
      y[t] += double(h[k]) * x[t - k] * std::exp(logSum[t] - logSum[t - k]);
    }
  }
  return y;
}

}  // namespace calvatero::testing
