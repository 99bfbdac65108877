// The standalone's one contact with the MIDI services outside the input driver: one client for
// the process, every MIDI source and destination numbered in one table, the program's own
// virtual endpoints, and the services' notifications turned into the device manager's hot-plug
// calls (MIDIDeviceManagerInterface).
//
// Identifiers are dense at the first filling: destinations, then sources, then virtual
// destinations, then virtual sources; devices added later take the next number never given.
//
// Threads: everything here runs on the main thread; notifications arrive through
// MIDI_DispatchNotifications, which the main loop calls. Only the virtual drivers' read
// callbacks run elsewhere, and they touch nothing of the layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/midi/CoreMIDI.h"

class MIDIDriver;

/// The layer's record of one device; owned by the layer.
struct MIDIDeviceInfo {
  std::string type;       ///< "virtual" for the program's own endpoints, else empty
  std::string name;       ///< display name, or "Non working"
  std::int32_t ins = 0;   ///< 1: MIDI comes in (a source or a virtual destination)
  std::int32_t outs = 0;  ///< 1: MIDI goes out (a destination or a virtual source)
  std::int32_t id = 0;    ///< the record's key
  bool working = false;   ///< false when the services gave no endpoint for the index
};

/// Remembers the virtual endpoints to make at the first filling: one destination per input
/// name, one source per output name, unique ids from `firstUniqueID` up. Call it before the
/// first question about devices.
void MIDI_CreateVirtualDevices(std::uint32_t firstUniqueID, const std::vector<std::string>& inputNames,
                               const std::vector<std::string>& outputNames);
/// Appends every device id in ascending order (the list is not cleared). Fills the tables once.
void MIDI_GetDeviceIDs(std::vector<int>& ids);
/// The record, or null. Fills the tables once.
MIDIDeviceInfo* MIDI_GetDeviceInfo(int id);
/// The driver of a virtual endpoint (owned by the layer), or null with an error line.
MIDIDriver* MIDI_GetMIDIDriverForVirtualDriver(int id);
/// Disposes of the client (and with it the virtual endpoints), then deletes the virtual
/// drivers and every record; the next question fills the tables anew. Call it after audio
/// has stopped. Always true.
bool MIDI_Terminate();

/// The client, 0 when there is none (not filled yet, or no MIDI system).
MIDIClientRef MIDI_GetClient();
/// The services' endpoint listed under `id` (other programs' and hardware endpoints), or 0.
MIDIEndpointRef MIDI_GetEndpointRef(int id);
/// Applies the services' pending notifications, then writes the lines of MIDI input dropped
/// since the last call. The main loop calls it.
void MIDI_DispatchNotifications();

/// Input drivers register themselves so that their drops are reported. [main]
void MIDI_RegisterDriver(MIDIDriver* driver);
void MIDI_UnregisterDriver(MIDIDriver* driver);
/// True while `driver` is a registered (not yet deleted) input driver. [main]
bool MIDI_IsLiveDriver(const MIDIDriver* driver);

/// The client's notification procedure.
void NotifyProc(const MIDINotification* message, void* refCon);
/// The display name of an object: its name, then its manufacturer and its model when present,
/// separated by blanks. A property that is missing, not ASCII or 64 bytes or longer counts as
/// empty.
void extractMIDIObjectName(MIDIObjectRef object, std::string& name);

namespace vantor {
/// Passes an endpoint's new name to the device manager.
void MIDIEndpointRenamed(MIDIEndpointRef endpoint);
}  // namespace vantor
