#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/IORequest.h"
#include "tests/standalone/streamer/StreamerTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

using vantor::IOOperation;
using vantor::IORequest;

class IORequestPools : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library.bound);
    IORequest::close();
  }
  void TearDown() override { IORequest::close(); }

  kelo::test::BoundSndfile library;
  kelo::test::TempDir dir;
};

TEST_F(IORequestPools, APoolAtItsLimitRefusesARequestAndTheCallerDeletesIt) {
  kelo::test::DirectFile file(dir.file("take.wav"), 0, 0, 44100, 16, 2, 2, false);
  for (IOOperation operation : {IOOperation::Write, IOOperation::Close}) {
    std::vector<IORequest*> handled;
    for (std::size_t i = 0; i <= IORequest::kPoolLimit; ++i) {
      handled.push_back(operation == IOOperation::Write
                            ? IORequest::getWriteRequest(&file, 16)
                            : IORequest::createCloseRequest(&file));
    }
    for (std::size_t i = 0; i < IORequest::kPoolLimit; ++i) EXPECT_TRUE(handled[i]->release());
    IORequest* extra = handled.back();
    EXPECT_FALSE(extra->release());
    EXPECT_EQ(IORequest::pooled(operation), IORequest::kPoolLimit);
    delete extra;
  }
}

TEST_F(IORequestPools, RequestsComeBackOldestFirstAndBuffersOnlyGrow) {
  kelo::test::DirectFile file(dir.file("take.wav"), 0, 0, 44100, 16, 2, 2, false);
  IORequest* large = IORequest::getWriteRequest(&file, 1000);
  IORequest* small = IORequest::getWriteRequest(&file, 10);
  ASSERT_TRUE(large && small);
  EXPECT_EQ(large->getCapacity(), 4000);
  ASSERT_TRUE(large->release());
  ASSERT_TRUE(small->release());

  IORequest* again = IORequest::getWriteRequest(&file, 20);
  EXPECT_EQ(again, large);  // the oldest spare
  EXPECT_EQ(again->getCapacity(), 4000);
  EXPECT_EQ(again->getDataSize(), 20);
  EXPECT_EQ(again->getAudioFile(), &file);
  EXPECT_EQ(again->getIOOperation(), IOOperation::Write);
  delete again;
}

TEST_F(IORequestPools, FillingThePoolsLeavesSpareBuffersThatFitTheFile) {
  kelo::test::DirectFile file(dir.file("take.wav"), 0, 0, 44100, 16, 2, 2, false);
  const std::int64_t bytes = file.getBufferSamples() * file.getIOSampleSize();
  // Spares of an earlier, smaller recording: some are grown, the others go.
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(IORequest::getWriteRequest(&file, 100)->release());

  IORequest::fillPools(&file, 4);
  EXPECT_EQ(IORequest::pooled(IOOperation::Write), 4u);
  EXPECT_EQ(IORequest::pooled(IOOperation::Close), 1u);
  for (int i = 0; i < 4; ++i) {
    IORequest* request = IORequest::getWriteRequest(&file, file.getBufferSamples());
    EXPECT_GE(request->getCapacity(), bytes);
    delete request;
  }
}

TEST_F(IORequestPools, AClosingFileGetsNoFurtherBuffer) {
  kelo::test::DirectFile file(dir.file("take.wav"), 0, 0, 44100, 16, 2, 2, false);
  IORequest* close = IORequest::createCloseRequest(&file);
  EXPECT_TRUE(file.isClosing());
  EXPECT_EQ(close->getIOOperation(), IOOperation::Close);
  EXPECT_EQ(IORequest::getWriteRequest(&file, 16), nullptr);
  delete close;
}

}  // namespace
