#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/MIDIFile.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/support/SmfWriter.h"

namespace {

using kelo::test::bytesOf;
using kelo::test::LogCapture;
using kelo::test::SmfTrack;
using kelo::test::smfFile;
using vantor::MIDIFile;

constexpr int kQuarter = 480;

// A file written to a temporary folder and read back.
class Loaded {
 public:
  explicit Loaded(const std::string& bytes) : m_path(m_dir.file("test.mid")), file(m_path) {
    kelo::test::writeFile(m_path, bytes);
    opened = file.open();
    if (opened) initialised = file.init();
  }

 private:
  kelo::test::TempDir m_dir;
  std::string m_path;

 public:
  MIDIFile file;
  bool opened = false;
  bool initialised = false;
};

// time, status, data 1, data 2 of every event of a track
using Row = std::tuple<double, int, int, int>;
std::vector<Row> rowsOf(const vantor::Pmds_track& track) {
  std::vector<Row> rows;
  for (const auto& [time, event] : track.events) {
    std::uint8_t status, data1, data2;
    event->transform(status, data1, data2);
    rows.emplace_back(time, status, data1, data2);
  }
  return rows;
}

using Measure = std::tuple<double, double, int, int, int>;
std::vector<Measure> measuresOf(const MIDIFile& file) {
  std::vector<Measure> out;
  for (const auto& m : file.mesures()) {
    out.emplace_back(m.start, m.end, m.numerator, m.denominator, m.index);
  }
  return out;
}

TEST(MIDIFile, Format0HasOneTrackOfEveryChannelEvent) {
  SmfTrack track;
  track.program(0, 1, 5)
      .controller(0, 1, 7, 100)
      .noteOn(kQuarter, 1, 60, 100)
      .polyPressure(kQuarter, 1, 60, 30)
      .channelPressure(kQuarter + 10, 1, 40)
      .pitchBend(2 * kQuarter, 1, 0x12, 0x34)
      .noteOff(2 * kQuarter, 1, 60, 64);
  Loaded loaded(smfFile(0, kQuarter, {track}));
  ASSERT_TRUE(loaded.opened);
  EXPECT_EQ(loaded.file.numTracks(), 1);
  const double tick = 1.0 / kQuarter;
  EXPECT_EQ(rowsOf(loaded.file.tracks().at(0)),
            (std::vector<Row>{{0, 0xC1, 5, 0},
                              {0, 0xB1, 7, 100},
                              {1, 0x91, 60, 100},
                              {1, 0xA1, 60, 30},
                              {1 + 10 * tick, 0xD1, 40, 0},
                              {2, 0xE1, 0x12, 0x34},
                              {2, 0x81, 60, 64}}));
  EXPECT_EQ(loaded.file.length(), 2.0);
}

TEST(MIDIFile, Format1MergesTracksInTrackOrderAtEqualTimes) {
  SmfTrack conductor;
  conductor.tempo(0, 100).timeSignature(0, 4, 2);
  SmfTrack one;
  one.noteOn(0, 0, 60, 100).noteOn(kQuarter, 0, 62, 100).endOfTrack(4 * kQuarter);
  SmfTrack two;
  two.noteOn(0, 1, 40, 90).noteOn(kQuarter / 2, 1, 41, 90).endOfTrack(6 * kQuarter);
  Loaded loaded(smfFile(1, kQuarter, {conductor, one, two}));
  ASSERT_TRUE(loaded.opened);
  ASSERT_TRUE(loaded.initialised);
  EXPECT_EQ(loaded.file.numTracks(), 3);
  ASSERT_EQ(loaded.file.tracks().size(), 3u);
  EXPECT_TRUE(loaded.file.tracks().at(0).events.empty());
  EXPECT_EQ(rowsOf(loaded.file.mergedTrack()),
            (std::vector<Row>{{0, 0x90, 60, 100},
                              {0, 0x91, 40, 90},
                              {0.5, 0x91, 41, 90},
                              {1, 0x90, 62, 100}}));
  EXPECT_EQ(loaded.file.length(), 6.0);
  EXPECT_EQ(loaded.file.tempoMap(), (MIDIFile::TempoMap{{0.0, 60000000.0 / 600000}}));
}

TEST(MIDIFile, VelocitiesComeBackAsWritten) {
  SmfTrack track;
  for (int velocity = 1; velocity <= 127; ++velocity) track.noteOn(velocity, 0, 60, velocity);
  track.noteOn(200, 3, 61, 0);  // velocity 0: a note-off
  Loaded loaded(smfFile(0, kQuarter, {track}));
  ASSERT_TRUE(loaded.opened);
  const auto rows = rowsOf(loaded.file.tracks().at(0));
  ASSERT_EQ(rows.size(), 128u);
  for (int velocity = 1; velocity <= 127; ++velocity) {
    EXPECT_EQ(std::get<3>(rows[velocity - 1]), velocity);
  }
  EXPECT_EQ(rows[127], (Row{200.0 / kQuarter, 0x83, 61, 0}));
}

TEST(MIDIFile, LaterTempoAndEarlierSignatureWinAtTheSameTime) {
  SmfTrack track;
  track.tempo(0, 120).tempo(0, 90).timeSignature(0, 3, 2).timeSignature(0, 6, 3);
  track.tempo(kQuarter, 60).tempoMicros(2 * kQuarter, 0);  // a tempo of 0 is ignored
  track.endOfTrack(12 * kQuarter);
  Loaded loaded(smfFile(0, kQuarter, {track}));
  ASSERT_TRUE(loaded.initialised);
  EXPECT_EQ(loaded.file.tempoMap(),
            (MIDIFile::TempoMap{{0.0, 60000000.0 / 666667}, {1.0, 60.0}}));
  ASSERT_EQ(loaded.file.timeSigs().size(), 1u);
  EXPECT_EQ(loaded.file.timeSigs().begin()->second.numerator, 3);
  EXPECT_EQ(loaded.file.timeSigs().begin()->second.denominator, 4);
}

struct Signature {
  std::uint32_t tick;
  int numerator;
  int power;
};

struct MeasureRow {
  const char* what;
  int division;
  std::uint32_t lengthTicks;
  std::vector<Signature> signatures;
  double length;
  std::vector<Measure> measures;
  std::int64_t count;
};

TEST(MIDIFile, MeasuresRunToTheEndOfTheBarHoldingTheEnd) {
  const int q = kQuarter;
  const MeasureRow rows[] = {
      {"10 beats of 4/4", q, 10u * q, {{0, 4, 2}}, 10,
       {{0, 4, 4, 4, 0}, {4, 8, 4, 4, 1}, {8, 12, 4, 4, 2}}, 3},
      {"8 beats of 4/4", q, 8u * q, {{0, 4, 2}}, 8, {{0, 4, 4, 4, 0}, {4, 8, 4, 4, 1}}, 2},
      // One tick of 32767 past beat 8 is 0.0000076 bar: within the tolerance of the bar line.
      {"just past a bar line", 32767, 8u * 32767 + 1, {{0, 4, 2}}, 8 + 1.0 / 32767,
       {{0, 4, 4, 4, 0}, {4, 8, 4, 4, 1}}, 2},
      // 14 ticks are 0.000107 bar: a bar of its own.
      {"past the tolerance", 32767, 8u * 32767 + 14, {{0, 4, 2}}, 8 + 14.0 / 32767,
       {{0, 4, 4, 4, 0}, {4, 8, 4, 4, 1}, {8, 12, 4, 4, 2}}, 3},
      {"3/4 at beat 6 after 4/4", q, 10u * q, {{0, 4, 2}, {6u * q, 3, 2}}, 10,
       {{0, 4, 4, 4, 0}, {4, 7, 3, 4, 1}, {7, 10, 3, 4, 2}}, 3},
      {"first signature late still counts from 0", q, 6u * q, {{2u * q, 3, 2}}, 6,
       {{0, 3, 3, 4, 0}, {3, 6, 3, 4, 1}}, 2},
      {"6/8", q, 6u * q, {{0, 6, 3}}, 6, {{0, 3, 6, 8, 0}, {3, 6, 6, 8, 1}}, 2},
      {"no time signature", q, 5u * q, {}, 5, {{0, 4, 4, 4, 0}, {4, 8, 4, 4, 1}}, 2},
      // The faked bar stands before the measure that covers the faked length.
      {"length 0", q, 0, {{0, 4, 2}}, 4, {{0, 4, 4, 4, 0}, {0, 4, 4, 4, 0}}, 1},
  };
  for (const MeasureRow& row : rows) {
    LogCapture log;
    SmfTrack track;
    for (const Signature& s : row.signatures) track.timeSignature(s.tick, s.numerator, s.power);
    track.endOfTrack(row.lengthTicks);
    Loaded loaded(smfFile(0, row.division, {track}));
    ASSERT_TRUE(loaded.initialised) << row.what;
    EXPECT_DOUBLE_EQ(loaded.file.length(), row.length) << row.what;
    EXPECT_EQ(measuresOf(loaded.file), row.measures) << row.what;
    EXPECT_EQ(loaded.file.numMesures(), row.count) << row.what;
    EXPECT_EQ(log.has('I', "no time signatures in file?, creating a 4/4 at ppq = 0"),
              row.signatures.empty())
        << row.what;
    EXPECT_EQ(log.has('I', "0 length MIDI File, faking it to one bar"), row.lengthTicks == 0)
        << row.what;
  }
}

TEST(MIDIFile, FindsTheMeasureHoldingAPosition) {
  SmfTrack track;
  track.timeSignature(0, 4, 2).endOfTrack(10 * kQuarter);
  Loaded loaded(smfFile(0, kQuarter, {track}));
  ASSERT_TRUE(loaded.initialised);
  vantor::Pmds_mesure found{};
  std::size_t index = 0;
  EXPECT_TRUE(loaded.file.getMesureInfo(index, 5.0, &found, false));
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(found.start, 4.0);
  // Onward from the index only: an earlier position is not found without starting over.
  EXPECT_FALSE(loaded.file.getMesureInfo(index, 1.0, &found, false));
  EXPECT_EQ(index, 3u);
  EXPECT_EQ(found.start, 4.0);  // unchanged
  EXPECT_TRUE(loaded.file.getMesureInfo(index, 1.0, &found, true));
  EXPECT_EQ(index, 0u);
  index = 0;
  EXPECT_FALSE(loaded.file.getMesureInfo(index, 12.0, &found, false));  // the end is outside
}

TEST(MIDIFile, RefusesWhatIsNotAUsableMIDIFile) {
  struct Row {
    const char* what;
    std::string bytes;
    const char* errorLine;
  };
  SmfTrack notes;
  notes.noteOn(0, 0, 60, 100).noteOff(kQuarter, 0, 60);
  const Row rows[] = {
      {"junk", "this is not a MIDI file at all", "not a usable MIDI file"},
      {"empty", "", "not a usable MIDI file"},
      {"a track but no header", notes.chunk(), "not a usable MIDI file"},
      {"division 0", smfFile(0, 0, {notes}), "MIDI file division 0 refused"},
      {"SMPTE division", smfFile(0, 0xE728, {notes}), "MIDI file division 59176 refused"},
  };
  for (const Row& row : rows) {
    LogCapture log;
    Loaded loaded(row.bytes);
    EXPECT_FALSE(loaded.opened) << row.what;
    EXPECT_TRUE(log.has('E', row.errorLine)) << row.what << "\n" << log.text();
  }
}

TEST(MIDIFile, AnUnopenableFileWritesItsErrorLine) {
  LogCapture log;
  MIDIFile file("/nonexistent/folder/song.mid");
  EXPECT_FALSE(file.open());
  EXPECT_TRUE(log.has('E', "could not open midi file:/nonexistent/folder/song.mid"));
}

TEST(MIDIFile, OpensAPathWithAccentedLetters) {
  kelo::test::TempDir dir;
  const std::string path = dir.file("\xc3\x89tude en r\xc3\xa9.mid");
  SmfTrack track;
  track.noteOn(0, 0, 60, 100);
  ASSERT_TRUE(kelo::test::writeFile(path, smfFile(0, kQuarter, {track})));
  MIDIFile file(path);
  EXPECT_TRUE(file.open());
}

TEST(MIDIFile, AFileCutShortKeepsWhatWasReadAndPlaysIt) {
  SmfTrack track;
  for (int beat = 0; beat < 8; ++beat) {
    track.noteOn(beat * kQuarter, 0, 60 + beat, 100).noteOff(beat * kQuarter + 100, 0, 60 + beat);
  }
  const std::string whole = smfFile(0, kQuarter, {track});
  // Cut in the middle of the sixth beat's note-on (4 bytes for the delta and 3 bytes each).
  LogCapture log;
  Loaded loaded(whole.substr(0, whole.size() / 2 + 5));
  ASSERT_TRUE(loaded.opened);
  ASSERT_TRUE(loaded.initialised);
  EXPECT_TRUE(log.has('I', "MIDIfile reader error: premature EOF"));
  const auto& events = loaded.file.tracks().at(0).events;
  ASSERT_FALSE(events.empty());
  const double last = events.rbegin()->first;
  EXPECT_GT(last, 2.0);
  EXPECT_LT(last, 8.0);
  // Without its end-of-track event the track ends with its last event.
  EXPECT_EQ(loaded.file.length(), last);
}

TEST(MIDIFile, EveryPrefixOfAFileLoadsOrIsRefusedCleanly) {
  SmfTrack conductor;
  conductor.tempo(0, 140).timeSignature(0, 3, 2).text(0, 3, "Name");
  SmfTrack music;
  music.noteOn(0, 2, 60, 100).controller(10, 2, 64, 127).sysex(20, bytesOf({1, 2, 3, 0xF7}));
  music.pitchBend(30, 2, 0, 64).raw(40, bytesOf({62, 90})).noteOff(kQuarter, 2, 60);
  const std::string whole = smfFile(1, kQuarter, {conductor, music});
  for (std::size_t size = 0; size <= whole.size(); ++size) {
    Loaded loaded(whole.substr(0, size));
    EXPECT_EQ(loaded.opened, size >= 14) << size;  // the header is 14 bytes
    if (loaded.opened) {
      EXPECT_TRUE(loaded.initialised) << size;
    }
  }
}

TEST(MIDIFile, UnusableTimeSignaturesAreIgnoredWithALogLine) {
  LogCapture log;
  SmfTrack track;
  track.timeSignature(0, 0, 2)       // numerator 0
      .timeSignature(0, 3, 31)       // 2^31 overflows
      .timeSignature(kQuarter, 5, 200)
      .endOfTrack(8 * kQuarter);
  Loaded loaded(smfFile(0, kQuarter, {track}));
  ASSERT_TRUE(loaded.initialised);
  EXPECT_TRUE(log.has('W', "time signature 0/4 ignored"));
  EXPECT_TRUE(log.has('W', "time signature 3/2^31 ignored"));
  EXPECT_TRUE(log.has('W', "time signature 5/2^200 ignored"));
  // Only the 4/4 the reader supplies for a file without signatures is left.
  EXPECT_EQ(measuresOf(loaded.file), (std::vector<Measure>{{0, 4, 4, 4, 0}, {4, 8, 4, 4, 1}}));
}

TEST(MIDIFile, ShortMetaEventsReadNothingThatIsNotThere) {
  // portsmf reads a tempo's three bytes and a signature's four whatever the event's length.
  struct Row {
    const char* what;
    std::string meta;
  };
  const Row rows[] = {
      {"tempo of length 0 first of all", bytesOf({0xFF, 0x51, 0x00})},
      {"signature of length 0", bytesOf({0xFF, 0x58, 0x00})},
      {"SMPTE offset of length 0", bytesOf({0xFF, 0x54, 0x00})},
      {"sequence number of length 0", bytesOf({0xFF, 0x00, 0x00})},
      {"key signature of length 0", bytesOf({0xFF, 0x59, 0x00})},
  };
  for (const Row& row : rows) {
    // First in the file, then again after a meta event that filled the buffer.
    SmfTrack track;
    track.raw(0, row.meta).tempo(0, 100).timeSignature(0, 7, 3).raw(kQuarter, row.meta);
    track.noteOn(kQuarter, 0, 60, 100).endOfTrack(2 * kQuarter);
    Loaded loaded(smfFile(0, kQuarter, {track}));
    ASSERT_TRUE(loaded.initialised) << row.what;
    EXPECT_EQ(loaded.file.tempoMap().size(), 1u) << row.what;
    ASSERT_EQ(loaded.file.timeSigs().size(), 1u) << row.what;
    EXPECT_EQ(loaded.file.timeSigs().begin()->second.numerator, 7) << row.what;
    EXPECT_EQ(loaded.file.mergedTrack().events.size(), 1u) << row.what;
  }
}

TEST(MIDIFile, AFileNeedingMoreThanAMillionMeasuresIsRefused) {
  struct Row {
    const char* what;
    SmfTrack track;
    int division;
    bool accepted;
  };
  std::vector<Row> rows;
  // One delta of 0x0FFFFFFF ticks at 1 tick per beat: 67 million bars of 4/4.
  rows.push_back({"one huge delta", SmfTrack().endOfTrack(0x0FFFFFFF), 1, false});
  // 1/2^30 bars at 4 beats: a billion measures per beat.
  rows.push_back({"tiny bars", SmfTrack().timeSignature(0, 1, 30).endOfTrack(96), 96, false});
  // 4 million beats: exactly one million measures is still fine.
  rows.push_back({"a million", SmfTrack().endOfTrack(4000000), 1, true});
  for (Row& row : rows) {
    LogCapture log;
    Loaded loaded(smfFile(0, row.division, {row.track}));
    ASSERT_TRUE(loaded.opened) << row.what;
    EXPECT_EQ(loaded.initialised, row.accepted) << row.what;
    EXPECT_EQ(log.has('E', "MIDI file refused: it needs"), !row.accepted) << row.what;
    if (!row.accepted) {
      EXPECT_TRUE(loaded.file.mesures().empty()) << row.what;
    }
  }
}

TEST(MIDIFile, Format2IsReadLikeFormat1AfterAnErrorLine) {
  LogCapture log;
  SmfTrack a;
  a.noteOn(0, 0, 60, 100).endOfTrack(kQuarter);
  SmfTrack b;
  b.noteOn(0, 1, 62, 100).endOfTrack(2 * kQuarter);
  Loaded loaded(smfFile(2, kQuarter, {a, b}));
  ASSERT_TRUE(loaded.initialised);
  EXPECT_TRUE(log.has('I', "MIDIfile reader error: file format 2 not implemented"));
  EXPECT_TRUE(log.has('I', "MIDI Header:  format: 2 ntrks: 2 division: 480"));
  EXPECT_EQ(loaded.file.numTracks(), 2);
  EXPECT_EQ(loaded.file.mergedTrack().events.size(), 2u);
  EXPECT_EQ(loaded.file.length(), 2.0);
}

TEST(MIDIFile, TextEventsAreLoggedOnOneLine) {
  LogCapture log;
  SmfTrack track;
  track.text(0, 3, "Lead\nline").text(0, 5, "la").text(0, 0x0C, "misc");
  Loaded loaded(smfFile(0, kQuarter, {track}));
  ASSERT_TRUE(loaded.initialised);
  EXPECT_TRUE(log.has('I', "TEXT : names : Lead?line"));
  EXPECT_TRUE(log.has('I', "TEXT : lyrics : la"));
  EXPECT_TRUE(log.has('I', "TEXT : miscs : misc"));
}

}  // namespace
