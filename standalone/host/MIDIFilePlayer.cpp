#include "standalone/host/MIDIFilePlayer.h"

#include <cmath>

#include "VNL/source/LogLine.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/MutexHold.h"

namespace vantor {

namespace {

constexpr std::size_t kBlockEventsReserve = 32;
constexpr float kDefaultTempo = 120.0f;

constexpr std::array<MIDIEvent, MIDIFilePlayer::kShutUpSize> makeShutUp() {
  std::array<MIDIEvent, MIDIFilePlayer::kShutUpSize> events{};
  constexpr std::uint8_t kControllers[] = {64, 123, 120};  // sustain, all notes, all sound off
  std::size_t i = 0;
  for (int channel = 0; channel < 16; ++channel) {
    for (std::uint8_t controller : kControllers) {
      events[i].bytes[0] = static_cast<std::uint8_t>(0xB0 + channel);
      events[i].bytes[1] = controller;
      ++i;
    }
  }
  return events;
}

constexpr std::array<MIDIEvent, MIDIFilePlayer::kShutUpSize> kShutUp = makeShutUp();

}  // namespace

MIDIFilePlayer::MIDIFilePlayer()
    : m_monitor(std::make_unique<MIDINoteMonitor>(true)),
      m_maxEventsPerBlock(kShutUpSize + m_monitor->maxNotesOff()) {
  m_output.reserve(m_maxEventsPerBlock + kBlockEventsReserve);
  m_outputCapacity = m_output.capacity();
}

MIDIFilePlayer::~MIDIFilePlayer() = default;

const std::array<MIDIEvent, MIDIFilePlayer::kShutUpSize>& MIDIFilePlayer::shutUpEvents() {
  return kShutUp;
}

bool MIDIFilePlayer::setMIDIFile(const std::string& path) {
  m_playing.store(false, std::memory_order_relaxed);
  MutexHold hold(m_mutex);
  try {
    m_length.store(0.0, std::memory_order_relaxed);
    m_file.reset();
    m_maxEventsPerBlock = kShutUpSize + m_monitor->maxNotesOff();
    m_mesureIndex = 0;
    auto file = std::make_unique<MIDIFile>(path);
    m_resetPending = false;
    if (!file->open() || !file->init()) return false;

    // Room for a block holding every event of the file, after the silencing and note-offs:
    // a block never outgrows it, whatever the tempo or block size.
    const std::size_t needed = m_maxEventsPerBlock + file->numEvents();
    if (needed > m_outputCapacity) {
      std::vector<MIDIEvent> storage;
      storage.reserve(needed);
      m_spareOutput = std::move(storage);
      m_swapPending = true;
    }

    m_maxEventsPerBlock = needed;
    m_file = std::move(file);
    m_position.store(0.0, std::memory_order_relaxed);
    m_length.store(m_file->length(), std::memory_order_release);  // after the position
    m_atEnd = false;
    m_tempo = tempoAt(0.0);
    return true;
  } catch (...) {
    PLOGE("MIDIFilePlayer could not load:%s", path.c_str());
    m_playing.store(false, std::memory_order_relaxed);
    m_length.store(0.0, std::memory_order_relaxed);
    m_file.reset();
    return false;
  }
}

bool MIDIFilePlayer::playFile() {
  m_playing.store(true, std::memory_order_relaxed);
  return true;
}

bool MIDIFilePlayer::stopFile() {
  m_playing.store(false, std::memory_order_relaxed);
  return true;
}

void MIDIFilePlayer::seek(double normalised) {
  const bool wasPlaying = m_playing.exchange(false, std::memory_order_relaxed);
  {
    MutexHold hold(m_mutex);
    if (m_file) {
      const double position = normalised * m_file->length();
      m_position.store(position, std::memory_order_relaxed);
      Pmds_mesure ignored;
      m_file->getMesureInfo(m_mesureIndex, position, &ignored, true);
      // Tempo changes skipped over still count from here on.
      m_tempo = tempoAt(position);
      m_atEnd = false;
      m_resetPending = true;
    }
  }
  m_playing.store(wasPlaying, std::memory_order_relaxed);
}

double MIDIFilePlayer::getNormalisedPos() const {
  // The file itself may be replaced under the mutex meanwhile: only the atomics are read.
  const double length = m_length.load(std::memory_order_acquire);
  if (length <= 0) return 0.0;
  return m_position.load(std::memory_order_relaxed) / length;
}

float MIDIFilePlayer::tempoAt(double beat) const {
  if (!m_file || m_file->tempoMap().empty()) return kDefaultTempo;
  const auto& tempos = m_file->tempoMap();
  auto after = tempos.upper_bound(beat);
  if (after == tempos.begin()) return static_cast<float>(after->second);
  return static_cast<float>(std::prev(after)->second);
}

void MIDIFilePlayer::fireSyncInfo() {
  if (m_playing.load(std::memory_order_relaxed) || m_active) mainTimingProc();
}

void MIDIFilePlayer::getMIDIEvents(std::vector<MIDIEvent>& out) {
  out.insert(out.end(), m_output.begin(), m_output.end());
  m_output.clear();
}

void MIDIFilePlayer::silence() {
  m_output.assign(kShutUp.begin(), kShutUp.end());
  m_monitor->getNotesOff(m_output, 0);
}

void MIDIFilePlayer::append(const MIDIEvent& event) {
  // The storage is sized for any block of the loaded file; this only guards a caller that
  // lets events pile up without collecting them.
  if (m_output.size() == m_output.capacity()) {
    PLOGW("MIDIFilePlayer dropped an event: output full");
    return;
  }
  m_output.push_back(event);
}

void MIDIFilePlayer::mainTimingProc() {
  if (!m_playing.load(std::memory_order_relaxed)) {
    if (m_active) {
      silence();
      m_active = false;
    }
    return;
  }
  if (m_dspInfo == nullptr || !m_mutex.tryLock()) return;
  if (!m_file) {
    m_active = true;
    m_mutex.unlock();
    return;
  }

  if (m_swapPending) {
    m_spareOutput.assign(m_output.begin(), m_output.end());
    m_output.swap(m_spareOutput);
    m_outputCapacity = m_output.capacity();
    m_swapPending = false;
  }
  if (m_resetPending) {
    silence();
    m_resetPending = false;
  }
  if (m_atEnd) {
    silence();
    m_active = false;
    m_mutex.unlock();
    return;
  }

  const double position = m_position.load(std::memory_order_relaxed);
  const double blockDuration = m_dspInfo->blockDuration;
  double advance = static_cast<double>(m_tempo / 60.0f) * blockDuration;

  // A tempo change inside the block sets the advance of the whole block.
  const auto& tempos = m_file->tempoMap();
  const double endAtTempo = position + advance;
  bool tempoInBlock = false;
  for (auto it = tempos.lower_bound(position); it != tempos.end() && it->first <= endAtTempo; ++it) {
    if (it->first < endAtTempo) m_tempo = static_cast<float>(it->second);
    tempoInBlock = true;
  }
  if (tempoInBlock) advance = static_cast<double>(m_tempo / 60.0f) * blockDuration;

  // Events at exactly position + advance belong to the next block.
  const double blockEnd = position + advance;
  const double lastFrame = static_cast<double>(m_dspInfo->blockSize) - 1.0;
  const auto& events = m_file->mergedTrack().events;
  for (auto it = events.lower_bound(position); it != events.end() && it->first < blockEnd; ++it) {
    MIDIEvent event{};
    event.frameOffset =
        static_cast<std::int32_t>(std::nearbyint(lastFrame * ((it->first - position) / advance)));
    it->second->transform(event.bytes[0], event.bytes[1], event.bytes[2]);
    append(event);
  }
  m_monitor->processMIDIEvents(m_output);

  Pmds_mesure mesure;
  if (m_file->getMesureInfo(m_mesureIndex, position, &mesure, false)) {
    m_position.store(position + advance, std::memory_order_relaxed);
    if (m_playing.load(std::memory_order_relaxed)) {
      m_active = true;
    } else if (m_active) {
      silence();
      m_active = false;
    }
  } else {
    // Past the last measure: rest exactly at the end, silent, until moved or stopped.
    m_position.store(m_file->length(), std::memory_order_relaxed);
    m_atEnd = true;
    silence();
    m_active = false;
  }
  m_mutex.unlock();
}

}  // namespace vantor
