#include "tests/support/EventScript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

std::vector<EventRows> runEventScript(const MIDIBlockProcess& process,
                                      const std::vector<EventRows>& blocks) {
  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  std::vector<EventRows> sent;
  for (const EventRows& block : blocks) {
    EXPECT_LE(block.size(), std::size_t{vantor::KELOPluginSDK::MAX_MIDIEVENTS_PER_CALL_SDK});
    in->numEvents = static_cast<std::int64_t>(block.size());
    for (std::size_t i = 0; i < block.size(); ++i) in->events[i] = scriptEvent(block[i]);
    out->numEvents = -1;
    std::fill(std::begin(out->events), std::end(out->events), scriptEvent({9999, -1, -1, -1.0f}));
    process(*in, *out);
    EventRows rows;
    EXPECT_GE(out->numEvents, 0);
    for (std::int64_t i = 0; i < out->numEvents; ++i) rows.push_back(scriptRow(out->events[i]));
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
