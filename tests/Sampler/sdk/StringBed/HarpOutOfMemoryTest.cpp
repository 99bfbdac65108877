// makePianoHarp when operator new fails: every failing allocation gives a null harp with error
// 1 (out of memory) or 10 (a convolver that would not build), never an exception; nothing is
// left allocated (LeakSanitizer checks at exit in the sanitizer build). This program replaces
// the global operator new, so it holds only this test.
#include <cstdlib>
#include <new>

// The replacement below pairs malloc with free itself.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <gtest/gtest.h>

#include "Sampler/sdk/StringBed/PianoHarp.h"
#include "tests/Sampler/sdk/StringBed/HarpImpulseFile.h"
#include "tests/support/TempDir.h"

namespace {
long failCountdown = 0;  // the n-th operator new from now fails; 0 never
long newCalls = 0;
}  // namespace

namespace {
// Null when the countdown says this allocation fails.
void* allocate(std::size_t size) {
  ++newCalls;
  if (failCountdown > 0 && --failCountdown == 0) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}
}  // namespace

// Every unaligned form, so that each new meets its own delete.
void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

TEST(HarpOutOfMemory, EveryFailedNewGivesANullHarpAndAnError) {
  kelo::test::TempDir dir;
  ASSERT_TRUE(kelo::test::writeImpulseFile(dir.file("harp48"), kelo::test::decayingNoise16(1700, 2)));
  const auto make = [&](unsigned long* error) {
    return makePianoHarp(dir.path().c_str(), "harp", 64, error, 0, 0, 96000, 1.0f);
  };
  unsigned long error = 99;
  newCalls = 0;
  delete make(&error);
  const long calls = newCalls;
  ASSERT_EQ(error, 0u);
  ASSERT_GT(calls, 0);
  bool memory = false;
  for (long k = 1; k <= calls; ++k) {
    error = 99;
    PianoHarp* harp = nullptr;
    testing::internal::CaptureStderr();
    failCountdown = k;
    try {
      harp = make(&error);
    } catch (...) {
      ADD_FAILURE() << "an exception left makePianoHarp at allocation " << k;
    }
    failCountdown = 0;
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(harp, nullptr) << k;
    EXPECT_TRUE(error == 1 || error == 10) << k << ": " << error;
    memory |= error == 1;
    delete harp;
  }
  EXPECT_TRUE(memory) << "std::bad_alloc answers error 1";
}

}  // namespace
