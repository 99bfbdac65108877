// The music-device layer of the Audio Unit stand-in: MIDI from the host split into status and
// channel for HandleMidiEvent (AUMIDIBase), and the instrument calls a music device answers.
// Threads: MIDIEvent, SysEx and HandleMidiEvent run on the host's MIDI delivery (possibly the
// render thread) and must neither allocate nor lock (AUBase.h).
#pragma once

#include "platform/audiounit/AUBase.h"

class AUMIDIBase {
 public:
  virtual ~AUMIDIBase() = default;
  /// The host's MIDI call: status's upper four bits and its channel go apart to HandleMidiEvent
  /// (system messages: 0xF0 and the low four bits). The host's MIDI delivery thread.
  OSStatus MIDIEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame);
  /// System exclusive messages are ignored.
  OSStatus SysEx(const UInt8* data, UInt32 length) { return noErr; }
  virtual OSStatus HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2, UInt32 startFrame) {
    return noErr;
  }
};

class MusicDeviceBase : public AUBase, public AUMIDIBase {
 public:
  MusicDeviceBase(AudioComponentInstance instance, UInt32 numInputs, UInt32 numOutputs, UInt32 numGroups = 0)
      : AUBase(instance, numInputs, numOutputs, numGroups) {}
  // The instrument calls; a device that plays only from MIDI keeps these answers.
  virtual OSStatus PrepareInstrument(MusicDeviceInstrumentID instrument) { return noErr; }
  virtual OSStatus ReleaseInstrument(MusicDeviceInstrumentID instrument) { return noErr; }
  virtual OSStatus StartNote(MusicDeviceInstrumentID instrument, MusicDeviceGroupID group,
                             NoteInstanceID* outNoteInstanceID, UInt32 offsetSampleFrame,
                             const MusicDeviceNoteParams& params) {
    return noErr;
  }
  virtual OSStatus StopNote(MusicDeviceGroupID group, NoteInstanceID note, UInt32 offsetSampleFrame) { return noErr; }
};
