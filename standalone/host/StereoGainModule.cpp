#include "standalone/host/StereoGainModule.h"

#include "standalone/host/DSPInfo.h"

namespace vantor {

StereoGainModule::StereoGainModule() {
  m_numInputs = 2;
  m_numOutputs = 2;
}

void StereoGainModule::processStereo(float** inputs, float** outputs, unsigned frames, bool add) {
  if (m_dspInfo == nullptr) return;
  // The ramp spans one block of the format, whatever the length of this call.
  const float difference = targetGain() - m_currentGain;
  const float step = static_cast<float>(static_cast<double>(difference) * m_dspInfo->inverseBlockSize);
  const float* inLeft = inputs[0];
  const float* inRight = inputs[1];
  float* outLeft = outputs[0];
  float* outRight = outputs[1];
  float gain = m_currentGain;
  if (add) {
    for (unsigned i = 0; i < frames; ++i) {
      outLeft[i] += gain * inLeft[i];
      outRight[i] += gain * inRight[i];
      gain += step;
    }
  } else {
    for (unsigned i = 0; i < frames; ++i) {
      outLeft[i] = gain * inLeft[i];
      outRight[i] = gain * inRight[i];
      gain += step;
    }
  }
  m_currentGain = gain;
}

}  // namespace vantor
