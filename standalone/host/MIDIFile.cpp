#include "standalone/host/MIDIFile.h"

// portsmf's header uses size_t without including its definition.
#include <cstddef>
#include <portSMF/mfmidi.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"

namespace vantor {

namespace {

constexpr double kVelocityScale = static_cast<double>(1.0f / 127.0f);
constexpr std::int32_t kMaxDenominator = 1 << 30;

// Bytes at the head of portsmf's message buffer that its meta-event code reads whatever the
// event's length (a time signature reads four, an SMPTE offset five).
constexpr std::size_t kMetaHeadBytes = 5;

// A file of one meta event holding a zero byte: reading it first gives portsmf its message
// buffer (see Pmds_midifile_reader::prime).
constexpr unsigned char kPrimer[] = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
    'M', 'T', 'r', 'k', 0, 0, 0, 5, 0x00, 0xFF, 0x7F, 0x01, 0x00,
};

const char* textListName(int type) {
  switch (type) {
    case 1: return "texts";
    case 2: return "copyrights";
    case 3: return "names";
    case 4: return "instruments";
    case 5: return "lyrics";
    case 6: return "markers";
    case 7: return "cues";
    default: return "miscs";
  }
}

}  // namespace

Pmds_note::Pmds_note(std::int32_t channel, std::int64_t key, int velocityByte, double time,
                     bool on)
    : Pmds_midiEvent(channel),
      key(key),
      keyValue(static_cast<double>(key)),
      velocity(velocityByte * kVelocityScale),
      time(time),
      on(on) {}

void Pmds_note::transform(std::uint8_t& status, std::uint8_t& data1, std::uint8_t& data2) const {
  status = static_cast<std::uint8_t>(0x80 | (on ? 0x10 : 0) | channel);
  data1 = static_cast<std::uint8_t>(key & 0xFF);
  data2 = velocity >= 1.0 ? 127 : static_cast<std::uint8_t>(static_cast<int>(velocity * 127 + 0.5));
}

void Pmds_simple::transform(std::uint8_t& status, std::uint8_t& first,
                            std::uint8_t& second) const {
  status = static_cast<std::uint8_t>(channel | kind);
  first = static_cast<std::uint8_t>(data1 & 0xFF);
  second = static_cast<std::uint8_t>(data2 & 0xFF);
}

// portsmf's reader turned into MIDIFile contents, one callback at a time. Times are the
// reader's tick count over the header's division, in beats.
//
// portsmf reads a meta event's data bytes without checking the event's length (a tempo of
// length 0 still reads three bytes) from a message buffer that starts out null. `prime` makes
// it allocate that buffer before the real file, and every meta callback clears the buffer's
// head afterwards, so a short meta event reads zeros: a tempo of 0 and a numerator of 0, both
// of which are ignored.
class Pmds_midifile_reader : public Midifile_reader {
 public:
  Pmds_midifile_reader(MIDIFile& target, std::FILE* stream)
      : m_target(target), m_stream(stream) {}
  ~Pmds_midifile_reader() { finalize(); }

  void prime() {
    m_priming = true;
    midifile();
    m_priming = false;
    Mf_currtime = 0;
  }

  /// Runs the parser over the stream. False when the header was missing or refused.
  bool read() {
    midifile();
    if (!m_headerSeen) return false;
    if (m_refused) return false;
    m_target.endUnendedTracks();
    return true;
  }

 protected:
  void* Mf_malloc(std::size_t size) override {
    // Only the message buffer comes from here; zeroed so its unread bytes are defined.
    void* block = std::calloc(size, 1);
    if (block == nullptr) throw std::bad_alloc();
    m_message = static_cast<unsigned char*>(block);
    m_messageSize = size;
    return block;
  }
  void Mf_free(void* block, std::size_t) override {
    if (block == m_message) {
      m_message = nullptr;
      m_messageSize = 0;
    }
    std::free(block);
  }

  int Mf_getc() override {
    if (m_priming) return m_primerAt < sizeof kPrimer ? kPrimer[m_primerAt++] : EOF;
    if (m_refused) return EOF;
    return std::getc(m_stream);
  }

  void Mf_header(int format, int ntrks, int division) override {
    if (m_priming) return;
    m_headerSeen = true;
    if (format >= 2) {
      char message[64];
      std::snprintf(message, sizeof message, "file format %d not implemented", format);
      Mf_error(message);
    }
    PLOGI("MIDI Header:  format: %d ntrks: %d division: %d", format, ntrks, division);
    m_target.setNumTracks(format != 0 ? ntrks : 1);
    m_division = division;
    if (division == 0 || (division & 0x8000) != 0) {
      // Zero would divide every time by zero; an SMPTE division counts frames, not beats.
      PLOGE("MIDI file division %d refused (zero or SMPTE time)", division);
      m_refused = true;
    }
  }

  void Mf_starttrack() override {
    if (m_priming) return;
    PLOGI("starting new track");
  }
  void Mf_endtrack() override {
    if (m_priming) return;
    ++m_track;
  }
  void Mf_eot() override {
    if (ignoring()) return;
    const double t = now();
    Pmds_track& track = m_target.track(m_track);
    track.endTime = t;
    track.ended = true;
    PLOGI("MIDIfile EOT at: %g", t);
    clearMessageHead();
  }

  void Mf_error(char* message) override { logError(message); }

  void Mf_on(int channel, int key, int velocity) override {
    if (velocity == 0) {
      Mf_off(channel, key, 0);
      return;
    }
    addNote(channel, key, velocity, true);
  }
  void Mf_off(int channel, int key, int velocity) override {
    addNote(channel, key, velocity, false);
  }
  void Mf_pressure(int channel, int key, int value) override {
    addSimple(channel, 0xA0, key, value);
  }
  void Mf_controller(int channel, int controller, int value) override {
    addSimple(channel, 0xB0, controller, value);
  }
  void Mf_pitchbend(int channel, int lsb, int msb) override { addSimple(channel, 0xE0, lsb, msb); }
  void Mf_program(int channel, int program) override { addSimple(channel, 0xC0, program, 0); }
  void Mf_chanpressure(int channel, int value) override { addSimple(channel, 0xD0, value, 0); }

  void Mf_timesig(int numerator, int power, int, int) override {
    if (ignoring()) return;
    clearMessageHead();
    if (power > 30) {
      PLOGW("time signature %d/2^%d ignored", numerator, power);
      return;
    }
    m_target.insertTimeSig(now(), numerator, static_cast<double>(1 << power));
  }
  void Mf_tempo(int microsPerQuarter) override {
    if (ignoring()) return;
    clearMessageHead();
    if (microsPerQuarter > 0) m_target.insertTempoChange(now(), 60000000.0 / microsPerQuarter);
  }
  void Mf_keysig(int, int) override { clearMessageHead(); }
  void Mf_chanprefix(int) override { clearMessageHead(); }
  void Mf_portprefix(int) override { clearMessageHead(); }

  void Mf_text(int type, int length, unsigned char* text) override {
    if (m_priming) return;
    // Shown on one log line: control bytes would break it, so they become '?'.
    char shown[512];
    int n = 0;
    for (int i = 0; i < length && n < static_cast<int>(sizeof shown) - 1; ++i) {
      const unsigned char c = text[i];
      shown[n++] = (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
    }
    shown[n] = 0;
    PLOGI("TEXT : %s : %s", textListName(type), shown);
    clearMessageHead();
  }

  void Mf_sysex(int, unsigned char*) override {
    ignored("sysex message ignored - not implemented");
  }
  void Mf_arbitrary(int, unsigned char*) override { ignored("arbitrary data ignored"); }
  void Mf_metamisc(int, int, unsigned char*) override { ignored("metamisc data ignored"); }
  void Mf_seqnum(int) override { ignored("seqnum data ignored"); }
  void Mf_smpte(int, int, int, int, int) override { ignored("SMPTE data ignored"); }
  void Mf_sqspecific(int, unsigned char*) override { ignored("sq specific data ignored"); }

 private:
  double now() const {
    return static_cast<double>(Mf_currtime) / static_cast<double>(m_division);
  }

  // Nothing is stored while priming, nor once the header was refused.
  bool ignoring() const { return m_priming || m_refused; }

  void addNote(int channel, int key, int velocity, bool on) {
    if (ignoring()) return;
    const double t = now();
    m_target.addEvent(m_track, t, std::make_unique<Pmds_note>(channel, key, velocity, t, on));
  }
  void addSimple(int channel, int kind, int data1, int data2) {
    if (ignoring()) return;
    m_target.addEvent(m_track, now(), std::make_unique<Pmds_simple>(channel, kind, data1, data2));
  }

  void logError(const char* message) {
    // After a refusal the parser only reports the end of input it was given.
    if (m_priming || m_refused) return;
    PLOGI("MIDIfile reader error: %s", message);
  }
  void ignored(const char* message) {
    logError(message);
    clearMessageHead();
  }

  void clearMessageHead() {
    if (m_message != nullptr) std::memset(m_message, 0, std::min(kMetaHeadBytes, m_messageSize));
  }

  MIDIFile& m_target;
  std::FILE* m_stream;
  int m_division = 0;
  int m_track = 0;
  bool m_priming = false;
  std::size_t m_primerAt = 0;
  bool m_headerSeen = false;
  bool m_refused = false;
  unsigned char* m_message = nullptr;
  std::size_t m_messageSize = 0;
};

bool pmds_smf_read(MIDIFile* file, std::FILE* stream) {
  Pmds_midifile_reader reader(*file, stream);
  reader.prime();
  return reader.read();
}

MIDIFile::MIDIFile(const std::string& path) : m_path(path) {}

MIDIFile::~MIDIFile() = default;

bool MIDIFile::open() {
  std::FILE* stream = std::fopen(localToFileSystem(m_path).c_str(), "rb");
  if (stream == nullptr) {
    PLOGE("could not open midi file:%s", m_path.c_str());
    return false;
  }
  const bool read = pmds_smf_read(this, stream);
  std::fclose(stream);
  if (!read) PLOGE("not a usable MIDI file:%s", m_path.c_str());
  return read;
}

void MIDIFile::endUnendedTracks() {
  // A track cut short, or written without an end-of-track event, ends with its last event, so
  // that what was read is also played.
  for (auto& [number, track] : m_tracks) {
    if (!track.ended && !track.events.empty()) {
      track.endTime = std::max(track.endTime, track.events.rbegin()->first);
    }
  }
}

void MIDIFile::addEvent(int trackNumber, double time, std::unique_ptr<Pmds_midiEvent> event) {
  Pmds_midiEvent* added = event.get();
  m_events.push_back(std::move(event));
  m_tracks[trackNumber].events.emplace(time, added);
}

bool MIDIFile::init() {
  m_length = 0;
  for (std::int64_t i = 0; i < m_numTracks; ++i) {
    const auto found = m_tracks.find(static_cast<int>(i));
    if (found != m_tracks.end()) m_length = std::max(m_length, found->second.endTime);
  }
  PLOGI("MIDIFile::init numtracks:%lld max ppq:%g", static_cast<long long>(m_numTracks),
        m_length);
  createMergedTrack();
  return createMesureVec();
}

void MIDIFile::insertTimeSig(double time, double numerator, double denominator) {
  PLOGI("ppq:%g %g/%g", time, numerator, denominator);
  if (!(numerator >= 1 && numerator <= INT32_MAX && denominator >= 1 &&
        denominator <= kMaxDenominator)) {
    PLOGW("time signature %g/%g ignored", numerator, denominator);
    return;
  }
  m_timeSigs.emplace(time, Pmds_timeSig{static_cast<std::int32_t>(numerator),
                                        static_cast<std::int32_t>(denominator)});
}

void MIDIFile::insertTempoChange(double time, double bpm) { m_tempoMap[time] = bpm; }

bool MIDIFile::getMesureInfo(std::size_t& index, double position, Pmds_mesure* out,
                             bool fromStart) const {
  if (fromStart) index = 0;
  for (; index < m_mesures.size(); ++index) {
    const Pmds_mesure& mesure = m_mesures[index];
    if (mesure.start <= position && position < mesure.end) {
      *out = mesure;
      return true;
    }
  }
  return false;
}

void MIDIFile::createMergedTrack() {
  m_mergedTrack.events.clear();
  for (const auto& [number, track] : m_tracks) {
    for (const auto& [time, event] : track.events) m_mergedTrack.events.emplace(time, event);
  }
}

bool MIDIFile::createMesureVec() {
  m_mesures.clear();
  m_numMesures = 0;
  if (m_timeSigs.empty()) {
    PLOGI("no time signatures in file?, creating a 4/4 at ppq = 0");
    insertTimeSig(0, 4, 4);
  }

  // The measures each stretch of the file needs, counted before any is built, so that a file
  // asking for too many is refused whole.
  struct Stretch {
    double count;
    std::int32_t numerator;
    std::int32_t denominator;
  };
  std::vector<Stretch> stretches;
  double planned = 0;
  bool fake = false;

  // The earliest signature counts from beat 0, wherever it stands.
  const Pmds_timeSig first = m_timeSigs.begin()->second;
  std::int32_t numerator = first.numerator;
  std::int32_t denominator = first.denominator;
  if (m_length == 0) {
    PLOGI("0 length MIDI File, faking it to one bar");
    fake = true;
    m_length = 4.0;
  }
  double bar = numerator * 4.0 / denominator;
  double barStart = 0;
  for (auto it = std::next(m_timeSigs.begin()); it != m_timeSigs.end(); ++it) {
    const double count = std::max(0.0, std::trunc((it->first - barStart) / bar));
    stretches.push_back({count, numerator, denominator});
    planned += count;
    barStart += count * bar;
    numerator = it->second.numerator;
    denominator = it->second.denominator;
    bar = numerator * 4.0 / denominator;
  }
  if (m_length > barStart) {
    const double r = (m_length - barStart) / bar;
    double count = std::trunc(r);
    if (std::fabs(static_cast<float>(r - count)) > 0.0001f) count += 1;
    stretches.push_back({count, numerator, denominator});
    planned += count;
  }
  if (planned > kMaxMesures) {
    PLOGE("MIDI file refused: it needs %g measures, more than %lld", planned,
          static_cast<long long>(kMaxMesures));
    return false;
  }

  m_mesures.reserve(static_cast<std::size_t>(planned) + (fake ? 1 : 0));
  // The faked bar stands before the measures that cover the faked length, as it always has.
  if (fake) m_mesures.push_back({0, 4.0, first.numerator, first.denominator, 0});
  std::int32_t index = 0;
  barStart = 0;
  for (const Stretch& stretch : stretches) {
    const double length = stretch.numerator * 4.0 / stretch.denominator;
    for (double i = 0; i < stretch.count; ++i) {
      m_mesures.push_back({barStart, barStart + length, stretch.numerator, stretch.denominator,
                           index++});
      barStart += length;
    }
  }
  m_numMesures = index;
  return true;
}

}  // namespace vantor
