#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/DSPInfo.h"
#include "standalone/host/DeviceIOType.h"
#include "standalone/host/Module.h"
#include "standalone/host/ModuleInfo.h"
#include "standalone/host/Singleton.h"

namespace {

using vantor::DSPInfo;

TEST(DSPInfo, KeepsTheSevenRatesAndTakes44100ForAnyOther) {
  struct Row {
    std::uint32_t asked;
    double taken;
  };
  const Row rows[] = {{22050, 22050}, {44100, 44100}, {48000, 48000},   {64000, 64000},
                      {88200, 88200}, {96000, 96000}, {192000, 192000}, {32000, 44100},
                      {0, 44100},     {44101, 44100}};
  for (const Row& row : rows) {
    const DSPInfo info(row.asked, 256);
    EXPECT_EQ(info.sampleRate, row.taken) << row.asked;
    EXPECT_EQ(info.sampleRateInt, static_cast<std::uint32_t>(row.taken)) << row.asked;
    EXPECT_EQ(info.blockSize, 256u);
    EXPECT_FALSE(info.offline);
  }
}

TEST(DSPInfo, DerivesBlockDurationAndInverseBlockSize) {
  const DSPInfo info(96000, 512);
  EXPECT_DOUBLE_EQ(info.blockDuration, 512.0 / 96000.0);
  EXPECT_EQ(info.inverseBlockSize, 1.0 / 512.0);
  // Single precision, widened: 1/3 shows the difference.
  EXPECT_EQ(DSPInfo(44100, 3).inverseBlockSize, static_cast<double>(1.0f / 3.0f));
}

TEST(DSPInfo, ListsTheSupportedRatesInOrderAfterWhatIsThere) {
  std::vector<std::int32_t> rates{7};
  DSPInfo::listSupportedSampleRates(rates);
  EXPECT_EQ(rates,
            (std::vector<std::int32_t>{7, 22050, 44100, 48000, 64000, 88200, 96000, 192000}));
}

TEST(ModuleInfo, OrdersByNameAloneByteByByte) {
  using vantor::ModuleInfo;
  struct Row {
    const char* a;
    const char* b;
    bool less;
  };
  const Row rows[] = {
      {"", "", false},          {"", "a", true},         {"a", "", false},
      {"abc", "abd", true},     {"abd", "abc", false},   {"ab", "abc", true},
      {"abc", "ab", false},     {"B", "a", true},        {"\x7f", "\x80", true},  // unsigned bytes
      {"\xe9t\xe9", "zz", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ((ModuleInfo{row.a, "device z"} < ModuleInfo{row.b, "device a"}), row.less)
        << '"' << row.a << "\" < \"" << row.b << '"';
  }
  // The second text plays no part.
  EXPECT_FALSE((ModuleInfo{"x", "a"} < ModuleInfo{"x", "b"}));
  const ModuleInfo fresh;
  EXPECT_TRUE(fresh.name.empty());
  EXPECT_TRUE(fresh.deviceName.empty());
}

TEST(Module, DefaultsAnswerFalseAndLeaveBuffersAlone) {
  vantor::Module module;
  const DSPInfo info(48000, 64);
  EXPECT_TRUE(module.init(nullptr, &info));
  EXPECT_EQ(module.getDSPInfo(), &info);
  EXPECT_EQ(module.numInputChannels(), 0);
  EXPECT_EQ(module.numOutputChannels(), 0);
  EXPECT_FALSE(module.showUI(nullptr));
  EXPECT_FALSE(module.closeUI(true));
  EXPECT_FALSE(module.isUIShown());
  unsigned char* data = nullptr;
  int size = -1;
  EXPECT_FALSE(module.saveChunk(&data, size));
  EXPECT_FALSE(module.saveChunkEnd());
  EXPECT_FALSE(module.loadChunk(nullptr, 0));
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, -1);

  std::vector<float> left(64, 0.25f), right(64, -0.5f);
  float* outputs[2] = {left.data(), right.data()};
  module.processStereo(nullptr, outputs, 64, false);
  module.processMIDIStereo({}, nullptr, outputs, 64, true);
  EXPECT_EQ(left, std::vector<float>(64, 0.25f));
  EXPECT_EQ(right, std::vector<float>(64, -0.5f));
}

TEST(Module, InitRunsInitializeAfterStoringContextAndFormat) {
  struct Stub : vantor::Context {
    void addGUIIdleListener(vantor::GUIIdleListener*) const override {}
    void addNonGUIIdleListener(vantor::NonGUIIdleListener*) const override {}
    bool removeGUIIdleListener(vantor::GUIIdleListener*) const override { return false; }
    bool removeNonGUIIdleListener(vantor::NonGUIIdleListener*) const override { return false; }
    const DSPInfo& getDSPInfo() const override { return info; }
    DSPInfo info{44100, 128};
  } context;
  struct Probe : vantor::Module {
    void initialize() override {
      sawContext = getContext();
      sawFormat = getDSPInfo();
    }
    const vantor::Context* sawContext = nullptr;
    const DSPInfo* sawFormat = nullptr;
  } module;
  ASSERT_TRUE(module.init(&context, &context.info));
  EXPECT_EQ(module.sawContext, &context);
  EXPECT_EQ(module.sawFormat, &context.info);
}

// A manager whose constructor reaches back for itself, as managers built from other
// managers may.
struct Reentrant {
  Reentrant() {
    ++constructed;
    seenDuringConstruction = vantor::Singleton<Reentrant>::instance();
  }
  ~Reentrant() { seenDuringDestruction = vantor::Singleton<Reentrant>::instance(); }
  static inline int constructed = 0;
  static inline Reentrant* seenDuringConstruction = reinterpret_cast<Reentrant*>(1);
  static inline Reentrant* seenDuringDestruction = reinterpret_cast<Reentrant*>(1);
};

TEST(Singleton, AnswersNullDuringConstructionThenTheOneInstance) {
  using S = vantor::Singleton<Reentrant>;
  EXPECT_FALSE(S::isCreated());
  Reentrant* first = S::instance();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Reentrant::seenDuringConstruction, nullptr);
  EXPECT_EQ(S::instance(), first);
  EXPECT_EQ(Reentrant::constructed, 1);
  EXPECT_TRUE(S::isCreated());

  S::destroyInstance();
  EXPECT_EQ(Reentrant::seenDuringDestruction, nullptr);  // no successor built while dying
  EXPECT_FALSE(S::isCreated());
  Reentrant* second = S::instance();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Reentrant::constructed, 2);
  EXPECT_EQ(S::instance(), second);
  S::destroyInstance();
  S::destroyInstance();  // nothing left: no effect
  EXPECT_FALSE(S::isCreated());
}

struct FailsOnce {
  FailsOnce() {
    if (attempts++ == 0) throw std::runtime_error("first attempt fails");
  }
  static inline int attempts = 0;
};

TEST(Singleton, AFailedConstructionCanBeTriedAgain) {
  using S = vantor::Singleton<FailsOnce>;
  EXPECT_THROW(S::instance(), std::runtime_error);
  EXPECT_NE(S::instance(), nullptr);
  S::destroyInstance();
}

// An object that deletes itself, as the disk streamer's thread does after shut-down.
struct SelfDeleting {
  static inline int alive = 0;
  SelfDeleting() { ++alive; }
  ~SelfDeleting() { --alive; }
};

TEST(Singleton, ReleasedWithoutDeletionTheNextCallMakesANewOne) {
  using S = vantor::Singleton<SelfDeleting>;
  SelfDeleting* first = S::instance();
  S::releaseInstance();
  EXPECT_FALSE(S::isCreated());
  EXPECT_EQ(SelfDeleting::alive, 1);  // released, not deleted
  SelfDeleting* second = S::instance();
  EXPECT_NE(second, first);
  EXPECT_EQ(SelfDeleting::alive, 2);
  delete first;  // its own business now
  S::destroyInstance();
  EXPECT_EQ(SelfDeleting::alive, 0);
}

}  // namespace
