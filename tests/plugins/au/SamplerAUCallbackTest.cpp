// The engine's call-backs into KeloUnit, made through the reference engine's test control.
#include <gtest/gtest.h>

#include "tests/plugins/au/SamplerAUFixture.h"
#include "tests/support/LogCapture.h"

namespace {

using kelo::test::AUTestHost;
using Change = AUTestHost::ParameterChange;
using SamplerAUCallback = kelo::test::SamplerAUFixture;

class Callbacks : public SamplerAUCallback {
 protected:
  void SetUp() override {
    SamplerAUCallback::SetUp();
    installEngine();
    m_host = openHost();
    ASSERT_EQ(m_host->initialize(), noErr);
    UInt32 size = sizeof m_instance;
    ASSERT_EQ(m_host->getProperty(64002, kAudioUnitScope_Global, 0, &m_instance, size), noErr);
    ASSERT_EQ(m_host->listenToParameters(), noErr);
    ASSERT_EQ(m_host->listen(kAudioUnitProperty_ParameterList), noErr);
  }
  void TearDown() override {
    m_host.reset();
    SamplerAUCallback::TearDown();
  }

  std::int32_t callHost(std::int32_t op, const char* p1 = nullptr, const char* p2 = nullptr, std::int32_t i1 = 0,
                        std::int32_t i2 = 0) {
    KeloTestHostCall call{op, i1, i2, 0, 0.0f, const_cast<char*>(p1), const_cast<char*>(p2), -1};
    EXPECT_EQ(control(KELO_TEST_CALL_HOST, m_instance, &call), 0);
    return call.answer;
  }
  std::vector<std::string> infoLines() const { return kelo::test::logLineTexts(log(), 'I'); }
  /// The object's address as its lines begin with.
  std::string address() const {
    for (const std::string& line : infoLines()) {
      const std::size_t at = line.find("Initialize - numBuses");
      if (at != std::string::npos) return line.substr(0, at);
    }
    return "(none)";
  }

  std::unique_ptr<AUTestHost> m_host;
  void* m_instance = nullptr;
};

TEST_F(Callbacks, EachOpcodeLogsItsLineAndAnswers) {
  struct Row {
    std::int32_t op;
    const char* p1;
    const char* p2;
    std::int32_t i1;
    const char* line;  // null: nothing logged
    std::int32_t answer;
  };
  const Row rows[] = {
      {0x1000, "Sound", "Loaded", 0, "KELO INFO: Title:Sound Content:Loaded", 0},
      {0x1000, "Disk", "Slow", 1, "KELO WARNING: Title:Disk Content:Slow", 0},
      {0x1000, "Load", "Failed", 2, "KELO ERROR: Title:Load Content:Failed", 0},
      {0x1000, nullptr, nullptr, 2, "KELO ERROR: Title:(null) Content:(null)", 0},
      {0x1000, "Other", "Kind", 3, nullptr, 0},
      {0x1001, "Loading", nullptr, 12, "KELO ProgressDialog: OPEN: Title:Loading elements:12", 0},
      {0x1001, nullptr, nullptr, 3, "KELO ProgressDialog: OPEN: Title:(null) elements:3", 0},
      {0x1002, nullptr, nullptr, 0, nullptr, 0},
      {0x1003, nullptr, nullptr, 0, "KELO ProgressDialog: CLOSE!", 0},
      {0x2004, nullptr, nullptr, 64, nullptr, 0},
      {0x2005, nullptr, nullptr, 0, "ZMO_HostOpcode unknown id:8197", 2},
      {0x2007, nullptr, nullptr, 0, "ZMO_HostOpcode unknown id:8199", 2},
      {0x2008, nullptr, nullptr, 0, "ZMO_HostOpcode unknown id:8200", 2},
  };
  const std::string prefix = address();
  ASSERT_NE(prefix, "(none)");
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << row.op << " kind " << row.i1);
    const std::size_t before = infoLines().size();
    EXPECT_EQ(callHost(row.op, row.p1, row.p2, row.i1), row.answer);
    const std::vector<std::string> lines = infoLines();
    const std::vector<std::string> added(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end());
    EXPECT_EQ(added, row.line != nullptr ? std::vector<std::string>{prefix + row.line} : std::vector<std::string>{});
  }
  EXPECT_TRUE(m_host->parameterChanges().empty());
}

TEST_F(Callbacks, AParameterChangeIsAGestureAroundAValueChange) {
  ASSERT_EQ(m_host->setParameter(5, kAudioUnitScope_Global, 0, 0.25f), noErr);
  struct Row {
    std::int32_t i1, i2;
    bool heard;
  };
  const Row rows[] = {{0, 5, true}, {1, 5, false}, {0, 18, false}, {0, -1, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.i1 << " " << row.i2);
    m_host->clearParameterChanges();
    EXPECT_EQ(callHost(KELO_HOST_PARAMETER_CHANGED, nullptr, nullptr, row.i1, row.i2), 0);
    const std::vector<Change> changes = m_host->parameterChanges();
    if (!row.heard) {
      EXPECT_TRUE(changes.empty());
      continue;
    }
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].type, kAudioUnitEvent_BeginParameterChangeGesture);
    EXPECT_EQ(changes[1].type, kAudioUnitEvent_ParameterValueChange);
    EXPECT_EQ(changes[1].value, 0.25f) << "the engine's value";
    EXPECT_EQ(changes[2].type, kAudioUnitEvent_EndParameterChangeGesture);
    for (const Change& change : changes) {
      EXPECT_EQ(change.id, 5u);
      EXPECT_EQ(change.scope, kAudioUnitScope_Global);
      EXPECT_EQ(change.element, 0u);
    }
  }
}

TEST_F(Callbacks, ASlotChangeRefreshesEveryDescribedParameterAndTheList) {
  EXPECT_EQ(callHost(KELO_HOST_SLOT_CHANGED, nullptr, nullptr, 3), 0);
  EXPECT_TRUE(logHas('I', "KELO Slot:3 was changed, need to update display"));
  const std::vector<Change> changes = m_host->parameterChanges();
  ASSERT_EQ(changes.size(), 17u);
  std::vector<UInt32> values;
  for (std::size_t i = 0; i + 1 < changes.size(); ++i) {
    EXPECT_EQ(changes[i].type, kAudioUnitEvent_ParameterValueChange);
    values.push_back(changes[i].id);
  }
  // Index 12 has no description and 17 is not the engine's.
  EXPECT_EQ(values, (std::vector<UInt32>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 15, 16}));
  EXPECT_EQ(changes.back().type, kAudioUnitEvent_PropertyChange);
  EXPECT_EQ(changes.back().id, kAudioUnitProperty_ParameterList);
  ASSERT_EQ(m_host->notifications().size(), 1u);
  EXPECT_EQ(m_host->notifications()[0].id, kAudioUnitProperty_ParameterList);
  UInt32 size = 0;
  bool writable = true;
  ASSERT_EQ(m_host->getPropertyInfo(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, size, writable), noErr);
  EXPECT_EQ(size, 18 * sizeof(UInt32));
  EXPECT_TRUE(findings().empty());
}

}  // namespace
