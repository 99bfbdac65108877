#include "Sampler/sdk/calvatero/fourier/FourierTransformComplexVDSP.h"

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"

namespace calvatero::fourier {

FourierTransformComplexVDSP::FourierTransformComplexVDSP(std::size_t length)
    : FourierTransformComplex(length) {
  while ((std::size_t{1} << (log2n_ + 1)) <= length) ++log2n_;
  const std::size_t tmplen = std::size_t{1} << log2n_;
  CALVATERO_ASSERT(tmplen == length);
  if (log2n_ > accelerate::SplitFFT::kMaxLog2n) throw Fft_out_of_range_error();
  setup_ = accelerate::SplitFFT::create(log2n_);
  if (!setup_) throw std::bad_alloc();
  scratchReal_ = common::AlignedFloats(setup_->scratchLength(), 32);
  scratchImag_ = common::AlignedFloats(setup_->scratchLength(), 32);
}

void FourierTransformComplexVDSP::ScaleH(float* real, float* imag, unsigned char) {
  convolution::multInplaceConst(real, imag, length_, static_cast<float>(1.0 / length_));
}

void FourierTransformComplexVDSP::ForwardTransform(float* outReal, float* outImag,
                                                   const float* inReal, const float* inImag,
                                                   unsigned char) {
  setup_->transform(inReal, inImag, outReal, outImag, scratchReal_.get(), scratchImag_.get(),
                    accelerate::FFTDirection::Forward);
}

void FourierTransformComplexVDSP::InverseTransform(float* outReal, float* outImag,
                                                   const float* inReal, const float* inImag,
                                                   unsigned char) {
  setup_->transform(inReal, inImag, outReal, outImag, scratchReal_.get(), scratchImag_.get(),
                    accelerate::FFTDirection::Inverse);
}

}  // namespace calvatero::fourier
