// The offline switch: each switch to offline ends the previous render thread and keeps a new,
// idle one; a play request starts it instead of the audio device and a stop request stops it.
#include <thread>

#include <gtest/gtest.h>

#include "standalone/host/GraphManager.h"
#include "standalone/host/OfflineThread.h"
#include "tests/standalone/devices/DeviceTestSupport.h"

namespace {

class OfflineSwitch : public kelo::test::DeviceBackEnd {
 protected:
  ~OfflineSwitch() override { vantor::Singleton<vantor::GraphManager>::destroyInstance(); }
};

TEST_F(OfflineSwitch, SwitchingTwiceKeepsOneNewThreadThatPlaysInsteadOfTheDevice) {
  addOutput("Card");
  vantor::DeviceManager* dm = startManager();
  vantor::GraphManager* graph = vantor::Singleton<vantor::GraphManager>::instance();
  graph->init(&context, context.dspInfo());
  vantor::AudioDevice* device = makeDevice(0);
  graph->setAudioDevice(device);

  context.setOffline(true);
  dm->setOffline(&context, true);
  vantor::OfflineThread* first = dm->getOfflineThread(&context);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->isStarted());
  dm->setOffline(&context, true);
  vantor::OfflineThread* second = dm->getOfflineThread(&context);
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(second->isStarted());
  EXPECT_TRUE(log.has('I', "###### PSR LOCK ACQUIRED for setOffline ######"));
  EXPECT_TRUE(log.has('I', "DeviceManager::setOffline(1)"));

  ASSERT_TRUE(dm->playStopReq(&context, true));
  EXPECT_TRUE(second->isStarted());
  EXPECT_FALSE(device->isPlaying()) << "offline, the device stays closed";
  while (dm->getRenderedFrames(&context) < 4 * context.getDSPInfo().blockSize) {
    std::this_thread::yield();
  }
  ASSERT_TRUE(dm->playStopReq(&context, false));
  EXPECT_FALSE(second->isStarted());
  EXPECT_FALSE(dm->isPlaying(&context, true));

  dm->setOffline(&context, false);
  context.setOffline(false);
  EXPECT_EQ(dm->getOfflineThread(&context), nullptr);
  EXPECT_TRUE(log.has('I', "DeviceManager::setOffline(0)"));
  EXPECT_FALSE(dm->playStopReq(&context, false));
  EXPECT_TRUE(dm->playStopReq(&context, true)) << "back to the device";
  EXPECT_TRUE(device->isPlaying());
  EXPECT_TRUE(dm->playStopReq(&context, false));
}

TEST_F(OfflineSwitch, OfflineWithoutAThreadDoesNotPlay) {
  vantor::DeviceManager* dm = startManager();
  context.setOffline(true);
  EXPECT_FALSE(dm->playStopReq(&context, true));
  EXPECT_FALSE(dm->isPlaying(&context, true));
  dm->setOffline(&context, true);
  EXPECT_TRUE(log.has('E', "no graph to render offline"));
  EXPECT_EQ(dm->getOfflineThread(&context), nullptr);
}

}  // namespace
