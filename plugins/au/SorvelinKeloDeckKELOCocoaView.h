// KeloUnit's editor view and its factory. The view never sees the SamplerAU object: the
// factory reads the engine entry point, setup-file path, engine instance and host name from
// the unit's vendor properties (64000, 64001, 64002, 64004), and the view drives the engine's
// editor through the entry point. The editor belongs to the view, the instance to the unit.
// The view listens for the unit's 64003 announcement (the instance is going) and lets go of
// the editor and the engine then, so a view that outlives its unit never calls into it.
//
// Threads: the host's main thread only.
#pragma once

#include <cstddef>

#include "platform/audiounit/AUView.h"
#include "standalone/engine_interface/KeloEngineInterface.h"

class SorvelinKeloDeckKELOCocoaView : public AUView {
 public:
  static constexpr std::size_t kViewPathSize = 1024;
  static constexpr std::size_t kHostNameSize = 256;

  explicit SorvelinKeloDeckKELOCocoaView(const AUViewRect& frame);
  /// Destroys any editor it holds (detached first when open) and stops listening to the unit.
  ~SorvelinKeloDeckKELOCocoaView() override;

  void viewWillMoveToWindow(const AUWindow* window) override;

  void setViewTicket(void* editor) { _viewTicket = editor; }
  void setEngineTicket(void* instance) { _engineTicket = instance; }
  void setEngineProc(KeloOpcodeFunction proc) { _proc = proc; }
  void setViewAdded(bool added) { _viewAdded = added; }
  /// Clears the field and copies at most 1023 bytes.
  void setViewPath(const char* path);
  /// Clears the field and copies at most 255 bytes; null leaves it empty.
  void setHostName(const char* name);
  /// Listens for `unit`'s 64003 announcement until it comes or the view goes.
  void listenToUnit(AudioComponentPlugInInterface* unit);

  void* viewTicket() const { return _viewTicket; }
  void* engineTicket() const { return _engineTicket; }
  KeloOpcodeFunction engineProc() const { return _proc; }
  bool viewAdded() const { return _viewAdded; }
  const char* viewPath() const { return _viewPath; }
  const char* hostName() const { return _hostname; }

 private:
  static void onUnitProperty(void* view, AudioComponentInstance, AudioUnitPropertyID id, AudioUnitScope scope,
                             AudioUnitElement element);
  std::int32_t engine(void* handle, std::int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, void* p3 = nullptr,
                      std::int32_t i1 = 0, float f = 0.0f, std::int32_t i2 = 0, std::int32_t i3 = 0);
  void createEditor();
  /// Detached when open, then destroyed; not added, no editor afterwards.
  void removeEditor();
  void stopListening();

  void* _viewTicket = nullptr;
  void* _engineTicket = nullptr;
  KeloOpcodeFunction _proc = nullptr;
  bool _viewAdded = false;
  char _viewPath[kViewPathSize] = {};
  char _hostname[kHostNameSize] = {};
  AudioComponentPlugInInterface* m_unit = nullptr;
};

namespace kelo::au {

/// The view factory record of KeloUnit (description "KELO Player Cocoa View"). A unit
/// without an engine gets no view.
const AUCocoaViewFactory* keloCocoaViewFactory();

}  // namespace kelo::au
