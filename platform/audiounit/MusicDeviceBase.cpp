#include "platform/audiounit/MusicDeviceBase.h"

OSStatus AUMIDIBase::MIDIEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame) {
  return HandleMidiEvent(static_cast<UInt8>(status & 0xF0), static_cast<UInt8>(status & 0x0F),
                         static_cast<UInt8>(data1 & 0x7F), static_cast<UInt8>(data2 & 0x7F), offsetSampleFrame);
}
