// The ALSA sequencer back end: its translation of sequencer events back to MIDI bytes, checked
// against events made by alsa-lib's own encoder, and a clean refusal to open on a machine
// without a sequencer device.
#include <alsa/asoundlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/midi/AlsaSequencerEvents.h"
#include "platform/midi/MIDIBackend.h"

namespace {

/// The events alsa-lib's encoder makes of `bytes`, in order.
std::vector<snd_seq_event_t> encode(const std::vector<std::uint8_t>& bytes,
                                    std::vector<std::vector<std::uint8_t>>& sysexStorage) {
  snd_midi_event_t* parser = nullptr;
  EXPECT_EQ(snd_midi_event_new(1024, &parser), 0);
  std::vector<snd_seq_event_t> events;
  for (std::uint8_t byte : bytes) {
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    if (snd_midi_event_encode_byte(parser, byte, &event) == 1) {
      if (event.type == SND_SEQ_EVENT_SYSEX) {
        // The encoder's buffer is reused: keep a copy.
        const auto* data = static_cast<const std::uint8_t*>(event.data.ext.ptr);
        sysexStorage.emplace_back(data, data + event.data.ext.len);
        event.data.ext.ptr = sysexStorage.back().data();
      }
      events.push_back(event);
    }
  }
  snd_midi_event_free(parser);
  return events;
}

struct TranslationCase {
  const char* what;
  std::vector<std::uint8_t> bytes;
};

void PrintTo(const TranslationCase& c, std::ostream* out) { *out << c.what; }

class AlsaSequencerTranslation : public ::testing::TestWithParam<TranslationCase> {};

TEST_P(AlsaSequencerTranslation, GivesBackTheBytesTheEncoderWasFed) {
  const TranslationCase& c = GetParam();
  std::vector<std::vector<std::uint8_t>> storage;
  storage.reserve(8);
  const std::vector<snd_seq_event_t> events = encode(c.bytes, storage);
  ASSERT_FALSE(events.empty()) << c.what;
  std::vector<std::uint8_t> out;
  for (const snd_seq_event_t& event : events) {
    std::uint8_t buffer[64];
    const std::size_t n = kelo::midi::sequencerEventToMIDI(event, buffer, sizeof(buffer));
    EXPECT_GT(n, 0u) << c.what << " event type " << static_cast<int>(event.type);
    out.insert(out.end(), buffer, buffer + n);
  }
  EXPECT_EQ(out, c.bytes) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AlsaSequencerTranslation,
    ::testing::Values(TranslationCase{"note on", {0x92, 0x3C, 0x64}},
                      TranslationCase{"note on, velocity 0", {0x90, 0x3C, 0x00}},
                      TranslationCase{"note off", {0x8F, 0x40, 0x20}},
                      TranslationCase{"poly pressure", {0xA1, 0x3C, 0x11}},
                      TranslationCase{"controller", {0xB3, 0x07, 0x64}},
                      TranslationCase{"program", {0xC4, 0x05}},
                      TranslationCase{"channel pressure", {0xD5, 0x33}},
                      TranslationCase{"pitch bend centre", {0xE6, 0x00, 0x40}},
                      TranslationCase{"pitch bend lowest", {0xE6, 0x00, 0x00}},
                      TranslationCase{"pitch bend highest", {0xE6, 0x7F, 0x7F}},
                      TranslationCase{"quarter frame", {0xF1, 0x23}},
                      TranslationCase{"song position", {0xF2, 0x10, 0x20}},
                      TranslationCase{"song select", {0xF3, 0x04}},
                      TranslationCase{"tune request", {0xF6}},
                      TranslationCase{"clock", {0xF8}},
                      TranslationCase{"start", {0xFA}},
                      TranslationCase{"continue", {0xFB}},
                      TranslationCase{"stop", {0xFC}},
                      TranslationCase{"active sensing", {0xFE}},
                      TranslationCase{"reset", {0xFF}},
                      TranslationCase{"exclusive", {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
                      TranslationCase{"two notes", {0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00}}),
    [](const ::testing::TestParamInfo<TranslationCase>& info) {
      return "Case" + std::to_string(info.index);
    });

TEST(AlsaSequencerTranslationLimits, NonMIDIEventsAndEventsTooLongGiveNothing) {
  snd_seq_event_t event;
  snd_seq_ev_clear(&event);
  event.type = SND_SEQ_EVENT_PORT_START;
  std::uint8_t buffer[4];
  EXPECT_EQ(kelo::midi::sequencerEventToMIDI(event, buffer, sizeof(buffer)), 0u);
  snd_seq_ev_set_noteon(&event, 0, 60, 100);
  EXPECT_EQ(kelo::midi::sequencerEventToMIDI(event, buffer, 2), 0u);
  std::uint8_t sysex[8] = {0xF0, 1, 2, 3, 4, 5, 6, 0xF7};
  snd_seq_ev_set_sysex(&event, sizeof(sysex), sysex);
  EXPECT_EQ(kelo::midi::sequencerEventToMIDI(event, buffer, sizeof(buffer)), 0u);
}

TEST(AlsaSequencerBackend, OpeningFailsCleanlyWithoutASequencerDevice) {
  struct stat info {};
  if (stat("/dev/snd/seq", &info) == 0) GTEST_SKIP() << "this machine has a sequencer";
  auto backend = kelo::midi::makeAlsaBackend();
  struct NullSink final : kelo::midi::BackendSink {
    void endpointAppeared(const kelo::midi::EndpointDescription&) override { ++calls; }
    void endpointVanished(const std::string&) override { ++calls; }
    void endpointRenamed(const std::string&, const std::string&, const std::string&) override {
      ++calls;
    }
    void entityRenamed(const std::string&, const std::string&) override { ++calls; }
    void deviceRenamed(const std::string&, const std::string&) override { ++calls; }
    void deviceOffline(const std::string&, bool) override { ++calls; }
    void backendLost() override { ++calls; }
    int calls = 0;
  } sink;
  EXPECT_STREQ(backend->name(), "alsa");
  EXPECT_FALSE(backend->open("kelo-test", sink));
  EXPECT_EQ(sink.calls, 0);
  std::string key;
  EXPECT_FALSE(backend->createVirtual("KeloDeck", true, kelo::midi::Receiver{}, key));
  EXPECT_EQ(backend->connect("20:0", kelo::midi::Receiver{}), 0);
  backend->close();
}

}  // namespace
