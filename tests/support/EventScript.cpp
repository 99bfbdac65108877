#include "tests/support/EventScript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <limits>
#include <memory>
#include <sstream>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace kelo::test {

using vantor::KELOPluginSDK::HDMIDIEvent;
using vantor::KELOPluginSDK::HDMIDIEvents;

void PrintTo(const EventRow& row, std::ostream* out) {
  *out << "{" << row.tick << ", " << row.status << ", " << row.data1 << ", " << row.data2 << "}";
}

HDMIDIEvent scriptEvent(const EventRow& row) {
  HDMIDIEvent event{};
  event.status = row.status;
  event.data1 = row.data1;
  event.data2 = row.data2;
  event.legacy[0] = static_cast<std::uint8_t>(row.status);
  event.legacy[1] = static_cast<std::uint8_t>(row.data1);
  event.legacy[2] =
      static_cast<std::uint8_t>(std::lround(std::clamp(row.data2, 0.0f, 1.0f) * 127.0f));
  event.bufTick = row.tick;
  return event;
}

EventRow scriptRow(const HDMIDIEvent& event) {
  return {event.bufTick, event.status, event.data1, event.data2};
}

namespace {

// An input event's mark in `reserved`: a tag, then its block and its index in the block as
// 32-bit numbers, then the tag's complement.
constexpr std::uint8_t kMarkTag = 0xB7;

void putMark(HDMIDIEvent& event, std::uint32_t block, std::uint32_t index) {
  event.reserved[0] = kMarkTag;
  std::memcpy(event.reserved + 1, &block, sizeof block);
  std::memcpy(event.reserved + 5, &index, sizeof index);
  event.reserved[9] = event.reserved[10] = event.reserved[11] = static_cast<std::uint8_t>(~kMarkTag);
}

// The input event whose mark `event` carries; null when it carries none.
const HDMIDIEvent* markedInput(const HDMIDIEvent& event,
                               const std::vector<std::vector<HDMIDIEvent>>& inputs) {
  std::uint32_t block = 0, index = 0;
  std::memcpy(&block, event.reserved + 1, sizeof block);
  std::memcpy(&index, event.reserved + 5, sizeof index);
  if (event.reserved[0] != kMarkTag || block >= inputs.size() || index >= inputs[block].size())
    return nullptr;
  return &inputs[block][index];
}

void expectBytesOfTrigger(const HDMIDIEvent& event, std::size_t block,
                          const std::vector<std::vector<HDMIDIEvent>>& inputs) {
  const HDMIDIEvent* trigger = markedInput(event, inputs);
  if (trigger == nullptr) {
    ADD_FAILURE() << "block " << block << ": " << ::testing::PrintToString(scriptRow(event))
                  << " carries no input event's reserved bytes";
    return;
  }
  EXPECT_EQ(std::memcmp(event.reserved, trigger->reserved, sizeof event.reserved), 0)
      << "block " << block << ": reserved bytes of " << ::testing::PrintToString(scriptRow(event));
  EXPECT_EQ(std::memcmp(event.legacy, trigger->legacy, sizeof event.legacy), 0)
      << "block " << block << ": legacy bytes of " << ::testing::PrintToString(scriptRow(event))
      << " differ from its trigger " << ::testing::PrintToString(scriptRow(*trigger));
}

}  // namespace

std::vector<EventRows> runEventScript(const MIDIBlockProcess& process,
                                      const std::vector<EventRows>& blocks, EventBytes bytes) {
  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  std::vector<std::vector<HDMIDIEvent>> inputs;
  std::vector<EventRows> sent;
  for (const EventRows& block : blocks) {
    EXPECT_LE(block.size(), std::size_t{vantor::KELOPluginSDK::MAX_MIDIEVENTS_PER_CALL_SDK});
    const auto blockIndex = static_cast<std::uint32_t>(inputs.size());
    inputs.emplace_back();
    in->numEvents = static_cast<std::int64_t>(block.size());
    for (std::size_t i = 0; i < block.size(); ++i) {
      in->events[i] = scriptEvent(block[i]);
      putMark(in->events[i], blockIndex, static_cast<std::uint32_t>(i));
      inputs.back().push_back(in->events[i]);
    }
    out->numEvents = -1;
    std::fill(std::begin(out->events), std::end(out->events), scriptEvent({9999, -1, -1, -1.0f}));
    process(*in, *out);
    EventRows rows;
    EXPECT_GE(out->numEvents, 0);
    for (std::int64_t i = 0; i < out->numEvents; ++i) {
      rows.push_back(scriptRow(out->events[i]));
      if (bytes == EventBytes::OfTheirTrigger)
        expectBytesOfTrigger(out->events[i], sent.size(), inputs);
    }
    sent.push_back(std::move(rows));
  }
  return sent;
}

std::string scriptText(const std::vector<EventRows>& blocks, std::uint32_t blockFrames) {
  std::ostringstream text;
  text << std::setprecision(std::numeric_limits<float>::max_digits10);
  for (std::size_t b = 0; b < blocks.size(); ++b)
    for (const EventRow& row : blocks[b])
      text << b * blockFrames + row.tick << ' ' << row.status << ' ' << row.data1 << ' '
           << row.data2 << '\n';
  return text.str();
}

std::vector<EventRows> parseScript(const std::string& text, std::uint32_t blockFrames,
                                   std::size_t blockCount) {
  std::vector<EventRows> blocks(blockCount);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    std::istringstream fields(line);
    std::uint64_t frame = 0;
    EventRow row{};
    if (!(fields >> frame >> row.status >> row.data1 >> row.data2) ||
        frame / blockFrames >= blockCount) {
      ADD_FAILURE() << "not a script line for " << blockCount << " blocks: \"" << line << '"';
      continue;
    }
    row.tick = static_cast<std::uint32_t>(frame % blockFrames);
    blocks[frame / blockFrames].push_back(row);
  }
  return blocks;
}

std::vector<EventRows> runPluginScript(const std::string& program, const std::string& bundle,
                                       const char* identifier, const char* initText,
                                       const std::vector<EventRows>& blocks,
                                       std::uint32_t blockFrames) {
  TempDir dir;
  EXPECT_TRUE(writeFile(dir.file("in.txt"), scriptText(blocks, blockFrames)));
  std::vector<std::string> arguments = {"--bundle",
                                        bundle,
                                        "--plugin",
                                        identifier,
                                        "--frames",
                                        std::to_string(blocks.size() * blockFrames),
                                        "--block",
                                        std::to_string(blockFrames),
                                        "--events",
                                        dir.file("in.txt"),
                                        "--events-out",
                                        dir.file("out.txt")};
  if (initText != nullptr) {
    arguments.push_back("--init");
    arguments.push_back(initText);
  }
  EXPECT_EQ(runProgram(program, arguments).status, 0);
  return parseScript(readFile(dir.file("out.txt")), blockFrames, blocks.size());
}

}  // namespace kelo::test
